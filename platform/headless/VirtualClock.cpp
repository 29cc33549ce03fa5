#include "platform/headless/VirtualClock.h"

#include "platform/Thread.h"

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

void VirtualClock::WaitWithoutAdvancing(uint32_t ms, ManualResetEvent& wake) {
    const uint64_t deadline = nanos_.load() + uint64_t(ms) * 1000000ull;
    while (nanos_.load() < deadline && !wake.IsSet()) {
        wake.WaitFor(1);
    }
}

} // namespace velox::platform
