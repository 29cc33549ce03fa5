// --watch: story.txt rewritten under a running player, which must follow each save.
#include "PlayerRun.h"
#include "support/ChildProcess.h"
#include "support/PngFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace velox::player {
namespace {

// velox-player running beside the test, its standard output and error going to
// dir/output.txt; killed with the test if need be.
class RunningPlayer {
public:
    RunningPlayer(const test::TempDir& dir, const std::string& arguments) : dir_(dir) {
        child_.Start("cd '" + dir.path() + "' && XDG_RUNTIME_DIR=. exec '" +
                     VELOX_PLAYER_BINARY "' " + arguments + " >output.txt 2>&1");
    }

    // Waits up to 30 s for the output to hold text after position `from`: the position
    // just past it, or npos.
    size_t WaitFor(const std::string& text, size_t from) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            const size_t at = output().find(text, from);
            if (at != std::string::npos || std::chrono::steady_clock::now() > deadline) {
                return at == std::string::npos ? at : at + text.size();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // SIGTERM; the status once it has ended.
    int Stop() {
        child_.Signal(SIGTERM);
        return child_.Wait();
    }

    std::string output() const { return dir_.Read("output.txt"); }

private:
    const test::TempDir& dir_;
    test::ChildProcess child_;
};

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// Saved the way many editors do: a new file renamed over the old one.
void SaveByRename(const test::TempDir& dir, const std::string& text) {
    dir.Write("story.new", text);
    std::filesystem::rename(dir.path() + "/story.new", dir.path() + "/story.txt");
}

// The last picture a run dumped into dir/folder.
test::Picture LastFrame(const test::TempDir& dir, const std::string& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() + "/" + folder)) {
        count += entry.path().extension() == ".png" ? 1 : 0;
    }
    char name[16];
    std::snprintf(name, sizeof name, "/%06d.png", count);
    test::Picture picture;
    test::ReadPng(dir.path() + "/" + folder + name, picture);
    return picture;
}

TEST(Watch, EachSaveReplaysFromTheChangedLineAndABrokenOneIsRefused) {
    test::TempDir dir;
    ASSERT_TRUE(
        test::WritePng(dir.path() + "/red.png", 4, 3, std::vector<uint32_t>(12, 0xFFFF0000u)));
    // attachbg first takes the visible picture as the background: black in a fresh run,
    // and black again in every replay, whatever the show had on the screen before.
    const std::string attach = "attachbg";
    const std::string load = "loadimage 1,\"red.png\"";
    const std::string forever = "wait 2000000000";
    auto show = [](int x) { return "showimage 1,100," + std::to_string(x) + ",0,0,0,255,255,0,0"; };
    dir.Write("story.txt", Lines({attach, load, show(0), forever}));

    RunningPlayer player(dir,
                         "--headless --watch --trace --dump-frames frames --max-ms 4000000000");
    size_t at = player.WaitFor("story.txt:4: " + forever, 0);
    ASSERT_NE(at, std::string::npos) << player.output();

    // Line 3 changes under line 4: the show goes back to line 3, with slot 1 loaded by
    // the lines warped through (else the showimage would fail), which are not run as
    // played lines again.
    SaveByRename(dir, Lines({attach, load, show(10), forever}));
    at = player.WaitFor("story.txt changed from line 3 on; playing again from there\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    const size_t replayed = at;
    at = player.WaitFor("story.txt:3: " + show(10) + "  [frame 0, 0.000 s]\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    at = player.WaitFor("story.txt:4: " + forever, at);
    ASSERT_NE(at, std::string::npos) << player.output();
    EXPECT_EQ(player.output().find("story.txt:1: ", replayed), std::string::npos);
    EXPECT_EQ(player.output().find("story.txt:2: ", replayed), std::string::npos);

    // A line added after the one waiting: no replay, and the wait goes on.
    SaveByRename(dir, Lines({attach, load, show(10), forever, show(15)}));
    at = player.WaitFor("story.txt changed from line 5 on; the show goes on with it\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();

    // A typo in line 2, written in place: the checker's first error, and nothing else.
    dir.Write("story.txt", Lines({attach, "loadimg 1,\"red.png\"", show(10), forever}));
    at = player.WaitFor(
        "story.txt:2: error: unknown command \"loadimg\" (did you mean \"loadimage\"?)\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    at = player.WaitFor("not reloaded", at);
    ASSERT_NE(at, std::string::npos) << player.output();

    // Measured against the story kept playing, this save changes line 4 first (against
    // the refused one it would be line 2). The show then ends, and the player stays.
    SaveByRename(dir, Lines({attach, load, show(10), "wait 1", show(20)}));
    at = player.WaitFor("story.txt changed from line 4 on; playing again from there\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    at = player.WaitFor("story.txt:5: " + show(20), at);
    ASSERT_NE(at, std::string::npos) << player.output();
    at = player.WaitFor("the show is over; still watching story.txt\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();

    // Lines added after the end play from the first new one once the show is over.
    const size_t ended = at;
    const std::string last = Lines({attach, load, show(10), "wait 1", show(20), show(30), forever});
    dir.Write("story.txt", last);
    at = player.WaitFor("story.txt changed from line 6 on; playing again from there\n", at);
    ASSERT_NE(at, std::string::npos) << player.output();
    at = player.WaitFor("story.txt:7: " + forever, at);
    ASSERT_NE(at, std::string::npos) << player.output();
    EXPECT_EQ(player.output().find("story.txt:5: ", ended), std::string::npos);

    EXPECT_EQ(player.Stop(), 128 + SIGTERM);
    const std::string output = player.output();
    EXPECT_NE(output.find("result=0 line="), std::string::npos) << output;
    // The line added while line 4 waited never ran: the wait kept its own argument.
    EXPECT_EQ(output.find(show(15) + "  [frame"), std::string::npos) << output;
    EXPECT_EQ(output.find("error"), output.find("error: unknown")) << output;
    EXPECT_EQ(output.find("error", output.find("error") + 1), std::string::npos) << output;

    // The replayed show ends on the picture a fresh run of the final story ends on.
    ProgramRun fresh = RunPlayer(dir, "--headless --dump-frames full --max-ms 2000");
    ASSERT_EQ(fresh.exitCode, 124) << fresh.output;
    const test::Picture watched = LastFrame(dir, "frames");
    const test::Picture expected = LastFrame(dir, "full");
    ASSERT_EQ(expected.width, 800);
    EXPECT_EQ(expected.At(30, 1), 0xFF0000u);
    EXPECT_EQ(expected.At(12, 1), 0u);
    EXPECT_TRUE(watched.pixels == expected.pixels);
}

} // namespace
} // namespace velox::player
