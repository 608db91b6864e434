// The tree of thread groups as thread-start events reveal it, and the path
// of each group from the root ("system~main~workers").
#include <cstring>
#include <string>

#include "agent/agent_internal.h"
#include "support/heap.h"

namespace {

struct GroupNode {
    char *name;
    GroupNode *parent;
};

// Deeper paths than this can only come from a corrupted tree.
constexpr int kMaxDepth = 4096;

std::string groupKey(const char *parent, const char *group) {
    std::string key = parent != nullptr ? parent : "";
    key += '~';
    key += group;
    return key;
}

GroupNode *newNode(const char *name, GroupNode *parent) {
    auto *node = static_cast<GroupNode *>(sMalloc(sizeof(GroupNode)));
    if (node == nullptr) return nullptr;
    node->name = sStrdup(name);
    node->parent = parent;
    return node;
}

void enter(const std::string &key, GroupNode *node) {
    ZVHashPut(ZVState().threadGroups, reinterpret_cast<ZVWord>(sStrdup(key.c_str())),
              reinterpret_cast<ZVWord>(node));
}

GroupNode *findByName(const char *name) {
    GroupNode *found = nullptr;
    ZVForEachEntry(ZVState().threadGroups, [&](ZVWord, ZVWord value) {
        auto *node = reinterpret_cast<GroupNode *>(value);
        if (found == nullptr && node->name != nullptr && strcmp(node->name, name) == 0) found = node;
    });
    return found;
}

// A parent never seen before hangs under "main", else "system", else the root.
GroupNode *createParent(const char *parent) {
    GroupNode *grandParent = findByName("main");
    if (grandParent == nullptr) grandParent = findByName("system");
    GroupNode *node = newNode(parent, grandParent);
    if (node != nullptr) enter(groupKey(grandParent != nullptr ? grandParent->name : nullptr, parent), node);
    return node;
}

const char *pathOf(GroupNode *node) {
    ZVHashTable *paths = ZVState().threadGroupPaths;
    auto *cached = reinterpret_cast<const char *>(ZVHashGet(paths, reinterpret_cast<ZVWord>(node)));
    if (cached != nullptr) return cached;
    std::string path;
    int depth = 0;
    for (GroupNode *n = node; n != nullptr && depth < kMaxDepth; n = n->parent, ++depth) {
        std::string name = n->name != nullptr ? n->name : "";
        path = n == node ? name : name + "~" + path;
    }
    char *copy = sStrdup(path.c_str());
    if (copy != nullptr) ZVHashPut(paths, reinterpret_cast<ZVWord>(node), reinterpret_cast<ZVWord>(copy));
    return copy;
}

}  // namespace

const char *ZVGroupPath(const char *group, const char *parent) {
    ZVAgentState &state = ZVState();
    if (state.threadGroups == nullptr || state.threadGroupPaths == nullptr || group == nullptr) {
        return nullptr;
    }
    std::string key = groupKey(parent, group);
    auto *node = reinterpret_cast<GroupNode *>(
        ZVHashGet(state.threadGroups, reinterpret_cast<ZVWord>(key.c_str())));
    if (node == nullptr) {
        node = newNode(group, nullptr);
        if (node == nullptr) return nullptr;
        if (parent != nullptr) {
            GroupNode *parentNode = findByName(parent);
            if (parentNode == nullptr) parentNode = createParent(parent);
            node->parent = parentNode;
        }
        enter(key, node);
    }
    return pathOf(node);
}

void ZVFreeThreadGroups(ZVAgentState &state) {
    if (state.threadGroupPaths != nullptr) {
        ZVForEachEntry(state.threadGroupPaths,
                       [](ZVWord, ZVWord value) { sFree(reinterpret_cast<void *>(value)); });
        ZVHashFree(state.threadGroupPaths);
    }
    if (state.threadGroups != nullptr) {
        ZVForEachEntry(state.threadGroups, [](ZVWord key, ZVWord value) {
            auto *node = reinterpret_cast<GroupNode *>(value);
            sFree(node->name);
            sFree(node);
            sFree(reinterpret_cast<void *>(key));
        });
        ZVHashFree(state.threadGroups);
    }
    state.threadGroupPaths = nullptr;
    state.threadGroups = nullptr;
}
