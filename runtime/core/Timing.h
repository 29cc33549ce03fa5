// The runtime's clocks: a 64-bit microsecond counter for frame pacing, the millisecond
// count, and the start-up steps that choose what the microsecond counter reads (the
// performance counter, the millisecond timer, or on request the time stamp counter).
#pragma once

#include <atomic>
#include <cstdint>

namespace velox {

// The public operations of velox.h the runtime calls itself, declared here for it.
// Microseconds from an arbitrary origin. Flag 1 reads the time stamp counter once the
// runtime has started (when there is one); anything else the performance counter, or the
// millisecond timer when start-up rejected the counter. Takes no gate; any thread.
uint64_t GetMicroCount(int flag);

} // namespace velox

namespace velox::core {

// A 128-bit value as four 32-bit words, least significant first.
struct Words128 {
    uint32_t word[4];
};

Words128 Mul64To128(uint64_t a, uint64_t b);
// The low 64 bits of n / d, truncated. A divisor of 0 is refused: false, quotient untouched.
bool Div128By64(const Words128& n, uint64_t d, uint64_t* quotient);

// The millisecond timer as a signed count (the public GetMilliCount without the gate).
int32_t GetMilliCount();
// Start-up steps, in the order start-up runs them.
void QueryPerformanceFrequency();
void MeasureCpuClock();
void CheckTimerPrecision();
// Shutdown: the timer's finest period is no longer needed.
void ReleaseTimerPeriod();

namespace timing_detail {
// Fixed during start-up; GetMicroCount reads it lock-free from any thread.
struct TimingState {
    std::atomic<bool> performanceInUse{true};
    std::atomic<uint64_t> performanceFrequency{0};
    uint32_t timerPeriodMs = 1;
    bool timerPeriodRequested = false;
    // The time stamp counter counts only on the real clock: a replaced (virtual) clock
    // would make its measured frequency meaningless.
    std::atomic<bool> cpuCounterPresent{false};
    std::atomic<uint64_t> cpuFrequency{0};
    int32_t cpuSpeedMhz = 0;
    std::atomic<bool> runtimeStarted{false};
};
TimingState& State();
// count x 1000000 / frequency, exact until the final truncation; 0 for frequency 0.
uint64_t CountToMicros(uint64_t count, uint64_t frequency);
// Precision test results: changes seen of the millisecond timer and the counter.
struct PrecisionCounts {
    int timerChanges;
    int counterChanges;
};
PrecisionCounts LastPrecisionCounts();
} // namespace timing_detail

} // namespace velox::core
