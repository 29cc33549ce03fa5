// The sound and music commands on a started headless runtime: the fade's step
// volumes, and what playmusic, playsound and stopsound hand the runtime.
#include "Scene.h"
#include "Script.h"
#include "platform/SoundMixer.h"
#include "player/StoryFiles.h"
#include "sound/SoundState.h"
#include "support/HeadlessFixture.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

#include <cmath>

namespace velox::player {
namespace {

class MusicFadeTest : public test::HeadlessFixture {
protected:
    void SetUp() override {
        HeadlessFixture::SetUp();
        platform::SoundDeviceOptions options;
        options.output = platform::SoundOutput::Headless;
        platform::SetDefaultSoundDeviceOptions(options);
        ASSERT_EQ(StartRuntime(), 0);
        ResetScript();
        ResetScene();
        dir_.Write("m.wav", test::MonoWaveOf(44100, [](int) { return int16_t(10000); }));
    }
    void TearDown() override {
        ShutdownRuntime();
        HeadlessFixture::TearDown();
    }

    static int Run(const char* line) {
        const int32_t code = ClassifyCommand(line);
        return RunCommand(code, 0);
    }

    // The attenuation the current music's ring plays at.
    static int32_t MusicAttenuation() {
        auto* s = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds,
                                                             sound::Sound().currentMusic);
        int32_t attenuation = 1;
        if (!s || platform::GetSoundBufferAttenuation(s->buffers[0].buffer, attenuation) != 0) {
            ADD_FAILURE() << "no streamed music";
        }
        return attenuation;
    }
};

TEST_F(MusicFadeTest, FadeToZeroOverTenStepsDownInThirtySteps) {
    ASSERT_EQ(Run("playmusic 200,1,\"m.wav\""), 0);
    EXPECT_EQ(Scene().musicVolume, 200);
    // The music plays at the volume the line asked for from its start.
    EXPECT_EQ(MusicAttenuation(), sound::VolumeToAttenuation(200));

    ASSERT_EQ(Run("fademusic 0,10"), 0); // step 1
    for (int k = 1; k <= 30; ++k) {
        if (k > 1) {
            ASSERT_TRUE(FadeRunning()) << k;
            FadeStep();
        }
        // The integer part of 200 - 6.667 k + 0.5: -200 / 30 per step.
        const int expected = int(std::trunc(200.0 + k * (-200.0 / 30.0) + 0.5));
        EXPECT_EQ(Scene().musicVolume, expected) << "step " << k;
        EXPECT_EQ(MusicAttenuation(), sound::VolumeToAttenuation(expected)) << "step " << k;
    }
    EXPECT_FALSE(FadeRunning());
    EXPECT_EQ(Scene().musicVolume, 0);
    EXPECT_EQ(MusicAttenuation(), -10000);

    // A second fade starts where the first ended.
    ASSERT_EQ(Run("fademusic 90,1"), 0);
    EXPECT_EQ(Scene().musicVolume, 30); // 0 + 1 x 90 / 3 + 0.5, truncated
    FadeStep();
    FadeStep();
    EXPECT_EQ(Scene().musicVolume, 90);
    EXPECT_FALSE(FadeRunning());
}

TEST_F(MusicFadeTest, AFadeOfDurationZeroSetsTheTargetAtOnce) {
    ASSERT_EQ(Run("playmusic 200,1,\"m.wav\""), 0);
    ASSERT_EQ(Run("fademusic 50,0"), 0);
    EXPECT_FALSE(FadeRunning());
    EXPECT_EQ(Scene().musicVolume, 50);
    EXPECT_EQ(MusicAttenuation(), sound::VolumeToAttenuation(50));
}

TEST_F(MusicFadeTest, AFadeWithoutMusicLeavesTheVolumeAndStaysIdle) {
    ASSERT_EQ(Run("playmusic 120,0,\"m.wav\""), 0);
    ASSERT_EQ(Run("stopmusic"), 0);
    EXPECT_EQ(IsMusicPlaying(), 0);
    ASSERT_EQ(Run("fademusic 0,10"), 0);
    EXPECT_FALSE(FadeRunning());
    EXPECT_EQ(Scene().musicVolume, 120);
    EXPECT_EQ(Run("stopmusic"), 0); // nothing playing: still 0
}

TEST_F(MusicFadeTest, PlaymusicOfAMissingFileEndsTheRunWithMinusTen) {
    EXPECT_EQ(Run("playmusic 100,1,\"missing.ogg\""), -10);
}

TEST_F(MusicFadeTest, SoundSlotCommands) {
    dir_.Write("s.wav", test::MonoWaveOf(4410, [](int) { return int16_t(1000); }));
    EXPECT_EQ(Run("loadsound 10,\"s.wav\""), -1);
    EXPECT_EQ(Run("loadsound -1,\"s.wav\""), -1);
    EXPECT_EQ(Run("loadsound 2,\"missing.wav\""), -2);
    EXPECT_EQ(Scene().sounds[2], 0);
    EXPECT_EQ(Run("playsound 2,255"), -1); // empty slot
    EXPECT_EQ(Run("stopsound 2"), 0);      // nothing to stop
    ASSERT_EQ(Run("loadsound 2,\"s.wav\""), 0);
    const int32_t sound = Scene().sounds[2];
    auto* s = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds, sound);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->bufferCount, 3);
    ASSERT_EQ(Run("playsound 2,64"), 0);
    EXPECT_EQ(IsSoundPlaying(sound), 1);
    int32_t attenuation = 1;
    ASSERT_EQ(platform::GetSoundBufferAttenuation(s->buffers[1].buffer, attenuation), 0);
    EXPECT_EQ(attenuation, -600);
    ASSERT_EQ(Run("stopsound 2"), 0);
    EXPECT_EQ(IsSoundPlaying(sound), 0);
    // Loading again into the slot replaces (and deletes) the sound it held.
    ASSERT_EQ(Run("loadsound 2,\"s.wav\""), 0);
    EXPECT_NE(Scene().sounds[2], sound);
    EXPECT_EQ(IsSoundPlaying(sound), -1);
}

} // namespace
} // namespace velox::player
