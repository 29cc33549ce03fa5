// Stream sounds: the ring refilled by the message pump, ends, loops, resuming,
// shared rings and stream entries.
#include "core/MemoryTracker.h"
#include "sound/SoundRuntime.h"
#include "sound/SoundState.h"

#include <gtest/gtest.h>

namespace velox {
namespace {

using test::FramesOfMs;
using test::Pattern;
using test::Sjis;

class StreamSoundTest : public test::SoundRuntimeTest {
protected:
    int LoadStream(const char* name, int mode = 2, int shared = -1) {
        EXPECT_EQ(SetSoundLoadMode(mode), 0);
        const int h = LoadSound(name, 1, shared);
        EXPECT_EQ(SetSoundLoadMode(0), 0);
        return h;
    }
};

// Where the pattern's sample 0 begins in the capture, looking from `from` on.
int64_t FindPatternStart(const test::Capture& c, uint64_t from, int64_t offset = 0) {
    for (uint64_t n = from; n + 2 < c.size() && n < from + 44100; ++n) {
        if (c.left[n] == Pattern(offset) && c.left[n + 1] == Pattern(offset + 1) &&
            c.left[n + 2] == Pattern(offset + 2)) {
            return int64_t(n);
        }
    }
    return -1;
}

// The number of samples from start on that follow the pattern from offset on.
int64_t PatternRun(const test::Capture& c, int64_t start, int64_t offset, int64_t period) {
    int64_t n = 0;
    while (uint64_t(start + n) < c.size() &&
           c.left[size_t(start + n)] == Pattern((offset + n) % period)) {
        ++n;
    }
    return n;
}

TEST_F(StreamSoundTest, LongSoundPlaysEveryFrameInOrderThroughTheRing) {
    const int frames = int(FramesOfMs(10000)); // longer than the six-second ring
    Write("long.wav", test::PatternWave(frames));
    const int h = LoadStream("long.wav");
    ASSERT_NE(h, -1);
    auto* s = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds, h);
    EXPECT_EQ(s->ringSize, 6 * 88200);
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(9900, 33);
    EXPECT_EQ(IsSoundPlaying(h), 1);
    Run(300, 33);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    Run(200, 33);
    const test::Capture c = Finish();
    const int64_t start = FindPatternStart(c, t0);
    ASSERT_GE(start, 0);
    EXPECT_LE(uint64_t(start), t0 + 2);
    EXPECT_EQ(PatternRun(c, start, 0, frames), frames);
    // After the end nothing but silence: no old ring contents come round again.
    EXPECT_EQ(c.Peak(uint64_t(start + frames), c.size()), 0);
}

TEST_F(StreamSoundTest, LoopedSoundRepeatsWithoutAGap) {
    const int frames = int(FramesOfMs(500));
    Write("loop.wav", test::PatternWave(frames));
    const int h = LoadStream("loop.wav");
    ASSERT_NE(h, -1);
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
    Run(2300, 33);
    EXPECT_EQ(IsSoundPlaying(h), 1);
    ASSERT_EQ(StopSoundHandle(h), 0);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    const uint64_t stopped = FrameNow();
    Run(100);
    const test::Capture c = Finish();
    const int64_t start = FindPatternStart(c, t0);
    ASSERT_GE(start, 0);
    EXPECT_GE(PatternRun(c, start, 0, frames), int64_t(FramesOfMs(2200)));
    EXPECT_EQ(c.Peak(stopped + 2, c.size()), 0);
}

TEST_F(StreamSoundTest, PlayTypeZeroWaitsForTheEnd) {
    Write("short.wav", test::ConstantWave(int(FramesOfMs(300)), 700));
    const int h = LoadStream("short.wav");
    ASSERT_NE(h, -1);
    const uint64_t before = Now();
    ASSERT_EQ(PlaySoundHandle(h, 0, 1), 0);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    EXPECT_GE(Now() - before, 300000000u);
    EXPECT_LT(Now() - before, 400000000u);
}

TEST_F(StreamSoundTest, StopThenFromStartZeroResumesWhereItStopped) {
    const int frames = int(FramesOfMs(2000));
    Write("p.wav", test::PatternWave(frames));
    const int h = LoadStream("p.wav");
    ASSERT_NE(h, -1);
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(500, 33);
    ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0); // playing: left alone
    ASSERT_EQ(StopSoundHandle(h), 0);
    const uint64_t stopped = FrameNow();
    Run(300, 33);
    const uint64_t resumed = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
    Run(2000, 33);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    const test::Capture c = Finish();
    const int64_t start = FindPatternStart(c, t0);
    ASSERT_GE(start, 0);
    const int64_t heard = PatternRun(c, start, 0, frames);
    EXPECT_NEAR(double(heard), double(stopped - uint64_t(start)), 2.0);
    EXPECT_EQ(c.Peak(stopped + 2, resumed), 0);
    // The rest follows on from the sample after the last one heard, to the end.
    const int64_t again = FindPatternStart(c, resumed, heard);
    ASSERT_GE(again, 0);
    EXPECT_LE(uint64_t(again), resumed + 2);
    EXPECT_EQ(PatternRun(c, again, heard, frames), frames - heard);
}

TEST_F(StreamSoundTest, FromFileLoadModePlaysTheSame) {
    const int frames = int(FramesOfMs(1500));
    Write("p.wav", test::PatternWave(frames));
    const int h = LoadStream("p.wav", 3);
    ASSERT_NE(h, -1);
    EXPECT_EQ(SetSoundLoadMode(1), -1);
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(1700, 33);
    const test::Capture c = Finish();
    const int64_t start = FindPatternStart(c, t0);
    ASSERT_GE(start, 0);
    EXPECT_EQ(PatternRun(c, start, 0, frames), frames);
}

TEST_F(StreamSoundTest, SharedRingGoesToTheLastStartedSound) {
    const int frames = int(FramesOfMs(3000));
    Write("p.wav", test::PatternWave(frames));
    Write("dc.wav", test::ConstantWave(frames, 2000));
    const auto baseline = core::mem_detail::CurrentTotals();
    const int a = LoadStream("p.wav");
    const int b = LoadStream("dc.wav", 2, a);
    ASSERT_NE(a, -1);
    ASSERT_NE(b, -1);
    auto* sa = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds, a);
    auto* sb = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds, b);
    EXPECT_EQ(sb->sharedWith, a);
    EXPECT_EQ(sa->sharerCount, 1);
    EXPECT_FALSE(sb->buffers[0].valid); // no ring of its own

    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(a, 1, 1), 0);
    Run(500, 33);
    const uint64_t switched = FrameNow();
    ASSERT_EQ(PlaySoundHandle(b, 1, 1), 0);
    EXPECT_EQ(IsSoundPlaying(a), 0);
    EXPECT_EQ(IsSoundPlaying(b), 1);
    Run(500, 33);
    const uint64_t back = FrameNow();
    ASSERT_EQ(PlaySoundHandle(a, 1, 0), 0); // resumes what was heard of a
    EXPECT_EQ(IsSoundPlaying(b), 0);
    Run(300, 33);

    // Deleting the ring's owner while b shares it leaves the ring to b.
    ASSERT_EQ(DeleteSound(a), 0);
    EXPECT_EQ(IsSoundPlaying(a), -1);
    EXPECT_EQ(DeleteSound(a), -1);
    ASSERT_EQ(PlaySoundHandle(b, 1, 1), 0);
    Run(100, 33);
    EXPECT_EQ(IsSoundPlaying(b), 1);
    ASSERT_EQ(DeleteSound(b), 0);
    EXPECT_EQ(sound::Sound().sounds.count, 0);
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, baseline.blockCount);

    const test::Capture c = Finish();
    const int64_t start = FindPatternStart(c, t0);
    ASSERT_GE(start, 0);
    const int64_t heard = PatternRun(c, start, 0, frames);
    EXPECT_NEAR(double(heard), double(switched - uint64_t(start)), 2.0);
    EXPECT_EQ(c.left.at(switched + 100), 2000);
    EXPECT_EQ(c.left.at(back - 100), 2000);
    const int64_t again = FindPatternStart(c, back, heard);
    ASSERT_GE(again, 0);
    EXPECT_LE(uint64_t(again), back + 2);
    EXPECT_GE(PatternRun(c, again, heard, frames), int64_t(FramesOfMs(250)));
}

TEST_F(StreamSoundTest, EntriesPlayInTurnWithTheirRepeats) {
    const int frames = int(FramesOfMs(200));
    Write("p.wav", test::PatternWave(frames));
    Write("dc.wav", test::ConstantWave(int(FramesOfMs(100)), 3000));
    const int h = LoadStream("p.wav");
    ASSERT_NE(h, -1);
    ASSERT_EQ(sound::AddStreamEntry(h, "dc.wav", sound::kStreamDecodedImage, -1), 0);
    ASSERT_EQ(sound::AddStreamEntry(h, "p.wav", sound::kStreamFromFile, -1), 0);
    auto* s = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds, h);
    s->entries[1].loopCount = 1; // the constant part twice
    EXPECT_EQ(sound::AddStreamEntry(h, "dc.wav", sound::kStreamFileInMemory, -1),
              -1); // three at most

    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    EXPECT_EQ(sound::AddStreamEntry(h, "dc.wav", sound::kStreamFileInMemory, -1),
              -1); // while playing
    Run(800, 33);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    const test::Capture c = Finish();
    const int64_t start = FindPatternStart(c, t0);
    ASSERT_GE(start, 0);
    const int64_t dc = int64_t(FramesOfMs(100));
    EXPECT_EQ(PatternRun(c, start, 0, frames), frames);
    for (int64_t n = 0; n < 2 * dc; ++n) {
        ASSERT_EQ(c.left.at(size_t(start + frames + n)), 3000) << n;
    }
    EXPECT_EQ(PatternRun(c, start + frames + 2 * dc, 0, frames), frames);
    EXPECT_EQ(c.Peak(uint64_t(start + 2 * frames + 2 * dc), c.size()), 0);

    const auto log = Log();
    EXPECT_EQ(test::CountLines(log, Sjis("ストリーム風サウンドの制御データ領域がいっぱいです")), 1);
    EXPECT_EQ(test::CountLines(
                  log, Sjis("既に再生中のストリームサウンドデータにデータを追加しようとしました")),
              1);
}

TEST_F(StreamSoundTest, EntriesOfAnotherFormatOrWithoutSourceAreRefused) {
    Write("p.wav", test::PatternWave(1000));
    Write("stereo.wav", test::PcmWave(2, 44100, 16, std::string(400, '\0')));
    const int h = LoadStream("p.wav");
    ASSERT_NE(h, -1);
    EXPECT_EQ(sound::AddStreamEntry(h, "stereo.wav", sound::kStreamFileInMemory, -1), -1);
    EXPECT_EQ(sound::AddStreamEntry(h, "missing.wav", sound::kStreamFromFile, -1), -1);
    EXPECT_EQ(LoadStream("missing.wav"), -1);
    auto* s = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds, h);
    EXPECT_EQ(s->entryCount, 1);
    Finish();
    // These messages have no line end of their own: they run on to the next one.
    EXPECT_EQ(
        test::CountLines(Log(), Sjis("フォーマットの違う音声データは同時に使うことは出来ません"
                                     "音声データのオープンに失敗しました"
                                     "音声データのオープンに失敗しました"
                                     "右記のＷＡＶファイルのロードに失敗しました：missing.wav ")),
        1);
}

TEST_F(StreamSoundTest, OggStreamIsHeard) {
    const auto samples = test::Sine(44100, 2, 44100, 440.0, 8000);
    Write("tone.ogg", test::EncodeOgg(samples, 2, 44100));
    const int h = LoadStream("tone.ogg");
    ASSERT_NE(h, -1);
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    Run(1300, 33);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    const test::Capture c = Finish();
    // A sine of amplitude 8000 has an RMS of 8000 / sqrt(2).
    EXPECT_NEAR(c.Rms(t0 + 4410, t0 + 40000), 8000 / std::sqrt(2.0), 300.0);
    EXPECT_LT(c.Rms(t0 + 46000, c.size()), 50.0);
}

} // namespace
} // namespace velox
