#include "method_names.h"

#include <mutex>
#include <unordered_map>

#include "zvi.h"

namespace profiler {

namespace {

std::mutex gMutex;
// Never destroyed: reports are named on VM threads that may outlive the
// exit destructors.
using Names = std::unordered_map<int32_t, std::string>;
Names &gById = *new Names;     // as delivered, flag bits included
Names &gByIndex = *new Names;  // without the flag bits
Names &gFiles = *new Names;    // without the flag bits

bool isOrdinary(int32_t id) { return ZVIsOrdinaryID(static_cast<uint32_t>(id)) != 0; }
int32_t numberOf(int32_t id) { return static_cast<int32_t>(ZVIDNumber(static_cast<uint32_t>(id))); }

// A marker's name comes as element text such as {k="_@";v=("name");}: its first string value.
std::string markerText(const char *text) {
    std::string all = text;
    size_t start = all.find("v=(\"");
    if (start == std::string::npos) return all;
    std::string name;
    for (size_t i = start + 4; i < all.size() && all[i] != '"'; ++i) {
        if (all[i] == '\\' && i + 1 < all.size()) ++i;
        name += all[i];
    }
    return name;
}

}  // namespace

void RememberMethod(int32_t id, const std::string &className, const char *methodName, const char *sourceName) {
    if (id == 0 || methodName == nullptr || !isOrdinary(id)) return;
    std::string name = className + "." + methodName;
    std::string file;
    if (sourceName != nullptr && *sourceName != '\0') {
        size_t dot = className.rfind('.');
        if (dot != std::string::npos) file = className.substr(0, dot + 1);
        for (char &c : file) c = c == '.' ? '/' : c;
        file += sourceName;
    }
    std::lock_guard<std::mutex> lock(gMutex);
    gById[id] = name;
    gByIndex[numberOf(id)] = name;
    if (!file.empty()) gFiles[numberOf(id)] = file;
}

std::string SourceFileOf(int32_t id) {
    std::lock_guard<std::mutex> lock(gMutex);
    auto found = gFiles.find(numberOf(id));
    return found != gFiles.end() ? found->second : std::string();
}

std::string FrameName(int32_t id) {
    if (!isOrdinary(id)) {
        const char *name = nullptr;
        zviIsGroupID(id, 0, &name);
        bool marker = ZVIsMarkerID(static_cast<uint32_t>(id)) != 0;
        if (name == nullptr) return std::string(marker ? "[marker #" : "[group #") + std::to_string(ZVIDKindNumber(static_cast<uint32_t>(id))) + "]";
        return "[" + (marker ? markerText(name) : std::string(name)) + "]";
    }
    std::lock_guard<std::mutex> lock(gMutex);
    auto found = gById.find(id);
    if (found != gById.end()) return found->second;
    auto base = gByIndex.find(numberOf(id));
    return base != gByIndex.end() ? base->second : "method#" + std::to_string(id);
}

std::string MethodForIndex(int32_t index) {
    std::lock_guard<std::mutex> lock(gMutex);
    auto found = gByIndex.find(index);
    return found != gByIndex.end() ? found->second : std::string();
}

}  // namespace profiler
