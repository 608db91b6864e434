// Prints every Java member the native side names, one "owner name descriptor"
// line each, for the check against the built archives.
#include <cstdio>

#include "contract/java_contract.h"

int main() {
    for (const java_contract::JavaMember &member : java_contract::kEveryMember) {
        printf("%s %s %s\n", member.owner, member.name, member.descriptor);
    }
    return 0;
}
