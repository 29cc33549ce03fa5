#include "platform/Backend.h"
#include "support/PngFile.h"
#include "support/TempDir.h"

#include <velox/headless.h>
#include <velox/velox.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace velox {
namespace {

class HeadlessApi : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path().string();
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    }
    void TearDown() override {
        platform::SelectBackend(platform::BackendOptions{});
        (void)::chdir(previous_.c_str());
    }
    test::TempDir dir_;
    std::string previous_;
};

// One public choice drives the frame folder, the virtual clock, the scripted keys and the
// sound capture of a whole run.
TEST_F(HeadlessApi, OneChoiceDrivesFramesClockKeysAndSound) {
    const std::string frames = dir_.path() + "/out/frames";
    const std::string wav = dir_.path() + "/mix.wav";
    const HeadlessKey space[] = {{57, 400, 500}};
    HeadlessOptions options;
    options.frameFolder = frames.c_str();
    options.soundCaptureFile = wav.c_str();
    options.keys = space;
    options.keyCount = 1;

    HeadlessOptions bad = options;
    bad.keyCount = -1;
    EXPECT_EQ(SelectHeadlessBackend(&bad), -1);
    bad.keyCount = 1;
    bad.keys = nullptr;
    EXPECT_EQ(SelectHeadlessBackend(&bad), -1);
    EXPECT_EQ(SelectHeadlessBackend(nullptr), -1);
    dir_.Write("file", "x");
    bad = options;
    bad.frameFolder = "file/frames";
    EXPECT_EQ(SelectHeadlessBackend(&bad), -1);
    bad = options;
    bad.soundCaptureFile = "missing/mix.wav";
    EXPECT_EQ(SelectHeadlessBackend(&bad), -1);
    EXPECT_EQ(GetHeadlessTime(), 0u); // still the window backend

    ASSERT_EQ(SelectHeadlessBackend(&options), 0);
    EXPECT_TRUE(std::filesystem::is_directory(frames));
    EXPECT_EQ(GetHeadlessTime(), 0u);
    ChangeWindowMode(1);
    SetScreenMode(800, 600, 32, 60);
    ASSERT_EQ(StartRuntime(), 0);
    EXPECT_EQ(SelectHeadlessBackend(&options), -1); // not while the runtime runs
    EXPECT_EQ(FinishHeadlessFrames(), -1);
    SetDrawTarget(kDrawBackBuffer);

    // The key is down exactly while the virtual time is inside its window.
    int downSamples = 0;
    int upSamples = 0;
    char keys[256];
    for (int step = 0; step < 12; ++step) {
        const uint64_t before = GetHeadlessTime();
        ASSERT_EQ(GetAllKeyState(keys), 0);
        const uint64_t after = GetHeadlessTime();
        if (before >= 400000 && after < 500000) {
            EXPECT_EQ(keys[57], 1) << "at " << before << " us";
            ++downSamples;
        } else if (after < 400000 || before >= 500000) {
            EXPECT_EQ(keys[57], 0) << "at " << before << " us";
            ++upSamples;
        }
        SleepMicros(50000);
        EXPECT_GE(GetHeadlessTime(), before + 50000);
    }
    EXPECT_GT(downSamples, 0);
    EXPECT_GT(upSamples, 0);

    const uint64_t framesBefore = GetPresentedFrameCount();
    for (int i = 0; i < 3; ++i) {
        ClearScreen();
        PrintText(10 + 100 * i, 10, "frame", GetColorValue(255, 255, 255), 0);
        ASSERT_EQ(FlipScreen(), 0);
    }
    EXPECT_EQ(GetPresentedFrameCount(), framesBefore + 3);
    const uint64_t playedUs = GetHeadlessTime();
    ShutdownRuntime();
    const uint64_t endUs = GetHeadlessTime();
    EXPECT_EQ(FinishHeadlessFrames(), 0);

    // Every presented picture is a PNG of the screen; the last three show the text moving.
    test::Picture last[3];
    for (int i = 0; i < 3; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "/%06llu.png",
                      static_cast<unsigned long long>(framesBefore + 1 + i));
        ASSERT_TRUE(test::ReadPng(frames + name, last[i])) << name;
        EXPECT_EQ(last[i].width, 800);
        EXPECT_EQ(last[i].height, 600);
    }
    EXPECT_NE(last[0].pixels, last[1].pixels);
    EXPECT_NE(last[1].pixels, last[2].pixels);
    char next[16];
    std::snprintf(next, sizeof next, "/%06llu.png",
                  static_cast<unsigned long long>(framesBefore + 4));
    EXPECT_FALSE(std::filesystem::exists(frames + next));
    EXPECT_TRUE(std::filesystem::exists(frames + "/frames.ffconcat"));

    // The mix ran in virtual time: 44100 stereo 16-bit frames a second after the header,
    // up to the last time the mixer was touched before the device closed.
    const uint64_t wavBytes = std::filesystem::file_size(wav);
    EXPECT_GE(wavBytes, 44 + playedUs * 44100 / 1000000 * 4 - 4096 * 4);
    EXPECT_LE(wavBytes, 44 + (endUs * 44100 / 1000000 + 1) * 4);
}

} // namespace
} // namespace velox
