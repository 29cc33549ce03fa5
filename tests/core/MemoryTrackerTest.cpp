#include "core/MemoryTracker.h"
#include "support/FakeClock.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace velox {
namespace {

using test::FakeClock;
using test::LogCapture;
using test::ScopedClock;

std::string DumpLine(const void* block) {
    char line[256];
    core::mem_detail::FormatDumpLine(block, line, sizeof line);
    return line;
}

TEST(MemFree, NullChangesNothing) {
    auto before = core::mem_detail::CurrentTotals();
    EXPECT_EQ(MemFree(nullptr), 0);
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, before.blockCount);
}

TEST(MemAlloc, TotalsFollowAllocationsAndFrees) {
    auto base = core::mem_detail::CurrentTotals();
    void* a = MemAlloc(10, nullptr, 0);
    void* b = MemAlloc(20, nullptr, 0);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(core::mem_detail::CurrentTotals().totalSize, base.totalSize + 30);
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, base.blockCount + 2);
    EXPECT_NE(MemFree(b), 0);
    EXPECT_NE(MemFree(a), 0);
    EXPECT_EQ(core::mem_detail::CurrentTotals().totalSize, base.totalSize);
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, base.blockCount);
}

TEST(MemAlloc, BlocksAreAlignedAndZeroFilledOnRequest) {
    auto* p = static_cast<unsigned char*>(MemAllocZero(100, nullptr, 0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(p[i], 0);
    }
    MemFree(p);
}

TEST(MemAlloc, NegativeSizeIsRefused) {
    EXPECT_EQ(MemAlloc(-5, nullptr, 0), nullptr);
}

TEST(MemDumpLine, ShowsPrintableBytesAndHex) {
    auto* p = static_cast<char*>(MemAlloc(4, nullptr, 0));
    std::memcpy(p, "ABC\0", 4);
    std::string line = DumpLine(p);
    EXPECT_NE(line.find("\tsize:4(0.004kb)  file:  line:0  ID:"), std::string::npos) << line;
    EXPECT_NE(line.find("data:<ABC.> [41 42 43 00]\n"), std::string::npos) << line;
    MemFree(p);
}

TEST(MemDumpLine, ShowsAtMostSixteenBytes) {
    auto* p = static_cast<char*>(MemAlloc(20, "x.cpp", 7));
    std::memset(p, 'z', 20);
    std::string line = DumpLine(p);
    EXPECT_NE(line.find("file:x.cpp  line:7"), std::string::npos);
    EXPECT_NE(line.find("<" + std::string(16, 'z') + ">"), std::string::npos);
    MemFree(p);
}

TEST(MemDumpLine, LongSourceNameKeepsLastFifteenCharacters) {
    void* p = MemAlloc(1, "abcdefghijklmnopqrst", -1);
    std::string line = DumpLine(p);
    EXPECT_NE(line.find("file:fghijklmnopqrst  line:65535"), std::string::npos) << line;
    MemFree(p);
}

TEST(MemDump, ListsNewestFirstWithTotals) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    void* a = MemAlloc(10, "older", 1);
    void* b = MemAlloc(20, "newer", 2);
    MemDump();
    std::string text = log.FileText();
    size_t newer = text.find("file:newer");
    size_t older = text.find("file:older");
    ASSERT_NE(newer, std::string::npos);
    ASSERT_NE(older, std::string::npos);
    EXPECT_LT(newer, older);
    EXPECT_EQ(text.rfind("0:\r\n0:Alloc memory dump\tsize:", 0), 0u) << text;
    MemFree(a);
    MemFree(b);
}

TEST(MemDump, EmptyTrackerShowsZeroTotals) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    MemDump();
    EXPECT_EQ(log.FileText(),
              "0:\r\n0:Alloc memory dump\tTotal size:0(0.000kb)  Alloc num:0\r\n0:\r\n");
}

TEST(MemAlloc, ZeroByteBlockIsLogged) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    void* p = MemAlloc(0, nullptr, 0);
    ASSERT_NE(p, nullptr);
    std::string text = log.FileText();
    EXPECT_EQ(text.rfind("0:mem alloc  \tsize:0(0.000kb)", 0), 0u) << text;
    EXPECT_NE(text.find("data:<> []\r\n"), std::string::npos) << text;
    MemFree(p);
    EXPECT_NE(log.FileText().find("mem free  \tsize:0"), std::string::npos);
}

TEST(MemCheck, FindsOverwrittenHeader) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    auto* a = static_cast<char*>(MemAlloc(8, nullptr, 0));
    auto* b = static_cast<char*>(MemAlloc(8, nullptr, 0));
    EXPECT_EQ(MemCheck(), 0);
    // A write just in front of the block lands in its header.
    a[-1] ^= 0x55;
    EXPECT_EQ(MemCheck(), -1);
    EXPECT_NE(log.FileText().find(test::Sjis("以下のメモリ確保情報が破損しました")),
              std::string::npos);
    a[-1] ^= 0x55;
    EXPECT_EQ(MemCheck(), 0);
    MemFree(b);
    MemFree(a);
}

} // namespace
} // namespace velox
