// The headless clock: starts at 0 and moves only when the program sleeps (by
// exactly the time slept) and by 1 microsecond at every read, so that a run
// never depends on real time and busy-wait loops still make progress.
#pragma once

#include "platform/Clock.h"

#include <atomic>

namespace velox::platform {

class VirtualClock final : public ClockSource {
public:
    uint64_t MonotonicNanos() override { return nanos_.fetch_add(1000) + 1000; }
    void SleepMillis(uint32_t ms) override;
    void SleepMicros(uint64_t us) override;
    void YieldProcessor() override;
    // Polls in real time (1 ms steps) until the virtual time has moved on by ms.
    void WaitWithoutAdvancing(uint32_t ms, ManualResetEvent& wake) override;

    // Current virtual time without advancing it.
    uint64_t PeekNanos() const { return nanos_.load(); }
    void Reset() { nanos_.store(0); }

private:
    std::atomic<uint64_t> nanos_{0};
};

} // namespace velox::platform
