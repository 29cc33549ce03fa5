// Loaded sounds: buffer rotation, resuming, play types, volume, deletion and the
// load failures; the sound layer's start and end.
#include "core/MemoryTracker.h"
#include "sound/SoundRuntime.h"
#include "sound/SoundState.h"

#include <gtest/gtest.h>

namespace velox {
namespace {

using test::FramesOfMs;
using test::Sjis;

class SoundHandleTest : public test::SoundRuntimeTest {};

platform::SoundBuffer* BufferOf(int32_t handle, int index) {
    auto* s = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds, handle);
    return s && s->buffers[index].valid ? s->buffers[index].buffer : nullptr;
}

TEST_F(SoundHandleTest, StartAndEndAreLogged) {
    Finish();
    EXPECT_TRUE(test::ContainsInOrder(Log(), {Sjis("DirectSound の初期化を行います"),
                                              Sjis("\tDirectSound デバイスを列挙します"),
                                              Sjis("DirectSound の初期化は正常に終了しました"),
                                              Sjis("入力関連の終了処理... 完了"),
                                              Sjis("DirectSound の終了処理は正常に終了しました")}));
}

TEST_F(SoundHandleTest, ThreeBuffersOverlapAndAFourthStartRestartsTheFirst) {
    Write("dc.wav", test::ConstantWave(int(FramesOfMs(100)), 1000)); // 100 ms of 1000
    const int h = LoadSound("dc.wav", 3, -1);
    ASSERT_NE(h, -1);
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(10);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(10);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(30);
    // t0 + 50 ms: the first voice starts over and runs to t0 + 150 ms.
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(200);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    const test::Capture c = Finish();
    auto level = [&](double ms) { return c.left.at(t0 + FramesOfMs(ms)); };
    EXPECT_EQ(level(5), 1000);
    EXPECT_EQ(level(15), 2000);
    EXPECT_EQ(level(40), 3000);  // three voices at once
    EXPECT_EQ(level(105), 3000); // the second, the third and the restarted first
    EXPECT_EQ(level(115), 2000); // the second ended at 110
    EXPECT_EQ(level(130), 1000); // the third at 120: the restarted first alone
    EXPECT_EQ(level(155), 0);
    EXPECT_EQ(c.left, c.right);
}

TEST_F(SoundHandleTest, FromStartZeroLeavesAPlayingSoundAndResumesAStoppedOne) {
    Write("pattern.wav", test::PatternWave(int(FramesOfMs(400))));
    const int h = LoadSound("pattern.wav", 1, -1);
    ASSERT_NE(h, -1);
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(50);
    ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0); // playing: nothing changes
    Run(50);
    ASSERT_EQ(StopSoundHandle(h), 0);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    const uint64_t stopped = FrameNow() - t0;
    Run(100);
    const uint64_t resumed = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
    Run(50);
    const test::Capture c = Finish();
    for (uint64_t n = 0; n + 20 < stopped; n += 97) {
        ASSERT_EQ(c.left.at(t0 + n), test::Pattern(int64_t(n))) << n;
    }
    EXPECT_EQ(c.Peak(t0 + stopped + 5, resumed), 0);
    // After the resume the sound goes on where it stopped (to within the few clock
    // reads between the stop and its sample).
    const int16_t first = c.left.at(resumed + 5);
    int64_t position = -1;
    for (int64_t p = int64_t(stopped) - 50; p < int64_t(stopped) + 50; ++p) {
        if (test::Pattern(p + 5) == first && test::Pattern(p + 6) == c.left.at(resumed + 6)) {
            position = p;
        }
    }
    EXPECT_NE(position, -1) << "no continuation of the stopped sound found";
}

TEST_F(SoundHandleTest, LoopedSoundPlaysUntilStoppedAndPlayTypeZeroWaits) {
    Write("short.wav", test::ConstantWave(int(FramesOfMs(30)), 500));
    const int h = LoadSound("short.wav", 1, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
    Run(200);
    EXPECT_EQ(IsSoundPlaying(h), 1);
    ASSERT_EQ(StopSoundHandle(h), 0);
    EXPECT_EQ(IsSoundPlaying(h), 0);

    const uint64_t before = Now();
    ASSERT_EQ(PlaySoundHandle(h, 0, 1), 0);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    EXPECT_GE(Now() - before, 30000000u); // returned only once the 30 ms were played
    EXPECT_LT(Now() - before, 40000000u);
}

TEST_F(SoundHandleTest, VolumeBecomesAttenuationOnEveryBuffer) {
    EXPECT_EQ(sound::VolumeToAttenuation(255), 0);
    EXPECT_EQ(sound::VolumeToAttenuation(300), 0);
    EXPECT_EQ(sound::VolumeToAttenuation(128), -299);
    EXPECT_EQ(sound::VolumeToAttenuation(64), -600);
    EXPECT_EQ(sound::VolumeToAttenuation(1), -2406);
    EXPECT_EQ(sound::VolumeToAttenuation(0), -10000);
    EXPECT_EQ(sound::VolumeToAttenuation(-5), -10000);

    Write("dc.wav", test::ConstantWave(100, 1000));
    const int h = LoadSound("dc.wav", 3, -1);
    ASSERT_NE(h, -1);
    for (auto [volume, expected] : {std::pair{128, -299}, {0, -10000}, {300, 0}, {1, -2406}}) {
        ASSERT_EQ(SetSoundVolume(volume, h), 0);
        for (int i = 0; i < 3; ++i) {
            int32_t attenuation = 1;
            ASSERT_EQ(platform::GetSoundBufferAttenuation(BufferOf(h, i), attenuation), 0);
            EXPECT_EQ(attenuation, expected) << "volume " << volume << " buffer " << i;
        }
    }
    EXPECT_EQ(SetSoundVolume(255, h + 1), -1);
}

TEST_F(SoundHandleTest, VolumeScalesWhatIsHeard) {
    Write("dc.wav", test::ConstantWave(int(FramesOfMs(50)), 10000));
    const int h = LoadSound("dc.wav", 1, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(SetSoundVolume(128, h), 0);
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(100);
    const test::Capture c = Finish();
    // -299 hundredths of a decibel: 10000 x 10^(-299 / 2000).
    const double gain = std::pow(10.0, -299 / 2000.0);
    EXPECT_NEAR(c.left.at(t0 + FramesOfMs(20)), 10000 * gain, 2.0);
}

TEST_F(SoundHandleTest, BufferCountsAreCappedAndZeroBuffersNeverStart) {
    Write("dc.wav", test::ConstantWave(100, 1000));
    const int ten = LoadSound("dc.wav", 15, -1);
    ASSERT_NE(ten, -1);
    auto* s = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds, ten);
    EXPECT_EQ(s->bufferCount, 10);
    const int none = LoadSound("dc.wav", 0, -1);
    ASSERT_NE(none, -1);
    EXPECT_EQ(PlaySoundHandle(none, 1, 1), -1);
    EXPECT_EQ(PlaySoundHandle(none, 1, 0), -1);
    EXPECT_EQ(IsSoundPlaying(none), 0);
}

TEST_F(SoundHandleTest, DeletedAndForeignHandlesAreRefused) {
    Write("dc.wav", test::ConstantWave(100, 1000));
    const int h = LoadSound("dc.wav", 1, -1);
    ASSERT_NE(h, -1);
    const auto blocks = core::mem_detail::CurrentTotals().blockCount;
    ASSERT_EQ(DeleteSound(h), 0);
    EXPECT_LT(core::mem_detail::CurrentTotals().blockCount, blocks); // the PCM copy went
    EXPECT_EQ(IsSoundPlaying(h), -1);
    EXPECT_EQ(PlaySoundHandle(h, 1, 1), -1);
    EXPECT_EQ(StopSoundHandle(h), -1);
    EXPECT_EQ(SetSoundVolume(100, h), -1);
    EXPECT_EQ(DeleteSound(h), -1);
    EXPECT_EQ(IsSoundPlaying(0), -1);
    EXPECT_EQ(IsSoundPlaying(-1), -1);
    EXPECT_EQ(IsSoundPlaying(core::MakeHandle(core::HandleType::Graphic, 0, 0)), -1);
    // A new sound in the freed slot gets a new serial: the old handle stays dead.
    const int again = LoadSound("dc.wav", 1, -1);
    ASSERT_NE(again, -1);
    EXPECT_NE(again, h);
    EXPECT_EQ(IsSoundPlaying(h), -1);
    EXPECT_EQ(IsSoundPlaying(again), 0);
}

TEST_F(SoundHandleTest, MissingFileLogsTheOpenFailure) {
    EXPECT_EQ(LoadSound("missing.wav", 3, -1), -1);
    Finish();
    EXPECT_TRUE(test::ContainsInOrder(
        Log(), {Sjis("右記のファイルのオープンに失敗しました：missing.wav"),
                Sjis("右記の音声ファイルのロードに失敗しました_1：missing.wav")}));
}

TEST_F(SoundHandleTest, UndecodableAndUnplayableFilesFailWithoutEndingTheRuntime) {
    Write("text.wav", "this is not a sound");
    Write("empty.wav", test::PcmWave(1, 44100, 16, ""));
    Write("six.wav", test::PcmWave(6, 44100, 16, std::string(1200, '\0')));
    const auto before = core::mem_detail::CurrentTotals();
    EXPECT_EQ(LoadSound("text.wav", 1, -1), -1);
    EXPECT_EQ(LoadSound("empty.wav", 1, -1), -1);
    EXPECT_EQ(LoadSound("six.wav", 1, -1), -1);
    const auto after = core::mem_detail::CurrentTotals();
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.totalSize, before.totalSize);
    EXPECT_EQ(sound::Sound().sounds.count, 0);
    Finish();
    // The conversion message has no line end: the load failure completes its line.
    const std::string failed = Sjis("音声ファイルのＰＣＭへの変換に失敗しました");
    const std::string load = Sjis("右記の音声ファイルのロードに失敗しました_2：");
    EXPECT_TRUE(test::ContainsInOrder(
        Log(), {failed + load + "text.wav", load + "empty.wav", failed + load + "six.wav"}));
}

TEST_F(SoundHandleTest, SoundTooLongForOneBufferFailsWithoutEndingTheRuntime) {
    // 160 links of ten seconds: 282 MB of PCM, more than one buffer holds.
    const std::string link = test::EncodeOgg(std::vector<int16_t>(441000 * 2, 0), 2, 44100);
    ASSERT_FALSE(link.empty());
    Write("long.ogg", test::ChainOgg(link, 160));
    Write("dc.wav", test::ConstantWave(1000, 1000));
    const auto before = core::mem_detail::CurrentTotals();
    EXPECT_EQ(LoadSound("long.ogg", 1, -1), -1);
    EXPECT_EQ(core::mem_detail::CurrentTotals().totalSize, before.totalSize);
    const int after = LoadSound("dc.wav", 1, -1);
    ASSERT_NE(after, -1);
    EXPECT_EQ(PlaySoundHandle(after, 1, 1), 0);
    Finish();
    EXPECT_TRUE(test::ContainsInOrder(
        Log(), {Sjis("音声ファイルを格納するメモリ領域の確保に失敗しました") +
                Sjis("右記の音声ファイルのロードに失敗しました_2：long.ogg")}));
}

TEST_F(SoundHandleTest, ShutdownReleasesEverySound) {
    Write("dc.wav", test::ConstantWave(1000, 1000));
    ASSERT_NE(LoadSound("dc.wav", 4, -1), -1);
    const int playing = LoadSound("dc.wav", 1, -1);
    ASSERT_EQ(PlaySoundHandle(playing, 3, 1), 0);
    Finish();
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, 0);
    EXPECT_EQ(LoadSound("dc.wav", 1, -1), -1); // the layer is down
    EXPECT_EQ(IsSoundPlaying(playing), -1);
}

class NoSoundDevice : public test::HeadlessFixture {};

TEST_F(NoSoundDevice, EverySoundOperationFails) {
    platform::SoundDeviceOptions options;
    options.output = platform::SoundOutput::Headless;
    options.capturePath = dir_.path() + "/no/such/folder/mix.wav";
    platform::SetDefaultSoundDeviceOptions(options);
    dir_.Write("dc.wav", test::ConstantWave(100, 1000));
    ASSERT_EQ(StartRuntime(), 0);
    EXPECT_EQ(LoadSound("dc.wav", 1, -1), -1);
    EXPECT_EQ(SetSoundVolume(1, 0), -1);
    EXPECT_EQ(SetSoundLoadMode(2), -1);
    EXPECT_EQ(PlayMusicFile("dc.wav", 1), -1);
    EXPECT_EQ(SetMusicVolume(10), -1);
    EXPECT_EQ(IsMusicPlaying(), 0);
    EXPECT_EQ(StopMusicPlayback(), 0);
    ShutdownRuntime();
    platform::SetDefaultSoundDeviceOptions(platform::SoundDeviceOptions{});
    const auto log = Log();
    EXPECT_EQ(test::CountLines(log, Sjis("DirectSoundインターフェースの作成に失敗しました")), 1);
    EXPECT_EQ(test::CountLines(log, Sjis("DirectSound の初期化は正常に終了しました")), 0);
}

TEST(SoundWithoutRuntime, OperationsFail) {
    EXPECT_EQ(LoadSound("x.wav", 1, -1), -1);
    EXPECT_EQ(PlaySoundHandle(1, 1, 1), -1);
    EXPECT_EQ(IsSoundPlaying(1), -1);
    EXPECT_EQ(SetMusicVolume(1), -1);
}

} // namespace
} // namespace velox
