// zvtool snapshot: fetches a profile from a running VM over its audit port
// (the request "profile KIND").
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "audit_client.h"
#include "commands.h"

int SnapshotCommand(int argc, char **argv) {
    int port = 1473;  // the agent's default audit port
    std::string out, kind = "collapsed", host = "127.0.0.1";
    for (int i = 0; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--port" && ParsePort(argv[i + 1], port)) continue;
        if (option == "--out") out = argv[i + 1];
        else if (option == "--kind") kind = argv[i + 1];
        else if (option == "--host") host = argv[i + 1];
        else return kUsageError;
    }
    if (argc % 2 != 0 || port == 0 || out.empty() || kind.find_first_of(" \r\n") != std::string::npos)
        return kUsageError;
    std::string body, error;
    if (!AuditRequest(host, port, "profile " + kind, body, error)) {
        fprintf(stderr, "zvtool snapshot: %s\n", error.c_str());
        return 1;
    }
    if (!WriteWhole(out, body)) {
        fprintf(stderr, "zvtool snapshot: cannot write %s: %s\n", out.c_str(), strerror(errno));
        return 1;
    }
    if (out != "-") printf("%zu bytes of %s profile written to %s\n", body.size(), kind.c_str(), out.c_str());
    return 0;
}
