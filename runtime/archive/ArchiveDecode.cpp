#include "archive/ArchiveDecode.h"

#include "archive/ArchiveFormat.h"

#include <cstring>
#include <endian.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velox::archive {

namespace {

// The careful decoder, byte by byte; it finishes what the fast loop leaves.
bool DecodeTail(const uint8_t* coded, size_t codedSize, uint8_t marker, uint8_t* out,
                size_t outSize, size_t in, size_t o) {
    while (in < codedSize) {
        uint8_t b = coded[in++];
        if (b != marker) {
            if (o == outSize) {
                return false;
            }
            out[o++] = b;
            continue;
        }
        if (in == codedSize) {
            return false;
        }
        uint8_t c = coded[in++];
        if (c == marker) {
            if (o == outSize) {
                return false;
            }
            out[o++] = marker;
            continue;
        }
        if (c > marker) {
            --c;
        }
        uint32_t length = c >> 3;
        if (c & 4) {
            if (in == codedSize) {
                return false;
            }
            length |= uint32_t(coded[in++]) << 5;
        }
        length += kCopyMinLength;
        uint32_t width = c & 3;
        if (width == 3 || codedSize - in < width + 1) {
            return false; // a distance width of 3 has no distance field
        }
        uint32_t distance = 0;
        for (uint32_t i = 0; i <= width; ++i) {
            distance |= uint32_t(coded[in++]) << (8 * i);
        }
        distance += 1;
        if (distance > o || length > outSize - o) {
            return false;
        }
        uint8_t* dst = out + o;
        const uint8_t* src = dst - distance;
        if (distance >= length) {
            std::memcpy(dst, src, length);
        } else {
            // Overlapping: each byte may be one this copy has just written.
            for (uint32_t i = 0; i < length; ++i) {
                dst[i] = src[i];
            }
        }
        o += length;
    }
    return o == outSize;
}

#if defined(__SSE2__)
// How far the fast loop may read and write beyond the byte it is at: a
// marker search reads 64 coded bytes ahead, a literal run 16 of them (and
// stores them all), the copy code is read as 8 bytes from a marker among those
// 16, and a copy writes at least 32 bytes and at most its length rounded up
// to 16.
constexpr size_t kCodedSlack = 64;
constexpr size_t kOutSlack = kCopyMaxLength + 32;

// Literal runs are found 16 bytes at a time and copies move 16 bytes at a time,
// overshooting into output that later tokens overwrite; only while far from both
// ends, so nothing is read or written outside the buffers.
bool DecodeFast(const uint8_t* coded, size_t codedSize, uint8_t marker, uint8_t* out,
                size_t outSize, size_t& inAt, size_t& outAt) {
    size_t in = 0;
    size_t o = 0;
    const __m128i markers = _mm_set1_epi8(char(marker));
    // Where the marker byte occurs in the 64 coded bytes from `base`, a bit
    // each. Finding the next token is then a shift and a bit scan, which keeps
    // the chain from one token to the next short. Bytes inside copy codes may
    // equal the marker too; their bits lie behind `in` by the time they are
    // looked at.
    size_t base = 0;
    uint64_t found = 0;
    size_t refillAt = 0; // `in - base` from which fewer than 16 bits are ahead
    while (codedSize - in >= kCodedSlack && outSize - o >= kOutSlack) {
        if (in - base >= refillAt) {
            base = in;
            refillAt = 48;
            found = 0;
            for (int i = 0; i < 4; ++i) {
                const __m128i block =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(coded + in + 16 * i));
                found |= uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, markers))))
                         << (16 * i);
            }
        }
        // The literal run before the next marker, which may be empty, is
        // copied without asking first: text alternates literals and copies too
        // irregularly for a branch on "is this a marker" to be predicted.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(coded + in)));
        const uint64_t ahead = found >> (in - base);
        if ((ahead & 0xFFFF) == 0) {
            in += 16;
            o += 16;
            continue;
        }
        const size_t run = size_t(__builtin_ctzll(ahead));
        in += run;
        o += run;
        // The whole copy code in one load, so that finding the next token
        // waits on one memory access, not three.
        uint64_t code;
        std::memcpy(&code, coded + in, 8);
        code = le64toh(code);
        uint32_t c = uint32_t(code >> 8) & 0xFF;
        if (c == marker) {
            out[o++] = marker;
            in += 2;
            continue;
        }
        c -= c > marker ? 1 : 0;
        // Branch-free: the extra length byte and the distance's width vary from
        // copy to copy.
        const uint32_t extended = (c >> 2) & 1;
        const uint32_t length =
            ((c >> 3) | ((uint32_t(code >> 11) & 0x1FE0) & (0u - extended))) + kCopyMinLength;
        const uint32_t width = c & 3;
        if (width == 3) {
            return false; // a distance width of 3 has no distance field
        }
        const uint32_t distance =
            (uint32_t(code >> (16 + 8 * extended)) & ((1u << (8 * width + 8)) - 1)) + 1;
        in += 3 + extended + width;
        if (distance > o) {
            return false;
        }
        uint8_t* dst = out + o;
        const uint8_t* src = dst - distance;
        if (distance >= 16) {
            // Each 16-byte block reads bytes written before it. Most copies
            // fit in two blocks, written without a loop test.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)));
            for (uint32_t i = 32; i < length; i += 16) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
            }
        } else if (distance == 1) {
            std::memset(dst, *src, length);
        } else {
            for (uint32_t i = 0; i < length; ++i) {
                dst[i] = src[i];
            }
        }
        o += length;
    }
    inAt = in;
    outAt = o;
    return true;
}
#endif

} // namespace

bool DecodeArchiveStream(const uint8_t* coded, size_t codedSize, uint8_t marker, uint8_t* out,
                         size_t outSize) {
    size_t in = 0;
    size_t o = 0;
#if defined(__SSE2__)
    if (!DecodeFast(coded, codedSize, marker, out, outSize, in, o)) {
        return false;
    }
#endif
    return DecodeTail(coded, codedSize, marker, out, outSize, in, o);
}

bool DecompressArchiveMember(const uint8_t* data, size_t dataSize, uint8_t* out, size_t outSize) {
    if (dataSize < kCompressedHeaderSize) {
        return false;
    }
    if (LoadLe32(data) != outSize || LoadLe32(data + 4) != dataSize) {
        return false;
    }
    return DecodeArchiveStream(data + kCompressedHeaderSize, dataSize - kCompressedHeaderSize,
                               data[8], out, outSize);
}

bool CompressedSizesPlausible(uint32_t size, uint32_t compressedSize) {
    if (compressedSize < kCompressedHeaderSize) {
        return false;
    }
    return uint64_t(size) <= uint64_t(compressedSize - kCompressedHeaderSize) * kMaxExpansion;
}

} // namespace velox::archive
