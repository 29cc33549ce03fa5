// Compressed WAVE data against values worked out by hand from each codec's rules.
#include "sound/SoundFiles.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

std::string MsAdpcmExtra(uint16_t samplesPerBlock) {
    static const int16_t kCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                                {240, 0}, {460, -208}, {392, -232}};
    std::string extra = Le16(samplesPerBlock) + Le16(7);
    for (const auto& pair : kCoefficients) {
        extra += Le16(uint16_t(pair[0])) + Le16(uint16_t(pair[1]));
    }
    return extra;
}

std::string CompressedWave(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign,
                           uint16_t bits, const std::string& extra, const std::string& data) {
    std::string fmt =
        FmtPayloadWithExtra(tag, channels, rate, rate * blockAlign, blockAlign, bits, extra);
    return Riff({Chunk("fmt ", fmt), Chunk("fact", Le32(0)), Chunk("data", data)});
}

std::vector<int16_t> DecodeSamples(const std::string& file) {
    DecodedSound s(file);
    EXPECT_EQ(s.setupResult(), 0);
    if (s.setupResult() != 0) {
        return {};
    }
    EXPECT_EQ(s.converter().kind, sound::kSoundKindConverted);
    std::string pcm = s.DecodeAll();
    return ToSamples16(reinterpret_cast<const uint8_t*>(pcm.data()), int32_t(pcm.size()));
}

// Block header: predictor index, delta, sample 1, sample 2 (each for all channels).
std::string MsBlockMono(uint8_t predictor, int16_t delta, int16_t s1, int16_t s2,
                        const std::string& nibbles) {
    return std::string(1, char(predictor)) + Le16(uint16_t(delta)) + Le16(uint16_t(s1)) +
           Le16(uint16_t(s2)) + nibbles;
}

TEST(MsAdpcm, MonoBlocksFollowPredictionAndAdaptation) {
    // Block 1, coefficients (256, 0): 1 -> 100+16; -1 -> 116-16; 7 -> 100+7*16 with the
    // delta growing to 614*16/256 = 38; -8 -> 212-8*38.
    // Block 2, coefficients (512, -256) from 32000: every prediction clamps at 32767.
    std::string data = MsBlockMono(0, 16, 100, 50, "\x1F\x78") +
                       MsBlockMono(1, 16, 32000, 0, std::string(2, '\0'));
    std::string file = CompressedWave(2, 1, 8000, 9, 4, MsAdpcmExtra(6), data);
    WriteSeed("msadpcm-mono.wav", file);
    std::vector<int16_t> expected = {50, 100,   116,   100,   212,   -92,
                                     0,  32000, 32767, 32767, 32767, 32767};
    EXPECT_EQ(DecodeSamples(file), expected);
}

TEST(MsAdpcm, StereoNibblesAlternateLeftRight) {
    // Left: coefficients (256, 0), delta 16. Right: (512, -256), i.e. 2*s1 - s2, delta 20.
    // Byte 0x21: left +2 -> 10+32; right +1 -> 400+20, right delta 230*20/256 = 17.
    // Byte 0xE9: left -2 -> 42-32; right -7 -> (2*420-300) - 7*17.
    std::string header = std::string("\x00\x01", 2) + Le16(16) + Le16(20) + Le16(10) + Le16(300) +
                         Le16(0) + Le16(200);
    std::string file = CompressedWave(2, 2, 8000, 16, 4, MsAdpcmExtra(4), header + "\x21\xE9");
    std::vector<int16_t> expected = {0, 200, 10, 300, 42, 420, 10, 421};
    EXPECT_EQ(DecodeSamples(file), expected);
}

TEST(MsAdpcm, UnknownPredictorEndsTheDataAtThatBlock) {
    std::string data =
        MsBlockMono(0, 16, 100, 50, "\x1F\x78") + MsBlockMono(7, 16, 1, 2, std::string(2, '\0'));
    std::vector<int16_t> expected = {50, 100, 116, 100, 212, -92};
    EXPECT_EQ(DecodeSamples(CompressedWave(2, 1, 8000, 9, 4, MsAdpcmExtra(6), data)), expected);
}

TEST(MsAdpcm, RecordWithoutCoefficientsIsRefused) {
    std::string file = CompressedWave(2, 1, 8000, 9, 4, Le16(6) + Le16(7),
                                      MsBlockMono(0, 16, 1, 2, std::string(2, '\0')));
    EXPECT_EQ(DecodedSound(file).setupResult(), -1);
}

TEST(ImaAdpcm, MonoBlocksFollowStepAndIndexTables) {
    // From 0 at step 7: 7 -> +11 (index 8, step 16); 15 -> -30 (index 16, step 34);
    // 0 -> +4; 8 -> -3; 1 -> +10; 2 -> +15; 4 -> +25; 12 -> -31. Low nibble first.
    std::string block1 = Le16(0) + std::string("\x00\x00", 2) + "\xF7\x80\x21\xC4";
    // From 32760 at the top step 32767: 7 clamps at 32767, 15 takes 61436 away,
    // and the last steps shrink again while -32768 holds the floor.
    std::string block2 =
        Le16(32760) + std::string("\x58\x00", 2) + std::string("\xF7\x08\x88\x00", 4);
    std::string file = CompressedWave(0x11, 1, 8000, 8, 4, Le16(9), block1 + block2);
    WriteSeed("ima-mono.wav", file);
    std::vector<int16_t> expected = {0,      11,     -19,    -15,    -18,    -8,
                                     7,      32,     1,      32760,  32767,  -28669,
                                     -32764, -29040, -32425, -32768, -29970, -27427};
    EXPECT_EQ(DecodeSamples(file), expected);
}

TEST(ImaAdpcm, StereoTakesFourBytesPerChannelInTurn) {
    // Left nibbles all 4 (+step+step/8), right all 12 (the same downwards).
    std::string header =
        Le16(0) + std::string("\x00\x00", 2) + Le16(1000) + std::string("\x00\x00", 2);
    std::string file =
        CompressedWave(0x11, 2, 8000, 16, 4, Le16(9), header + "\x44\x44\x44\x44\xCC\xCC\xCC\xCC");
    const int16_t rise[9] = {0, 7, 17, 29, 43, 61, 82, 107, 138};
    std::vector<int16_t> expected;
    for (int16_t v : rise) {
        expected.push_back(v);
        expected.push_back(int16_t(1000 - v));
    }
    EXPECT_EQ(DecodeSamples(file), expected);
}

TEST(ImaAdpcm, OnlyWholeBlocksAreConverted) {
    std::string block = Le16(500) + std::string("\x00\x00", 2) + std::string(4, '\0');
    std::string file =
        CompressedWave(0x11, 1, 8000, 8, 4, Le16(9), block + block + block.substr(0, 4));
    DecodedSound s(file);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(sound::SoundPcmTotalSize(s.converter()), 2 * 9 * 2);
    EXPECT_EQ(s.DecodeAll().size(), 2u * 9 * 2);
}

TEST(ImaAdpcm, BlocksLargerThanOneConversionChunkStillDecode) {
    // 4096-byte blocks of 8185 samples: more than one conversion call's source and
    // more than the one-second PCM block at 8000 Hz. Zero nibbles keep the value.
    std::string block = Le16(1234) + std::string("\x00\x00", 2) + std::string(4092, '\0');
    std::string file = CompressedWave(0x11, 1, 8000, 4096, 4, Le16(8185), block + block);
    std::vector<int16_t> samples = DecodeSamples(file);
    ASSERT_EQ(samples.size(), 2u * 8185);
    for (size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(samples[i], 1234) << "sample " << i;
    }
}

TEST(ImaAdpcm, SeeksBackwardAndForwardMatchTheFullDecode) {
    std::string data;
    for (int b = 0; b < 6; ++b) {
        data += Le16(uint16_t(b * 1000)) + std::string("\x00\x00", 2) + "\x17\x2A\x3C\x4E";
    }
    std::string file = CompressedWave(0x11, 1, 8000, 8, 4, Le16(9), data);
    std::string all = DecodedSound(file).DecodeAll();
    ASSERT_EQ(all.size(), 6u * 9 * 2);
    DecodedSound s(file);
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.Read(40), all.substr(0, 40));
    ASSERT_EQ(sound::SeekSoundConverter(s.converter(), 2), 0); // back to byte 4
    EXPECT_EQ(s.Read(10), all.substr(4, 10));
    ASSERT_EQ(sound::SeekSoundConverter(s.converter(), 40), 0); // forward to byte 80
    EXPECT_EQ(s.Read(20), all.substr(80, 20));
    ASSERT_EQ(sound::SeekSoundConverter(s.converter(), 200), 0); // past the end
    EXPECT_EQ(s.Read(4), "");
    EXPECT_EQ(s.converter().endFlag, 1);
}

int32_t ALawRule(uint8_t code) {
    // Even bits inverted; sign bit set means positive; segment e, mantissa m:
    // e = 0 gives (2m+1)*8, else (2m+33)*8 << (e-1).
    uint8_t a = code ^ 0x55;
    int32_t e = (a >> 4) & 7, m = a & 15;
    int32_t magnitude = e == 0 ? (2 * m + 1) * 8 : ((2 * m + 33) * 8) << (e - 1);
    return (a & 0x80) ? magnitude : -magnitude;
}

int32_t MuLawRule(uint8_t code) {
    // All bits inverted; sign bit set means negative; ((2m+33) << e) - 33, times 4.
    uint8_t u = uint8_t(~code);
    int32_t e = (u >> 4) & 7, m = u & 15;
    int32_t magnitude = (((2 * m + 33) << e) - 33) * 4;
    return (u & 0x80) ? -magnitude : magnitude;
}

TEST(G711, EveryCodeExpandsByItsRule) {
    std::string codes;
    for (int i = 0; i < 256; ++i) {
        codes += char(i);
    }
    std::vector<int16_t> aLaw = DecodeSamples(CompressedWave(6, 1, 8000, 1, 8, "", codes));
    std::vector<int16_t> muLaw = DecodeSamples(CompressedWave(7, 1, 8000, 1, 8, "", codes));
    ASSERT_EQ(aLaw.size(), 256u);
    ASSERT_EQ(muLaw.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(aLaw[size_t(i)], ALawRule(uint8_t(i))) << "A-law code " << i;
        EXPECT_EQ(muLaw[size_t(i)], MuLawRule(uint8_t(i))) << "mu-law code " << i;
    }
    // Fixed points of the standard: the smallest and largest steps.
    EXPECT_EQ(aLaw[0xD5], 8);
    EXPECT_EQ(aLaw[0x55], -8);
    EXPECT_EQ(aLaw[0xAA], 32256);
    EXPECT_EQ(aLaw[0x2A], -32256);
    EXPECT_EQ(muLaw[0xFF], 0);
    EXPECT_EQ(muLaw[0x80], 32124);
    EXPECT_EQ(muLaw[0x00], -32124);
}

TEST(G711, StereoFramesAndFormatSuggestion) {
    DecodedSound s(CompressedWave(7, 2, 11025, 2, 8, "", std::string("\x80\x00\xFF\x7F", 4)));
    ASSERT_EQ(s.setupResult(), 0);
    const platform::WaveFormat& f = s.converter().format;
    EXPECT_EQ(f.formatTag, 1);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samplesPerSec, 11025u);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.blockAlign, 4);
    EXPECT_EQ(f.avgBytesPerSec, 44100u);
    EXPECT_EQ(s.converter().blockSize, 44100);
    EXPECT_EQ(s.converter().totalFrames, -1);
    EXPECT_EQ(s.DecodeAll(), Samples16({32124, -32124, 0, 0}));
}

} // namespace
} // namespace velox::test
