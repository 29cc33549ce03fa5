#include "core/Timing.h"

#include "core/EntryGate.h"
#include "core/Log.h"
#include "core/Runtime.h"
#include "core/ShiftJis.h"
#include "platform/Clock.h"

#include <velox/velox.h>

#include <ctime>

namespace velox {
namespace {

using u128 = unsigned __int128;

core::timing_detail::TimingState gTiming;
core::timing_detail::PrecisionCounts gLastCounts{0, 0};

u128 FromWords(const core::Words128& w) {
    return (u128(w.word[3]) << 96) | (u128(w.word[2]) << 64) | (u128(w.word[1]) << 32) |
           u128(w.word[0]);
}

bool CpuCounterUsable() {
    return platform::HasTimeStampCounter() && &platform::CurrentClock() == &platform::SystemClock();
}

uint32_t TimerMinimumPeriod() {
    timespec resolution{};
    if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0) {
        return 1;
    }
    const uint64_t ns = uint64_t(resolution.tv_sec) * 1000000000ull + uint64_t(resolution.tv_nsec);
    const uint64_t ms = (ns + 999999) / 1000000;
    return ms == 0 ? 1 : uint32_t(ms);
}

} // namespace

core::Words128 core::Mul64To128(uint64_t a, uint64_t b) {
    const u128 p = u128(a) * u128(b);
    return {{uint32_t(p), uint32_t(p >> 32), uint32_t(p >> 64), uint32_t(p >> 96)}};
}

bool core::Div128By64(const core::Words128& n, uint64_t d, uint64_t* quotient) {
    if (d == 0 || !quotient) {
        return false;
    }
    *quotient = uint64_t(FromWords(n) / d);
    return true;
}

namespace core::timing_detail {

TimingState& State() {
    return gTiming;
}

uint64_t CountToMicros(uint64_t count, uint64_t frequency) {
    uint64_t q = 0;
    Div128By64(Mul64To128(count, 1000000), frequency, &q);
    return q;
}

PrecisionCounts LastPrecisionCounts() {
    return gLastCounts;
}

} // namespace core::timing_detail

uint64_t GetMicroCount(int flag) {
    if (flag == 1 && gTiming.runtimeStarted.load(std::memory_order_acquire) &&
        gTiming.cpuCounterPresent.load(std::memory_order_relaxed)) {
        const uint64_t frequency = gTiming.cpuFrequency.load(std::memory_order_relaxed);
        if (frequency != 0) {
            return core::timing_detail::CountToMicros(platform::ReadTimeStampCounter(), frequency);
        }
    }
    if (gTiming.performanceInUse.load(std::memory_order_relaxed)) {
        uint64_t frequency = gTiming.performanceFrequency.load(std::memory_order_relaxed);
        if (frequency == 0) {
            frequency = platform::kPerformanceFrequency; // before start-up asked for it
        }
        return core::timing_detail::CountToMicros(platform::PerformanceCount(), frequency);
    }
    return uint64_t(platform::MilliCount()) * 1000ull;
}

namespace core {

int32_t GetMilliCount() {
    return int32_t(platform::MilliCount());
}

void QueryPerformanceFrequency() {
    gTiming.performanceFrequency.store(platform::kPerformanceFrequency);
    gTiming.performanceInUse.store(platform::kPerformanceFrequency != 0);
}

void MeasureCpuClock() {
    gTiming.cpuCounterPresent.store(CpuCounterUsable());
    if (!gTiming.cpuCounterPresent.load()) {
        return;
    }
    const uint64_t startTicks = platform::ReadTimeStampCounter();
    const uint32_t startMs = platform::MilliCount();
    while (platform::MilliCount() - startMs < 100) {
    }
    const uint64_t ticks = platform::ReadTimeStampCounter() - startTicks;
    gTiming.cpuFrequency.store(ticks * 10);
    gTiming.cpuSpeedMhz = int32_t(double(ticks) * 0.00001);
    LogWriteFormat(SJIS("ＣＰＵ動作速度：大体%.2fGHz"),
                   double(uint32_t(gTiming.cpuSpeedMhz)) * double(0.001f));
}

void CheckTimerPrecision() {
    QueryPerformanceFrequency();
    gTiming.timerPeriodMs = TimerMinimumPeriod();
    gTiming.timerPeriodRequested = true;
    if (!gTiming.performanceInUse.load()) {
        return;
    }
    LogWrite(SJIS("タイマーの精度を検査します\n"));
    int timerChanges = 0;
    int counterChanges = 0;
    const uint32_t begin = platform::MilliCount();
    uint64_t lastCounter = platform::PerformanceCount();
    uint32_t lastTimer = begin;
    for (;;) {
        const uint64_t counter = platform::PerformanceCount();
        if (counter != lastCounter) {
            ++counterChanges;
            lastCounter = counter;
        }
        const uint32_t timer = platform::MilliCount();
        if (timer != lastTimer) {
            ++timerChanges;
            lastTimer = timer;
        }
        if (core::ProcessMessage() != 0 || timerChanges >= 60 || counterChanges >= 60 ||
            timer - begin >= 1000) {
            break;
        }
    }
    gLastCounts = {timerChanges, counterChanges};
    LogWriteFormat(
        SJIS("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d"),
        timerChanges, counterChanges);
    LogWrite(" ");
    if (timerChanges > counterChanges) {
        LogWriteFormat(SJIS("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms "),
                       int(gTiming.timerPeriodMs));
        gTiming.performanceInUse.store(false);
    } else {
        LogWriteFormat(SJIS("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz "),
                       double(gTiming.performanceFrequency.load()) * 0.001);
    }
    LogWrite(" ");
}

void ReleaseTimerPeriod() {
    gTiming.timerPeriodRequested = false;
}

} // namespace core

int GetMilliCount() {
    core::GateScope gate;
    return core::GetMilliCount();
}

} // namespace velox
