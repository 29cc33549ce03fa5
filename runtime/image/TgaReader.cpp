// TGA files: true-color and color-mapped pictures of 16, 24 or 32 bits, plain or
// run-length, in any of the four row and column orders.
#include "image/ImageDecoder.h"
#include "image/ImageInput.h"

#include <cstring>

namespace velox::image {
namespace {

using namespace image_input;

constexpr int kFooterSize = 26;
constexpr int kHeaderSize = 18;
constexpr int kMaxSide = 4095;
constexpr uint8_t kTopFirst = 0x20;
constexpr uint8_t kRightToLeft = 0x10;

struct TgaHeader {
    uint8_t idLength;
    uint8_t mapType;
    uint8_t type;
    uint16_t firstIndex;
    uint16_t mapLength;
    uint8_t mapEntrySize;
    int32_t width;
    int32_t height;
    uint8_t pixelDepth;
    uint8_t descriptor;
    bool mapped;
    bool runLength;
    int bytes; // per output pixel
};

bool HasFooter(file::Stream& stream) {
    uint8_t footer[kFooterSize];
    if (!SeekTo(stream, 0, 2) || stream.ops->tell(stream.data) < kFooterSize ||
        !SeekTo(stream, -kFooterSize, 2) || !ReadExact(stream, footer, sizeof footer)) {
        return false;
    }
    return std::memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0 && Le32(footer) == 0;
}

bool ParseHeader(const uint8_t* b, TgaHeader& h) {
    h.idLength = b[0];
    h.mapType = b[1];
    h.type = b[2];
    h.firstIndex = Le16(b + 3);
    h.mapLength = Le16(b + 5);
    h.mapEntrySize = b[7];
    h.width = Le16(b + 12);
    h.height = Le16(b + 14);
    h.pixelDepth = b[16];
    h.descriptor = b[17];
    if ((h.type >= 4 && h.type <= 8) || h.type > 11 || Le16(b + 8) != 0 || Le16(b + 10) != 0 ||
        h.width > kMaxSide || h.height > kMaxSide || !AcceptableSize(h.width, h.height)) {
        return false;
    }
    if (h.type != 1 && h.type != 2 && h.type != 9 && h.type != 10) {
        return false; // no picture, or grey
    }
    h.mapped = h.type == 1 || h.type == 9;
    h.runLength = h.type >= 9;
    int depth = h.mapped ? h.mapEntrySize : h.pixelDepth;
    if (depth != 16 && depth != 24 && depth != 32) {
        return false;
    }
    // Indexes are read one byte each; wider ones would be misread.
    if (h.mapped && h.pixelDepth != 8) {
        return false;
    }
    h.bytes = depth / 8;
    return true;
}

// Reads the color map into a 256-entry table; entries beyond index 255 are read
// past but not stored.
bool ReadColorMap(file::Stream& stream, const TgaHeader& h, uint8_t* palette) {
    std::memset(palette, 0, size_t(256) * h.bytes);
    int64_t size = int64_t(h.mapLength) * h.bytes;
    TrackedBuffer map(size);
    if (!map || !ReadExact(stream, map.get(), size_t(size))) {
        return false;
    }
    for (int i = 0; i < h.mapLength && h.firstIndex + i < 256; ++i) {
        std::memcpy(palette + (h.firstIndex + i) * h.bytes, map.get() + i * h.bytes,
                    size_t(h.bytes));
    }
    return true;
}

// Decodes run-length packets until every pixel is made; a packet that would run
// past the picture is clipped and ends it. False when the data ends first.
bool DecodePackets(const uint8_t* in, int64_t size, const TgaHeader& h, const uint8_t* palette,
                   uint8_t* out, int64_t pixelCount) {
    int itemBytes = h.mapped ? 1 : h.bytes;
    auto put = [&](const uint8_t* item, int64_t at) {
        const uint8_t* color = h.mapped ? palette + item[0] * h.bytes : item;
        std::memcpy(out + at * h.bytes, color, size_t(h.bytes));
    };
    int64_t pos = 0;
    int64_t made = 0;
    while (made < pixelCount) {
        if (pos >= size) {
            return false;
        }
        uint8_t packet = in[pos++];
        int64_t count = (packet & 0x7F) + 1;
        if (count > pixelCount - made) {
            count = pixelCount - made;
        }
        if (packet & 0x80) {
            if (pos + itemBytes > size) {
                return false;
            }
            for (int64_t i = 0; i < count; ++i) {
                put(in + pos, made++);
            }
            pos += itemBytes;
        } else {
            if (pos + count * itemBytes > size) {
                return false;
            }
            for (int64_t i = 0; i < count; ++i) {
                put(in + pos, made++);
                pos += itemBytes;
            }
        }
    }
    return true;
}

// Reads the stored pixels (in stored order) into out.
bool ReadPixels(file::Stream& stream, const TgaHeader& h, bool footer, const uint8_t* palette,
                uint8_t* out) {
    int64_t pixelCount = int64_t(h.width) * h.height;
    if (h.runLength) {
        int64_t here = stream.ops->tell(stream.data);
        int64_t left = BytesLeft(stream);
        if (here < 0 || left < 0) {
            return false;
        }
        int64_t size = left - (footer ? kFooterSize : 0);
        if (size < 0) {
            return false;
        }
        TrackedBuffer data(size);
        return data && ReadExact(stream, data.get(), size_t(size)) &&
               DecodePackets(data.get(), size, h, palette, out, pixelCount);
    }
    if (!h.mapped) {
        return ReadExact(stream, out, size_t(pixelCount * h.bytes));
    }
    TrackedBuffer indexes(pixelCount);
    if (!indexes || !ReadExact(stream, indexes.get(), size_t(pixelCount))) {
        return false;
    }
    for (int64_t i = 0; i < pixelCount; ++i) {
        std::memcpy(out + i * h.bytes, palette + indexes.get()[i] * h.bytes, size_t(h.bytes));
    }
    return true;
}

// False when the bytes left in the file certainly cannot make every pixel, so
// that such a file is refused before the picture is allocated: a run-length
// packet of a header and one item makes at most 128 pixels.
bool DataCanCover(file::Stream& stream, const TgaHeader& h, bool footer) {
    int64_t left = BytesLeft(stream);
    if (left < 0) {
        return false;
    }
    const int64_t itemBytes = h.mapped ? 1 : h.bytes;
    const int64_t pixelCount = int64_t(h.width) * h.height;
    if (h.runLength) {
        // Packets stop short of the footer; plain pixels are read regardless of it.
        left -= footer ? kFooterSize : 0;
        return left / (1 + itemBytes) * 128 >= pixelCount;
    }
    return left >= pixelCount * itemBytes;
}

} // namespace

int ReadTgaImage(file::Stream& stream, BaseImage& image) {
    bool footer = HasFooter(stream);
    uint8_t raw[kHeaderSize];
    TgaHeader h{};
    if (!SeekTo(stream, 0, 0) || !ReadExact(stream, raw, sizeof raw) || !ParseHeader(raw, h)) {
        return -1;
    }
    // The image-ID field, and a color map that a true-color picture does not use.
    int64_t skip = h.idLength;
    if (!h.mapped && h.mapType == 1) {
        skip += int64_t(h.mapLength) * ((h.mapEntrySize + 7) / 8);
    }
    if (!SeekTo(stream, kHeaderSize + skip, 0)) {
        return -1;
    }
    uint8_t palette[256 * 4];
    if ((h.mapped && !ReadColorMap(stream, h, palette)) || !DataCanCover(stream, h, footer)) {
        return -1;
    }
    int64_t pitch = int64_t(h.width) * h.bytes;
    int64_t size = CheckedProduct(pitch, h.height);
    TrackedBuffer decoded(size);
    if (size < 0 || !decoded || !ReadPixels(stream, h, footer, palette, decoded.get())) {
        return -1;
    }
    bool topFirst = (h.descriptor & kTopFirst) != 0;
    bool rightToLeft = (h.descriptor & kRightToLeft) != 0;
    if (!topFirst || rightToLeft) {
        TrackedBuffer ordered(size);
        if (!ordered) {
            return -1;
        }
        for (int32_t r = 0; r < h.height; ++r) {
            const uint8_t* src = decoded.get() + r * pitch;
            uint8_t* dst = ordered.get() + (topFirst ? r : h.height - 1 - r) * pitch;
            if (!rightToLeft) {
                std::memcpy(dst, src, size_t(pitch));
                continue;
            }
            for (int32_t i = 0; i < h.width; ++i) {
                std::memcpy(dst + int64_t(h.width - 1 - i) * h.bytes, src + int64_t(i) * h.bytes,
                            size_t(h.bytes));
            }
        }
        decoded.Reset(ordered.Release());
    }

    ColorFormat format{};
    if (h.bytes == 2) {
        BuildColorFormat(format, 16, 0x7C00, 0x03E0, 0x001F, 0);
    } else if (h.bytes == 3) {
        SetRgb24Format(format);
    } else {
        SetArgb32Format(format);
    }
    Deliver(image, format, h.width, h.height, int32_t(pitch), decoded.Release());
    return 0;
}

} // namespace velox::image
