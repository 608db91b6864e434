// A request to a running VM's audit port: one line out, "OK <length>" and the
// bytes, or "ERROR <text>", back.
#pragma once

#include <string>

// Sends line (without its newline) to host:port and puts the reply's bytes in
// body. False with a message in error (no connection, an incomplete or
// unexpected reply, or the VM's "ERROR ..." text).
bool AuditRequest(const std::string &host, int port, const std::string &line, std::string &body, std::string &error);

// "1473" → port; false for anything but a number from 1 to 65535.
bool ParsePort(const char *text, int &port);

// Writes bytes to path ("-": standard output); false with errno set.
bool WriteWhole(const std::string &path, const std::string &bytes);
