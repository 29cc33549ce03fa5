// The two outputs: headless rendering by virtual time with its WAV capture, and
// the SDL audio device.
#include "platform/SoundMixer.h"
#include "platform/headless/VirtualClock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace velox::platform {
namespace {

constexpr uint32_t kFlags = kSoundBufferStatic | kSoundBufferCtrlVolume;

SoundBuffer* Constant(SoundDevice* device, int16_t value, uint32_t frames) {
    SoundBuffer* b = CreateSoundBuffer(device, {kFlags, frames * 2, MakePcmFormat(1, 44100, 16)});
    EXPECT_NE(b, nullptr);
    SoundLockRegion r{};
    EXPECT_EQ(LockSoundBuffer(b, 0, frames * 2, r), 0);
    for (uint32_t i = 0; i < frames; ++i) {
        std::memcpy(r.part1 + 2 * i, &value, 2);
    }
    EXPECT_EQ(UnlockSoundBuffer(b, r), 0);
    return b;
}

uint32_t U32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
           uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
}
uint16_t U16(const std::string& s, size_t at) {
    return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8);
}

class Headless : public ::testing::Test {
protected:
    SoundDevice* Open(const std::string& capture = "") {
        SoundDeviceOptions options;
        options.output = SoundOutput::Headless;
        options.clockNanos = [this] { return nanos_.load(); };
        options.capturePath = capture;
        return CreateSoundDevice(options);
    }
    std::atomic<uint64_t> nanos_{0};
};

TEST_F(Headless, CaptureHoldsSampleNAtVirtualTimeNOver44100) {
    test::TempDir dir;
    const std::string path = dir.path() + "/out.wav";
    SoundDevice* device = Open(path);
    ASSERT_NE(device, nullptr);
    SoundBuffer* a = Constant(device, 1000, 10);
    SoundBuffer* b = Constant(device, -2000, 10);
    // 999.99999 frames in: the start lands on frame 999.
    nanos_ = 22675736;
    ASSERT_EQ(PlaySoundBuffer(a, false), 0);
    // 2000.0000002 frames in: frame 2000.
    nanos_ = 45351474;
    ASSERT_EQ(PlaySoundBuffer(b, false), 0);
    nanos_ = 100000000; // 0.1 s: 4410 frames
    ReleaseSoundDevice(device);

    const std::string wav = dir.Read("out.wav");
    ASSERT_EQ(wav.size(), 44u + 4410 * 4);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(U32(wav, 4), 36u + 4410 * 4);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(U32(wav, 16), 16u);
    EXPECT_EQ(U16(wav, 20), 1);
    EXPECT_EQ(U16(wav, 22), 2);
    EXPECT_EQ(U32(wav, 24), 44100u);
    EXPECT_EQ(U32(wav, 28), 176400u);
    EXPECT_EQ(U16(wav, 32), 4);
    EXPECT_EQ(U16(wav, 34), 16);
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(U32(wav, 40), 4410u * 4);
    for (size_t n = 0; n < 4410; ++n) {
        int16_t expected = 0;
        if (n >= 999 && n < 1009) {
            expected = 1000;
        } else if (n >= 2000 && n < 2010) {
            expected = -2000;
        }
        ASSERT_EQ(int16_t(U16(wav, 44 + 4 * n)), expected) << "frame " << n;
        ASSERT_EQ(int16_t(U16(wav, 46 + 4 * n)), expected) << "frame " << n;
    }
}

TEST_F(Headless, StatusAndCursorFollowTheVirtualClock) {
    SoundDevice* device = Open();
    ASSERT_NE(device, nullptr);
    SoundBuffer* b = Constant(device, 5, 441); // 10 ms
    ASSERT_EQ(PlaySoundBuffer(b, false), 0);
    uint32_t status = 0, cursor = 0;
    nanos_ = 5000000; // 220.5 frames
    ASSERT_EQ(GetSoundBufferStatus(b, status), 0);
    EXPECT_EQ(status, kSoundStatusPlaying);
    ASSERT_EQ(GetSoundBufferPosition(b, cursor), 0);
    EXPECT_EQ(cursor, 440u);
    nanos_ = 20000000;
    ASSERT_EQ(GetSoundBufferStatus(b, status), 0);
    EXPECT_EQ(status, 0u);
    nanos_ = 1000000000;
    ASSERT_EQ(RenderSoundToNow(device), 0);
    EXPECT_EQ(RenderedSoundFrames(device), 44100u);
    ReleaseSoundDevice(device);
}

TEST(HeadlessClock, FollowsTheVirtualClockWithoutMovingIt) {
    VirtualClock clock;
    SetClockSource(&clock);
    SoundDeviceOptions options;
    options.output = SoundOutput::Headless;
    SoundDevice* device = CreateSoundDevice(options);
    ASSERT_NE(device, nullptr);
    clock.SleepMillis(100);
    ASSERT_EQ(RenderSoundToNow(device), 0);
    EXPECT_EQ(RenderedSoundFrames(device), 4410u);
    EXPECT_EQ(clock.PeekNanos(), 100000000u);
    ReleaseSoundDevice(device);
    SetClockSource(nullptr);
}

TEST_F(Headless, CaptureFileThatCannotBeCreatedFailsTheDevice) {
    test::TempDir dir;
    EXPECT_EQ(Open(dir.path() + "/missing/folder/out.wav"), nullptr);
}

TEST_F(Headless, DefaultOptionsAreWhatTheProgramSet) {
    SoundDeviceOptions options;
    options.output = SoundOutput::Headless;
    options.capturePath = "x.wav";
    SetDefaultSoundDeviceOptions(options);
    SoundDeviceOptions back = DefaultSoundDeviceOptions();
    EXPECT_EQ(back.output, SoundOutput::Headless);
    EXPECT_EQ(back.capturePath, "x.wav");
}

// Sets SDL_AUDIODRIVER for one test and puts back what was there.
class AudioDriver {
public:
    explicit AudioDriver(const char* name) {
        if (const char* old = std::getenv("SDL_AUDIODRIVER")) {
            previous_ = old;
            hadPrevious_ = true;
        }
        ::setenv("SDL_AUDIODRIVER", name, 1);
    }
    ~AudioDriver() {
        if (hadPrevious_) {
            ::setenv("SDL_AUDIODRIVER", previous_.c_str(), 1);
        } else {
            ::unsetenv("SDL_AUDIODRIVER");
        }
    }

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

TEST(SdlOutput, DeviceThreadPullsTheMix) {
    // The dummy driver consumes audio at the real rate without hardware.
    AudioDriver driver("dummy");
    SoundDevice* device = CreateSoundDevice(SoundDeviceOptions{});
    ASSERT_NE(device, nullptr);
    SoundBuffer* b = Constant(device, 100, 44100);
    ASSERT_EQ(PlaySoundBuffer(b, true), 0);
    uint32_t cursor = 0;
    for (int i = 0; i < 200 && cursor == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(GetSoundBufferPosition(b, cursor), 0);
    }
    EXPECT_GT(cursor, 0u);
    EXPECT_GT(RenderedSoundFrames(device), 0u);
    EXPECT_EQ(ReleaseSoundBuffer(b), 0);
    ReleaseSoundDevice(device);
}

TEST(SdlOutput, WithoutAnAudioDeviceSoundsKeepTheirTimeSilently) {
    AudioDriver driver("no-such-driver");
    ::testing::internal::CaptureStderr();
    SoundDevice* device = CreateSoundDevice(SoundDeviceOptions{});
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(device, nullptr);
    EXPECT_NE(said.find("no sound device"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    const auto start = std::chrono::steady_clock::now();
    SoundBuffer* once = Constant(device, 100, 4410); // 100 ms
    SoundBuffer* looped = Constant(device, 100, 4410);
    ASSERT_EQ(PlaySoundBuffer(once, false), 0);
    ASSERT_EQ(PlaySoundBuffer(looped, true), 0);
    uint32_t status = 0;
    ASSERT_EQ(GetSoundBufferStatus(once, status), 0);
    if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(80)) {
        EXPECT_EQ(status & kSoundStatusPlaying, kSoundStatusPlaying);
    }
    // Half-way (by the clock, however late this thread wakes) the cursor has moved
    // with it, then the one-shot sound ends while the looped one wraps and goes on.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    uint32_t cursor = 0;
    ASSERT_EQ(GetSoundBufferPosition(once, cursor), 0);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed < 0.09) {
        EXPECT_NEAR(cursor / 2 / 44100.0, elapsed, 0.02);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(GetSoundBufferStatus(once, status), 0);
    EXPECT_EQ(status & kSoundStatusPlaying, 0u);
    ASSERT_EQ(GetSoundBufferStatus(looped, status), 0);
    EXPECT_EQ(status & (kSoundStatusPlaying | kSoundStatusLooping),
              kSoundStatusPlaying | kSoundStatusLooping);
    EXPECT_GE(RenderedSoundFrames(device), 44100u / 4);
    EXPECT_EQ(ReleaseSoundBuffer(once), 0);
    EXPECT_EQ(ReleaseSoundBuffer(looped), 0);
    ReleaseSoundDevice(device);
}

} // namespace
} // namespace velox::platform
