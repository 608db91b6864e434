#include "audit_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kTimeoutSeconds = 30;
constexpr size_t kMaxReply = size_t{1} << 30;

struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0) close(fd);
    }
};

bool sendAll(int fd, const std::string &text) {
    for (size_t sent = 0; sent < text.size();) {
        ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Everything up to the end of the stream.
bool receiveAll(int fd, std::string &out) {
    char buffer[65536];
    for (;;) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n == 0) return true;
        if (n < 0 || out.size() + static_cast<size_t>(n) > kMaxReply) return false;
        out.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

bool ParsePort(const char *text, int &port) {
    char *end = nullptr;
    long value = strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

bool AuditRequest(const std::string &host, int port, const std::string &line, std::string &body, std::string &error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        error = host + " is not an IPv4 address";
        return false;
    }
    Socket socket_;
    socket_.fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{kTimeoutSeconds, 0};
    if (socket_.fd < 0 || setsockopt(socket_.fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0 ||
        connect(socket_.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + strerror(errno);
        return false;
    }
    std::string reply;
    if (!sendAll(socket_.fd, line + "\n") || !receiveAll(socket_.fd, reply)) {
        error = "no complete reply from " + host + ":" + std::to_string(port);
        return false;
    }
    size_t end = reply.find('\n');
    std::string first = reply.substr(0, end);
    if (first.rfind("OK ", 0) != 0 || end == std::string::npos) {
        error = first.empty() ? "empty reply" : first;
        return false;
    }
    body = reply.substr(end + 1);
    if (std::to_string(body.size()) != first.substr(3)) {
        error = "reply announced " + first.substr(3) + " bytes, got " + std::to_string(body.size());
        return false;
    }
    return true;
}

bool WriteWhole(const std::string &path, const std::string &bytes) {
    if (path == "-") return fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && fflush(stdout) == 0;
    FILE *file = fopen(path.c_str(), "wb");
    bool written = file != nullptr && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int saved = errno;
    if (file != nullptr && fclose(file) != 0) written = false;
    else errno = saved;
    return written;
}
