#include "PlayerRun.h"
#include "support/PngFile.h"

#include <gtest/gtest.h>

#include <vector>

namespace velox::player {
namespace {

bool White(uint32_t p) {
    return p == 0xFFFFFF;
}
bool Green(uint32_t p) {
    return (p & 0xFF00FF) == 0 && (p & 0x00FF00) >= 0x008000;
}
bool NotBlack(uint32_t p) {
    return p != 0;
}

test::Picture LastFrame(const test::TempDir& dir, unsigned long long frames) {
    char name[32];
    std::snprintf(name, sizeof name, "/frames/%06llu.png", frames);
    test::Picture picture;
    EXPECT_TRUE(test::ReadPng(dir.path() + name, picture)) << name;
    return picture;
}

TEST(ClosingScreen, MissingStoryShowsTheMessageButNoLineNumber) {
    test::TempDir dir;
    ProgramRun run = RunPlayer(dir, "--headless --dump-frames frames");
    ASSERT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("result=0 line=0 frames=1 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("velox-player: story.txt: no such file\n"), std::string::npos)
        << run.output;
    test::Picture frame = LastFrame(dir, 1);
    ASSERT_EQ(frame.width, 800);
    // "プログラムファイルが読み込めません" at (10, 250) in white with the default font.
    EXPECT_GT(frame.Count(10, 250, 400, 270, White), 100);
    EXPECT_EQ(frame.Count(0, 290, 800, 330, NotBlack), 0);
}

TEST(ClosingScreen, FailingLoadShowsItsMessageAndLine) {
    test::TempDir dir;
    dir.Write("story.txt", "wait 0\r\nwait 0\r\nloadimage 1,\"missing.png\"\r\n");
    ProgramRun run = RunPlayer(dir, "--headless --dump-frames frames");
    ASSERT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("result=-2 line=3 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("velox-player: story.txt:3: loadimage: cannot load \"missing.png\": "
                              "no such file\n"),
              std::string::npos)
        << run.output;
    test::Picture frame = LastFrame(dir, Field(run.output, "frames"));
    EXPECT_GT(frame.Count(10, 250, 400, 270, White), 100); // "ファイルは読み込めませんでした"
    EXPECT_GT(frame.Count(10, 300, 120, 320, White), 20); // "Line To 3"
}

TEST(ClosingScreen, SpaceShowsGreenStopOnTheVisibleScreen) {
    test::TempDir dir;
    dir.Write("story.txt", "wait 30\r\n");
    ProgramRun run = RunPlayer(dir, "--headless --dump-frames frames --key space@600-650 "
                                    "--key escape@900-950");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    test::Picture frame = LastFrame(dir, Field(run.output, "frames"));
    // "STOP" at size 100 from (295, 270).
    EXPECT_GT(frame.Count(295, 270, 500, 370, Green), 1000);
    EXPECT_EQ(frame.Count(0, 0, 800, 250, NotBlack), 0);
}

TEST(ClosingScreen, AfterAPauseTheMessageIsDrawnLarge) {
    test::TempDir dir;
    dir.Write("story.txt", "wait 20\r\nloadimage -1,\"x.png\"\r\n");
    ProgramRun run = RunPlayer(dir, "--headless --dump-frames frames --key space@500-550 "
                                    "--key space@700-750");
    ASSERT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("result=-1 line=2 "), std::string::npos) << run.output;
    test::Picture frame = LastFrame(dir, Field(run.output, "frames"));
    // "IDが不正です。" at size 100 reaches far below y = 300.
    EXPECT_GT(frame.Count(10, 250, 790, 300, White), 1000);
    EXPECT_GT(frame.Count(10, 330, 790, 400, White), 500);
}

TEST(ClosingScreen, PauseAndErrorScreensIgnoreTheDrawStateAScriptLeft) {
    test::TempDir dir;
    ASSERT_TRUE(
        test::WritePng(dir.path() + "/white.png", 16, 16, std::vector<uint32_t>(256, 0xFFFFFFFFu)));
    // A dimmed, mostly transparent image leaves brightness 128 and alpha 60 set.
    dir.Write("story.txt", "loadimage 1,\"white.png\"\r\n"
                           "showimage 1,100,0,0,0,0,128,60,0,0\r\n"
                           "wait 30\r\n"
                           "loadimage 12,\"white.png\"\r\n");
    ProgramRun run = RunPlayer(dir, "--headless --dump-frames frames --key space@500-550 "
                                    "--key space@700-750");
    ASSERT_EQ(run.exitCode, 1) << run.output;
    // The image, the STOP sign, the restored image, the error screen.
    ASSERT_EQ(Field(run.output, "frames"), 4ull) << run.output;
    test::Picture shown = LastFrame(dir, 1), paused = LastFrame(dir, 2),
                  restored = LastFrame(dir, 3), error = LastFrame(dir, 4);
    const uint32_t dimmed = shown.At(4, 4);
    ASSERT_NE(dimmed, 0u);
    ASSERT_NE(dimmed, 0xFFFFFFu);
    EXPECT_GT(paused.Count(295, 270, 500, 370, [](uint32_t p) { return p == 0x00FF00; }), 1000);
    EXPECT_EQ(restored.At(4, 4), dimmed);
    EXPECT_EQ(restored.At(40, 40), 0u);
    EXPECT_GT(error.Count(10, 250, 400, 270, White), 100);
    EXPECT_GT(error.Count(10, 300, 120, 320, White), 20);
}

} // namespace
} // namespace velox::player
