#include "platform/headless/VirtualClock.h"

#include <sched.h>

namespace velox::platform {

void VirtualClock::SleepMillis(uint32_t ms) {
    SleepMicros(uint64_t(ms) * 1000);
}

void VirtualClock::SleepMicros(uint64_t us) {
    nanos_.fetch_add(us * 1000);
    // Real threads (file access, audio) still need the processor meanwhile.
    sched_yield();
}

void VirtualClock::YieldProcessor() {
    sched_yield();
}

} // namespace velox::platform
