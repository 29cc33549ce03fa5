// Authoring aids of the player: the trace of a run, F12 screenshots and starting at a line.
#include "PlayerRun.h"
#include "support/PngFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace velox::player {
namespace {

void SolidPng(const test::TempDir& dir, const std::string& name, uint32_t rgb) {
    ASSERT_TRUE(test::WritePng(dir.path() + "/" + name, 4, 3,
                               std::vector<uint32_t>(12, 0xFF000000u | rgb)));
}

TEST(Trace, EachLineRunIsPrintedWithItsFrameAndTime) {
    test::TempDir dir;
    SolidPng(dir, "bg.png", 0x102030);
    dir.Write("story.txt", "loadimage 0,\"bg.png\"\r\nwait 1\r\n\r\nwait 2\r\nnote to self\r\n"
                           "END\r\nwait 9\r\n");
    ProgramRun run = RunPlayer(dir, "--headless --trace");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    struct Expected {
        int line;
        std::string text;
        unsigned long long frame;
    };
    // loadimage takes one frame and wait 1 three; the blank line is not printed and
    // neither a line nor the unknown word takes a frame; nothing after END runs.
    const std::vector<Expected> expected = {{1, "loadimage 0,\"bg.png\"", 0},
                                            {2, "wait 1", 1},
                                            {4, "wait 2", 4},
                                            {5, "note to self", 10},
                                            {6, "END", 10}};
    std::istringstream lines(run.output);
    std::string line;
    size_t seen = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("story.txt:", 0) != 0) {
            continue;
        }
        ASSERT_LT(seen, expected.size()) << run.output;
        const Expected& want = expected[seen++];
        const std::string head =
            "story.txt:" + std::to_string(want.line) + ": " + want.text + "  [frame ";
        ASSERT_EQ(line.rfind(head, 0), 0u) << line;
        unsigned long long frame = 0;
        double seconds = -1;
        ASSERT_EQ(std::sscanf(line.c_str() + head.size(), "%llu, %lf s]", &frame, &seconds), 2)
            << line;
        EXPECT_EQ(frame, want.frame) << line;
        // The first frame is not paced; each later one ends 33333 us after the one before.
        const double due = want.frame == 0 ? 0.0 : double(want.frame - 1) * 0.033333;
        EXPECT_NEAR(seconds, due, 0.0015) << line;
    }
    EXPECT_EQ(seen, expected.size()) << run.output;
}

TEST(Screenshot, F12SavesTheVisiblePictureUnderTheNextFreeNumber) {
    test::TempDir dir;
    SolidPng(dir, "red.png", 0xC80A1E);
    SolidPng(dir, "blue.png", 0x1E3CC8);
    dir.Write("screenshot-0001.png", "taken by an earlier run");
    // Start-up takes about a quarter of a virtual second; each picture then stays a second.
    // Keys are read once a frame, so a press lasts longer than one.
    dir.Write("story.txt", "loadimage 0,\"red.png\"\r\nwait 10\r\nloadimage 0,\"blue.png\"\r\n"
                           "wait 10\r\n");
    ProgramRun run = RunPlayer(dir, "--headless --key f12@700-800 --key f12@1700-2100");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("velox-player: saved screenshot-0002.png\n"), std::string::npos)
        << run.output;
    EXPECT_EQ(dir.Read("screenshot-0001.png"), "taken by an earlier run");
    const uint32_t colours[] = {0xC80A1E, 0x1E3CC8};
    for (int i = 0; i < 2; ++i) {
        test::Picture shot;
        ASSERT_TRUE(
            test::ReadPng(dir.path() + "/screenshot-000" + std::to_string(i + 2) + ".png", shot))
            << run.output;
        ASSERT_EQ(shot.width, 800);
        ASSERT_EQ(shot.height, 600);
        EXPECT_EQ(shot.Count(0, 0, 800, 600, [&](uint32_t p) { return p == colours[i]; }),
                  800 * 600);
    }
    // F12 held over many frames is one press.
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/screenshot-0004.png"));
}

std::string Frame(const test::TempDir& dir, const std::string& folder, int n) {
    char name[16];
    std::snprintf(name, sizeof name, "/%06d.png", n);
    return dir.Read(folder + name);
}

TEST(StartLine, TheShowFromLineNIsTheFullRunsShowFromThere) {
    test::TempDir dir;
    SolidPng(dir, "red.png", 0xC80A1E);
    SolidPng(dir, "blue.png", 0x1E3CC8);
    // Presented before line 7: loadimage 0 one frame, showimage one, the move fifteen;
    // wait and attachbg present nothing. Line 6 captures what the move left visible.
    dir.Write("story.txt", "loadimage 0,\"red.png\"\r\nloadimage 1,\"blue.png\"\r\n"
                           "showimage 1,1000,100,100,0,0,255,255,0,0\r\n"
                           "moveimage 2000,300,200,0,0,255,128,45,5\r\nwait 3\r\nattachbg\r\n"
                           "moveimage 1000,500,300,0,0,200,255,0,4\r\nwait 2\r\nEND\r\n");
    ProgramRun full = RunPlayer(dir, "--headless --dump-frames full");
    ASSERT_EQ(full.exitCode, 0) << full.output;
    ASSERT_EQ(Field(full.output, "frames"), 29u) << full.output;
    for (int start : {5, 7}) {
        const std::string folder = "from" + std::to_string(start);
        ProgramRun warp = RunPlayer(dir, "--headless --start-line " + std::to_string(start) +
                                             " --dump-frames " + folder);
        ASSERT_EQ(warp.exitCode, 0) << warp.output;
        EXPECT_EQ(Field(warp.output, "result"), 0u);
        EXPECT_EQ(Field(warp.output, "line"), Field(full.output, "line"));
        ASSERT_EQ(Field(warp.output, "frames"), 12u) << warp.output;
        for (int n = 1; n <= 12; ++n) {
            EXPECT_TRUE(Frame(dir, folder, n) == Frame(dir, "full", 17 + n))
                << "frame " << n << " from line " << start;
        }
        // The warp waits for nothing: the show is shorter by the skipped frames' time.
        EXPECT_LT(Field(warp.output, "time_us") + 500000, Field(full.output, "time_us"));
    }

    // A command that fails before the start line ends the show there, as in a full run.
    dir.Write("story.txt", "loadimage 0,\"red.png\"\r\nloadimage 2,\"gone.png\"\r\nwait 1\r\n");
    ProgramRun failed = RunPlayer(dir, "--headless --start-line 3");
    EXPECT_NE(failed.output.find("result=-2 line=2 frames=1 "), std::string::npos) << failed.output;
    EXPECT_EQ(RunPlayer(dir, "--headless --start-line 0").exitCode, 2);
}

// The seconds the trace gives the END line.
double EndSeconds(const std::string& output) {
    size_t at = output.find(": END  [frame ");
    size_t comma = output.find(", ", at);
    return at == std::string::npos || comma == std::string::npos
               ? -1.0
               : std::stod(output.substr(comma + 2));
}

TEST(CtrlSkip, HeldCtrlPlaysEveryPictureInOrderWithoutPacing) {
    test::TempDir dir;
    SolidPng(dir, "red.png", 0xC80A1E);
    SolidPng(dir, "blue.png", 0x1E3CC8);
    dir.Write("story.txt", "loadimage 0,\"red.png\"\r\nloadimage 1,\"blue.png\"\r\n"
                           "showimage 1,1000,100,100,0,0,255,255,0,0\r\n"
                           "moveimage 2000,300,200,0,0,255,128,45,5\r\nwait 10\r\nEND\r\n");
    ProgramRun normal = RunPlayer(dir, "--headless --trace --dump-frames normal");
    ProgramRun skipped =
        RunPlayer(dir, "--headless --trace --dump-frames skipped --key ctrl@0-60000");
    ASSERT_EQ(normal.exitCode, 0) << normal.output;
    ASSERT_EQ(skipped.exitCode, 0) << skipped.output;
    ASSERT_EQ(Field(normal.output, "frames"), 17u) << normal.output;
    ASSERT_EQ(Field(skipped.output, "frames"), 17u) << skipped.output;
    for (int n = 1; n <= 17; ++n) {
        EXPECT_TRUE(Frame(dir, "normal", n) == Frame(dir, "skipped", n)) << "frame " << n;
    }
    // 48 frames, each but the first paced to 33333 us; unpaced, the virtual clock barely moves.
    EXPECT_NEAR(EndSeconds(normal.output), 47 * 0.033333, 0.002) << normal.output;
    EXPECT_GE(EndSeconds(skipped.output), 0.0) << skipped.output;
    EXPECT_LT(EndSeconds(skipped.output), 0.01) << skipped.output;
}

} // namespace
} // namespace velox::player
