// zvtool: developer commands around the agent's class-file model and
// configuration. One table row per subcommand.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

struct Command {
    const char *name;
    const char *usage;  // the arguments after the name
    int (*run)(int argc, char **argv);
};

// A new command: a file NAME_command.cpp here defining the function, its
// declaration in commands.h, and one row below.
const Command kCommands[] = {
    {"dump", "FILE.class", DumpCommand},
    {"roundtrip", "[--strict] PATH...  (class files, directories, jars, jmods)", RoundtripCommand},
    {"options", "'OPTION STRING'  (old-style arguments or an XML file path)", OptionsCommand},
    {"filter", "FILE CLASS METHOD DESCRIPTOR ACCESS  (ACCESS: access flags, 1 = public)", FilterCommand},
    {"thread", "SOURCE OUTPUT_DIR  (java/lang/Thread from a jmod, jar, directory or class file)", ThreadCommand},
    {"instrument", "[--filter FILE] [--no-lines] [--debug] IN OUT  (a class file, directory or jar, as the agent"
                   " instruments it)",
     InstrumentCommand},
    {"elements", "[--binary] FILE  (elements in the text or, with --binary, the binary syntax, printed as text)",
     ElementsCommand},
    {"snapshot", "--out FILE [--port N (1473)] [--kind collapsed|text|html|pprof] [--host ADDRESS]  (a profile from a running VM)",
     SnapshotCommand},
    {"diff", "BEFORE.collapsed AFTER.collapsed --out FILE.html [--top N (20)]  (a differential flame graph and the"
             " methods whose self share changed most)",
     DiffCommand},
    {"attach", "PID [OPTIONS] [--agent PATH]  (loads the agent with OPTIONS into a running JDK 17 or 25 VM)",
     AttachCommand},
    {"profile", "start|stop|reset|dump [--port N (1473)] [--kind collapsed|txt|html|pprof|alloc-html|...] [--out FILE (-)]"
                " [--host ADDRESS]  (controls a running VM's profile)",
     ProfileCommand},
};

void PrintUsage(const Command *only) {
    std::fprintf(stderr, "usage:\n");
    for (const Command &command : kCommands) {
        if (only == nullptr || only == &command) std::fprintf(stderr, "  zvtool %s %s\n", command.name, command.usage);
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        PrintUsage(nullptr);
        return kUsageError;
    }
    for (const Command &command : kCommands) {
        if (std::strcmp(argv[1], command.name) != 0) continue;
        int status = command.run(argc - 2, argv + 2);
        if (status == kUsageError) PrintUsage(&command);
        return status;
    }
    std::fprintf(stderr, "zvtool: unknown command %s\n", argv[1]);
    PrintUsage(nullptr);
    return kUsageError;
}
