// The generated demo: make-demo writes it, the real player plays it headless to the end.
#include "PlayerRun.h"
#include "support/PngFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace velox::player {
namespace {

namespace fs = std::filesystem;

int RunMakeDemo(const std::string& arguments) {
    std::string command = "'" VELOX_MAKE_DEMO_BINARY "' " + arguments + " >/dev/null 2>&1";
    return test::RunShell(command);
}

struct StoryLine {
    std::string word;
    std::vector<long> numbers; // the integer arguments; strings are skipped
};

// story.txt split into CR LF lines; false when a line lacks its CR.
bool ReadStory(const std::string& bytes, std::vector<StoryLine>& out) {
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.back() != '\r') {
            return false;
        }
        line.pop_back();
        StoryLine s;
        size_t space = line.find(' ');
        s.word = line.substr(0, space);
        if (space != std::string::npos) {
            std::istringstream args(line.substr(space + 1));
            std::string arg;
            while (std::getline(args, arg, ',')) {
                if (!arg.empty() && arg[0] != '"') {
                    s.numbers.push_back(std::stol(arg));
                }
            }
        }
        out.push_back(s);
    }
    return true;
}

// Pictures the player presents: a background load, a showimage, and three a duration
// unit of moveimage (one when the duration is 0). Waits and the other commands present none.
unsigned long long PresentedFrames(const std::vector<StoryLine>& story) {
    unsigned long long frames = 0;
    for (const StoryLine& s : story) {
        if (s.word == "END") {
            break;
        }
        if (s.word == "showimage" || (s.word == "loadimage" && s.numbers.at(0) == 0)) {
            frames += 1;
        } else if (s.word == "moveimage") {
            frames += s.numbers.at(8) > 0 ? 3 * s.numbers.at(8) : 1;
        }
    }
    return frames;
}

// Passes of the run loop: every command takes one, wait and moveimage three a unit.
unsigned long long LoopPasses(const std::vector<StoryLine>& story) {
    unsigned long long passes = 0;
    for (const StoryLine& s : story) {
        if (s.word == "END") {
            break;
        }
        bool timed = s.word == "wait" || s.word == "moveimage";
        long units = timed ? s.numbers.back() : 0;
        passes += units > 0 ? 3 * units : 1;
    }
    return passes;
}

// The 16-bit samples of a PCM WAVE file's data chunk.
std::vector<int16_t> WaveSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = 0;
        std::memcpy(&size, &bytes[at + 4], 4);
        if (bytes.compare(at, 4, "data") == 0) {
            size = uint32_t(std::min<size_t>(size, bytes.size() - at - 8));
            samples.resize(size / 2);
            std::memcpy(samples.data(), &bytes[at + 8], samples.size() * 2);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return samples;
}

TEST(DemoStory, MakeDemoWritesAShiftJisStoryOverEveryCommandAndAPackedFolder) {
    test::TempDir dir;
    ASSERT_EQ(RunMakeDemo("'" + dir.path() + "/demo'"), 0);
    const std::string story = dir.Read("demo/story.txt");
    std::vector<StoryLine> lines;
    ASSERT_TRUE(ReadStory(story, lines)) << "every line ends in CR LF";
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().word, "END");

    std::set<std::string> words;
    for (const StoryLine& s : lines) {
        words.insert(s.word);
    }
    for (const char* w :
         {"loadimage", "showimage", "moveimage", "drawbackimage", "attachbg", "deletebg", "wait",
          "loadsound", "playsound", "stopsound", "playmusic", "fademusic", "stopmusic"}) {
        EXPECT_TRUE(words.count(w)) << w;
    }
    // The Japanese name: Shift-JIS with a backslash in the script, UTF-8 on disk.
    EXPECT_NE(story.find(test::Sjis("\"images\\キャラ.png\"")), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(dir.path() + "/demo/images/キャラ.png"));
    // The packed folder is only the archive, and the script reads from it.
    EXPECT_TRUE(fs::is_regular_file(dir.path() + "/demo/pack.VLA"));
    EXPECT_FALSE(fs::exists(dir.path() + "/demo/pack"));
    EXPECT_NE(story.find("\"pack\\"), std::string::npos);

    // About a minute at 30 passes a second.
    EXPECT_GE(LoopPasses(lines), 50u * 30);
    EXPECT_LE(LoopPasses(lines), 70u * 30);
}

TEST(DemoStory, PlaysHeadlessToTheEndWithTheFramesItsDurationsImplyAndSound) {
    test::TempDir dir;
    ASSERT_EQ(RunMakeDemo("'" + dir.path() + "/demo'"), 0);
    std::vector<StoryLine> lines;
    ASSERT_TRUE(ReadStory(dir.Read("demo/story.txt"), lines));
    const unsigned long long frames = PresentedFrames(lines);

    // Dumping every frame would take most of the time: the full run only counts them.
    ProgramRun run = RunPlayer(dir, "demo --headless --audio-out '" + dir.path() + "/audio.wav'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // The line reported is the last command before END.
    const std::string expected = "result=0 line=" + std::to_string(lines.size() - 1) +
                                 " frames=" + std::to_string(frames) + " ";
    EXPECT_NE(run.output.find(expected), std::string::npos) << expected << "\n" << run.output;
    // Every pass takes one frame period of virtual time.
    EXPECT_GE(Field(run.output, "time_us"), LoopPasses(lines) * 1000000 / 30);

    // The first picture is the background: a sky bluer at the top than near the horizon.
    ProgramRun opening =
        RunPlayer(dir, "demo --headless --max-ms 500 --dump-frames '" + dir.path() + "/frames'");
    ASSERT_EQ(opening.exitCode, 124) << opening.output; // cut by --max-ms
    test::Picture first;
    ASSERT_TRUE(test::ReadPng(dir.path() + "/frames/000001.png", first));
    ASSERT_EQ(first.width, 800);
    uint32_t top = first.At(400, 5), horizon = first.At(100, 330);
    EXPECT_GT(top & 0xFF, (top >> 16) & 0xFF);
    EXPECT_GT((horizon >> 16) & 0xFF, horizon & 0xFF);

    // Music and effects were mixed: most of the show is not silent.
    std::vector<int16_t> samples = WaveSamples(dir.path() + "/audio.wav");
    ASSERT_GT(samples.size(), 44100u * 2 * 50);
    int peak = 0;
    size_t audibleSeconds = 0;
    for (size_t second = 0; second + 1 < samples.size() / 88200; ++second) {
        int secondPeak = 0;
        for (size_t i = second * 88200; i < (second + 1) * 88200; ++i) {
            secondPeak = std::max(secondPeak, std::abs(int(samples[i])));
        }
        peak = std::max(peak, secondPeak);
        audibleSeconds += secondPeak > 300 ? 1 : 0;
    }
    EXPECT_GT(peak, 8000);
    EXPECT_GT(audibleSeconds, samples.size() / 88200 * 3 / 4);
}

TEST(DemoStory, MakeDemoRefusesExtraArgumentsAndAnUnwritableFolder) {
    test::TempDir dir;
    EXPECT_EQ(RunMakeDemo("a b"), 2);
    dir.Write("file", "not a folder");
    EXPECT_EQ(RunMakeDemo("'" + dir.path() + "/file/demo'"), 1);
}

} // namespace
} // namespace velox::player
