#include "profiler_state.h"

namespace profiler {

ProfilerState &Profiler() {
    static ProfilerState &state = *new ProfilerState;
    return state;
}

}  // namespace profiler
