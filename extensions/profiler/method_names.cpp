#include "method_names.h"

#include <mutex>
#include <vector>

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

uint32_t RememberClass(const std::string &className, const char *sourceName) {
    std::string file;
    if (sourceName != nullptr && *sourceName != '\0') {
        size_t dot = className.rfind('.');
        if (dot != std::string::npos) file = className.substr(0, dot + 1);
        for (char &c : file) c = c == '.' ? '/' : c;
        file += sourceName;
    }
    std::lock_guard<std::mutex> lock(names().mutex);
    names().classes.push_back({className, std::move(file)});
    return static_cast<uint32_t>(names().classes.size() - 1);
}

void RememberMethod(int32_t id, uint32_t classIndex, const char *methodName) {
    if (id == 0 || methodName == nullptr || !isOrdinary(id)) return;
    auto number = static_cast<size_t>(numberOf(id));
    std::lock_guard<std::mutex> lock(names().mutex);
    std::vector<ProfilerState::MethodNames::Method> &methods = names().byNumber;
    if (number >= methods.size()) methods.resize(number + 1);  // grows geometrically
    methods[number] = {classIndex, methodName};
}

namespace {

// "Class.method" for a method's number, or "" (under the names' mutex).
std::string nameOf(size_t number) {
    const std::vector<ProfilerState::MethodNames::Method> &methods = names().byNumber;
    if (number >= methods.size() || methods[number].classIndex == 0) return {};
    const ProfilerState::MethodNames::Method &method = methods[number];
    return names().classes[method.classIndex].name + "." + method.name;
}

}  // namespace

std::string SourceFileOf(int32_t id) {
    auto number = static_cast<size_t>(numberOf(id));
    std::lock_guard<std::mutex> lock(names().mutex);
    const std::vector<ProfilerState::MethodNames::Method> &methods = names().byNumber;
    return number < methods.size() ? names().classes[methods[number].classIndex].file : std::string();
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
    std::string name = nameOf(static_cast<size_t>(numberOf(id)));
    return !name.empty() ? name : "method#" + std::to_string(id);
}

std::string MethodForIndex(int32_t index) {
    if (index < 0) return {};
    std::lock_guard<std::mutex> lock(names().mutex);
    return nameOf(static_cast<size_t>(index));
}

}  // namespace profiler
