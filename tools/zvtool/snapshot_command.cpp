// zvtool snapshot: fetches a profile from a running VM over its audit port.
// One request line "profile KIND"; the reply is "OK <length>" and the bytes,
// or "ERROR <text>".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"

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

bool parsePort(const char *text, int &port) {
    char *end = nullptr;
    long value = strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

}  // namespace

int SnapshotCommand(int argc, char **argv) {
    int port = 1473;  // the agent's default audit port
    std::string out, kind = "collapsed", host = "127.0.0.1";
    for (int i = 0; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--port" && parsePort(argv[i + 1], port)) continue;
        if (option == "--out") out = argv[i + 1];
        else if (option == "--kind") kind = argv[i + 1];
        else if (option == "--host") host = argv[i + 1];
        else return kUsageError;
    }
    if (argc % 2 != 0 || port == 0 || out.empty() || kind.find_first_of(" \r\n") != std::string::npos)
        return kUsageError;

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        fprintf(stderr, "zvtool snapshot: %s is not an IPv4 address\n", host.c_str());
        return 1;
    }
    Socket socket_;
    socket_.fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{kTimeoutSeconds, 0};
    if (socket_.fd < 0 || setsockopt(socket_.fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0 ||
        connect(socket_.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        fprintf(stderr, "zvtool snapshot: cannot connect to %s:%d: %s\n", host.c_str(), port, strerror(errno));
        return 1;
    }
    std::string reply;
    if (!sendAll(socket_.fd, "profile " + kind + "\n") || !receiveAll(socket_.fd, reply)) {
        fprintf(stderr, "zvtool snapshot: no complete reply from %s:%d\n", host.c_str(), port);
        return 1;
    }
    size_t end = reply.find('\n');
    std::string line = reply.substr(0, end);
    if (line.rfind("OK ", 0) != 0 || end == std::string::npos) {
        fprintf(stderr, "zvtool snapshot: %s\n", line.empty() ? "empty reply" : line.c_str());
        return 1;
    }
    std::string body = reply.substr(end + 1);
    if (std::to_string(body.size()) != line.substr(3)) {
        fprintf(stderr, "zvtool snapshot: reply announced %s bytes, got %zu\n", line.c_str() + 3, body.size());
        return 1;
    }
    FILE *file = fopen(out.c_str(), "wb");
    bool written = file != nullptr && fwrite(body.data(), 1, body.size(), file) == body.size();
    if (file != nullptr && fclose(file) != 0) written = false;
    if (!written) {
        fprintf(stderr, "zvtool snapshot: cannot write %s: %s\n", out.c_str(), strerror(errno));
        return 1;
    }
    printf("%zu bytes of %s profile written to %s\n", body.size(), kind.c_str(), out.c_str());
    return 0;
}
