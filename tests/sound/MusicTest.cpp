// Music: MIDI files on the FluidSynth sequencer, everything else as a stream sound;
// replacing, stopping, volume and the failures.
#include "core/MemoryTracker.h"
#include "platform/MidiSequencer.h"
#include "sound/SoundRuntime.h"
#include "sound/SoundState.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velox {
namespace {

using test::FramesOfMs;
using test::Sjis;

// A format 0 file at 120 beats a minute, 96 ticks a beat: a church organ (program 19)
// holding A4 for `beats` beats, then the end of the track.
std::string MidiFile(int beats) {
    const int ticks = beats * 96;
    std::string track = {0, char(0xFF), 0x51, 3,  0x07, char(0xA1), 0x20, // tempo 500000 us
                         0, char(0xC0), 19,                               // program
                         0, char(0x90), 69,   100};                       // note on
    track += char(0x80 | (ticks >> 7));
    track += char(ticks & 0x7F);
    track += {char(0x80), 69, 64, 0, char(0xFF), 0x2F, 0};
    std::string file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    file += "MTrk";
    file += {0, 0, char(track.size() >> 8), char(track.size() & 0xFF)};
    return file + track;
}

bool HaveSoundFont() {
    for (const std::string& path : platform::MidiSoundFontCandidates()) {
        if (std::filesystem::exists(path)) {
            return true;
        }
    }
    return false;
}

class MusicTest : public test::SoundRuntimeTest {
protected:
    int32_t RingAttenuation() {
        auto* s = core::ValidateHandleAs<sound::SoundRecord>(sound::Sound().sounds,
                                                             sound::Sound().currentMusic);
        int32_t attenuation = 1;
        if (!s || platform::GetSoundBufferAttenuation(s->buffers[0].buffer, attenuation) != 0) {
            ADD_FAILURE() << "the current music is no stream sound";
        }
        return attenuation;
    }
};

TEST(MidiData, OnlyCompleteStandardFilesAreMidi) {
    const std::string good = MidiFile(2);
    auto is = [](const std::string& d) {
        return platform::IsStandardMidiFile(reinterpret_cast<const uint8_t*>(d.data()), d.size());
    };
    EXPECT_TRUE(is(good));
    EXPECT_FALSE(is(good.substr(0, good.size() - 1))); // track cut short
    std::string noTracks = good;
    noTracks[11] = 0;
    EXPECT_FALSE(is(noTracks));
    std::string format3 = good;
    format3[9] = 3;
    EXPECT_FALSE(is(format3));
    EXPECT_FALSE(is("RIFF"));
    EXPECT_FALSE(is(""));
}

// One track of the given events; the chunk length is computed.
std::string MidiWithTrack(const std::string& events, int tracks = 1) {
    std::string file = {'M',          'T', 'h', 'd', 0, 0, 0, 6, 0, 1, char(tracks >> 8),
                        char(tracks), 0,   96};
    for (int i = 0; i < tracks; ++i) {
        file += "MTrk";
        file += {0, char(events.size() >> 16), char(events.size() >> 8), char(events.size())};
        file += events;
    }
    return file;
}

TEST(MidiData, DamagedEventsAreRefusedBeforeTheSynthesiser) {
    auto is = [](const std::string& d) {
        return platform::IsStandardMidiFile(reinterpret_cast<const uint8_t*>(d.data()), d.size());
    };
    const std::string end = {0, char(0xFF), 0x2F, 0};
    // Running status carries note events on; a meta event between keeps it.
    const std::string running = {0,          char(0x90), 60, 100, 10, 62, 100, 0,
                                 char(0xFF), 1,          1,  'x', 5,  64, 100};
    EXPECT_TRUE(is(MidiWithTrack(running + end)));
    EXPECT_TRUE(is(MidiWithTrack(std::string{0, char(0xF0), 2, 0x7E, char(0xF7)} + end)));
    EXPECT_TRUE(is(MidiWithTrack(end, platform::kMaxMidiTracks)));

    EXPECT_FALSE(is(MidiWithTrack(std::string{0, 60, 100} + end)));   // no status to run on
    EXPECT_FALSE(is(MidiWithTrack({0, char(0x90), 60})));             // note cut short
    EXPECT_FALSE(is(MidiWithTrack({0, char(0x90), 60, char(0x80)}))); // data byte with top bit
    EXPECT_FALSE(is(MidiWithTrack({char(0x81), char(0x81), char(0x81), char(0x81), 0})));
    EXPECT_FALSE(is(MidiWithTrack({0, char(0xFF), 1, 9, 'x'}))); // text past the chunk
    EXPECT_FALSE(is(MidiWithTrack({0, char(0xF0), char(0x8F), char(0xFF), char(0xFF), 0x7F})));
    EXPECT_FALSE(is(MidiWithTrack({0, char(0xFF), 0x51, 3, 0, 0, 0}))); // zero tempo
    EXPECT_FALSE(is(MidiWithTrack({0, char(0xFF), 0x51, 2, 7, 0x20}))); // short tempo
    EXPECT_FALSE(is(MidiWithTrack({0, char(0xF2), 1, 2})));             // song position
    EXPECT_FALSE(is(MidiWithTrack(end, platform::kMaxMidiTracks + 1)));
    // A million and more events, two bytes each.
    std::string many;
    for (size_t i = 0; i <= platform::kMaxMidiEvents; ++i) {
        many += i == 0 ? std::string{0, char(0xC0), 1} : std::string{0, 1};
    }
    EXPECT_FALSE(is(MidiWithTrack(many)));
}

TEST_F(MusicTest, MidiSoundsWithTheSoundFontAndPlayTypeOneEndsByItself) {
    ASSERT_TRUE(HaveSoundFont());
    Write("a.mid", MidiFile(2)); // one second
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlayMusicFile("a.mid", 1), 0);
    EXPECT_EQ(sound::Sound().musicIsSound, 0);
    EXPECT_EQ(IsMusicPlaying(), 1);
    Run(800, 33);
    EXPECT_EQ(IsMusicPlaying(), 1);
    Run(400, 33);
    EXPECT_EQ(IsMusicPlaying(), 0);
    EXPECT_EQ(sound::Sound().sequencer, nullptr); // closed at the completion notice
    const uint64_t ended = FrameNow();
    Run(300, 33);
    const test::Capture c = Finish();
    EXPECT_GT(c.Rms(t0 + FramesOfMs(100), t0 + FramesOfMs(900)), 300.0);
    EXPECT_EQ(c.Peak(ended, c.size()), 0);
}

TEST_F(MusicTest, MidiWithPlayTypeThreeStartsAgainAfterEachEnd) {
    ASSERT_TRUE(HaveSoundFont());
    Write("a.mid", MidiFile(1)); // half a second
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlayMusicFile("a.mid", 3), 0);
    for (int i = 0; i < 8; ++i) {
        Run(250, 17);
        EXPECT_EQ(IsMusicPlaying(), 1) << i;
    }
    ASSERT_EQ(StopMusicPlayback(), 0);
    EXPECT_EQ(IsMusicPlaying(), 0);
    const uint64_t stopped = FrameNow();
    Run(100);
    const test::Capture c = Finish();
    // The note sounds again in every half second, not only in the first.
    for (int pass = 0; pass < 3; ++pass) {
        const uint64_t from = t0 + FramesOfMs(500.0 * pass + 150);
        EXPECT_GT(c.Rms(from, from + FramesOfMs(250)), 300.0) << "pass " << pass;
    }
    EXPECT_EQ(c.Peak(stopped, c.size()), 0);
}

TEST_F(MusicTest, MidiPlayTypeZeroWaitsAndVolumeLeavesItAlone) {
    ASSERT_TRUE(HaveSoundFont());
    Write("a.mid", MidiFile(2));
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlayMusicFile("a.mid", 3), 0);
    Run(400, 33);
    const uint64_t change = FrameNow();
    EXPECT_EQ(SetMusicVolume(0), 0);
    Run(400, 33);
    ASSERT_EQ(StopMusicPlayback(), 0);

    const uint64_t before = Now();
    ASSERT_EQ(PlayMusicFile("a.mid", 0), 0);
    EXPECT_GE(Now() - before, 990000000u); // the end is seen to within a render block
    EXPECT_LT(Now() - before, 1200000000u);
    EXPECT_EQ(IsMusicPlaying(), 0);

    const test::Capture c = Finish();
    const double early = c.Rms(t0 + FramesOfMs(150), change);
    const double late = c.Rms(change + FramesOfMs(50), change + FramesOfMs(300));
    EXPECT_GT(early, 300.0);
    EXPECT_GT(late, early * 0.5);
}

TEST_F(MusicTest, WithoutSoundFontMidiFailsAndTheLogNamesThePlaces) {
    SetMidiSoundFont("/nonexistent/velox-test.sf2");
    Write("a.mid", MidiFile(1));
    EXPECT_EQ(PlayMusicFile("a.mid", 1), -1);
    EXPECT_EQ(IsMusicPlaying(), 0);
    EXPECT_EQ(sound::Sound().currentMusic, 0);
    EXPECT_EQ(sound::Sound().music.count, 0);
    SetMidiSoundFont(nullptr);
    Finish();
    EXPECT_GE(test::FindLineStartingWith(
                  Log(), Sjis("ＭＩＤＩ演奏用の SoundFont が見つかりませんでした 探した場所："
                              "/nonexistent/velox-test.sf2")),
              0);
}

TEST_F(MusicTest, OggWithPlayTypeThreePlaysPastItsLengthUntilStopped) {
    const auto samples = test::Sine(22050, 2, 44100, 440.0, 8000); // half a second
    Write("m.ogg", test::EncodeOgg(samples, 2, 44100));
    const uint64_t t0 = FrameNow();
    ASSERT_EQ(PlayMusicFile("m.ogg", 3), 0);
    EXPECT_EQ(sound::Sound().musicIsSound, 1);
    for (int i = 0; i < 8; ++i) {
        Run(250, 33);
        EXPECT_EQ(IsMusicPlaying(), 1) << i;
    }
    ASSERT_EQ(StopMusicPlayback(), 0);
    EXPECT_EQ(IsMusicPlaying(), 0);
    EXPECT_EQ(sound::Sound().sounds.count, 0);
    const uint64_t stopped = FrameNow();
    Run(100);
    const test::Capture c = Finish();
    EXPECT_NEAR(c.Rms(t0 + FramesOfMs(1550), t0 + FramesOfMs(1950)), 8000 / std::sqrt(2.0), 400.0);
    EXPECT_EQ(c.Peak(stopped + 2, c.size()), 0);
}

TEST_F(MusicTest, OggWithPlayTypeOnePlaysOnce) {
    const auto samples = test::Sine(22050, 2, 44100, 440.0, 8000);
    Write("m.ogg", test::EncodeOgg(samples, 2, 44100));
    ASSERT_EQ(PlayMusicFile("m.ogg", 1), 0);
    Run(300, 33);
    EXPECT_EQ(IsMusicPlaying(), 1);
    Run(400, 33);
    EXPECT_EQ(IsMusicPlaying(), 0);
    EXPECT_EQ(StopMusicPlayback(), 0);
    EXPECT_EQ(StopMusicPlayback(), 0);
    EXPECT_EQ(IsMusicPlaying(), 0);
}

TEST_F(MusicTest, ASecondPieceReplacesTheFirst) {
    Write("a.wav", test::ConstantWave(int(FramesOfMs(300)), 1000));
    Write("b.wav", test::ConstantWave(int(FramesOfMs(300)), 3000));
    ASSERT_EQ(PlayMusicFile("a.wav", 3), 0);
    const int32_t first = sound::Sound().currentMusic;
    Run(500, 33);
    const uint64_t switched = FrameNow();
    ASSERT_EQ(PlayMusicFile("b.wav", 3), 0);
    EXPECT_NE(sound::Sound().currentMusic, first);
    EXPECT_EQ(IsSoundPlaying(first), -1); // deleted
    EXPECT_EQ(sound::Sound().sounds.count, 1);
    Run(500, 33);
    EXPECT_EQ(IsMusicPlaying(), 1);
    const test::Capture c = Finish();
    EXPECT_EQ(c.left.at(switched - 10), 1000);
    for (uint64_t n = switched + 2; n < switched + FramesOfMs(450); n += 50) {
        ASSERT_EQ(c.left.at(n), 3000) << n - switched;
    }
}

TEST_F(MusicTest, MissingFileFailsAfterStoppingThePreviousPiece) {
    Write("a.wav", test::ConstantWave(int(FramesOfMs(300)), 1000));
    ASSERT_EQ(PlayMusicFile("a.wav", 3), 0);
    EXPECT_EQ(PlayMusicFile("missing.ogg", 3), -1);
    EXPECT_EQ(IsMusicPlaying(), 0);
    EXPECT_EQ(sound::Sound().currentMusic, 0);
    EXPECT_EQ(sound::Sound().sounds.count, 0);
    Write("text.mid", "neither MIDI nor any sound");
    EXPECT_EQ(PlayMusicFile("text.mid", 1), -1);
    EXPECT_EQ(sound::Sound().music.count, 0);
    // A MIDI file whose last note-off lacks its velocity never reaches the sequencer.
    std::string cut = MidiFile(1);
    cut.resize(cut.size() - 5);
    cut[21] = char(cut[21] - 5);
    Write("cut.mid", cut);
    EXPECT_EQ(PlayMusicFile("cut.mid", 1), -1);
    EXPECT_EQ(sound::Sound().sequencer, nullptr);
    EXPECT_EQ(IsMusicPlaying(), 0);
    Finish();
    const auto log = Log();
    EXPECT_EQ(
        test::CountLines(
            log, Sjis("ミュージックファイル missing.ogg の読み込みに失敗しました in LoadMusicMem")),
        1);
    // A file the sequencer refuses is tried as a stream sound, which logs its own failure.
    EXPECT_GE(
        test::FindLineStartingWith(log, Sjis("音声データの変換に失敗しました右記のＷＡＶファイル"
                                             "のロードに失敗しました：text.mid")),
        0);
}

TEST_F(MusicTest, VolumeAppliesToStreamedMusicFromItsStartOn) {
    EXPECT_EQ(SetMusicVolume(100), 0); // no music: nothing to change
    Write("a.wav", test::ConstantWave(int(FramesOfMs(300)), 1000));
    ASSERT_EQ(PlayMusicFile("a.wav", 3), 0);
    EXPECT_EQ(RingAttenuation(), 0); // the earlier volume is not remembered
    ASSERT_EQ(SetMusicVolume(0), 0);
    EXPECT_EQ(RingAttenuation(), -10000);
    ASSERT_EQ(SetMusicVolume(128), 0);
    EXPECT_EQ(RingAttenuation(), -299);
    ASSERT_EQ(SetMusicVolume(255), 0);
    EXPECT_EQ(RingAttenuation(), 0);
}

TEST_F(MusicTest, RecordsAreLimitedAndShutdownDeletesEverything) {
    Write("a.mid", MidiFile(4));
    std::vector<int32_t> records;
    for (int i = 0; i < sound::kMaxMusic; ++i) {
        records.push_back(sound::LoadMusicMem("a.mid"));
        ASSERT_NE(records.back(), -1) << i;
    }
    EXPECT_EQ(sound::LoadMusicMem("a.mid"), -1);
    for (int32_t r : records) {
        ASSERT_EQ(sound::DeleteMusic(r), 0);
    }
    EXPECT_EQ(sound::DeleteMusic(records[0]), -1);
    if (HaveSoundFont()) {
        ASSERT_EQ(PlayMusicFile("a.mid", 3), 0);
        Run(100);
    }
    Finish();
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, 0);
    EXPECT_GE(test::FindLineStartingWith(
                  Log(), Sjis("ミュージックデータの数が許容量を越えました終了します")),
              0);
}

} // namespace
} // namespace velox
