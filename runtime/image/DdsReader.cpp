// DDS files: the top-level surface of an uncompressed picture, described either by
// RGB masks or by one of the four-character codes of the table below.
#include "image/ImageDecoder.h"
#include "image/ImageInput.h"

#include <cstring>

namespace velox::image {
namespace {

using namespace image_input;

constexpr uint32_t kPitchFlag = 0x8;
constexpr uint32_t kRgbFlag = 0x40;
constexpr uint32_t kFourCcFlags = 0x4;

struct CodeFormat {
    int32_t code;
    int bits;
    uint32_t red, green, blue, alpha;
};

constexpr CodeFormat kCodeFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x07E0, 0x001F, 0},
    {24, 16, 0x7C00, 0x03E0, 0x001F, 0},
    {25, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {26, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x03, 0},
    {29, 16, 0xE0, 0x1C, 0x03, 0xFF00},
    {30, 16, 0x0F00, 0x00F0, 0x000F, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {-1, 0, 0, 0, 0, 0},
};

const CodeFormat* FindCode(int32_t code) {
    for (const CodeFormat* f = kCodeFormats; f->code != -1; ++f) {
        if (f->code == code) {
            return f;
        }
    }
    return nullptr;
}

// Widens the channel of byte value v under mask to 0..255.
uint8_t ChannelOf(uint32_t v, uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    const int shift = __builtin_ctz(mask);
    const uint32_t top = mask >> shift;
    return uint8_t(((v & mask) >> shift) * 255 / top);
}

// A picture of one byte per pixel (R3G3B2 and the like) is shown through a palette
// that spells out what each byte value means, so its colours survive. Masks with
// alpha, or with no colour at all, cannot be shown that way and are refused.
bool MakeBytePalette(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha,
                     ColorFormat& format) {
    if (alpha != 0 || (red | green | blue) == 0) {
        return false;
    }
    SetIndexed8Format(format);
    for (uint32_t v = 0; v < 256; ++v) {
        format.palette[v] = {ChannelOf(v, blue), ChannelOf(v, green), ChannelOf(v, red), 0};
    }
    return true;
}

} // namespace

int ReadDdsImage(file::Stream& stream, BaseImage& image) {
    uint8_t magic[4];
    uint8_t h[124];
    if (!ReadExact(stream, magic, sizeof magic) || std::memcmp(magic, "DDS", 3) != 0 ||
        !ReadExact(stream, h, sizeof h)) {
        return -1;
    }
    uint32_t flags = Le32(h + 4);
    int32_t height = int32_t(Le32(h + 8));
    int32_t width = int32_t(Le32(h + 12));
    uint32_t headerPitch = Le32(h + 16);
    uint32_t formatFlags = Le32(h + 76);
    int32_t code = int32_t(Le32(h + 80));
    uint32_t bitCount = Le32(h + 84);
    if (!AcceptableSize(width, height)) {
        return -1;
    }

    ColorFormat format{};
    int bits = 0;
    uint32_t masks[4] = {};
    if (formatFlags & kRgbFlag) {
        if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) {
            return -1;
        }
        bits = int(bitCount);
        for (int i = 0; i < 4; ++i) {
            masks[i] = Le32(h + 88 + 4 * i);
        }
    } else if (formatFlags == kFourCcFlags && FindCode(code)) {
        const CodeFormat* f = FindCode(code);
        bits = f->bits;
        masks[0] = f->red;
        masks[1] = f->green;
        masks[2] = f->blue;
        masks[3] = f->alpha;
    } else {
        return -1;
    }
    if (bits == 8) {
        if (!MakeBytePalette(masks[0], masks[1], masks[2], masks[3], format)) {
            return -1;
        }
    } else {
        BuildColorFormat(format, bits, masks[0], masks[1], masks[2], masks[3]);
    }

    // The row size follows the format actually used: a four-character-code file
    // need not fill in the RGB bit count.
    int64_t packed = int64_t(width) * format.bytesPerPixel;
    int64_t rowSize = (flags & kPitchFlag) ? int64_t(headerPitch) : packed;
    if (rowSize < packed) {
        return -1;
    }
    int64_t size = CheckedProduct(rowSize, height);
    // A header pitch can claim far more than the file holds: refuse before allocating.
    if (size < 0 || size > BytesLeft(stream)) {
        return -1;
    }
    TrackedBuffer out(size);
    if (!out || !ReadExact(stream, out.get(), size_t(size))) {
        return -1;
    }
    Deliver(image, format, width, height, int32_t(rowSize), out.Release());
    return 0;
}

} // namespace velox::image
