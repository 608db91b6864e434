// zvtool profile: live control of a running VM's profile over its audit port:
// start and stop sampling, reset the collected data, dump a profile.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "audit_client.h"
#include "commands.h"

int ProfileCommand(int argc, char **argv) {
    if (argc < 1) return kUsageError;
    std::string action = argv[0];
    int port = 1473;  // the agent's default audit port
    std::string out = "-", kind = "collapsed", host = "127.0.0.1";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--port" && ParsePort(argv[i + 1], port)) continue;
        if (option == "--out") out = argv[i + 1];
        else if (option == "--kind") kind = argv[i + 1];
        else if (option == "--host") host = argv[i + 1];
        else return kUsageError;
    }
    bool dump = action == "dump";
    if (argc % 2 != 1 || (!dump && action != "start" && action != "stop" && action != "reset") ||
        // Any kind the profiler answers (text, collapsed, html, pprof, and
        // those of its other profiles such as alloc-html); it names unknown ones.
        (dump && (kind.empty() || kind.find_first_of(" \r\n") != std::string::npos)))
        return kUsageError;
    std::string request = dump ? "profile " + std::string(kind == "txt" ? "text" : kind) : "sampling " + action;
    std::string body, error;
    if (!AuditRequest(host, port, request, body, error)) {
        fprintf(stderr, "zvtool profile %s: %s\n", action.c_str(), error.c_str());
        return 1;
    }
    if (!dump) {
        fputs(body.c_str(), stdout);
        return 0;
    }
    if (!WriteWhole(out, body)) {
        fprintf(stderr, "zvtool profile dump: cannot write %s: %s\n", out.c_str(), strerror(errno));
        return 1;
    }
    if (out != "-") printf("%zu bytes of %s profile written to %s\n", body.size(), kind.c_str(), out.c_str());
    return 0;
}
