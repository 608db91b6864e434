// Handing out tag numbers, with reuse of the free ones once the first run
// of numbers is used up.
#include "platform/tag_numbers.h"

#include <algorithm>

int64_t TagNumbers::take() {
    // Every number handed out since the last collection lies below next_, so
    // a number at or above next_ is free unless it was live at the collection.
    for (int round = 0; round < 2; ++round) {
        while (next_ <= limit_) {
            uint64_t candidate = next_++;
            if (!reusing_) return static_cast<int64_t>(candidate);
            while (liveIndex_ < live_.size() && static_cast<uint64_t>(live_[liveIndex_]) < candidate) ++liveIndex_;
            if (liveIndex_ == live_.size() || static_cast<uint64_t>(live_[liveIndex_]) != candidate) {
                return static_cast<int64_t>(candidate);
            }
        }
        if (round > 0 || !collectLive_) break;
        live_ = collectLive_();
        std::sort(live_.begin(), live_.end());
        reusing_ = true;
        next_ = 1;
        liveIndex_ = 0;
    }
    return 0;  // every number is held by a live object
}
