// zvtool profile: live control of a running VM's profile over its audit port:
// start and stop sampling, reset the collected data, dump a profile. zvtool
// snapshot is the dump under its older name, with the output file required.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "audit_client.h"
#include "commands.h"

namespace {

// `command` names the subcommand in messages; argv holds its options.
int RunProfileCommand(const std::string &command, const std::string &action, int argc, char **argv,
                      std::string out) {
    int port = 1473;  // the agent's default audit port
    std::string kind = "collapsed", host = "127.0.0.1";
    for (int i = 0; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--port" && ParsePort(argv[i + 1], port)) continue;
        if (option == "--out") out = argv[i + 1];
        else if (option == "--kind") kind = argv[i + 1];
        else if (option == "--host") host = argv[i + 1];
        else return kUsageError;
    }
    bool dump = action == "dump";
    if (argc % 2 != 0 || out.empty() || (!dump && action != "start" && action != "stop" && action != "reset") ||
        // Any kind the profiler answers (text, collapsed, html, pprof, and
        // those of its other profiles such as alloc-html); it names unknown ones.
        (dump && (kind.empty() || kind.find_first_of(" \r\n") != std::string::npos)))
        return kUsageError;
    std::string request = dump ? "profile " + std::string(kind == "txt" ? "text" : kind) : "sampling " + action;
    std::string body, error;
    if (!AuditRequest(host, port, request, body, error)) {
        fprintf(stderr, "zvtool %s: %s\n", command.c_str(), error.c_str());
        return 1;
    }
    if (!dump) {
        fputs(body.c_str(), stdout);
        return 0;
    }
    if (!WriteWhole(out, body)) {
        fprintf(stderr, "zvtool %s: cannot write %s: %s\n", command.c_str(), out.c_str(), strerror(errno));
        return 1;
    }
    if (out != "-") printf("%zu bytes of %s profile written to %s\n", body.size(), kind.c_str(), out.c_str());
    return 0;
}

}  // namespace

int ProfileCommand(int argc, char **argv) {
    if (argc < 1) return kUsageError;
    std::string action = argv[0];
    return RunProfileCommand("profile " + action, action, argc - 1, argv + 1, "-");
}

int SnapshotCommand(int argc, char **argv) {
    return RunProfileCommand("snapshot", "dump", argc, argv, "");
}
