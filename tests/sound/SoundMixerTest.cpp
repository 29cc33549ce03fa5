// The mixer pulled by hand on a headless device whose clock stands still.
#include "platform/SoundMixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace velox::platform {
namespace {

constexpr uint32_t kVolumeFlags = kSoundBufferStatic | kSoundBufferCtrlVolume;

class Mixer : public ::testing::Test {
protected:
    void SetUp() override {
        SoundDeviceOptions options;
        options.output = SoundOutput::Headless;
        options.clockNanos = [] { return uint64_t(0); };
        device_ = CreateSoundDevice(options);
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override { ReleaseSoundDevice(device_); }

    SoundBuffer* Make(const WaveFormat& format, const std::vector<uint8_t>& bytes,
                      uint32_t flags = kVolumeFlags) {
        SoundBuffer* b = CreateSoundBuffer(device_, {flags, uint32_t(bytes.size()), format});
        EXPECT_NE(b, nullptr);
        if (!b) {
            return nullptr;
        }
        SoundLockRegion r{};
        EXPECT_EQ(LockSoundBuffer(b, 0, uint32_t(bytes.size()), r), 0);
        std::memcpy(r.part1, bytes.data(), bytes.size());
        EXPECT_EQ(UnlockSoundBuffer(b, r), 0);
        return b;
    }

    SoundBuffer* Make16(uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples,
                        uint32_t flags = kVolumeFlags) {
        std::vector<uint8_t> bytes;
        for (int16_t v : samples) {
            bytes.push_back(uint8_t(v));
            bytes.push_back(uint8_t(uint16_t(v) >> 8));
        }
        return Make(MakePcmFormat(channels, rate, 16), bytes, flags);
    }

    // Interleaved left/right.
    std::vector<int16_t> Pull(uint32_t frames) {
        std::vector<int16_t> out(2 * frames, 12345);
        PullSoundFrames(device_, out.data(), frames);
        return out;
    }

    SoundDevice* device_ = nullptr;
};

TEST_F(Mixer, ResampledVoicesKeepTheirSamplesOnTheFrameGrid) {
    // A half-rate voice started a few frames into the mix: every other device
    // frame falls on a source frame and plays its sample exactly, from the
    // frame it started on, and the voice ends where its data does.
    SoundBuffer* b = Make16(1, 22050, {0, 1000, -3000, 3000, 4000, -5000, 6000, 7000});
    EXPECT_EQ(Pull(3), std::vector<int16_t>(6, 0));
    ASSERT_EQ(PlaySoundBuffer(b, false), 0);
    std::vector<int16_t> out = Pull(17);
    const int16_t samples[] = {0, 1000, -3000, 3000, 4000, -5000, 6000, 7000};
    for (int n = 0; n < 16; n += 2) {
        EXPECT_EQ(out[2 * n], samples[n / 2]) << "frame " << n;
        EXPECT_EQ(out[2 * n + 1], samples[n / 2]) << "frame " << n;
    }
    EXPECT_EQ(out[32], 0);
    uint32_t status = 1;
    ASSERT_EQ(GetSoundBufferStatus(b, status), 0);
    EXPECT_EQ(status, 0u);
}

TEST_F(Mixer, ResamplingPassesTheBandAndStopsImagesAndAliases) {
    // Tones at 0.3 of the source rate, up- and downsampled: each device frame
    // is the tone at that instant (linear interpolation is off by hundreds).
    for (uint32_t rate : {8000u, 11025u, 32000u, 48000u}) {
        std::vector<int16_t> s;
        const uint32_t frames = rate / 100, cycles = rate * 3 / 1000;
        for (uint32_t k = 0; k < frames; ++k) {
            s.push_back(int16_t(std::lround(20000 * std::sin(2 * M_PI * cycles * k / frames))));
        }
        SoundBuffer* b = Make16(1, rate, s);
        ASSERT_EQ(PlaySoundBuffer(b, true), 0);
        std::vector<int16_t> out = Pull(400);
        for (int n = 0; n < 400; ++n) {
            double at = n * double(rate) / 44100.0;
            double expected = 20000 * std::sin(2 * M_PI * cycles * at / frames);
            ASSERT_NEAR(out[2 * n], expected, 3.0) << rate << " Hz, frame " << n;
        }
        ReleaseSoundBuffer(b);
    }
    // 30 kHz from a 96 kHz source is above the device's Nyquist rate: it must
    // vanish rather than fold back to 14.1 kHz.
    std::vector<int16_t> high;
    for (uint32_t k = 0; k < 960; ++k) {
        high.push_back(int16_t(std::lround(20000 * std::sin(2 * M_PI * 300 * k / 960))));
        high.push_back(0);
    }
    SoundBuffer* b = Make16(2, 96000, high);
    ASSERT_EQ(PlaySoundBuffer(b, true), 0);
    std::vector<int16_t> out = Pull(400);
    for (int n = 0; n < 400; ++n) {
        ASSERT_LE(std::abs(out[2 * n]), 3) << "frame " << n;
        ASSERT_EQ(out[2 * n + 1], 0) << "frame " << n;
    }
}

TEST_F(Mixer, StereoDownsampledKeepsChannelsApart) {
    std::vector<int16_t> s;
    for (int k = 0; k < 96; ++k) {
        s.push_back(int16_t(100 * k));
        s.push_back(int16_t(-50 * k));
    }
    SoundBuffer* b = Make16(2, 88200, s);
    ASSERT_EQ(PlaySoundBuffer(b, false), 0);
    std::vector<int16_t> out = Pull(48);
    for (int n = 0; n < 48; ++n) {
        EXPECT_NEAR(out[2 * n + 1], -out[2 * n] / 2, 1) << "frame " << n;
        if (n >= 12 && n < 24) { // a kernel away from both edges passes a ramp as it is
            EXPECT_NEAR(out[2 * n], 200 * n, 1) << "frame " << n;
        }
    }
    EXPECT_EQ(Pull(1)[0], 0); // played through and stopped
}

TEST_F(Mixer, EightBitSamplesAreUnsignedAroundTheMidpoint) {
    SoundBuffer* b = Make(MakePcmFormat(1, 44100, 8), {0x8A, 0x76, 0x00, 0xFF, 0x80});
    ASSERT_EQ(PlaySoundBuffer(b, false), 0);
    std::vector<int16_t> out = Pull(5);
    EXPECT_EQ(out[0], 2560);
    EXPECT_EQ(out[2], -2560);
    EXPECT_EQ(out[4], -32768);
    EXPECT_EQ(out[6], 32512);
    EXPECT_EQ(out[8], 0);
}

TEST_F(Mixer, AttenuationIsTenToTheHundredthsOfDecibelsOverTwoThousand) {
    const int32_t levels[] = {0, -299, -600, -2406, -6000, -9999};
    for (int32_t a : levels) {
        SoundBuffer* b = Make16(1, 44100, {10000, -10000});
        ASSERT_EQ(SetSoundBufferAttenuation(b, a), 0);
        int32_t back = 1;
        ASSERT_EQ(GetSoundBufferAttenuation(b, back), 0);
        EXPECT_EQ(back, a);
        ASSERT_EQ(PlaySoundBuffer(b, false), 0);
        std::vector<int16_t> out = Pull(2);
        double expected = 10000 * std::pow(10.0, a / 2000.0);
        EXPECT_NEAR(out[0], expected, 1.0) << "attenuation " << a;
        EXPECT_NEAR(out[2], -expected, 1.0) << "attenuation " << a;
        ReleaseSoundBuffer(b);
    }
    SoundBuffer* silent = Make16(1, 44100, {32767, 32767});
    ASSERT_EQ(SetSoundBufferAttenuation(silent, -10000), 0);
    ASSERT_EQ(PlaySoundBuffer(silent, false), 0);
    EXPECT_EQ(Pull(2), std::vector<int16_t>(4, 0));
}

TEST_F(Mixer, AttenuationOutOfRangeOrWithoutVolumeControlIsRefused) {
    SoundBuffer* b = Make16(1, 44100, {1, 2});
    EXPECT_EQ(SetSoundBufferAttenuation(b, 1), -1);
    EXPECT_EQ(SetSoundBufferAttenuation(b, -10001), -1);
    SoundBuffer* fixed = Make16(1, 44100, {1, 2}, kSoundBufferStatic);
    EXPECT_EQ(SetSoundBufferAttenuation(fixed, -600), -1);
    int32_t a = 1;
    ASSERT_EQ(GetSoundBufferAttenuation(fixed, a), 0);
    EXPECT_EQ(a, 0);
}

TEST_F(Mixer, LoopedBufferWrapsAndOnceStopsRewound) {
    SoundBuffer* looped = Make16(1, 44100, {100, 200, 300, 400});
    ASSERT_EQ(PlaySoundBuffer(looped, true), 0);
    std::vector<int16_t> out = Pull(10);
    const int16_t cycle[] = {100, 200, 300, 400};
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(out[2 * n], cycle[n % 4]);
    }
    uint32_t status = 0, cursor = 0;
    ASSERT_EQ(GetSoundBufferStatus(looped, status), 0);
    EXPECT_EQ(status, kSoundStatusPlaying | kSoundStatusLooping);
    ASSERT_EQ(GetSoundBufferPosition(looped, cursor), 0);
    EXPECT_EQ(cursor, 4u); // 10 frames in: frame 2
    ASSERT_EQ(StopSoundBuffer(looped), 0);

    SoundBuffer* once = Make16(1, 44100, {100, 200, 300, 400});
    ASSERT_EQ(PlaySoundBuffer(once, false), 0);
    out = Pull(6);
    EXPECT_EQ(out[6], 400);
    EXPECT_EQ(out[8], 0);
    EXPECT_EQ(out[10], 0);
    ASSERT_EQ(GetSoundBufferStatus(once, status), 0);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(GetSoundBufferPosition(once, cursor), 0);
    EXPECT_EQ(cursor, 0u);
}

TEST_F(Mixer, ResampledLoopInterpolatesAcrossTheSeam) {
    SoundBuffer* b = Make16(1, 22050, {0, 1000});
    ASSERT_EQ(PlaySoundBuffer(b, true), 0);
    std::vector<int16_t> out = Pull(8);
    const int16_t expected[] = {0, 500, 1000, 500, 0, 500, 1000, 500};
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(out[2 * n], expected[n]);
    }
}

TEST_F(Mixer, PositionIsKeptAcrossStopAndCanBeSet) {
    SoundBuffer* b = Make16(1, 44100, {10, 20, 30, 40, 50, 60});
    ASSERT_EQ(SetSoundBufferPosition(b, 4), 0);
    ASSERT_EQ(PlaySoundBuffer(b, false), 0);
    EXPECT_EQ(Pull(1)[0], 30);
    ASSERT_EQ(StopSoundBuffer(b), 0);
    EXPECT_EQ(Pull(1)[0], 0);
    uint32_t cursor = 0;
    ASSERT_EQ(GetSoundBufferPosition(b, cursor), 0);
    EXPECT_EQ(cursor, 6u);
    ASSERT_EQ(PlaySoundBuffer(b, false), 0);
    EXPECT_EQ(Pull(1)[0], 40);
    EXPECT_EQ(SetSoundBufferPosition(b, 12), -1);
    EXPECT_EQ(SetSoundBufferPosition(b, 11), 0); // within the last frame
    EXPECT_EQ(Pull(1)[0], 60);
}

TEST_F(Mixer, DuplicatesShareDataButNotPositionStateOrLevel) {
    SoundBuffer* original = Make16(1, 44100, {0, 0, 0, 0});
    SoundBuffer* copy = DuplicateSoundBuffer(device_, original);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(GetSoundBufferFlags(copy), kVolumeFlags);
    EXPECT_EQ(GetSoundBufferSize(copy), 8u);
    // Written through the original after duplicating: the copy plays it too.
    SoundLockRegion r{};
    ASSERT_EQ(LockSoundBuffer(original, 0, 8, r), 0);
    const int16_t values[4] = {1000, 2000, 3000, 4000};
    std::memcpy(r.part1, values, 8);
    ASSERT_EQ(UnlockSoundBuffer(original, r), 0);
    ASSERT_EQ(SetSoundBufferAttenuation(original, -10000), 0);
    ASSERT_EQ(PlaySoundBuffer(copy, false), 0);
    uint32_t status = 1;
    ASSERT_EQ(GetSoundBufferStatus(original, status), 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(Pull(1)[0], 1000);
    // Started one frame later, the original (silenced) adds nothing; at full
    // level it adds its own first sample to the copy's second.
    ASSERT_EQ(SetSoundBufferAttenuation(original, 0), 0);
    ASSERT_EQ(PlaySoundBuffer(original, false), 0);
    EXPECT_EQ(Pull(1)[0], 2000 + 1000);
    ASSERT_EQ(ReleaseSoundBuffer(original), 0);
    EXPECT_EQ(Pull(1)[0], 3000); // the data lives on with the copy
}

TEST_F(Mixer, LockRegionsWrapAtTheRingsEnd) {
    SoundBuffer* b = Make(MakePcmFormat(1, 44100, 8), std::vector<uint8_t>(100, 0x80));
    SoundLockRegion r{};
    ASSERT_EQ(LockSoundBuffer(b, 80, 40, r), 0);
    ASSERT_NE(r.part2, nullptr);
    EXPECT_EQ(r.bytes1, 20u);
    EXPECT_EQ(r.bytes2, 20u);
    std::memset(r.part1, 0xA1, r.bytes1);
    std::memset(r.part2, 0xB2, r.bytes2);
    EXPECT_EQ(LockSoundBuffer(b, 0, 4, r), -1); // one lock at a time
    ASSERT_EQ(UnlockSoundBuffer(b, r), 0);
    EXPECT_EQ(UnlockSoundBuffer(b, r), -1);

    SoundLockRegion all{};
    ASSERT_EQ(LockSoundBuffer(b, 0, 100, all), 0);
    EXPECT_EQ(all.part2, nullptr);
    EXPECT_EQ(all.bytes2, 0u);
    for (int i = 0; i < 100; ++i) {
        uint8_t expected = i < 20 ? 0xB2 : i >= 80 ? 0xA1 : 0x80;
        ASSERT_EQ(all.part1[i], expected) << "byte " << i;
    }
    // Only what the unlock names is stored.
    std::memset(all.part1, 0x11, 100);
    all.bytes1 = 10;
    ASSERT_EQ(UnlockSoundBuffer(b, all), 0);
    ASSERT_EQ(LockSoundBuffer(b, 9, 2, all), 0);
    EXPECT_EQ(all.part1[0], 0x11);
    EXPECT_EQ(all.part1[1], 0xB2);
    all.bytes1 = 3; // more than was locked
    EXPECT_EQ(UnlockSoundBuffer(b, all), -1);
    all.bytes1 = 2;
    EXPECT_EQ(UnlockSoundBuffer(b, all), 0);

    EXPECT_EQ(LockSoundBuffer(b, 100, 1, r), -1);
    EXPECT_EQ(LockSoundBuffer(b, 0, 0, r), -1);
    EXPECT_EQ(LockSoundBuffer(b, 0, 101, r), -1);
}

TEST_F(Mixer, SumsAreClippedToSixteenBits) {
    SoundBuffer* a = Make16(1, 44100, {30000, -30000, 30000});
    SoundBuffer* b = Make16(1, 44100, {30000, -30000, -30000});
    ASSERT_EQ(PlaySoundBuffer(a, false), 0);
    ASSERT_EQ(PlaySoundBuffer(b, false), 0);
    std::vector<int16_t> out = Pull(3);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[2], -32768);
    EXPECT_EQ(out[4], 0);
}

TEST_F(Mixer, OnlyPlainPcmOfOneOrTwoChannelsAndEightOrSixteenBits) {
    auto accepted = [&](WaveFormat f, uint32_t bytes) {
        SoundBuffer* b = CreateSoundBuffer(device_, {kVolumeFlags, bytes, f});
        if (b) {
            ReleaseSoundBuffer(b);
        }
        return b != nullptr;
    };
    EXPECT_TRUE(accepted(MakePcmFormat(2, 44100, 16), 400));
    EXPECT_TRUE(accepted(MakePcmFormat(1, 100, 8), 4));
    EXPECT_FALSE(accepted(MakePcmFormat(2, 44100, 24), 600));
    EXPECT_FALSE(accepted(MakePcmFormat(3, 44100, 16), 600));
    EXPECT_FALSE(accepted(MakePcmFormat(1, 99, 8), 4));
    EXPECT_FALSE(accepted(MakePcmFormat(1, 44100, 8), 3));
    WaveFormat wrongAlign = MakePcmFormat(2, 44100, 16);
    wrongAlign.blockAlign = 2;
    EXPECT_FALSE(accepted(wrongAlign, 400));
    WaveFormat compressed = MakePcmFormat(1, 44100, 16);
    compressed.formatTag = kWaveFormatMsAdpcm;
    EXPECT_FALSE(accepted(compressed, 400));
}

TEST_F(Mixer, DeviceCapsAndPrimaryFormat) {
    SoundDeviceCaps caps{};
    ASSERT_EQ(GetSoundDeviceCaps(device_, caps), 0);
    EXPECT_TRUE(caps.stereo);
    EXPECT_TRUE(caps.bits16);
    EXPECT_GE(caps.maxSecondaryRate, 44100u);
    EXPECT_EQ(caps.outputRate, 44100u);
    ASSERT_EQ(SetPrimaryFormat(device_, MakePcmFormat(2, 22050, 8)), 0);
    WaveFormat f{};
    ASSERT_EQ(GetPrimaryFormat(device_, f), 0);
    EXPECT_EQ(f.samplesPerSec, 22050u);
    EXPECT_EQ(f.avgBytesPerSec, 44100u);
    WaveFormat bad = MakePcmFormat(2, 44100, 16);
    bad.formatTag = kWaveFormatMuLaw;
    EXPECT_EQ(SetPrimaryFormat(device_, bad), -1);
}

} // namespace
} // namespace velox::platform
