#include "VlaEncoder.h"

#include "archive/ArchiveDecode.h"
#include "archive/ArchiveFormat.h"

#include <algorithm>
#include <cstring>

namespace velox::vla {
namespace {

constexpr uint32_t kExtendedLength = 32;   // lengths from 4 + 32 need the extra length byte
constexpr uint32_t kNearWindow = 1u << 16; // copies whose distance fits in two bytes
constexpr int kNearMaxHashBits = 16;
// The far table keeps the last two positions per hash of eight bytes: a
// three-byte distance makes a copy cost five or six bytes, so only long far
// copies pay, and those share their first eight bytes. Its size follows the
// window, since older positions are of no use.
constexpr int kFarWays = 2;
constexpr int kFarMaxBucketBits = 18;
// How many positions ahead the table slots are fetched into the cache.
constexpr size_t kAhead = 16;

uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

int CeilLog2(size_t n) {
    int bits = 0;
    while ((size_t(1) << bits) < n) {
        ++bits;
    }
    return bits;
}

uint32_t DistanceBytes(uint32_t distance) {
    uint32_t value = distance - 1;
    return value < 0x100 ? 1 : (value < 0x10000 ? 2 : 3);
}

uint32_t CopyCost(uint32_t length, uint32_t distance) {
    return 2 + (length - archive::kCopyMinLength >= kExtendedLength ? 1 : 0) +
           DistanceBytes(distance);
}

uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x = Load64(a + n) ^ Load64(b + n);
        if (x != 0) {
            return n + uint32_t(__builtin_ctzll(x) / 8);
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) {
        ++n;
    }
    return n;
}

// The longest copy found for each distance width (one, two and three bytes). A
// wider entry is only filled when it is longer than every narrower one.
struct Matches {
    uint32_t length[3];
    uint32_t distance[3];
};

// A far position and the four bytes after its first four, which turn away most
// candidates without touching the data.
struct FarEntry {
    int32_t position;
    uint32_t tag;
};

class MatchFinder {
public:
    MatchFinder(const uint8_t* data, size_t size, const EncoderOptions& options)
        : data_(data), size_(size), maxChain_(std::max(options.maxChain, 1)),
          nice_(std::clamp(options.niceLength, archive::kCopyMinLength, archive::kCopyMaxLength)) {
        window_ = uint32_t(1) << std::clamp(options.windowBits, 8, 24);
        nearWindow_ = std::min(window_, kNearWindow);
        nearHashBits_ = std::clamp(CeilLog2(size), 8, kNearMaxHashBits);
        nearHead_.assign(size_t(1) << nearHashBits_, -1);
        size_t chain = size_t(1) << std::clamp(CeilLog2(size), 8, 16);
        nearPrev_.assign(std::min<size_t>(chain, nearWindow_), -1);
        nearMask_ = nearPrev_.size() - 1;
        if (window_ > kNearWindow && size > kNearWindow) {
            farBucketBits_ =
                std::clamp(CeilLog2(std::min<size_t>(size, window_)) - 2, 8, kFarMaxBucketBits);
            far_.assign((size_t(1) << farBucketBits_) * kFarWays, FarEntry{-1, 0});
        }
    }

    uint32_t NiceLength() const { return nice_; }

    // Adds position i to the tables; positions must be added in order.
    void Insert(size_t i) {
        if (i + 4 > size_) {
            return;
        }
        // The tables are larger than the cache: ask for the slots a few
        // positions ahead now, so that they have arrived when they are needed.
        if (i + kAhead + 8 <= size_) {
            __builtin_prefetch(&nearHead_[NearHash(data_ + i + kAhead)]);
            if (!far_.empty()) {
                __builtin_prefetch(&far_[FarHash(data_ + i + kAhead) * kFarWays]);
            }
        }
        uint32_t h = NearHash(data_ + i);
        nearPrev_[i & nearMask_] = nearHead_[h];
        nearHead_[h] = int32_t(i);
        if (!far_.empty() && i + 8 <= size_) {
            FarEntry* bucket = &far_[FarHash(data_ + i) * kFarWays];
            std::memmove(bucket + 1, bucket, sizeof(FarEntry) * (kFarWays - 1));
            bucket[0] = FarEntry{int32_t(i), Load32(data_ + i + 4)};
        }
    }

    // The longest copies at position i (not yet added), at most `limit` (>= 4)
    // long; the longest of them, or 0 when there is none.
    uint32_t Find(size_t i, uint32_t limit, Matches& m) const {
        m = Matches{};
        const uint8_t* cur = data_ + i;
        const uint32_t first4 = Load32(cur);
        uint32_t best = archive::kCopyMinLength - 1;
        // Candidates come nearest first, so a longer one is never cheaper.
        auto consider = [&](int64_t candidate) {
            const uint8_t* c = data_ + candidate;
            if (c[best] != cur[best] || Load32(c) != first4) {
                return;
            }
            uint32_t length = MatchLength(c, cur, limit);
            if (length > best) {
                best = length;
                uint32_t distance = uint32_t(i - size_t(candidate));
                uint32_t width = DistanceBytes(distance) - 1;
                m.length[width] = length;
                m.distance[width] = distance;
            }
        };
        int64_t candidate = nearHead_[NearHash(cur)];
        for (int chain = 0; chain < maxChain_ && candidate >= 0; ++chain) {
            if (i - size_t(candidate) > nearWindow_) {
                break; // older links may have been overwritten
            }
            consider(candidate);
            if (best >= limit || best >= nice_) {
                return best;
            }
            candidate = nearPrev_[size_t(candidate) & nearMask_];
        }
        if (!far_.empty() && i + 8 <= size_) {
            const FarEntry* bucket = &far_[FarHash(cur) * kFarWays];
            const uint32_t tag = Load32(cur + 4);
            for (int way = 0; way < kFarWays && bucket[way].position >= 0; ++way) {
                if (i - size_t(bucket[way].position) > window_) {
                    break;
                }
                if (bucket[way].tag == tag) {
                    consider(bucket[way].position);
                    if (best >= limit) {
                        break;
                    }
                }
            }
        }
        return best >= archive::kCopyMinLength ? best : 0;
    }

private:
    uint32_t NearHash(const uint8_t* p) const {
        return (Load32(p) * 2654435761u) >> (32 - nearHashBits_);
    }
    size_t FarHash(const uint8_t* p) const {
        return size_t((Load64(p) * 0x9E3779B97F4A7C15ull) >> (64 - farBucketBits_));
    }

    const uint8_t* data_;
    size_t size_;
    int maxChain_;
    uint32_t nice_;
    uint32_t window_ = 0;
    uint32_t nearWindow_ = 0;
    int nearHashBits_ = 0;
    int farBucketBits_ = 0;
    std::vector<int32_t> nearHead_; // members are below 2 GiB, so positions fit
    std::vector<int32_t> nearPrev_;
    size_t nearMask_ = 0;
    std::vector<FarEntry> far_; // kFarWays entries per bucket, newest first
};

void EmitLiteral(std::vector<uint8_t>& out, uint8_t b, uint8_t marker) {
    out.push_back(b);
    if (b == marker) {
        out.push_back(marker);
    }
}

void EmitCopy(std::vector<uint8_t>& out, uint32_t length, uint32_t distance, uint8_t marker) {
    uint32_t extra = length - archive::kCopyMinLength;
    uint32_t width = DistanceBytes(distance) - 1;
    uint32_t code = ((extra & 31) << 3) | (extra >= kExtendedLength ? 4 : 0) | width;
    // The marker value itself is reserved for an escaped marker.
    out.push_back(marker);
    out.push_back(uint8_t(code >= marker ? code + 1 : code));
    if (extra >= kExtendedLength) {
        out.push_back(uint8_t(extra >> 5));
    }
    uint32_t value = distance - 1;
    for (uint32_t i = 0; i <= width; ++i) {
        out.push_back(uint8_t(value >> (8 * i)));
    }
}

// The copy among m that saves the most bytes against literals (escaped markers
// inside it are not counted); its gain, 0 when none saves anything.
int BestCopy(const Matches& m, uint32_t& length, uint32_t& distance) {
    int best = 0;
    length = 0;
    distance = 0;
    for (int width = 0; width < 3; ++width) {
        if (m.length[width] == 0) {
            continue;
        }
        int gain = int(m.length[width]) - int(CopyCost(m.length[width], m.distance[width]));
        if (gain > best) {
            best = gain;
            length = m.length[width];
            distance = m.distance[width];
        }
    }
    return best;
}

// The best copy at position i, by the bytes it saves; 0 when there is none.
int FindCopy(const MatchFinder& finder, size_t i, size_t size, uint32_t& length,
             uint32_t& distance) {
    const uint32_t limit = uint32_t(std::min<size_t>(size - i, archive::kCopyMaxLength));
    Matches m;
    if (limit < archive::kCopyMinLength || finder.Find(i, limit, m) == 0) {
        length = 0;
        distance = 0;
        return 0;
    }
    return BestCopy(m, length, distance);
}

} // namespace

uint8_t ChooseMarker(const uint8_t* data, size_t size) {
    size_t counts[256] = {};
    for (size_t i = 0; i < size; ++i) {
        ++counts[data[i]];
    }
    return uint8_t(std::min_element(counts, counts + 256) - counts);
}

std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, uint8_t marker,
                                  const EncoderOptions& options) {
    std::vector<uint8_t> out;
    if (size == 0) {
        return out;
    }
    out.reserve(size / 2 + 16);
    MatchFinder finder(data, size, options);
    size_t i = 0;
    uint32_t length = 0;
    uint32_t distance = 0;
    int gain = 0;
    bool haveCopy = false; // the copy at i was found by the previous lazy look
    while (i < size) {
        if (!haveCopy) {
            gain = FindCopy(finder, i, size, length, distance);
        }
        haveCopy = false;
        finder.Insert(i);
        if (gain == 0) {
            EmitLiteral(out, data[i], marker);
            ++i;
            continue;
        }
        // Lazy step: a copy one byte later that saves more is taken instead (the
        // literal before it saves nothing, so the gains compare directly).
        if (length < finder.NiceLength() && i + 1 < size) {
            uint32_t nextLength = 0;
            uint32_t nextDistance = 0;
            int nextGain = FindCopy(finder, i + 1, size, nextLength, nextDistance);
            if (nextGain > gain) {
                EmitLiteral(out, data[i], marker);
                ++i;
                length = nextLength;
                distance = nextDistance;
                gain = nextGain;
                haveCopy = true;
                continue;
            }
        }
        EmitCopy(out, length, distance, marker);
        for (size_t k = i + 1; k < i + length; ++k) {
            finder.Insert(k);
        }
        i += length;
    }
    return out;
}

std::vector<uint8_t> CompressMember(const uint8_t* data, size_t size,
                                    const EncoderOptions& options) {
    if (size == 0 || size > 0x7FFFFFF0u) {
        return {};
    }
    uint8_t marker = ChooseMarker(data, size);
    std::vector<uint8_t> stream = EncodeStream(data, size, marker, options);
    if (stream.size() + archive::kCompressedHeaderSize >= size) {
        return {};
    }
    std::vector<uint8_t> out(archive::kCompressedHeaderSize);
    archive::StoreLe32(out.data(), uint32_t(size));
    archive::StoreLe32(out.data() + 4, uint32_t(stream.size() + archive::kCompressedHeaderSize));
    out[8] = marker;
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

} // namespace velox::vla
