#include "core/MemoryTracker.h"
#include "sound/SoundFiles.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

using Kind = DecodedSound::StreamKind;

std::string Ramp16(int count, int start, int step) {
    std::vector<int16_t> v;
    for (int i = 0; i < count; ++i) {
        v.push_back(int16_t(start + i * step));
    }
    return Samples16(v);
}

class WaveOnBothStreams : public ::testing::TestWithParam<Kind> {};

TEST_P(WaveOnBothStreams, PcmWaveGivesFormatDataAndOneSecondBlocks) {
    const std::string data = Ramp16(16, -800, 100); // 8 stereo frames
    const std::string file = PcmWave(2, 22050, 16, data);
    WriteSeed("pcm-stereo16.wav", file);
    DecodedSound s(file, GetParam());
    ASSERT_EQ(s.setupResult(), 0);
    sound::SoundConverter& c = s.converter();
    EXPECT_EQ(c.kind, sound::kSoundKindPcm);
    EXPECT_EQ(c.format.formatTag, 1);
    EXPECT_EQ(c.format.channels, 2);
    EXPECT_EQ(c.format.samplesPerSec, 22050u);
    EXPECT_EQ(c.format.avgBytesPerSec, 88200u);
    EXPECT_EQ(c.format.blockAlign, 4);
    EXPECT_EQ(c.format.bitsPerSample, 16);
    EXPECT_EQ(c.blockSize, 88200);
    EXPECT_EQ(c.fmtPosition, 20);
    EXPECT_EQ(c.fmtSize, 16);
    EXPECT_EQ(c.dataStart, 44);
    EXPECT_EQ(sound::SoundPcmTotalSize(c), 32);
    EXPECT_EQ(s.DecodeAll(), data);
}

TEST_P(WaveOnBothStreams, OddChunkBeforeDataIsSkippedWithItsPadByte) {
    const std::string data = Ramp16(4, 1, 1);
    // "note" holds 3 bytes and a pad; without the pad the next header would be
    // read one byte early and "data" never found.
    const std::string file = Riff({Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 2, 16)),
                                   Chunk("note", "abc"), Chunk("data", data)});
    ASSERT_EQ(file.size(), 12u + 24 + 12 + 8 + 8);
    WriteSeed("odd-chunk.wav", file);
    DecodedSound s(file, GetParam());
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.converter().dataStart, 12 + 24 + 12 + 8);
    EXPECT_EQ(s.DecodeAll(), data);
}

TEST_P(WaveOnBothStreams, WaveWithoutDataChunkFails) {
    const std::string fmt = FmtPayload(1, 1, 8000, 16000, 2, 16);
    DecodedSound noData(Riff({Chunk("fmt ", fmt), Chunk("note", "abcd")}), GetParam());
    EXPECT_EQ(noData.setupResult(), -1);
    // A "data" header cut short is no data chunk either.
    std::string cut = Riff({Chunk("fmt ", fmt)}) + "data" + Le16(4);
    DecodedSound truncated(cut, GetParam());
    EXPECT_EQ(truncated.setupResult(), -1);
}

TEST_P(WaveOnBothStreams, FormatChunkMustComeFirstForBothWavePaths) {
    const std::string data = Ramp16(8, 0, 3);
    const std::string pcm =
        Riff({Chunk("LIST", "INFOxxxx"), Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 2, 16)),
              Chunk("data", data)});
    DecodedSound s1(pcm, GetParam());
    EXPECT_EQ(s1.setupResult(), -1);
    // Mu-law has a codec, so only the chunk order can refuse it.
    const std::string muLaw =
        Riff({Chunk("LIST", "INFOxxxx"), Chunk("fmt ", FmtPayload(7, 1, 8000, 8000, 1, 8)),
              Chunk("data", "\x01\x02\x03\x04")});
    DecodedSound s2(muLaw, GetParam());
    EXPECT_EQ(s2.setupResult(), -1);
    // The same chunks with "fmt " first are accepted by either path.
    DecodedSound s3(Riff({Chunk("fmt ", FmtPayload(7, 1, 8000, 8000, 1, 8)),
                          Chunk("LIST", "INFOxxxx"), Chunk("data", "\x01\x02\x03\x04")}),
                    GetParam());
    ASSERT_EQ(s3.setupResult(), 0);
    EXPECT_EQ(s3.converter().kind, sound::kSoundKindConverted);
}

INSTANTIATE_TEST_SUITE_P(Streams, WaveOnBothStreams,
                         ::testing::Values(Kind::Memory, Kind::FileLike));

TEST(PcmWaveFormat, SixteenByteFmtTakesBitsFromBlockAlignment) {
    // Claims 8 bits, but 4 bytes per frame over 2 channels are 16-bit samples.
    const std::string data = Ramp16(8, 0, 1);
    DecodedSound s(
        Riff({Chunk("fmt ", FmtPayload(1, 2, 11025, 44100, 4, 8)), Chunk("data", data)}));
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.converter().format.bitsPerSample, 16);
    EXPECT_EQ(s.converter().format.extraSize, 0);
    // With an 18-byte record the file's own values stand.
    DecodedSound t(
        Riff({Chunk("fmt ", FmtPayload(1, 2, 11025, 44100, 4, 8) + Le16(0)), Chunk("data", data)}));
    ASSERT_EQ(t.setupResult(), 0);
    EXPECT_EQ(t.converter().format.bitsPerSample, 8);
}

TEST(PcmWaveFormat, RecordsThatWouldDivideByZeroOrAllocateWildlyAreRefused) {
    const std::string data(4, '\0');
    EXPECT_EQ(DecodedSound(
                  Riff({Chunk("fmt ", FmtPayload(1, 0, 8000, 16000, 2, 16)), Chunk("data", data)}))
                  .setupResult(),
              -1);
    EXPECT_EQ(
        DecodedSound(Riff({Chunk("fmt ", FmtPayload(1, 1, 8000, 0, 2, 16)), Chunk("data", data)}))
            .setupResult(),
        -1);
    EXPECT_EQ(DecodedSound(Riff({Chunk("fmt ", FmtPayload(1, 1, 8000, 0xFFFFFFF0u, 2, 16)),
                                 Chunk("data", data)}))
                  .setupResult(),
              -1);
    // A "fmt " chunk larger than the whole file.
    std::string huge =
        "RIFF" + Le32(100) + "WAVEfmt " + Le32(0x7FFFFFF0) + FmtPayload(1, 1, 8000, 16000, 2, 16);
    EXPECT_EQ(DecodedSound(huge).setupResult(), -1);
}

TEST(PcmWaveFormat, DataSizeBeyondTheFileMeansTheRest) {
    const std::string data = Ramp16(6, 10, 10);
    std::string file = Riff({Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 2, 16))}) + "data" +
                       Le32(0xFFFFFFFFu) + data;
    DecodedSound s(file);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(sound::SoundPcmTotalSize(s.converter()), 12);
    EXPECT_EQ(s.DecodeAll(), data);
}

TEST(PcmWaveFormat, FailedRecognitionLeavesNoTrackedMemory) {
    const auto before = core::mem_detail::CurrentTotals();
    {
        DecodedSound noData(Riff({Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 2, 16))}));
        EXPECT_EQ(noData.setupResult(), -1);
        DecodedSound noCodec(Riff(
            {Chunk("fmt ", FmtPayload(0x161, 2, 44100, 16000, 2, 16)), Chunk("data", "abcd")}));
        EXPECT_EQ(noCodec.setupResult(), -1);
        DecodedSound garbage(std::string(300, 'x'));
        EXPECT_EQ(garbage.setupResult(), -1);
    }
    const auto after = core::mem_detail::CurrentTotals();
    EXPECT_EQ(after.blockCount, before.blockCount);
    EXPECT_EQ(after.totalSize, before.totalSize);
}

TEST(PcmRead, ZeroBytesThenPastTheEndThenNothingUntilSeek) {
    const std::string data = Ramp16(10, 100, 1); // 20 bytes, mono 16-bit
    DecodedSound s(PcmWave(1, 8000, 16, data));
    ASSERT_EQ(s.setupResult(), 0);
    sound::SoundConverter& c = s.converter();
    char scratch[4];
    EXPECT_EQ(sound::ReadSoundPcm(c, scratch, 0), 0);
    EXPECT_EQ(c.endFlag, 0);
    EXPECT_EQ(s.Read(6), data.substr(0, 6));
    EXPECT_EQ(s.Read(100), data.substr(6)); // the 14 bytes that were left
    EXPECT_EQ(c.endFlag, 1);
    EXPECT_EQ(s.Read(4), "");
    EXPECT_EQ(s.Read(4), "");
    EXPECT_EQ(sound::SeekSoundConverter(c, 0), 0);
    EXPECT_EQ(c.endFlag, 0);
    EXPECT_EQ(s.Read(4), data.substr(0, 4));
}

TEST(PcmRead, ConverterThatIsNotSetUpRefuses) {
    sound::SoundConverter c{};
    char scratch[4];
    EXPECT_EQ(sound::ReadSoundPcm(c, scratch, 4), -1);
    EXPECT_EQ(sound::TerminateSoundConverter(c), -1);
    EXPECT_EQ(sound::SoundPcmTotalSize(c), -1);
    sound::PcmResult r{};
    EXPECT_EQ(sound::DecodeAllSound(c, r), -1);
}

TEST(PcmSeek, TargetsWithinFifteenBytesChangeNothing) {
    const std::string data = Ramp16(40, 0, 7); // 80 bytes, mono 16-bit
    DecodedSound s(PcmWave(1, 8000, 16, data));
    ASSERT_EQ(s.setupResult(), 0);
    sound::SoundConverter& c = s.converter();
    ASSERT_EQ(s.Read(8), data.substr(0, 8));
    EXPECT_EQ(sound::SeekSoundConverter(c, 11), 0); // byte 22: 14 ahead
    EXPECT_EQ(sound::SeekSoundConverter(c, 0), 0);  // byte 0: 8 back
    EXPECT_EQ(c.outputPosition, 8);
    EXPECT_EQ(s.Read(4), data.substr(8, 4));
    EXPECT_EQ(sound::SeekSoundConverter(c, 14), 0); // byte 28: 16 ahead, taken
    EXPECT_EQ(c.outputPosition, 28);
    EXPECT_EQ(s.Read(4), data.substr(28, 4));
    EXPECT_EQ(sound::SeekSoundConverter(c, 0), 0);
    EXPECT_EQ(s.Read(4), data.substr(0, 4));
}

TEST(PcmDecodeAll, StartsFromTheBeginningEvenAfterAShortRead) {
    const std::string data = Ramp16(12, 5, 5);
    DecodedSound s(PcmWave(1, 8000, 16, data));
    ASSERT_EQ(s.setupResult(), 0);
    ASSERT_EQ(s.Read(4).size(), 4u);
    EXPECT_EQ(s.DecodeAll(), data);
}

} // namespace
} // namespace velox::test
