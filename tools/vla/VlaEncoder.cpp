#include "VlaEncoder.h"

#include "archive/ArchiveDecode.h"
#include "archive/ArchiveFormat.h"

#include <algorithm>
#include <cstring>

namespace velox::vla {
namespace {

constexpr int kHashBits = 16;
constexpr uint32_t kExtendedLength = 32; // lengths from 4 + 32 need the extra length byte

uint32_t Hash4(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return (v * 2654435761u) >> (32 - kHashBits);
}

uint32_t DistanceBytes(uint32_t distance) {
    uint32_t value = distance - 1;
    return value < 0x100 ? 1 : (value < 0x10000 ? 2 : 3);
}

uint32_t CopyCost(uint32_t length, uint32_t distance) {
    return 2 + (length - kCopyMinLength >= kExtendedLength ? 1 : 0) + DistanceBytes(distance);
}

// Bytes saved against literals (escaped markers inside the copy are ignored).
int Gain(uint32_t length, uint32_t distance) {
    return length == 0 ? 0 : int(length) - int(CopyCost(length, distance));
}

uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
            return n + uint32_t(__builtin_ctzll(x ^ y) / 8);
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) {
        ++n;
    }
    return n;
}

class MatchFinder {
public:
    MatchFinder(const uint8_t* data, size_t size, const EncoderOptions& options)
        : data_(data), size_(size), options_(options), head_(size_t(1) << kHashBits, -1) {
        // The chains stay inside a window small enough to be cache-resident.
        size_t limit = size_t(1) << std::clamp(options.windowBits, 8, 24);
        size_t window = 256;
        while (window < std::min(size, limit)) {
            window <<= 1;
        }
        prev_.assign(window, -1);
        mask_ = window - 1;
    }

    // Adds position i to its hash chain; positions must be inserted in order.
    void Insert(size_t i) {
        if (i + 4 > size_) {
            return;
        }
        uint32_t h = Hash4(data_ + i);
        prev_[i & mask_] = head_[h];
        head_[h] = int32_t(i);
    }

    // Best copy at position i (not yet inserted): the one saving the most bytes.
    void Find(size_t i, uint32_t& bestLength, uint32_t& bestDistance) const {
        bestLength = 0;
        bestDistance = 0;
        if (i + kCopyMinLength > size_) {
            return;
        }
        uint32_t limit = uint32_t(std::min<size_t>(size_ - i, kCopyMaxLength));
        int bestGain = 0;
        int64_t candidate = head_[Hash4(data_ + i)];
        uint32_t first4;
        std::memcpy(&first4, data_ + i, 4);
        for (int chain = 0; chain < options_.maxChain && candidate >= 0; ++chain) {
            size_t distance = i - size_t(candidate);
            if (distance > kCopyMaxDistance || distance > mask_ + 1) {
                break;
            }
            const uint8_t* c = data_ + candidate;
            // A candidate can only win when it is longer than the best so far; most
            // candidates are hash collisions that differ in the first four bytes.
            uint32_t c4;
            std::memcpy(&c4, c, 4);
            if (c4 == first4 && bestLength < limit && c[bestLength] == data_[i + bestLength]) {
                uint32_t length = MatchLength(c, data_ + i, limit);
                int gain = Gain(length, uint32_t(distance));
                if (length >= kCopyMinLength && gain > bestGain) {
                    bestGain = gain;
                    bestLength = length;
                    bestDistance = uint32_t(distance);
                    if (length >= options_.niceLength || length == limit) {
                        break;
                    }
                }
            }
            candidate = prev_[size_t(candidate) & mask_];
        }
    }

private:
    const uint8_t* data_;
    size_t size_;
    EncoderOptions options_;
    std::vector<int32_t> head_; // members are below 2 GiB, so positions fit
    std::vector<int32_t> prev_;
    size_t mask_ = 0;
};

void EmitLiteral(std::vector<uint8_t>& out, uint8_t b, uint8_t marker) {
    out.push_back(b);
    if (b == marker) {
        out.push_back(marker);
    }
}

void EmitCopy(std::vector<uint8_t>& out, uint32_t length, uint32_t distance, uint8_t marker) {
    uint32_t extra = length - kCopyMinLength;
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
    out.reserve(size / 2 + 16);
    MatchFinder finder(data, size, options);
    size_t i = 0;
    uint32_t length = 0;
    uint32_t distance = 0;
    bool haveMatch = false; // the match at i was found by the previous lazy look
    while (i < size) {
        if (!haveMatch) {
            finder.Find(i, length, distance);
        }
        haveMatch = false;
        if (length < kCopyMinLength) {
            finder.Insert(i);
            EmitLiteral(out, data[i], marker);
            ++i;
            continue;
        }
        // Lazy step: a better copy one byte later is worth a literal now.
        finder.Insert(i);
        uint32_t nextLength = 0;
        uint32_t nextDistance = 0;
        if (length < options.niceLength) {
            finder.Find(i + 1, nextLength, nextDistance);
        }
        if (Gain(nextLength, nextDistance) > Gain(length, distance) + 1) {
            EmitLiteral(out, data[i], marker);
            ++i;
            length = nextLength;
            distance = nextDistance;
            haveMatch = true;
            continue;
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
    if (stream.size() + kCompressedHeaderSize >= size) {
        return {};
    }
    std::vector<uint8_t> out(kCompressedHeaderSize);
    StoreLe32(out.data(), uint32_t(size));
    StoreLe32(out.data() + 4, uint32_t(stream.size() + kCompressedHeaderSize));
    out[8] = marker;
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

} // namespace velox::vla
