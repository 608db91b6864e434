// A TCP listener for one-line requests: bound to the first free port of a
// range, on the loopback address or on every address, it reads one request
// line per connection and sends back one reply. Plain sockets, so that
// listening loads nothing into the VM.
#pragma once

#include <cstddef>
#include <string>

struct RequestListener {
    int fd = -1;
    int port = 0;
};

// Listens on the first port from first to last that can be bound: the
// loopback address (127.0.0.1), or with allAddresses every address (IPv6 and
// IPv4 where the host has IPv6). false when none could be bound.
bool ListenOnFirstFreePort(int first, int last, bool allAddresses, RequestListener &listener);

// Wakes a thread waiting in AcceptRequestClient, which then returns -1, and
// takes no more connections.
void StopListening(const RequestListener &listener);

// Waits for the next connection; -1 when the listener is stopped or broken.
int AcceptRequestClient(const RequestListener &listener);

// The first line a client sends, without its line end ('\r' bytes are
// dropped); a client that closes after part of a line has sent that line.
enum class RequestRead { Line, Missing, Failed };
// Missing: the client sent nothing, or more than maxLength bytes before the
// line end. Failed: timeoutMillis passed without a byte, or the connection broke.
RequestRead ReadRequestLine(int client, size_t maxLength, int timeoutMillis, std::string &line);

// Sends all of reply (a client that has gone is ignored).
void SendReply(int client, const std::string &reply);
