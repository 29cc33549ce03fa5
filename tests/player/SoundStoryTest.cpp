// End to end: velox-player --headless --audio-out on stories with sound and music; the
// captured mix is checked against the frame pace, the volumes and the fade's steps.
#include "player/StoryFiles.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

namespace velox::test {
namespace {

constexpr double kFrameUs = 33333.0;
constexpr double kFramesPerUs = 44100.0 / 1e6;

struct StoryRun {
    int exitCode = -1;
    std::string output;
    std::vector<int16_t> left;
};

StoryRun PlayStory(const TempDir& dir, const std::string& story, const std::string& extra = "") {
    dir.Write("story/story.txt", story);
    // The capture path is relative to where the player starts, not to the story folder.
    // A runtime directory of its own keeps the second-instance lock of parallel runs apart.
    const std::string command = "cd " + dir.path() + " && XDG_RUNTIME_DIR=" + dir.path() + " " +
                                VELOX_PLAYER_BINARY + " story --headless --audio-out out.wav " +
                                extra;
    StoryRun run;
    run.exitCode = RunShell(command, &run.output);
    run.left = CaptureLeft(dir.Read("out.wav"));
    return run;
}

// The first sample from `from` on whose magnitude reaches at least `level`.
int64_t Onset(const std::vector<int16_t>& s, int64_t from, int level) {
    for (size_t n = size_t(std::max<int64_t>(from, 0)); n < s.size(); ++n) {
        if (std::abs(int(s[n])) >= level) {
            return int64_t(n);
        }
    }
    return -1;
}

int Peak(const std::vector<int16_t>& s, int64_t from, int64_t to) {
    int peak = 0;
    for (int64_t n = std::max<int64_t>(from, 0); n < to && size_t(n) < s.size(); ++n) {
        peak = std::max(peak, std::abs(int(s[size_t(n)])));
    }
    return peak;
}

int64_t FramesAfter(int64_t onset, double videoFrames) {
    return onset + int64_t(std::llround(videoFrames * kFrameUs * kFramesPerUs));
}

TEST(SoundStory, SoundsStartOnTheirFramesAtTheirVolumeAndStopsoundSilences) {
    TempDir dir;
    // a: 10 ms of a constant 8000; b: a 440 Hz cosine of amplitude 16000, two seconds.
    dir.Write("story/a.wav", MonoWaveOf(441, [](int) { return int16_t(8000); }));
    dir.Write("story/b.wav", MonoWaveOf(88200, [](int n) {
                  return int16_t(
                      std::lround(16000 * std::cos(2 * std::numbers::pi * 440 * n / 44100)));
              }));
    const StoryRun run = PlayStory(dir, "loadsound 0,\"a.wav\"\r\n" // frame 0
                                        "loadsound 1,\"b.wav\"\r\n" // frame 1
                                        "playsound 0,255\r\n"       // frame 2
                                        "wait 2\r\n"                // frames 3-8
                                        "playsound 1,128\r\n"       // frame 9
                                        "wait 3\r\n"                // frames 10-18
                                        "stopsound 1\r\n"           // frame 19
                                        "wait 1\r\n");              // frames 20-22
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("result=0 line=8"), std::string::npos) << run.output;
    ASSERT_FALSE(run.left.empty());

    const int64_t a = Onset(run.left, 0, 8000);
    ASSERT_GE(a, 0);
    EXPECT_EQ(run.left[size_t(a)], 8000);
    EXPECT_EQ(Peak(run.left, 0, a), 0);
    // b starts 7 frame periods after a, to within a few clock reads per frame.
    const int64_t b = Onset(run.left, a + 441, 100);
    ASSERT_GE(b, 0);
    EXPECT_NEAR(double(b), double(FramesAfter(a, 7)), 3.0);
    EXPECT_EQ(Peak(run.left, a + 442, b), 0); // a lasted its 10 ms, then silence
    // Volume 128 is -299 hundredths of a decibel.
    EXPECT_NEAR(Peak(run.left, b, FramesAfter(b, 9)), LevelAtVolume(16000, 128), 3.0);
    // stopsound at frame 19, ten frames after b's start: silence from there on.
    const int64_t stop = FramesAfter(b, 10);
    EXPECT_GT(Peak(run.left, stop - 200, stop - 5), 10000);
    EXPECT_EQ(Peak(run.left, stop + 5, int64_t(run.left.size())), 0);
    // The run went on for its last wait of three frames after the stop.
    EXPECT_GE(int64_t(run.left.size()), FramesAfter(b, 13));
}

TEST(SoundStory, MusicFadeFollowsItsStepVolumes) {
    TempDir dir;
    dir.Write("story/m.wav", MonoWaveOf(44100, [](int) { return int16_t(10000); }));
    const StoryRun run = PlayStory(dir, "playmusic 200,1,\"m.wav\"\r\n" // frame 0
                                        "wait 1\r\n"                    // frames 1-3
                                        "fademusic 0,10\r\n"            // frame 4
                                        "wait 12\r\n");                 // frames 5-40
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_FALSE(run.left.empty());
    const int64_t start = Onset(run.left, 0, 1);
    ASSERT_GE(start, 0);
    // The loop paces after each command and the first frame has no frame before it to
    // wait for: the wait's first frame follows playmusic at once, and the fademusic
    // line runs three frame periods after it.
    auto levelInPeriod = [&](int period) {
        return double(run.left.at(size_t(FramesAfter(start, period + 0.5))));
    };
    for (int period = 0; period < 3; ++period) {
        EXPECT_NEAR(levelInPeriod(period), LevelAtVolume(10000, 200), 1.5) << period;
    }
    // Step 1 comes with the fademusic line, step 2 at the end of its frame, then one step
    // at the end of every frame: period 3 + j sounds at step j + 1.
    for (int k = 1; k <= 30; ++k) {
        const int volume = int(std::trunc(200.0 + k * (-200.0 / 30.0) + 0.5));
        EXPECT_NEAR(levelInPeriod(3 + k - 1), LevelAtVolume(10000, volume), 1.5) << "step " << k;
    }
    EXPECT_EQ(Peak(run.left, FramesAfter(start, 32.2), int64_t(run.left.size())), 0);
}

double Rms(const std::vector<int16_t>& s, int64_t from, int64_t to) {
    double sum = 0;
    int64_t n = 0;
    for (int64_t i = std::max<int64_t>(from, 0); i < to && size_t(i) < s.size(); ++i, ++n) {
        sum += double(s[size_t(i)]) * s[size_t(i)];
    }
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

TEST(SoundStory, MidiMusicPlaysWithTheSoundFontGiven) {
    TempDir dir;
    dir.Write("story/a.mid", OrganMidi(2)); // one second
    const StoryRun run = PlayStory(dir,
                                   "playmusic 255,0,\"a.mid\"\r\n"
                                   "wait 20\r\n",
                                   "--soundfont /usr/share/sounds/sf2/TimGM6mb.sf2");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("result=0 line=2"), std::string::npos) << run.output;
    const int64_t start = Onset(run.left, 0, 50);
    ASSERT_GE(start, 0);
    EXPECT_GT(Rms(run.left, start + 4410, start + 30000), 300.0);
    // Played once: over by 1.2 seconds, with the run going on to 2 seconds.
    EXPECT_EQ(Peak(run.left, start + 53000, int64_t(run.left.size())), 0);
    EXPECT_GT(run.left.size(), size_t(start + 80000));
}

TEST(SoundStory, AMissingSoundFontIsRefusedBeforeTheShowStarts) {
    TempDir dir;
    dir.Write("story/a.mid", OrganMidi(2));
    const StoryRun run = PlayStory(dir,
                                   "wait 1\r\n"
                                   "playmusic 255,0,\"a.mid\"\r\n",
                                   "--soundfont missing.sf2");
    EXPECT_EQ(run.exitCode, 2) << run.output; // a usage error
    EXPECT_EQ(run.output.find("result="), std::string::npos) << run.output;
    EXPECT_TRUE(run.left.empty()); // no sound file was made
}

} // namespace
} // namespace velox::test
