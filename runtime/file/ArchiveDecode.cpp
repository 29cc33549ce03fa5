#include "file/ArchiveDecode.h"

#include "file/ArchiveFormat.h"

#include <cstring>

namespace velox {

bool DecodeArchiveStream(const uint8_t* coded, size_t codedSize, uint8_t marker, uint8_t* out,
                         size_t outSize) {
    size_t in = 0;
    size_t o = 0;
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

} // namespace velox
