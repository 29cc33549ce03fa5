#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "support/FakeClock.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace velox {
namespace {

using test::FakeClock;
using test::LogCapture;
using test::ScopedClock;

TEST(LogWrite, StampsIndentsAndExpandsLineFeed) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    clock.AdvanceMillis(1234);
    LogIndentAdd();
    LogIndentAdd();
    EXPECT_EQ(LogWrite("abc\n"), -1);
    EXPECT_EQ(log.FileText(), "1234:\t\tabc\r\n");
    // The debugger output gets the tabs and the text but not the stamp.
    EXPECT_EQ(log.DebugText(), "\t\tabc\r\n");
}

TEST(LogWrite, ProgressMessageStaysOnOneLine) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    LogWrite("step... ");
    clock.AdvanceMillis(50);
    LogWrite(test::Sjis("成功\n").c_str());
    EXPECT_EQ(log.FileText(), "0:step... " + test::Sjis("成功") + "\r\n");
}

TEST(LogWrite, ExistingCrLfStopsConversion) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    LogWrite("a\nb\r\nc\nd");
    // The first bare LF is expanded; from the CR LF on, nothing is converted.
    EXPECT_EQ(log.FileText(), "0:a\r\nb\r\nc\nd");
}

TEST(LogWrite, LeadingLineFeedAndOpenLine) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    LogWrite("\nx");
    LogWrite("y\n");
    LogWrite("z\n");
    EXPECT_EQ(log.FileText(), "0:\r\nxy\r\n0:z\r\n");
}

TEST(LogWrite, TrailByteThatLooksLikeLineFeedIsNotConverted) {
    // 0x81 0x0A is not valid Shift-JIS, but the lead byte still claims the next byte.
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    LogWrite("\x81\x0A"
             "a\n");
    EXPECT_EQ(log.FileText(), std::string("0:\x81\x0A"
                                          "a\r\n"));
}

TEST(LogWrite, LongTextGoesThroughTrackedBlockAndIsWrittenWhole) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    std::string text(300, 'q');
    text += "\n";
    int before = core::mem_detail::CurrentTotals().blockCount;
    LogWrite(text.c_str());
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, before); // released again
    EXPECT_EQ(log.FileText(), "0:" + std::string(300, 'q') + "\r\n");
}

TEST(LogWriteFormat, AppendsLineFeed) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    EXPECT_EQ(LogWriteFormat("%d", 5), -1);
    LogWriteFormat("n=%d\n", 7);
    // Both line feeds go out in one write: the empty line gets no stamp.
    EXPECT_EQ(log.FileText(), "0:5\r\n0:n=7\r\n\r\n");
}

TEST(LogWriteFormat, TruncatesToBufferWithLineFeed) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    std::string longText(2000, 'w');
    LogWriteFormat("%s", longText.c_str());
    EXPECT_EQ(log.FileText(), "0:" + std::string(1022, 'w') + "\r\n");
}

TEST(LogIndent, SubtractStopsAtZero) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    LogIndentSub();
    LogIndentAdd();
    LogIndentSub();
    LogIndentSub();
    LogWrite("x\n");
    EXPECT_EQ(log.FileText(), "0:x\r\n");
}

TEST(LogDisabled, TouchesNoFile) {
    LogCapture log(false);
    EXPECT_FALSE(log.FileExists());
    EXPECT_EQ(LogWrite("hello\n"), -1);
    EXPECT_EQ(LogWriteFormat("%d", 1), -1);
    EXPECT_FALSE(log.FileExists());
    EXPECT_EQ(log.DebugText(), "");
}

TEST(LogDisabled, OpenLogFileKeepsExistingFile) {
    test::TempDir dir;
    dir.Write("Log.txt", "old");
    SetLogOutput(0);
    std::string saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(core::OpenLogFile(), 1);
    std::filesystem::current_path(saved);
    EXPECT_EQ(dir.Read("Log.txt"), "old");
}

TEST(LogOpen, TruncatesPreviousLog) {
    test::TempDir dir;
    dir.Write("Log.txt", "old contents");
    std::string saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(core::OpenLogFile(), 1);
    std::filesystem::current_path(saved);
    EXPECT_EQ(dir.Read("Log.txt"), "");
}

TEST(LogWrite, BeforeStartUpWritesNothing) {
    test::TempDir dir;
    std::string saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(LogWrite("early\n"), -1);
    std::filesystem::current_path(saved);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir.path()) / "Log.txt"));
}

TEST(LogWrite, KeepsLoggingAfterCurrentDirectoryChanges) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    test::TempDir elsewhere;
    std::filesystem::current_path(elsewhere.path());
    LogWrite("moved\n");
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(elsewhere.path()));
    EXPECT_EQ(log.FileText(), "0:moved\r\n");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(elsewhere.path()) / "Log.txt"));
}

TEST(FatalErrorDeathTest, LogsAndExitsWithMinusOne) {
    FakeClock clock;
    ScopedClock scoped(clock);
    LogCapture log;
    EXPECT_EXIT(FatalError("boom"), ::testing::ExitedWithCode(255), "");
    EXPECT_EQ(log.FileText(), "0:boom\r\n");
}

} // namespace
} // namespace velox
