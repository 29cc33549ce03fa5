#include "sound/SoundFiles.h"

#include <gtest/gtest.h>

namespace velox::test {
namespace {

constexpr int kFrames = 30000; // not a multiple of any block or packet size

class EncodedOgg : public ::testing::Test {
protected:
    void SetUp() override {
        ogg_ = EncodeOgg(Sine(kFrames, 2, 44100, 523.25, 12000), 2, 44100);
        ASSERT_GT(ogg_.size(), 1000u);
    }
    std::string ogg_;
};

TEST_F(EncodedOgg, FormatSizesAndBlocks) {
    WriteSeed("sine.ogg", ogg_);
    DecodedSound s(ogg_);
    ASSERT_EQ(s.setupResult(), 0);
    SoundConverter& c = s.converter();
    EXPECT_EQ(c.kind, kSoundKindVorbis);
    EXPECT_EQ(c.format.formatTag, 1);
    EXPECT_EQ(c.format.channels, 2);
    EXPECT_EQ(c.format.samplesPerSec, 44100u);
    EXPECT_EQ(c.format.bitsPerSample, 16);
    EXPECT_EQ(c.format.blockAlign, 4);
    EXPECT_EQ(c.format.avgBytesPerSec, 176400u);
    EXPECT_EQ(c.blockSize, 4096);
    EXPECT_EQ(c.dataSize, int64_t(kFrames) * 4);
    EXPECT_EQ(SoundPcmTotalSize(c), int64_t(kFrames + 44100) * 4);
}

TEST_F(EncodedOgg, DecodeAllReturnsTheDecodedLengthNotTheBufferSize) {
    DecodedSound s(ogg_);
    ASSERT_EQ(s.setupResult(), 0);
    std::string pcm = s.DecodeAll();
    ASSERT_EQ(pcm.size(), size_t(kFrames) * 4);
    std::vector<int16_t> v =
        ToSamples16(reinterpret_cast<const uint8_t*>(pcm.data()), int32_t(pcm.size()));
    int peak = 0;
    for (int16_t x : v) {
        peak = std::max(peak, std::abs(int(x)));
    }
    EXPECT_GT(peak, 9000);
    EXPECT_LT(peak, 15000);
}

TEST_F(EncodedOgg, ReadsInPiecesAndSeeksToSampleFrames) {
    std::string all = DecodedSound(ogg_).DecodeAll();
    DecodedSound s(ogg_);
    ASSERT_EQ(s.setupResult(), 0);
    std::string pieces;
    for (std::string p = s.Read(1000); !p.empty(); p = s.Read(1000)) {
        pieces += p;
    }
    EXPECT_EQ(pieces, all);
    EXPECT_EQ(s.converter().endFlag, 1);
    ASSERT_EQ(SeekSoundConverter(s.converter(), 12345), 0);
    EXPECT_EQ(s.converter().endFlag, 0);
    EXPECT_EQ(s.converter().outputPosition, 12345 * 4);
    EXPECT_EQ(s.Read(400), all.substr(12345 * 4, 400));
    ASSERT_EQ(SeekSoundConverter(s.converter(), 0), 0);
    EXPECT_EQ(s.Read(400), all.substr(0, 400));
}

TEST_F(EncodedOgg, MissingPageEndsTheDataWhereTheStreamBreaks) {
    // Page boundaries: every page starts with "OggS". Dropping one audio page
    // leaves a gap in the page sequence that the decoder reports as an error.
    std::vector<size_t> pages;
    for (size_t at = ogg_.find("OggS"); at != std::string::npos; at = ogg_.find("OggS", at + 1)) {
        pages.push_back(at);
    }
    ASSERT_GE(pages.size(), 6u);
    const size_t drop = pages.size() / 2;
    std::string damaged = ogg_.substr(0, pages[drop]) + ogg_.substr(pages[drop + 1]);
    WriteSeed("missing-page.ogg", damaged);
    std::string all = DecodedSound(ogg_).DecodeAll();
    DecodedSound s(damaged);
    ASSERT_EQ(s.setupResult(), 0);
    std::string pcm = s.DecodeAll();
    EXPECT_GT(pcm.size(), 0u);
    EXPECT_LT(pcm.size(), all.size());
    EXPECT_EQ(pcm, all.substr(0, pcm.size()));
}

TEST(OggRecognition, DamagedHeadersAreRefused) {
    std::string ogg = EncodeOgg(Sine(2000, 1, 8000, 200.0, 1000), 1, 8000);
    ASSERT_FALSE(ogg.empty());
    std::string damaged = ogg;
    damaged[40] ^= 0x55; // inside the identification header
    EXPECT_EQ(DecodedSound(damaged).setupResult(), -1);
    EXPECT_EQ(DecodedSound(ogg.substr(0, 60)).setupResult(), -1);
    DecodedSound whole(ogg);
    ASSERT_EQ(whole.setupResult(), 0);
    EXPECT_EQ(whole.converter().format.channels, 1);
    EXPECT_EQ(whole.DecodeAll().size(), 4000u);
}

TEST(OggRecognition, ChainedLinksMustShareRateAndChannels) {
    const std::string first = EncodeOgg(Sine(3000, 2, 44100, 440.0, 8000), 2, 44100, 1);
    const std::string same = EncodeOgg(Sine(5000, 2, 44100, 660.0, 8000), 2, 44100, 2);
    const std::string slower = EncodeOgg(Sine(5000, 2, 22050, 660.0, 8000), 2, 22050, 3);
    const std::string mono = EncodeOgg(Sine(5000, 1, 44100, 660.0, 8000), 1, 44100, 4);
    ASSERT_FALSE(first.empty() || same.empty() || slower.empty() || mono.empty());
    DecodedSound chained(first + same);
    ASSERT_EQ(chained.setupResult(), 0);
    EXPECT_EQ(chained.converter().dataSize, int64_t(8000) * 4);
    EXPECT_EQ(chained.DecodeAll().size(), size_t(8000) * 4);
    // Later links at another rate or channel count would play at the first one's.
    EXPECT_EQ(DecodedSound(first + slower).setupResult(), -1);
    EXPECT_EQ(DecodedSound(first + mono).setupResult(), -1);
    EXPECT_EQ(DecodedSound(first + same + mono).setupResult(), -1);
}

} // namespace
} // namespace velox::test
