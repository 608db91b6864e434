#include "method_names.h"

#include <mutex>
#include <unordered_map>

#include "profiler_state.h"
#include "zvi.h"

namespace profiler {

namespace {

ProfilerState::MethodNames &names() { return Profiler().names; }

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
    std::lock_guard<std::mutex> lock(names().mutex);
    names().byId[id] = name;
    names().byIndex[numberOf(id)] = name;
    if (!file.empty()) names().files[numberOf(id)] = file;
}

std::string SourceFileOf(int32_t id) {
    std::lock_guard<std::mutex> lock(names().mutex);
    auto found = names().files.find(numberOf(id));
    return found != names().files.end() ? found->second : std::string();
}

std::string FrameName(int32_t id) {
    if (!isOrdinary(id)) {
        const char *name = nullptr;
        zviIsGroupID(id, 0, &name);
        bool marker = ZVIsMarkerID(static_cast<uint32_t>(id)) != 0;
        if (name == nullptr) return std::string(marker ? "[marker #" : "[group #") + std::to_string(ZVIDKindNumber(static_cast<uint32_t>(id))) + "]";
        return "[" + (marker ? markerText(name) : std::string(name)) + "]";
    }
    std::lock_guard<std::mutex> lock(names().mutex);
    auto found = names().byId.find(id);
    if (found != names().byId.end()) return found->second;
    auto base = names().byIndex.find(numberOf(id));
    return base != names().byIndex.end() ? base->second : "method#" + std::to_string(id);
}

std::string MethodForIndex(int32_t index) {
    std::lock_guard<std::mutex> lock(names().mutex);
    auto found = names().byIndex.find(index);
    return found != names().byIndex.end() ? found->second : std::string();
}

}  // namespace profiler
