// The zvtool subcommands. Each takes the arguments after its name and returns
// the exit status; 2 means a usage error (main then prints the usage line).
#pragma once

int DumpCommand(int argc, char **argv);
int RoundtripCommand(int argc, char **argv);
int OptionsCommand(int argc, char **argv);
int FilterCommand(int argc, char **argv);
int ThreadCommand(int argc, char **argv);
int InstrumentCommand(int argc, char **argv);
int ElementsCommand(int argc, char **argv);
int SnapshotCommand(int argc, char **argv);
int DiffCommand(int argc, char **argv);
int AttachCommand(int argc, char **argv);
int ProfileCommand(int argc, char **argv);

// Exit status of a command called with the wrong arguments.
constexpr int kUsageError = 2;
