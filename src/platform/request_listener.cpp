// The request listener over Linux sockets.
#include "platform/request_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kBacklog = 50;

// A listening socket on port, or -1.
int bindTo(int port, bool allAddresses, bool ipv6) {
    int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    // A port left in TIME_WAIT by an earlier run can be listened on again.
    int on = 1, off = 0;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int bound = -1;
    if (ipv6) {
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);  // IPv4 clients too
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(static_cast<uint16_t>(port));
        address.sin6_addr = in6addr_any;
        bound = bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(allAddresses ? INADDR_ANY : INADDR_LOOPBACK);
        bound = bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    if (bound != 0 || listen(fd, kBacklog) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool ListenOnFirstFreePort(int first, int last, bool allAddresses, RequestListener &listener) {
    for (int port = first; port <= last; ++port) {
        int fd = allAddresses ? bindTo(port, true, true) : -1;
        if (fd < 0) fd = bindTo(port, allAddresses, false);  // loopback, or a host without IPv6
        if (fd >= 0) {
            listener = {fd, port};
            return true;
        }
    }
    return false;
}

void StopListening(const RequestListener &listener) {
    if (listener.fd >= 0) shutdown(listener.fd, SHUT_RDWR);  // accept then fails with EINVAL
}

int AcceptRequestClient(const RequestListener &listener) {
    for (;;) {
        int client = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) return client;
        // A client that went away before it was accepted, or a signal, is no
        // reason to stop listening.
        if (errno != EINTR && errno != ECONNABORTED && errno != EPROTO && errno != EMFILE && errno != ENFILE &&
            errno != ENOBUFS && errno != ENOMEM)
            return -1;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) usleep(100000);
    }
}

RequestRead ReadRequestLine(int client, size_t maxLength, int timeoutMillis, std::string &line) {
    timeval timeout{timeoutMillis / 1000, (timeoutMillis % 1000) * 1000};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    line.clear();
    for (;;) {
        char c = 0;
        ssize_t got = recv(client, &c, 1, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return RequestRead::Failed;
        if (got == 0) return line.empty() ? RequestRead::Missing : RequestRead::Line;
        if (c == '\n') return RequestRead::Line;
        if (line.size() == maxLength) return RequestRead::Missing;
        if (c != '\r') line += c;
    }
}

void SendReply(int client, const std::string &reply) {
    for (size_t sent = 0; sent < reply.size();) {
        // MSG_NOSIGNAL: a client that has closed must not raise SIGPIPE in the program.
        ssize_t n = send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
}
