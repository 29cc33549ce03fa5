#include "platform/Clock.h"

#include "platform/Thread.h"

#include <cerrno>
#include <ctime>
#include <sched.h>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace velox::platform {
namespace {

class MonotonicClock final : public ClockSource {
public:
    uint64_t MonotonicNanos() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
    }
    void SleepMillis(uint32_t ms) override {
        if (ms == 0) {
            sched_yield();
            return;
        }
        SleepMicros(uint64_t(ms) * 1000);
    }
    void SleepMicros(uint64_t us) override {
        timespec ts{time_t(us / 1000000), long((us % 1000000) * 1000)};
        while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
        }
    }
    void YieldProcessor() override { sched_yield(); }
};

MonotonicClock gSystemClock;
ClockSource* gClock = &gSystemClock;

} // namespace

void ClockSource::WaitWithoutAdvancing(uint32_t ms, ManualResetEvent& wake) {
    wake.WaitFor(ms);
}

ClockSource& SystemClock() {
    return gSystemClock;
}
ClockSource& CurrentClock() {
    return *gClock;
}
void SetClockSource(ClockSource* source) {
    gClock = source ? source : &gSystemClock;
}

uint64_t PerformanceCount() {
    return gClock->MonotonicNanos();
}
uint32_t MilliCount() {
    return uint32_t(gClock->MonotonicNanos() / 1000000ull);
}
void SleepMillis(uint32_t ms) {
    gClock->SleepMillis(ms);
}
void SleepMicros(uint64_t us) {
    gClock->SleepMicros(us);
}
void YieldProcessor() {
    gClock->YieldProcessor();
}

bool HasTimeStampCounter() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) {
        return false;
    }
    return (d & (1u << 4)) != 0;
#else
    return false;
#endif
}

uint64_t ReadTimeStampCounter() {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    return 0;
#endif
}

} // namespace velox::platform
