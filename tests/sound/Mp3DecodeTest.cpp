#include "sound/SoundFiles.h"
#include "sound/SoundSources.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

sound::MpegFrameInfo Parse(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    const uint8_t h[4] = {b0, b1, b2, b3};
    sound::MpegFrameInfo info{};
    EXPECT_TRUE(sound::ParseMpegFrameHeader(h, info));
    return info;
}

bool Parses(uint8_t b1, uint8_t b2) {
    const uint8_t h[4] = {0xFF, b1, b2, 0x00};
    sound::MpegFrameInfo info{};
    return sound::ParseMpegFrameHeader(h, info);
}

TEST(MpegFrameHeader, LengthsAndSampleCountsPerVersionAndLayer) {
    // MPEG-1 Layer III, 128 kbit/s, 44100 Hz: 144000*128/44100 = 417 (+1 padded).
    sound::MpegFrameInfo a = Parse(0xFF, 0xFB, 0x90, 0x64);
    EXPECT_EQ(a.version, 1);
    EXPECT_EQ(a.layer, 3);
    EXPECT_EQ(a.bitrateKbps, 128);
    EXPECT_EQ(a.sampleRate, 44100);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.frameBytes, 417);
    EXPECT_EQ(a.samples, 1152);
    EXPECT_EQ(Parse(0xFF, 0xFB, 0x92, 0xC0).frameBytes, 418);
    EXPECT_EQ(Parse(0xFF, 0xFB, 0x92, 0xC0).channels, 1);
    // MPEG-2 Layer III, 64 kbit/s, 22050 Hz: 72000*64/22050 = 208, 576 samples.
    sound::MpegFrameInfo b = Parse(0xFF, 0xF3, 0x80, 0x00);
    EXPECT_EQ(b.version, 2);
    EXPECT_EQ(b.frameBytes, 208);
    EXPECT_EQ(b.samples, 576);
    // MPEG-1 Layer I, 32 kbit/s, 44100 Hz: (12000*32/44100)*4 = 32, 384 samples.
    sound::MpegFrameInfo c = Parse(0xFF, 0xFF, 0x10, 0x00);
    EXPECT_EQ(c.layer, 1);
    EXPECT_EQ(c.frameBytes, 32);
    EXPECT_EQ(c.samples, 384);
    // MPEG-1 Layer II, 384 kbit/s, 32000 Hz: 144000*384/32000 = 1728.
    sound::MpegFrameInfo d = Parse(0xFF, 0xFD, 0xE8, 0x00);
    EXPECT_EQ(d.layer, 2);
    EXPECT_EQ(d.bitrateKbps, 384);
    EXPECT_EQ(d.frameBytes, 1728);
    // MPEG-2 Layer II, 160 kbit/s, 16000 Hz: 144000*160/16000 = 1440, 1152 samples.
    sound::MpegFrameInfo e = Parse(0xFF, 0xF5, 0xE8, 0x00);
    EXPECT_EQ(e.frameBytes, 1440);
    EXPECT_EQ(e.samples, 1152);
}

TEST(MpegFrameHeader, ReservedValuesAndFreeFormatAreRefused) {
    EXPECT_FALSE(Parses(0xF9, 0x90)); // layer bits 00
    EXPECT_FALSE(Parses(0xFB, 0xF0)); // bitrate index 15
    EXPECT_FALSE(Parses(0xFB, 0x0C)); // sample rate index 3
    EXPECT_FALSE(Parses(0xFB, 0x00)); // bitrate index 0: free format
    EXPECT_FALSE(Parses(0xEB, 0x90)); // sync incomplete
}

std::string SyncSafe(uint32_t v) {
    return std::string{char((v >> 21) & 0x7F), char((v >> 14) & 0x7F), char((v >> 7) & 0x7F),
                       char(v & 0x7F)};
}

// Eight frames of MPEG-2 Layer III at 8 kbit/s, 24000 Hz: 24 bytes each.
std::string TinyFrames(int count) {
    std::string frame = std::string("\xFF\xF3\x14\xC0", 4) + std::string(20, '\0');
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += frame;
    }
    return out;
}

class EncodedMp3 : public ::testing::Test {
protected:
    void SetUp() override {
        mp3_ = EncodeMp3(Sine(44100, 2, 44100, 440.0, 8000), 2, 44100, 128);
        ASSERT_GT(mp3_.frames, 30);
        ASSERT_GT(mp3_.bytes.size(), 10000u);
    }
    Mp3 mp3_;
};

TEST_F(EncodedMp3, DecodesEveryFrameExactly) {
    WriteSeed("sine.mp3", mp3_.bytes);
    DecodedSound s(mp3_.bytes);
    ASSERT_EQ(s.setupResult(), 0);
    sound::SoundConverter& c = s.converter();
    EXPECT_EQ(c.kind, sound::kSoundKindConverted);
    EXPECT_EQ(c.dataStart, 0);
    EXPECT_EQ(c.dataSize, int64_t(mp3_.bytes.size()));
    EXPECT_EQ(c.totalFrames, int64_t(mp3_.frames) * 1152);
    EXPECT_EQ(c.format.samplesPerSec, 44100u);
    EXPECT_EQ(c.format.channels, 2);
    EXPECT_EQ(c.blockSize, 176400 * 4 / 3);
    // The source record the codec was given.
    platform::WaveFormat source = platform::ReadWaveFormat(c.sourceFormat, 18);
    EXPECT_EQ(source.formatTag, 0x55);
    EXPECT_EQ(source.avgBytesPerSec, 16000u);
    EXPECT_EQ(source.blockAlign, 1);
    EXPECT_EQ(source.extraSize, 12);
    EXPECT_EQ(sound::SoundPcmTotalSize(c), int64_t(mp3_.frames) * 1152 * 4);
    std::string pcm = s.DecodeAll();
    ASSERT_EQ(pcm.size(), size_t(mp3_.frames) * 1152 * 4);
    // Not silence: the sine is in there.
    std::vector<int16_t> v =
        ToSamples16(reinterpret_cast<const uint8_t*>(pcm.data()), int32_t(pcm.size()));
    int peak = 0;
    for (int16_t x : v) {
        peak = std::max(peak, std::abs(int(x)));
    }
    EXPECT_GT(peak, 6000);
    EXPECT_LT(peak, 10000);
}

TEST_F(EncodedMp3, SeeksMatchTheFullDecode) {
    std::string all = DecodedSound(mp3_.bytes).DecodeAll();
    DecodedSound s(mp3_.bytes);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.Read(300000), all.substr(0, 300000));
    ASSERT_EQ(sound::SeekSoundConverter(s.converter(), 1000), 0); // back to byte 4000
    EXPECT_EQ(s.Read(1000), all.substr(4000, 1000));
    ASSERT_EQ(sound::SeekSoundConverter(s.converter(), 40000), 0);
    EXPECT_EQ(s.Read(1000), all.substr(160000, 1000));
}

TEST_F(EncodedMp3, Id3v24FooterMovesTheAudioTwentyBytesPastTheStatedSize) {
    // The ten bytes after the tag body hold a broken header: only a reader that
    // skips the footer gets past them.
    const std::string body(100, 'x');
    const std::string footer = std::string("\xFF\xF9\x00\x00", 4) + std::string(6, 'f');
    std::string v4 =
        "ID3" + std::string("\x04\x00\x10", 3) + SyncSafe(100) + body + footer + mp3_.bytes;
    WriteSeed("id3v24-footer.mp3", v4);
    DecodedSound s(v4);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.converter().dataStart, 120);
    EXPECT_EQ(s.converter().totalFrames, int64_t(mp3_.frames) * 1152);
    // Version 3 has no footer: the same bytes are scanned and refused.
    std::string v3 = v4;
    v3[3] = 3;
    EXPECT_EQ(DecodedSound(v3).setupResult(), -1);
    // Without the footer flag the tag ends at the stated size.
    std::string plain = "ID3" + std::string("\x04\x00\x00", 3) + SyncSafe(100) + body + mp3_.bytes;
    DecodedSound p(plain);
    ASSERT_EQ(p.setupResult(), 0);
    EXPECT_EQ(p.converter().dataStart, 110);
}

TEST_F(EncodedMp3, TrailingTagBlockIsNotAudio) {
    // Cut the last frame short so that it claims to run into the tag block.
    std::string audio = mp3_.bytes.substr(0, mp3_.bytes.size() - 10);
    std::string tag = "TAG" + std::string("\xFF\xF9\xFF\xFB", 4) + std::string(121, 'a');
    ASSERT_EQ(tag.size(), 128u);
    DecodedSound s(audio + tag);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.converter().dataSize, int64_t(audio.size()));
    EXPECT_EQ(s.converter().totalFrames, int64_t(mp3_.frames) * 1152);
}

TEST_F(EncodedMp3, CompressedWaveWithMpegDataAndTheOrderOfKinds) {
    // Tag 0x55 in a WAVE: the codec converts it, the frame count is not known.
    std::string extra = Le16(1) + Le32(2) + Le16(417) + Le16(1) + Le16(1393);
    std::string fmt = FmtPayloadWithExtra(0x55, 2, 44100, 16000, 1, 0, extra);
    std::string wave = Riff({Chunk("fmt ", fmt), Chunk("data", mp3_.bytes)});
    WriteSeed("mpeg-in-wave.wav", wave);
    DecodedSound s(wave);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.converter().totalFrames, -1);
    EXPECT_EQ(s.converter().dataStart, 12 + 8 + 30 + 8);
    EXPECT_GE(sound::SoundPcmTotalSize(s.converter()), int64_t(mp3_.frames) * 1152 * 4);
    EXPECT_EQ(s.DecodeAll().size(), size_t(mp3_.frames) * 1152 * 4);
    // With "fmt " not first neither WAVE path takes it; the MP3 scan finds the frames.
    std::string late = Riff({Chunk("junk", "abcd"), Chunk("fmt ", fmt), Chunk("data", mp3_.bytes)});
    DecodedSound m(late);
    ASSERT_EQ(m.setupResult(), 0);
    EXPECT_EQ(m.converter().kind, sound::kSoundKindConverted);
    EXPECT_EQ(m.converter().totalFrames, int64_t(mp3_.frames) * 1152);
    EXPECT_EQ(m.converter().dataStart, int64_t(late.size() - mp3_.bytes.size()));
}

TEST_F(EncodedMp3, FramesAtAnotherRateEndTheSoundQuietly) {
    // A file whose second half was cut from a 32000 Hz encoding: the frames at
    // the first frame's rate decode, the rest is lost, and nothing reaches
    // standard error from the decoding library.
    const Mp3 other = EncodeMp3(Sine(32000, 2, 32000, 440.0, 8000), 2, 32000, 128);
    const std::string spliced = mp3_.bytes + other.bytes;
    const std::string alone = DecodedSound(mp3_.bytes).DecodeAll();
    ::testing::internal::CaptureStderr();
    DecodedSound s(spliced);
    ASSERT_EQ(s.setupResult(), 0);
    std::string pcm = s.Read(int32_t(alone.size()) + 100000);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");
    // Everything before the splice, up to the frame the decoder held back to
    // look ahead.
    ASSERT_GE(pcm.size(), alone.size() - 2 * 1152 * 4);
    EXPECT_EQ(pcm.substr(0, alone.size() - 2 * 1152 * 4),
              alone.substr(0, alone.size() - 2 * 1152 * 4));
}

TEST(Mp3Scan, MonoWithAnInfoFrameCountsItAsAudio) {
    // The encoder's info frame is a valid frame: it is counted by the scan and
    // decoded (as silence) by the codec, so the two agree.
    Mp3 mp3 = EncodeMp3(Sine(44100, 1, 44100, 300.0, 5000), 1, 44100, 64, true);
    ASSERT_GT(mp3.frames, 10);
    ASSERT_NE(mp3.bytes.find("Info"), std::string::npos);
    WriteSeed("info-frame.mp3", mp3.bytes);
    DecodedSound s(mp3.bytes);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.converter().format.channels, 1);
    EXPECT_EQ(s.converter().format.samplesPerSec, 44100u);
    EXPECT_EQ(s.converter().totalFrames, int64_t(mp3.frames + 1) * 1152);
    EXPECT_EQ(s.DecodeAll().size(), size_t(mp3.frames + 1) * 1152 * 2);
}

TEST(Mp3Scan, InputsOf128BytesOrLessAreRefused) {
    std::string frames = TinyFrames(5) + std::string(8, '\0');
    ASSERT_EQ(frames.size(), 128u);
    EXPECT_EQ(DecodedSound(frames).setupResult(), -1);
    std::string longer = TinyFrames(6);
    ASSERT_EQ(longer.size(), 144u);
    WriteSeed("tiny-frames.mp3", longer);
    DecodedSound s(longer);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.converter().totalFrames, 6 * 576);
    EXPECT_EQ(s.converter().dataSize, 144);
}

TEST(Mp3Scan, FreeFormatAndBrokenHeadersFailTheInput) {
    std::string freeFormat;
    for (int i = 0; i < 10; ++i) {
        freeFormat += std::string("\xFF\xFB\x00\x00", 4) + std::string(40, '\0');
    }
    EXPECT_EQ(DecodedSound(freeFormat).setupResult(), -1);
    // A valid run of frames followed by a header that does not parse.
    std::string broken = TinyFrames(8) + std::string("\xFF\xFB\xF0\x00", 4) + std::string(40, '\0');
    EXPECT_EQ(DecodedSound(broken).setupResult(), -1);
    // Bytes with no frame at all.
    EXPECT_EQ(DecodedSound(std::string(500, '\x12')).setupResult(), -1);
}

TEST(Mp3Scan, NonSyncBytePairsAreSkipped) {
    // 0xFF followed by a byte without the sync bits is not a header.
    std::string data = std::string("\xFF\x12\xFF\x00", 4) + TinyFrames(8);
    DecodedSound s(data);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.converter().dataStart, 4);
    EXPECT_EQ(s.converter().totalFrames, 8 * 576);
}

} // namespace
} // namespace velox::test
