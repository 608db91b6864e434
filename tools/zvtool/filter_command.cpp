// zvtool filter: the four filter answers for one method under a filter file;
// a file that cannot be used is an error rather than an empty filter.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "pri/filters.h"

int FilterCommand(int argc, char **argv) {
    if (argc != 5) return kUsageError;
    const char *file = argv[0], *className = argv[1], *method = argv[2], *descriptor = argv[3];
    char *end = nullptr;
    long access = strtol(argv[4], &end, 0);
    if (end == argv[4] || *end != '\0') return kUsageError;

    if (!PRILoadFilterFile(file)) return 1;
    char text[2048];
    PRIFilterMethodText(className, method, descriptor, static_cast<int>(access), text, sizeof text);
    printf("method = %s\n", text);
    int group = PRIFilterGroupOf(className, method, descriptor, static_cast<int>(access));
    if (group >= 0) printf("group = %d (%s)\n", group, PRIFilterGroupName(group));
    else printf("group = -1\n");
    printf("eliminate = %d\n", PRIFilterEliminates(className, method, descriptor, static_cast<int>(access)));
    printf("ignoreMemory = %d\n", PRIFilterIgnoresMemory(className, method, descriptor, static_cast<int>(access)));
    printf("ignoreCPU = %d\n", PRIFilterIgnoresCPU(className, method, descriptor, static_cast<int>(access)));
    PRIResetFilters();
    return 0;
}
