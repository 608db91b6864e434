// Reading a whole input file of a command. Only regular files: a device or a
// pipe would never end; and no more than `limitMiB`, so a wrong path cannot
// take the machine's memory.
#pragma once

#include <string>

// False after a message on stderr that names the file and what is wrong.
bool ReadInputFile(const char *path, long long limitMiB, std::string *bytes);
