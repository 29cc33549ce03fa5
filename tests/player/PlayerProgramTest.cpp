#include "PlayerRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

TEST(PlayerProgram, MaxMsCutsALongShowWithItsOwnStatusButAScriptedEscapeDoesNot) {
    test::TempDir dir;
    // Three times the duration no longer fits 32 bits: the waits run until cut.
    dir.Write("story.txt", "wait 715827883\r\n");
    ProgramRun run = RunPlayer(dir, "--headless --max-ms 2000");
    EXPECT_EQ(run.exitCode, 124) << run.output;
    EXPECT_NE(run.output.find("result=0 line=0 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(" cut=1\n"), std::string::npos) << run.output;
    unsigned long long time = Field(run.output, "time_us");
    EXPECT_GE(time, 2000000ull);
    EXPECT_LT(time, 2200000ull);

    dir.Write("story.txt", "wait 2147483647\r\n");
    run = RunPlayer(dir, "--headless --max-ms=2000 --key escape@1000-5000");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("cut="), std::string::npos) << run.output;
    EXPECT_LT(Field(run.output, "time_us"), 1200000ull);
}

TEST(PlayerProgram, FailuresEndWithStatusOneAndOneEnglishLine) {
    test::TempDir dir;
    dir.Write("story.txt", "wait 0\r\nloadimage 12,\"a.png\"\r\n");
    ProgramRun run = RunPlayer(dir, "--headless");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("result=-1 line=2 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("velox-player: story.txt:2: loadimage: no image slot 12 (slots are "
                              "0..9)\n"),
              std::string::npos)
        << run.output;

    // A first line of exactly 1022 bytes: its CR LF straddles the read's end, and still
    // the failing command is line 2.
    dir.Write("story.txt", "wait 0" + std::string(1016, ' ') + "\r\nloadimage -1,\"a.png\"\r\n");
    run = RunPlayer(dir, "--headless");
    EXPECT_NE(run.output.find("story.txt:2: loadimage: no image slot -1 "), std::string::npos)
        << run.output;

    dir.Write("story.txt", "loadsound 1,\"noise.wav\"\r\n");
    dir.Write("noise.wav", "RIFF not really");
    run = RunPlayer(dir, "--headless");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("story.txt:1: loadsound: cannot load \"noise.wav\": cannot decode"),
              std::string::npos)
        << run.output;

    dir.Write("story.txt", "showimage 4,100,0,0,0,0,255,255,0,0\r\n");
    run = RunPlayer(dir, "--headless");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("story.txt:1: showimage: image slot 4 is empty\n"), std::string::npos)
        << run.output;

    run = RunPlayer(dir, "missing-folder --headless");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("velox-player: cannot enter missing-folder: "), std::string::npos)
        << run.output;
}

TEST(PlayerProgram, WithoutADisplayTheWindowedPlayerSaysSo) {
    test::TempDir dir;
    dir.Write("story.txt", "wait 1\r\n");
    ProgramRun run = RunPlayer(dir, "--windowed", "env -u DISPLAY -u WAYLAND_DISPLAY");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.output.find("no display found; --headless renders without one"),
              std::string::npos)
        << run.output;
}

TEST(PlayerProgram, HelpVersionAndBadOptions) {
    test::TempDir dir;
    ProgramRun help = RunPlayer(dir, "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("usage: velox-player"), std::string::npos);
    for (const char* asked : {"--version", "-V"}) {
        ProgramRun version = RunPlayer(dir, asked);
        EXPECT_EQ(version.exitCode, 0) << asked;
        EXPECT_EQ(version.output.rfind("velox-player ", 0), 0u) << asked;
    }
    // A usage error is one line and where to look, not the whole usage text.
    for (const char* bad : {"--nonsense", "--windowed=yes", "--max-ms=soon", "--key"}) {
        ProgramRun run = RunPlayer(dir, bad);
        EXPECT_EQ(run.exitCode, 2) << bad;
        size_t first = run.output.find('\n');
        ASSERT_NE(first, std::string::npos) << bad;
        EXPECT_EQ(run.output.substr(first + 1), "Try 'velox-player --help'\n") << run.output;
    }
    EXPECT_EQ(
        RunPlayer(dir, "--nonsense").output.rfind("velox-player: unknown option --nonsense\n", 0),
        0u);
    // After "--" a name that looks like an option is the story folder.
    dir.Write("-odd/story.txt", "wait 1\r\n");
    ProgramRun odd = RunPlayer(dir, "--headless -- -odd");
    EXPECT_EQ(odd.exitCode, 0) << odd.output;
    EXPECT_NE(odd.output.find("result=0 line=1 "), std::string::npos) << odd.output;
}

TEST(PlayerProgram, OptionPathsAreTakenFromTheStartFolderAndCheckedFirst) {
    test::TempDir dir;
    dir.Write("story/story.txt", "wait 0\r\nwait 0\r\n");
    dir.Write("plain-file", "x");
    struct Refusal {
        const char* options;
        const char* says;
    };
    for (const Refusal& r : {
             Refusal{"--soundfont=none.sf2", "--soundfont "},
             Refusal{"--soundfont story", ": is a folder"},
             Refusal{"--dump-frames plain-file/frames", "--dump-frames "},
             Refusal{"--audio-out no/such/folder.wav", "--audio-out "},
         }) {
        ProgramRun run = RunPlayer(dir, std::string("story --headless ") + r.options);
        EXPECT_EQ(run.exitCode, 2) << r.options << "\n" << run.output;
        EXPECT_NE(run.output.find(r.says), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("result="), std::string::npos) << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    }
    // Frames and sound land beside the start folder, not in the story's folder.
    ProgramRun run = RunPlayer(dir, "story --headless --dump-frames=frames --audio-out out.wav");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/out.wav"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "/frames"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/story/frames"));
}

} // namespace
} // namespace velox::player
