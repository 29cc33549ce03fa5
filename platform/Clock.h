// Clock service: monotonic time, the 32-bit millisecond count, the time stamp
// counter, sleeping and yielding. The runtime reads time only through here, so
// the headless backend (or a test) can swap in a virtual clock.
#pragma once

#include <cstdint>

namespace velox::platform {

class ManualResetEvent;

class ClockSource {
public:
    virtual ~ClockSource() = default;
    // Nanoseconds since an arbitrary origin; never goes backwards.
    virtual uint64_t MonotonicNanos() = 0;
    virtual void SleepMillis(uint32_t ms) = 0;
    virtual void SleepMicros(uint64_t us) = 0;
    virtual void YieldProcessor() = 0;
    // Waits about ms of this clock's time without moving the clock, returning early once
    // wake is set. A background thread waits this way so that it never steers time: on
    // the real clock it is a plain timed wait, on the virtual clock it lasts until other
    // threads have slept the time away.
    virtual void WaitWithoutAdvancing(uint32_t ms, ManualResetEvent& wake);
};

// Counts per second of PerformanceCount(): nanoseconds, so 1 000 000 000.
constexpr uint64_t kPerformanceFrequency = 1000000000ull;

uint64_t PerformanceCount();
// The multimedia-timer replacement: monotonic milliseconds, wrapping at 2^32.
uint32_t MilliCount();
bool HasTimeStampCounter();
uint64_t ReadTimeStampCounter();
void SleepMillis(uint32_t ms);
void SleepMicros(uint64_t us);
void YieldProcessor();

// Replaces the clock for the whole process; nullptr restores the real clock.
// Not thread-safe: call it before any other thread reads the clock.
void SetClockSource(ClockSource* source);
ClockSource& CurrentClock();

// The real monotonic clock (CLOCK_MONOTONIC).
ClockSource& SystemClock();

} // namespace velox::platform
