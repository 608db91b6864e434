// zvtool filter: the four filter answers for one method under a filter file,
// each with its meaning in words;
// a file that cannot be used is an error rather than an empty filter.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "pri/filters/filters.h"

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
    int eliminated = PRIFilterEliminates(className, method, descriptor, static_cast<int>(access));
    int memory = PRIFilterIgnoresMemory(className, method, descriptor, static_cast<int>(access));
    int cpu = PRIFilterIgnoresCPU(className, method, descriptor, static_cast<int>(access));
    if (group >= 0) printf("group = %d (%s): its calls show as the group's frame\n", group, PRIFilterGroupName(group));
    else printf("group = -1: in no group\n");
    printf("eliminate = %d: %s\n", eliminated,
           eliminated >= 0 ? "not instrumented at all" : "instrumented, unless another answer leaves it out");
    printf("ignoreMemory = %d: %s\n", memory, memory ? "its allocations are not followed" : "its allocations are followed");
    printf("ignoreCPU = %d: %s\n", cpu, cpu ? "left out of the CPU profile" : "in the CPU profile");
    PRIFreeFilters(PRIInstallFilters(PRINewFilters()));
    return 0;
}
