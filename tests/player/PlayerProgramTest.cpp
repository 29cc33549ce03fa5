#include "PlayerRun.h"

#include <gtest/gtest.h>

#include <string>

namespace velox::player {
namespace {

TEST(PlayerProgram, HeadlessRunPrintsItsResultLine) {
    test::TempDir dir;
    dir.Write("story/story.txt", "wait 10\r\n\r\n\r\nEND\r\nwait 100\r\n");
    ProgramRun run = RunPlayer(dir, "story --headless");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("result=0 line=3 frames="), std::string::npos) << run.output;
    // Thirty frames of the wait: 29 paced periods after the first, plus start-up.
    unsigned long long time = Field(run.output, "time_us");
    EXPECT_GE(time, 29ull * 33333);
    EXPECT_LT(time, 29ull * 33333 + 2000000);
}

TEST(PlayerProgram, MaxMsEndsALongShow) {
    test::TempDir dir;
    dir.Write("story.txt", "wait 1000\r\n");
    ProgramRun run = RunPlayer(dir, "--headless --max-ms 2000");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("result=0 line=0"), std::string::npos) << run.output;
    unsigned long long time = Field(run.output, "time_us");
    EXPECT_GE(time, 2000000ull);
    EXPECT_LT(time, 2200000ull);
}

TEST(PlayerProgram, FailingCommandReportsResultAndLine) {
    test::TempDir dir;
    dir.Write("story.txt", "wait 0\r\nloadimage 12,\"a.png\"\r\n");
    ProgramRun run = RunPlayer(dir, "--headless");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("result=-1 line=2 "), std::string::npos) << run.output;
}

TEST(PlayerProgram, WithoutADisplayTheWindowedPlayerSaysSo) {
    test::TempDir dir;
    dir.Write("story.txt", "wait 1\r\n");
    ProgramRun run = RunPlayer(dir, "--windowed", "env -u DISPLAY -u WAYLAND_DISPLAY");
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_NE(run.output.find("no display found; --headless renders without one"),
              std::string::npos)
        << run.output;
}

TEST(PlayerProgram, HelpVersionAndBadOptions) {
    test::TempDir dir;
    ProgramRun help = RunPlayer(dir, "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("usage: velox-player"), std::string::npos);
    ProgramRun version = RunPlayer(dir, "--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output.rfind("velox-player ", 0), 0u);
    ProgramRun bad = RunPlayer(dir, "--nonsense");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.output.find("unknown option --nonsense"), std::string::npos);
}

} // namespace
} // namespace velox::player
