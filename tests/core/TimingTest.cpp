#include "core/Timing.h"
#include "core/CoreState.h"
#include "core/Log.h"
#include "platform/Clock.h"
#include "platform/headless/VirtualClock.h"
#include "support/LogLines.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace velox {
namespace {

using test::Sjis;

// A clock that stands still unless a test moves it.
class FixedClock final : public platform::ClockSource {
public:
    explicit FixedClock(uint64_t nanos) : nanos(nanos) {}
    uint64_t MonotonicNanos() override { return nanos; }
    void SleepMillis(uint32_t ms) override { nanos += uint64_t(ms) * 1000000; }
    void SleepMicros(uint64_t us) override { nanos += us * 1000; }
    void YieldProcessor() override {}
    uint64_t nanos;
};

class ClockScope {
public:
    explicit ClockScope(platform::ClockSource* clock) { platform::SetClockSource(clock); }
    ~ClockScope() { platform::SetClockSource(nullptr); }
};

TEST(Mul64To128, GivesAllFourWordsOfTheLargestProduct) {
    // (2^64 - 1)^2 = 2^128 - 2^65 + 1
    const core::Words128 p = core::Mul64To128(~0ull, ~0ull);
    EXPECT_EQ(p.word[0], 0x00000001u);
    EXPECT_EQ(p.word[1], 0x00000000u);
    EXPECT_EQ(p.word[2], 0xFFFFFFFEu);
    EXPECT_EQ(p.word[3], 0xFFFFFFFFu);
}

TEST(Mul64To128, MixedWords) {
    const core::Words128 p = core::Mul64To128(0x123456789ABCDEF0ull, 0xFEDCBA9876543210ull);
    EXPECT_EQ(p.word[3], 0x121FA00Au);
    EXPECT_EQ(p.word[2], 0xD77D7422u);
    EXPECT_EQ(p.word[1], 0x236D88FEu);
    EXPECT_EQ(p.word[0], 0x5618CF00u);
    const core::Words128 zero = core::Mul64To128(0, ~0ull);
    for (uint32_t w : zero.word) {
        EXPECT_EQ(w, 0u);
    }
}

TEST(Div128By64, RefusesZeroDivisorAndLeavesTheQuotient) {
    uint64_t quotient = 77;
    EXPECT_FALSE(core::Div128By64(core::Mul64To128(5, 5), 0, &quotient));
    EXPECT_EQ(quotient, 77u);
    EXPECT_FALSE(core::Div128By64(core::Mul64To128(5, 5), 3, nullptr));
}

TEST(Div128By64, TruncatesAndKeepsTheLowWordsOfAWideQuotient) {
    uint64_t q = 0;
    ASSERT_TRUE(core::Div128By64(core::Mul64To128(25, 1), 4, &q));
    EXPECT_EQ(q, 6u);
    // 2^100 / 3 needs 99 bits; the low 64 are 0x5555555555555555.
    ASSERT_TRUE(core::Div128By64(core::Words128{{0, 0, 0, 16}}, 3, &q));
    EXPECT_EQ(q, 0x5555555555555555ull);
    ASSERT_TRUE(core::Div128By64(core::Mul64To128(~0ull, ~0ull), ~0ull, &q));
    EXPECT_EQ(q, ~0ull);
}

TEST(CountToMicros, PerformanceCounterAtColourburstFrequency) {
    EXPECT_EQ(core::timing_detail::CountToMicros(3579545, 3579545), 1000000u);
    EXPECT_EQ(core::timing_detail::CountToMicros(1, 3579545), 0u);
    EXPECT_EQ(core::timing_detail::CountToMicros(3579544, 3579545), 999999u);
}

TEST(CountToMicros, ExactWhenTheProductOverflowsSixtyFourBits) {
    // (2^64 - 1) x 10^6 needs 84 bits; the quotient still fits.
    EXPECT_EQ(core::timing_detail::CountToMicros(~0ull, 3579545), 5153376776576227317ull);
    EXPECT_EQ(core::timing_detail::CountToMicros(10000123456789ull, 3579545), 2793685637920ull);
    EXPECT_EQ(core::timing_detail::CountToMicros(1ull << 63, 1000000000), 9223372036854775ull);
    EXPECT_EQ(core::timing_detail::CountToMicros(12345, 0), 0u);
}

TEST(GetMicroCount, MillisecondTimerSourceDoesNotOverflowThirtyTwoBits) {
    FixedClock clock(4294967295ull * 1000000ull + 999999ull);
    ClockScope scope(&clock);
    core::timing_detail::State().performanceInUse.store(false);
    EXPECT_EQ(GetMicroCount(0), 4294967295000ull);
    core::timing_detail::State().performanceInUse.store(true);
}

TEST(GetMicroCount, PerformanceCounterSourceCountsNanoseconds) {
    FixedClock clock(5000000123ull);
    ClockScope scope(&clock);
    core::QueryPerformanceFrequency();
    EXPECT_EQ(GetMicroCount(0), 5000000u);
    EXPECT_EQ(GetMicroCount(7), 5000000u);
}

TEST(GetMicroCount, FlagOneBeforeStartUpGivesTheSameAsFlagZero) {
    FixedClock clock(123456789000ull);
    ClockScope scope(&clock);
    ASSERT_FALSE(core::timing_detail::State().runtimeStarted.load());
    EXPECT_EQ(GetMicroCount(1), GetMicroCount(0));
}

TEST(GetMicroCount, FlagOneWithoutACounterFallsBackAfterStartUp) {
    FixedClock clock(42000000ull);
    ClockScope scope(&clock);
    core::timing_detail::State().runtimeStarted.store(true);
    core::timing_detail::State().cpuCounterPresent.store(false);
    EXPECT_EQ(GetMicroCount(1), 42000u);
    core::timing_detail::State().runtimeStarted.store(false);
}

class TimingLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
        std::snprintf(core::log_detail::State().directory, 260, "%s", dir_.path().c_str());
        core::OpenLogFile();
    }
    std::vector<std::string> Log() const { return test::ReadLogLines(dir_.path() + "/Log.txt"); }
    test::TempDir dir_;
};

TEST_F(TimingLogTest, PrecisionTestPrefersTheCounterThatChangesMoreOften) {
    platform::VirtualClock clock; // the counter changes at every read, the milliseconds not
    ClockScope scope(&clock);
    core::CheckTimerPrecision();
    const auto counts = core::timing_detail::LastPrecisionCounts();
    EXPECT_EQ(counts.counterChanges, 60);
    EXPECT_EQ(counts.timerChanges, 0);
    EXPECT_TRUE(core::timing_detail::State().performanceInUse.load());
    EXPECT_TRUE(test::ContainsInOrder(
        Log(),
        {Sjis("タイマーの精度を検査します"),
         Sjis("精度結果 更新回数 マルチメディアタイマー：0  パフォーマンスカウンター：60"),
         Sjis(" パフォーマンスカウンターを使用します タイマー分解能 : 1000000.000000 KHz "), " "}));
}

TEST_F(TimingLogTest, PrecisionTestEndsWhenThePumpReportsQuit) {
    platform::VirtualClock clock;
    ClockScope scope(&clock);
    core::Core().quit = 1; // no window and quit: ProcessMessage answers -1 at once
    core::CheckTimerPrecision();
    core::Core().quit = 0;
    const auto counts = core::timing_detail::LastPrecisionCounts();
    EXPECT_EQ(counts.counterChanges, 1);
    EXPECT_EQ(counts.timerChanges, 0);
    EXPECT_TRUE(test::ContainsInOrder(
        Log(), {Sjis("精度結果 更新回数 マルチメディアタイマー：0  パフォーマンスカウンター：1")}));
}

TEST_F(TimingLogTest, CpuClockIsMeasuredOnlyOnTheRealClock) {
    {
        platform::VirtualClock clock;
        ClockScope scope(&clock);
        core::MeasureCpuClock();
        EXPECT_FALSE(core::timing_detail::State().cpuCounterPresent.load());
    }
    EXPECT_EQ(test::FindLineStartingWith(Log(), Sjis("ＣＰＵ動作速度：大体")), -1);
    if (!platform::HasTimeStampCounter()) {
        GTEST_SKIP() << "no time stamp counter on this processor";
    }
    core::MeasureCpuClock();
    const auto& state = core::timing_detail::State();
    ASSERT_TRUE(state.cpuCounterPresent.load());
    // Ticks over at least 100 ms, times 10: a frequency, and the speed in MHz from it.
    EXPECT_GT(state.cpuFrequency.load(), 10000000u);
    EXPECT_EQ(int64_t(state.cpuSpeedMhz), int64_t(state.cpuFrequency.load() / 10 / 100000));
    const int line = test::FindLineStartingWith(Log(), Sjis("ＣＰＵ動作速度：大体"));
    ASSERT_GE(line, 0);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.2fGHz",
                  double(uint32_t(state.cpuSpeedMhz)) * double(0.001f));
    EXPECT_EQ(Log()[size_t(line)], Sjis("ＣＰＵ動作速度：大体") + expected);

    core::timing_detail::State().runtimeStarted.store(true);
    const uint64_t a = GetMicroCount(1);
    const uint64_t b = GetMicroCount(1);
    core::timing_detail::State().runtimeStarted.store(false);
    EXPECT_LE(a, b);
}

} // namespace
} // namespace velox
