// A clock that moves only when the test says so; sleeps advance it too.
#pragma once

#include "platform/Clock.h"

#include <atomic>
#include <sched.h>

namespace velox::test {

class FakeClock final : public platform::ClockSource {
public:
    uint64_t MonotonicNanos() override { return nanos.load(); }
    void SleepMillis(uint32_t ms) override { SleepMicros(uint64_t(ms) * 1000); }
    void SleepMicros(uint64_t us) override {
        nanos += us * 1000;
        sched_yield();
    }
    void YieldProcessor() override { sched_yield(); }
    void AdvanceMillis(uint64_t ms) { nanos += ms * 1000000; }

    std::atomic<uint64_t> nanos{5000000000ull};
};

// Installs a clock for the scope of a test.
class ScopedClock {
public:
    explicit ScopedClock(platform::ClockSource& clock) { platform::SetClockSource(&clock); }
    ~ScopedClock() { platform::SetClockSource(nullptr); }
};

} // namespace velox::test
