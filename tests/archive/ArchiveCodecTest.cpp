// The coding, the scramble key and name keys, checked against the format's rules.
#include "VlaEncoder.h"
#include "archive/ArchiveDecode.h"
#include "archive/ArchiveFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace velox {
namespace {

using Bytes = std::vector<uint8_t>;

bool Decode(const Bytes& coded, uint8_t marker, Bytes& out) {
    return archive::DecodeArchiveStream(coded.data(), coded.size(), marker, out.data(), out.size());
}

// Seeds for the decoder fuzz target: a mode byte 0, the marker, the output size
// (16 bits), then the stream.
void WriteDecodeSeed(const std::string& name, uint8_t marker, size_t outSize, const Bytes& coded) {
    std::filesystem::path dir = "../fuzz-corpus/ArchiveDecodeFuzz";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::ofstream out(dir / name, std::ios::binary);
    out.put(0);
    out.put(char(marker));
    out.put(char(outSize & 0xFF));
    out.put(char((outSize >> 8) & 0xFF));
    out.write(reinterpret_cast<const char*>(coded.data()), std::streamsize(coded.size()));
}

TEST(ArchiveDecode, DistanceOneCopyRepeatsTheLastByte) {
    // 'A', then a copy: length 10 -> (10 - 4) << 3 = 48, one distance byte 0 (distance 1).
    Bytes coded = {'A', 0xFF, 48, 0x00};
    Bytes out(11);
    ASSERT_TRUE(Decode(coded, 0xFF, out));
    EXPECT_EQ(out, Bytes(11, 'A'));
    WriteDecodeSeed("distance-one", 0xFF, 11, coded);
}

TEST(ArchiveDecode, CodesAboveTheMarkerAreShiftedByOne) {
    // With marker 0x10 the code 48 is written as 49; 0x10 0x10 is a literal 0x10.
    Bytes coded = {'A', 0x10, 49, 0x00, 0x10, 0x10};
    Bytes out(12);
    ASSERT_TRUE(Decode(coded, 0x10, out));
    Bytes expected(11, 'A');
    expected.push_back(0x10);
    EXPECT_EQ(out, expected);
    // A code below the marker is taken as it is: 8 = length 5, distance 1.
    Bytes low = {'B', 0x40, 8, 0x00};
    Bytes lowOut(6);
    ASSERT_TRUE(Decode(low, 0x40, lowOut));
    EXPECT_EQ(lowOut, Bytes(6, 'B'));
}

TEST(ArchiveDecode, ExtendedLengthAndWideDistances) {
    // Length 4 + 3 + (2 << 5) = 71 with the extra length byte; distance 3 in two bytes.
    Bytes coded = {'x', 'y', 'z', 0xFF, (3 << 3) | 4 | 1, 2, 0x02, 0x00};
    Bytes out(74);
    ASSERT_TRUE(Decode(coded, 0xFF, out));
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], "xyz"[i % 3]) << i;
    }
    WriteDecodeSeed("extended", 0xFF, 74, coded);

    // A three-byte distance of 70000 reaches back over a 70000-byte prefix.
    Bytes prefix(70000);
    for (size_t i = 0; i < prefix.size(); ++i) {
        prefix[i] = uint8_t(i * 31 / 7);
    }
    Bytes far;
    for (uint8_t b : prefix) {
        far.push_back(b);
        if (b == 0xAB) {
            far.push_back(0xAB);
        }
    }
    uint32_t d = 70000 - 1;
    far.insert(far.end(), {0xAB, (4 << 3) | 2, uint8_t(d), uint8_t(d >> 8), uint8_t(d >> 16)});
    Bytes farOut(70008);
    ASSERT_TRUE(Decode(far, 0xAB, farOut));
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.begin() + 8, farOut.begin() + 70000));
}

TEST(ArchiveDecode, MalformedStreamsFailWithoutOverrun) {
    Bytes out(16, 0xEE);
    // A copy before any output, or reaching before its start.
    EXPECT_FALSE(Decode({0xFF, 48, 0x00}, 0xFF, out));
    EXPECT_FALSE(Decode({'a', 'b', 0xFF, 0, 0x02}, 0xFF, out));
    // Distance width 3 has no distance field.
    EXPECT_FALSE(Decode({'a', 0xFF, 3, 0, 0, 0, 0}, 0xFF, out));
    // Truncated: marker alone, missing length byte, missing distance bytes.
    EXPECT_FALSE(Decode({'a', 0xFF}, 0xFF, out));
    EXPECT_FALSE(Decode({'a', 0xFF, 4}, 0xFF, out));
    EXPECT_FALSE(Decode({'a', 0xFF, 1, 0}, 0xFF, out));
    // A copy that would write past the end of the output.
    Bytes small(5, 0xEE);
    EXPECT_FALSE(Decode({'A', 0xFF, 48, 0x00}, 0xFF, small));
    // Too many literals, and too few.
    EXPECT_FALSE(Decode({1, 2, 3, 4, 5, 6}, 0xFF, small));
    EXPECT_FALSE(Decode({1, 2, 3}, 0xFF, small));
    WriteDecodeSeed("before-start", 0xFF, 16, {'a', 'b', 0xFF, 0, 0x02});
}

TEST(ArchiveDecode, LongStreamsDecodeExactlyAndFailOnBadCodesAnywhere) {
    // 40000 literals (some escaped markers), then copies at every short distance
    // (overlapping ones repeat a pattern) and long ones, then literals to the end.
    const uint8_t marker = 0xF0;
    Bytes coded, expected;
    for (int i = 0; i < 40000; ++i) {
        uint8_t b = uint8_t((i * 7 + i / 300) % 251);
        coded.push_back(b);
        if (b == marker) {
            coded.push_back(marker);
        }
        expected.push_back(b);
    }
    auto copy = [&](uint32_t length, uint32_t distance) {
        uint32_t extra = length - archive::kCopyMinLength;
        uint32_t width = distance - 1 < 0x100 ? 0 : (distance - 1 < 0x10000 ? 1 : 2);
        uint32_t code = ((extra & 31) << 3) | (extra >= 32 ? 4 : 0) | width;
        coded.push_back(marker);
        coded.push_back(uint8_t(code >= marker ? code + 1 : code));
        if (extra >= 32) {
            coded.push_back(uint8_t(extra >> 5));
        }
        for (uint32_t k = 0; k <= width; ++k) {
            coded.push_back(uint8_t((distance - 1) >> (8 * k)));
        }
        for (uint32_t k = 0; k < length; ++k) {
            expected.push_back(expected[expected.size() - distance]);
        }
    };
    for (uint32_t distance = 1; distance < 40; ++distance) {
        copy(4 + distance % 37, distance);
        coded.push_back('x');
        expected.push_back('x');
    }
    copy(archive::kCopyMaxLength, 39000);
    copy(300, 300);
    const size_t good = coded.size();
    for (int i = 0; i < 100; ++i) {
        coded.push_back('z');
        expected.push_back('z');
    }
    Bytes out(expected.size());
    ASSERT_TRUE(Decode(coded, marker, out));
    EXPECT_EQ(out, expected);

    // The same faults as in short streams, met far from both ends.
    Bytes bad = coded;
    bad.insert(bad.begin() + 20000, {marker, 3, 0, 0, 0, 0}); // distance width 3
    EXPECT_FALSE(Decode(bad, marker, out));
    bad.assign(coded.begin(), coded.begin() + 1000);
    bad.insert(bad.end(), {marker, 2, 0xFF, 0xFF, 0x01}); // 131072 back from byte ~1000
    bad.resize(coded.size(), 'z');
    EXPECT_FALSE(Decode(bad, marker, out));
    bad = coded;
    bad.push_back('z'); // one byte more than the output holds
    EXPECT_FALSE(Decode(bad, marker, out));
    bad = coded;
    bad.resize(good - 3); // the last copy cut short
    Bytes shorter(expected.size() - 100);
    EXPECT_FALSE(Decode(bad, marker, shorter));
}

TEST(ArchiveDecode, MemberHeaderMustAgreeWithTheEntry) {
    Bytes member = {11, 0, 0, 0, 13, 0, 0, 0, 0xFF, 'A', 0xFF, 48, 0x00};
    Bytes out(11);
    EXPECT_TRUE(
        archive::DecompressArchiveMember(member.data(), member.size(), out.data(), out.size()));
    Bytes wrongSize(12);
    EXPECT_FALSE(archive::DecompressArchiveMember(member.data(), member.size(), wrongSize.data(),
                                                  wrongSize.size()));
    EXPECT_FALSE(
        archive::DecompressArchiveMember(member.data(), member.size() - 1, out.data(), 11));
    EXPECT_FALSE(archive::DecompressArchiveMember(member.data(), 8, out.data(), 11));
    // Plausibility: 4 coded bytes stand for at most 8195 output bytes.
    EXPECT_TRUE(archive::CompressedSizesPlausible(8195, 9 + 4));
    EXPECT_FALSE(archive::CompressedSizesPlausible(100000, 9 + 4));
    EXPECT_FALSE(archive::CompressedSizesPlausible(0, 8));
}

Bytes MakeData(std::mt19937& rng, int kind, size_t size) {
    Bytes d(size);
    std::uniform_int_distribution<int> byte(0, 255);
    switch (kind) {
    case 0: // random
        for (auto& b : d) {
            b = uint8_t(byte(rng));
        }
        break;
    case 1: // one byte: every copy overlaps itself
        std::fill(d.begin(), d.end(), uint8_t(byte(rng)));
        break;
    case 2: // words from a small vocabulary
        for (size_t i = 0; i < size;) {
            static const char* words[] = {"alpha ", "beta ", "gamma\r\n", "delta ", "e "};
            const char* w = words[byte(rng) % 5];
            for (size_t k = 0; w[k] && i < size; ++k) {
                d[i++] = uint8_t(w[k]);
            }
        }
        break;
    default: // every byte value present, so the marker must be escaped
        for (size_t i = 0; i < size; ++i) {
            d[i] = uint8_t((i % 256) ^ (i / 4096));
        }
        break;
    }
    return d;
}

TEST(ArchiveEncode, RoundTripsEveryKindOfData) {
    uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const size_t sizes[] = {0, 1, 3, 4, 5, 35, 36, 100, 4096, 70000, 300000};
    for (int kind = 0; kind < 4; ++kind) {
        for (size_t size : sizes) {
            Bytes data = MakeData(rng, kind, size);
            uint8_t marker = vla::ChooseMarker(data.data(), data.size());
            Bytes coded = vla::EncodeStream(data.data(), data.size(), marker);
            Bytes out(size);
            ASSERT_TRUE(Decode(coded, marker, out)) << "kind " << kind << " size " << size;
            ASSERT_EQ(out, data) << "kind " << kind << " size " << size;
            if (kind == 2 && size == 4096) {
                WriteDecodeSeed("words", marker, size, coded);
            }
        }
    }
}

// Random bytes without 0xFF: the marker is a value that does not occur, so a
// stream of literals is exactly as long as its input and every copy shows in the size.
Bytes Unescaped(std::mt19937& rng, size_t size) {
    Bytes d(size);
    std::uniform_int_distribution<int> byte(0, 254);
    for (auto& b : d) {
        b = uint8_t(byte(rng));
    }
    return d;
}

TEST(ArchiveEncode, CopiesReachTheWholeWindowAtTheirCheapestWidth) {
    std::mt19937 rng(99);
    vla::EncoderOptions options;
    options.windowBits = 17;
    // A 40-byte repeat (with its extra length byte) at each distance width's edge,
    // beyond the near chain, at the window's edge and one past it.
    const struct {
        size_t distance;
        size_t cost; // 0: out of reach
    } cases[] = {{256, 4}, {257, 5}, {65536, 5}, {65537, 6}, {131072, 6}, {131073, 0}};
    for (const auto& c : cases) {
        Bytes data = Unescaped(rng, c.distance + 140);
        std::memcpy(data.data() + 50 + c.distance, data.data() + 50, 40);
        uint8_t marker = vla::ChooseMarker(data.data(), data.size());
        ASSERT_EQ(std::count(data.begin(), data.end(), marker), 0);
        Bytes coded = vla::EncodeStream(data.data(), data.size(), marker, options);
        if (c.cost == 0) {
            EXPECT_EQ(coded.size(), data.size()) << "distance " << c.distance;
        } else if (c.distance <= 65536) {
            EXPECT_EQ(coded.size(), data.size() - 40 + c.cost) << "distance " << c.distance;
        } else {
            // The far table is lossy: the copy may begin a few bytes late.
            EXPECT_LE(coded.size(), data.size() - 40 + c.cost + 4) << "distance " << c.distance;
        }
        Bytes out(data.size());
        ASSERT_TRUE(Decode(coded, marker, out));
        EXPECT_EQ(out, data) << "distance " << c.distance;
        EXPECT_EQ(vla::EncodeStream(data.data(), data.size(), marker, options), coded);
    }

    // By default copies reach 256 KiB back. The far table keeps only some
    // positions, so the copy may start later; it is still found.
    Bytes far = Unescaped(rng, 200200);
    std::memcpy(far.data() + 200050, far.data() + 50, 40);
    Bytes farCoded = vla::EncodeStream(far.data(), far.size(), 0xFF);
    EXPECT_LE(farCoded.size(), far.size() - 16);
    Bytes farOut(far.size());
    ASSERT_TRUE(Decode(farCoded, 0xFF, farOut));
    EXPECT_EQ(farOut, far);

    // Lazy matching: a 4-byte copy 200 back saves one byte, but the 22-byte copy
    // that starts one byte later saves 18; a literal and the long copy win.
    Bytes data = Unescaped(rng, 3000);
    std::memcpy(data.data() + 1800, data.data() + 2000, 4);
    std::memcpy(data.data() + 1000, data.data() + 2001, 22);
    Bytes coded = vla::EncodeStream(data.data(), data.size(), 0xFF);
    EXPECT_EQ(coded.size(), data.size() - 18);
    Bytes out(data.size());
    ASSERT_TRUE(Decode(coded, 0xFF, out));
    EXPECT_EQ(out, data);

    // One byte more is enough: a 6-byte copy 1000 back (saves 2) beats the
    // 4-byte copy 200 back (saves 1) that leaves three literals after it.
    data = Unescaped(rng, 3000);
    std::memcpy(data.data() + 1800, data.data() + 2000, 4);
    std::memcpy(data.data() + 1001, data.data() + 2001, 6);
    coded = vla::EncodeStream(data.data(), data.size(), 0xFF);
    EXPECT_EQ(coded.size(), data.size() - 2);
    ASSERT_TRUE(Decode(coded, 0xFF, out));
    EXPECT_EQ(out, data);
}

TEST(ArchiveEncode, MemberIsStoredWhenCodingDoesNotShrinkIt) {
    std::mt19937 rng(7);
    Bytes random = MakeData(rng, 0, 5000);
    EXPECT_TRUE(vla::CompressMember(random.data(), random.size()).empty());
    EXPECT_TRUE(vla::CompressMember(random.data(), 0).empty());
    Bytes run(100000, 'z');
    Bytes member = vla::CompressMember(run.data(), run.size());
    ASSERT_FALSE(member.empty());
    // 100000 bytes of one value: a literal and copies of at most 8195 bytes (4 coded bytes each).
    EXPECT_LE(member.size(), 9 + 1 + 13 * 4u);
    EXPECT_EQ(archive::LoadLe32(member.data()), 100000u);
    EXPECT_EQ(archive::LoadLe32(member.data() + 4), member.size());
    Bytes out(run.size());
    ASSERT_TRUE(
        archive::DecompressArchiveMember(member.data(), member.size(), out.data(), out.size()));
    EXPECT_EQ(out, run);
    // The marker is the least frequent byte: a value that does not occur at all here.
    EXPECT_NE(member[8], 'z');
}

TEST(ArchiveKey, KeyStringFillsTwelveBytes) {
    archive::ArchiveKey none = archive::MakeArchiveKey(nullptr);
    archive::ArchiveKey empty = archive::MakeArchiveKey("");
    EXPECT_EQ(std::memcmp(none.bytes, empty.bytes, archive::kArchiveKeySize), 0);
    archive::ArchiveKey repeated = archive::MakeArchiveKey("abc");
    archive::ArchiveKey spelled = archive::MakeArchiveKey("abcabcabcabc");
    EXPECT_EQ(std::memcmp(repeated.bytes, spelled.bytes, archive::kArchiveKeySize), 0);
    archive::ArchiveKey longer = archive::MakeArchiveKey("abcabcabcabcXYZ");
    EXPECT_EQ(std::memcmp(longer.bytes, spelled.bytes, archive::kArchiveKeySize), 0);
    EXPECT_NE(
        std::memcmp(archive::MakeArchiveKey("abd").bytes, spelled.bytes, archive::kArchiveKeySize),
        0);
    // Each position transforms its byte its own way: twelve equal inputs give unequal bytes.
    int equalNeighbours = 0;
    for (int i = 1; i < archive::kArchiveKeySize; ++i) {
        equalNeighbours += none.bytes[i] == none.bytes[0] ? 1 : 0;
    }
    EXPECT_LT(equalNeighbours, archive::kArchiveKeySize - 1);
    archive::ArchiveKey fallback = archive::FallbackArchiveKey();
    for (int i = 1; i < archive::kArchiveKeySize; ++i) {
        EXPECT_EQ(fallback.bytes[i], fallback.bytes[0]);
    }
}

TEST(ArchiveKey, ScramblingFollowsTheFilePosition) {
    archive::ArchiveKey key = archive::MakeArchiveKey("key");
    Bytes data(203, 0); // whole 48-byte blocks and a tail
    archive::ScrambleArchiveBytes(data.data(), data.size(), 5, key);
    for (size_t i = 0; i < data.size(); ++i) {
        ASSERT_EQ(data[i], key.bytes[(5 + i) % 12]) << i;
    }
    // Descrambling a part at its own position gives the plain bytes back.
    archive::ScrambleArchiveBytes(data.data() + 7, 20, 12, key);
    archive::ScrambleArchiveBytes(data.data() + 7, 20, 12, key);
    archive::ScrambleArchiveBytes(data.data(), data.size(), (uint64_t(1) << 32) + 1,
                                  key); // = 5 mod 12
    EXPECT_EQ(data, Bytes(203, 0));
}

TEST(ArchiveNameKey, UpperCasesAsciiOnlyAndPadsWithZeros) {
    archive::NameKey key;
    ASSERT_TRUE(archive::MakeNameKey("a.png", 5, key));
    EXPECT_EQ(key.units, 2); // 5 bytes and a zero in two 4-byte units
    EXPECT_EQ(std::memcmp(key.bytes, "A.PNG\0\0\0", 8), 0);
    EXPECT_EQ(key.checksum, 'A' + '.' + 'P' + 'N' + 'G');
    ASSERT_TRUE(archive::MakeNameKey("ABCD", 4, key));
    EXPECT_EQ(key.units, 2); // a full unit still needs a zero byte after it
    ASSERT_TRUE(archive::MakeNameKey("abc", 3, key));
    EXPECT_EQ(key.units, 1);
    // "ツ" is 0x83 0x63: its second byte is a lower-case 'c' and must stay so.
    ASSERT_TRUE(archive::MakeNameKey("\x83\x63x", 3, key));
    EXPECT_EQ(std::memcmp(key.bytes, "\x83\x63X", 3), 0);
    EXPECT_EQ(key.checksum, 0x83 + 0x63 + 'X');
    EXPECT_FALSE(archive::MakeNameKey("", 0, key));
    std::string tooLong(256, 'a');
    EXPECT_FALSE(archive::MakeNameKey(tooLong.data(), tooLong.size(), key));
    ASSERT_TRUE(archive::MakeNameKey(tooLong.data(), 255, key));
    EXPECT_EQ(key.units, 64);
}

} // namespace
} // namespace velox
