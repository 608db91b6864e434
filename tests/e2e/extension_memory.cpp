// The memory runs' reading of heap dumps record by record, with the class
// shapes the probe's table kept, and the object-array description: the
// natives dump and describe of e2e.MemoryUse (the program loads this same
// library, the memory runs' extension, with System.load).
#include <jni.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "extension.h"

namespace {

uint32_t idOf(jobjectID id) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(id)); }

// ------------------------------------------------------------ reading a level-1 heap dump

struct Reader {
    const unsigned char *at, *end;
    bool has(size_t n) const { return static_cast<size_t>(end - at) >= n; }
    uint32_t u4() {
        uint32_t v = uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
        at += 4;
        return v;
    }
    uint32_t id() {
        uint32_t v;
        memcpy(&v, at, 4);
        at += 4;
        return v;
    }
};

struct HeapView {
    std::map<uint32_t, std::vector<uint32_t>> references;  // instance and array records: what they hold
    std::map<uint32_t, uint32_t> classOf;                  // instance: class ID; array: element class ID
    std::set<uint32_t> classes, roots;
    std::string problem;  // empty when every record was read
};

// Classes without a key reach classLoaded under their class ID.
ZVWord keyOf(uint32_t classID) {
    ZVWord key = static_cast<ZVWord>(zviConvertHeapDumpClassID(static_cast<ZVWord>(classID)));
    return key != 0 ? key : static_cast<ZVWord>(classID);
}

std::string className(uint32_t classID) {
    std::string name = "?";
    int interfaces, referenceStatics;
    ClassShapeByKey(keyOf(classID), &name, &interfaces, &referenceStatics);
    return name;
}

HeapView readDump(const unsigned char *bytes, int length) {
    HeapView view;
    Reader r{bytes, bytes + length};
    constexpr size_t ptr = sizeof(void *);
    while (r.at < r.end && view.problem.empty()) {
        unsigned type = *r.at++;
        size_t rootRest = 0;
        bool root = true;
        switch (type) {
            case 0xff: case 0x05: case 0x07: rootRest = 0; break;
            case 0x01: case 0x04: case 0x06: case 0x08: rootRest = ptr; break;
            case 0x02: case 0x03: rootRest = ptr + 4; break;
            default: root = false; break;
        }
        if (root) {
            if (!r.has(4 + rootRest)) break;
            view.roots.insert(r.id());
            r.at += rootRest;
            continue;
        }
        if (type == 0x20) {
            if (!r.has(32)) break;
            uint32_t id = r.id();
            r.at += 6 * 4;
            r.u4();  // instance size
            std::string name;
            int interfaces = 0, referenceStatics = 0;
            if (!ClassShapeByKey(keyOf(id), &name, &interfaces, &referenceStatics)) {
                view.problem = "class dump of a class never loaded";
                break;
            }
            size_t rest = 4 * size_t(interfaces) + 2 + 4 * size_t(referenceStatics);
            if (!r.has(rest)) break;
            r.at += 4 * interfaces;
            if (r.at[0] != 0 || r.at[1] != 0) view.problem = "constant pool entries";
            r.at += 2 + 4 * referenceStatics;
            view.classes.insert(id);
        } else if (type == 0x21) {
            if (!r.has(12)) break;
            uint32_t id = r.id(), klass = r.id(), size = r.u4();
            if (size % 4 != 0 || !r.has(size)) {
                view.problem = "instance values";
                break;
            }
            view.classOf[id] = klass;
            for (uint32_t i = 0; i < size / 4; ++i) view.references[id].push_back(r.id());
        } else if (type == 0x22) {
            if (!r.has(12)) break;
            uint32_t id = r.id(), count = r.u4(), element = r.id();
            if (!r.has(4 * size_t(count))) break;
            view.classOf[id] = element;
            auto &held = view.references[id];
            for (uint32_t i = 0; i < count; ++i) held.push_back(r.id());
        } else if (type == 0x23) {
            if (!r.has(9)) break;
            r.at += 9;  // ID, count and element type: no elements at this level
        } else {
            view.problem = "unknown record type " + std::to_string(type);
        }
    }
    if (view.problem.empty() && r.at != r.end) view.problem = "cut short";
    return view;
}

bool holds(const HeapView &view, uint32_t holder, uint32_t held) {
    auto found = view.references.find(holder);
    return found != view.references.end() && std::ranges::find(found->second, held) != found->second.end();
}

std::string yes(bool value) { return value ? "true" : "false"; }

uint32_t idOfHandle(jobject object) { return idOf(zviObjectForHandle(object)); }

}  // namespace

extern "C" {

// What a level-1 heap dump says about holder -> items[] -> items, items[0] -> items[1].
JNIEXPORT jstring JNICALL Java_e2e_MemoryUse_dump(JNIEnv *env, jclass, jobject holder, jobjectArray items) {
    int length = 0, generation = 0;
    const auto *bytes = reinterpret_cast<const unsigned char *>(zviHeapDump(&length, &generation));
    if (bytes == nullptr) return env->NewStringUTF("no dump");
    HeapView view = readDump(bytes, length);
    uint32_t holderID = idOfHandle(holder), arrayID = idOfHandle(items);
    jsize count = env->GetArrayLength(items);
    std::vector<uint32_t> itemIDs;
    for (jsize i = 0; i < count; ++i) {
        jobject item = env->GetObjectArrayElement(items, i);
        itemIDs.push_back(idOfHandle(item));
        env->DeleteLocalRef(item);
    }
    auto array = view.references.find(arrayID);
    bool arrayRight = array != view.references.end() && array->second == itemIDs &&
                      className(view.classOf[arrayID]).find("$Item") != std::string::npos;
    std::string text = "dump: " + (view.problem.empty() ? std::string("read whole") : view.problem) +
                       ", holder " + className(view.classOf[holderID]) + " holds the array " +
                       yes(holds(view, holderID, arrayID)) + ", array of " + std::to_string(count) + " items " +
                       yes(arrayRight) + ", item chain " + yes(count > 1 && holds(view, itemIDs[0], itemIDs[1])) +
                       ", item class dumped " + yes(view.classes.count(view.classOf[itemIDs.empty() ? 0 : itemIDs[0]]) != 0) +
                       ", roots " + yes(!view.roots.empty());
    return env->NewStringUTF(text.c_str());
}

// zviObjectArrayDescription on the object with outputs preset to 7.
JNIEXPORT jstring JNICALL Java_e2e_MemoryUse_describe(JNIEnv *env, jclass, jobject object, jint maximum) {
    uint32_t classID = 7, elements[4] = {7, 7, 7, 7};
    int32_t count = 7;
    unsigned char answer = zviObjectArrayDescription(zviObjectForHandle(object), &classID, &count, elements, maximum);
    std::string text = std::to_string(answer) + " count " + std::to_string(count) + " class " +
                       (classID == 7 ? std::string("untouched") : className(classID)) + " elements";
    for (uint32_t element : elements) {
        text += element == 7 ? std::string(" -") : element == 0 ? std::string(" null") : std::string(" id");
    }
    if (answer == 1 && count > 0 && count != 7 && env->IsInstanceOf(object, env->FindClass("[Ljava/lang/Object;"))) {
        auto array = static_cast<jobjectArray>(object);
        bool same = true;
        for (jint i = 0; i < maximum && i < count && i < 4; ++i) {
            jobject element = env->GetObjectArrayElement(array, i);
            same = same && elements[i] == idOfHandle(element);
            env->DeleteLocalRef(element);
        }
        text += same ? ", the array's own" : ", other IDs";
    }
    return env->NewStringUTF(text.c_str());
}

}  // extern "C"
