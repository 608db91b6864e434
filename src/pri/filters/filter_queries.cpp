// The filter queries made while classes are instrumented, the group names
// shown for group identifiers, and the exported yes/no answers.
#include <cstdio>
#include <cstring>

#include "pri/filters/filter_table.h"
#include "pri/filters/filters.h"
#include "support/heap.h"

namespace {

const char *AccessGroup(int access) {
    switch (access & 7) {
    case 1: return "{public}";
    case 2: return "{private}";
    case 4: return "{protected}";
    default: return "{package}";
    }
}

// The method text in a stack buffer, taken from the heap only when longer.
class MethodText {
public:
    MethodText(const char *className, const char *methodName, const char *descriptor, int access) {
        className = className ? className : "";
        methodName = methodName ? methodName : "";
        descriptor = descriptor ? descriptor : "";
        const char *group = AccessGroup(access);
        size_t length = strlen(className) + strlen(methodName) + strlen(descriptor) + strlen(group) + 3;
        text_ = length < sizeof stack_ ? stack_ : static_cast<char *>(sMalloc(static_cast<int>(length + 1)));
        if (text_ == nullptr) return;
        PRIFilterMethodText(className, methodName, descriptor, access, text_, static_cast<int>(length + 1));
        length_ = length;
    }
    ~MethodText() {
        if (text_ != stack_) sFree(text_);
    }
    MethodText(const MethodText &) = delete;
    MethodText &operator=(const MethodText &) = delete;

    bool valid() const { return text_ != nullptr; }
    std::string_view view() const { return {text_, length_}; }

private:
    char stack_[1024];
    char *text_ = nullptr;
    size_t length_ = 0;
};

int FirstMatch(PRIFilterKind kind, const char *className, const char *methodName,
               const char *descriptor, int access) {
    const PRIFilterState &filters = PRIFilters();
    PRIFilterTable *table = filters.table.load(std::memory_order_acquire);
    if (table == nullptr || !filters.loaded.load(std::memory_order_relaxed)) return -1;
    MethodText text(className, methodName, descriptor, access);
    if (!text.valid()) return -1;
    for (int i = table->start; i < table->count; i++) {
        if (table->kinds[kind][i] && table->conditions[i] &&
            PRIConditionMatches(table->conditions[i], text.view()))
            return i;
    }
    return -1;
}

int Affects(std::atomic<int> PRIFilterState::*which, PRIFilterKind kind) {
    PRIFilterState &filters = PRIFilters();
    std::atomic<int> &cache = filters.*which;
    int cached = cache.load(std::memory_order_relaxed);
    if (cached != -1) return cached;
    PRIFilterTable *table = filters.table.load(std::memory_order_acquire);
    if (table == nullptr || !filters.loaded.load(std::memory_order_relaxed)) return 0;
    int answer = 0;
    for (int i = table->start; i < table->count && !answer; i++) answer = table->kinds[kind][i] != 0;
    cache.store(answer, std::memory_order_relaxed);
    return answer;
}

}  // namespace

void PRIFilterMethodText(const char *className, const char *methodName, const char *descriptor,
                         int access, char *buffer, int size) {
    if (buffer == nullptr || size <= 0) return;
    int length = snprintf(buffer, size, "%s.%s(%s)%s", className ? className : "",
                          methodName ? methodName : "", descriptor ? descriptor : "",
                          AccessGroup(access));
    if (length < 0) {
        buffer[0] = '\0';
        return;
    }
    // The class name comes in internal form; patterns use dotted names.
    size_t classLength = className ? strlen(className) : 0;
    for (size_t i = 0; i < classLength && i < static_cast<size_t>(size - 1); i++)
        if (buffer[i] == '/') buffer[i] = '.';
}

int PRIFilterGroupOf(const char *className, const char *methodName, const char *descriptor,
                     int access) {
    return FirstMatch(FILTER_GROUP, className, methodName, descriptor, access);
}

int PRIFilterEliminates(const char *className, const char *methodName, const char *descriptor,
                        int access) {
    return FirstMatch(FILTER_ELIMINATE, className, methodName, descriptor, access);
}

int PRIFilterIgnoresMemory(const char *className, const char *methodName,
                           const char *descriptor, int access) {
    return FirstMatch(FILTER_MEMORY, className, methodName, descriptor, access) >= 0;
}

int PRIFilterIgnoresCPU(const char *className, const char *methodName, const char *descriptor,
                        int access) {
    return FirstMatch(FILTER_CPU, className, methodName, descriptor, access) >= 0;
}

const char *PRIFilterGroupName(int32_t groupID) {
    int32_t index = static_cast<int32_t>(static_cast<uint32_t>(groupID) &
                                         ~(PRI_FILTER_IGNORE_CPU | PRI_FILTER_IGNORE_MEMORY));
    const PRIFilterState &filters = PRIFilters();
    PRIFilterTable *table = filters.table.load(std::memory_order_acquire);
    if (table == nullptr || !filters.loaded.load(std::memory_order_relaxed) || index < 0 ||
        index >= table->count || table->conditions[index] == nullptr)
        return "Unknown group";
    return table->conditions[index]->name;
}

int zviFilterAffectsMemoryProfiler(void) { return Affects(&PRIFilterState::affectsMemory, FILTER_MEMORY); }
int zviFilterAffectsCPUProfiler(void) { return Affects(&PRIFilterState::affectsCPU, FILTER_CPU); }

int zviShouldIgnoreMemory(int32_t methodID) {
    return (static_cast<uint32_t>(methodID) & PRI_FILTER_IGNORE_MEMORY) ? 1 : 0;
}

int zviShouldIgnoreCPU(int32_t methodID) {
    return (static_cast<uint32_t>(methodID) & PRI_FILTER_IGNORE_CPU) ? 1 : 0;
}
