// Object-ID numbers for JVMTI tags: 1 up to a limit (2^32 - 1 for 4-byte
// IDs), then numbers that no live object holds. When the first run is used
// up, the numbers still in use are collected once (a heap walk) and the free
// ones between them handed out; a number is never given to two live objects.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class TagNumbers {
public:
    // collectLive returns the tags that live objects hold, in any order.
    TagNumbers(uint64_t limit, std::function<std::vector<int64_t>()> collectLive)
        : limit_(limit), collectLive_(std::move(collectLive)) {}

    // The next free number, or 0 when every number is held.
    int64_t take();

private:
    uint64_t limit_;
    std::function<std::vector<int64_t>()> collectLive_;
    uint64_t next_ = 1;
    bool reusing_ = false;         // past the first run
    std::vector<int64_t> live_;    // sorted, as of the last collection
    size_t liveIndex_ = 0;         // first entry of live_ not below next_
};
