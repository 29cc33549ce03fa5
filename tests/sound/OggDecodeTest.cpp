#include "sound/SoundFiles.h"

#include "core/MemoryTracker.h"

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
    sound::SoundConverter& c = s.converter();
    EXPECT_EQ(c.kind, sound::kSoundKindVorbis);
    EXPECT_EQ(c.format.formatTag, 1);
    EXPECT_EQ(c.format.channels, 2);
    EXPECT_EQ(c.format.samplesPerSec, 44100u);
    EXPECT_EQ(c.format.bitsPerSample, 16);
    EXPECT_EQ(c.format.blockAlign, 4);
    EXPECT_EQ(c.format.avgBytesPerSec, 176400u);
    EXPECT_EQ(c.blockSize, 4096);
    EXPECT_EQ(c.dataSize, int64_t(kFrames) * 4);
    EXPECT_EQ(sound::SoundPcmTotalSize(c), int64_t(kFrames + 44100) * 4);
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
    ASSERT_EQ(sound::SeekSoundConverter(s.converter(), 12345), 0);
    EXPECT_EQ(s.converter().endFlag, 0);
    EXPECT_EQ(s.converter().outputPosition, 12345 * 4);
    EXPECT_EQ(s.Read(400), all.substr(12345 * 4, 400));
    ASSERT_EQ(sound::SeekSoundConverter(s.converter(), 0), 0);
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

// Sets the granule position of the last page (the length the stream declares)
// and recomputes that page's checksum.
std::string WithDeclaredFrames(std::string ogg, uint64_t frames) {
    const size_t page = ogg.rfind("OggS");
    for (int i = 0; i < 8; ++i) {
        ogg[page + 6 + i] = char(frames >> (8 * i));
    }
    for (int i = 0; i < 4; ++i) {
        ogg[page + 22 + i] = 0;
    }
    uint32_t crc = 0;
    for (size_t i = page; i < ogg.size(); ++i) {
        crc ^= uint32_t(uint8_t(ogg[i])) << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
    }
    for (int i = 0; i < 4; ++i) {
        ogg[page + 22 + i] = char(crc >> (8 * i));
    }
    return ogg;
}

TEST_F(EncodedOgg, DeclaredLengthFarBeyondTheDataIsNotAllocated) {
    // About 1 GiB of PCM declared by a stream of a few kilobytes.
    DecodedSound s(WithDeclaredFrames(ogg_, uint64_t(1) << 28));
    ASSERT_EQ(s.setupResult(), 0);
    EXPECT_EQ(s.converter().dataSize, (int64_t(1) << 28) * 4);
    const int32_t before = core::mem_detail::CurrentTotals().totalSize;
    sound::PcmResult result{};
    ASSERT_EQ(sound::DecodeAllSound(s.converter(), result), 0);
    EXPECT_LT(core::mem_detail::CurrentTotals().totalSize - before, 4 << 20);
    // What the data makes comes out whole: the honest stream's PCM, and then the
    // last packet's tail that the honest granule position trims (under a block).
    const std::string honest = DecodedSound(ogg_).DecodeAll();
    ASSERT_GE(result.length, int32_t(honest.size()));
    EXPECT_LT(result.length, int32_t(honest.size()) + 4096 * 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(result.data), honest.size()), honest);
    MemFree(result.data);

    // Decoding past the first buffer grows it without losing a byte.
    const std::string longer = EncodeOgg(Sine(300000, 2, 44100, 440.0, 9000), 2, 44100);
    DecodedSound big(WithDeclaredFrames(longer, uint64_t(1) << 28));
    ASSERT_EQ(big.setupResult(), 0);
    const std::string all = big.DecodeAll();
    ASSERT_GE(all.size(), size_t(300000) * 4);
    EXPECT_EQ(all.substr(0, size_t(300000) * 4), DecodedSound(longer).DecodeAll());
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
