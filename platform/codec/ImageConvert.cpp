#include "platform/ImageConvert.h"

#include <cstdlib>
#include <cstring>

namespace velox::platform {
namespace {

constexpr int64_t kMaxSide = 1 << 16;

struct MaskChannel {
    uint32_t mask;
    int shift;
    uint64_t max;
};

MaskChannel AnalyseMask(uint32_t mask) {
    MaskChannel c{mask, 0, 0};
    if (mask == 0) {
        return c;
    }
    while (((mask >> c.shift) & 1u) == 0) {
        ++c.shift;
    }
    int width = 0;
    while (c.shift + width < 32 && ((mask >> (c.shift + width)) & 1u)) {
        ++width;
    }
    c.max = (uint64_t(1) << width) - 1;
    return c;
}

uint8_t Scale(uint32_t value, const MaskChannel& c) {
    if (c.max == 0) {
        return 0;
    }
    uint64_t v = (value & c.mask) >> c.shift;
    return uint8_t((v * 255 + c.max / 2) / c.max);
}

void PutPalette(const BitmapSource& s, unsigned index, uint8_t* out) {
    if (s.palette && int(index) < s.paletteEntries) {
        const uint8_t* e = s.palette + index * 4;
        out[0] = e[0];
        out[1] = e[1];
        out[2] = e[2];
    } else {
        out[0] = out[1] = out[2] = 0;
    }
}

} // namespace

bool CreatePicture24(int32_t width, int32_t height, Picture24& picture) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        return false;
    }
    int64_t rowBytes = (int64_t(width) * 3 + 3) / 4 * 4;
    void* pixels = std::calloc(size_t(rowBytes), size_t(height));
    if (!pixels) {
        return false;
    }
    picture = {width, height, int32_t(rowBytes), static_cast<uint8_t*>(pixels)};
    return true;
}

void ReleasePicture24(Picture24& picture) {
    std::free(picture.pixels);
    picture = {};
}

bool DrawBitmapIntoPicture24(const BitmapSource& s, Picture24& picture) {
    int64_t height = s.height < 0 ? -int64_t(s.height) : s.height;
    if (!picture.pixels || s.width != picture.width || height != picture.height) {
        return false;
    }
    bool plain = s.compression == 0;
    bool fields = s.compression == 3 && (s.bitCount == 16 || s.bitCount == 32);
    bool known = s.bitCount == 1 || s.bitCount == 4 || s.bitCount == 8 || s.bitCount == 16 ||
                 s.bitCount == 24 || s.bitCount == 32;
    if (!known || !(plain || fields)) {
        return false;
    }
    int64_t stride = (int64_t(s.width) * s.bitCount + 31) / 32 * 4;
    if (!s.bits || int64_t(s.bitsSize) / stride < height) {
        return false;
    }
    MaskChannel red, green, blue;
    if (fields) {
        red = AnalyseMask(s.redMask);
        green = AnalyseMask(s.greenMask);
        blue = AnalyseMask(s.blueMask);
    } else if (s.bitCount == 16) {
        red = AnalyseMask(0x7C00);
        green = AnalyseMask(0x03E0);
        blue = AnalyseMask(0x001F);
    } else {
        red = AnalyseMask(0x00FF0000);
        green = AnalyseMask(0x0000FF00);
        blue = AnalyseMask(0x000000FF);
    }

    for (int64_t r = 0; r < height; ++r) {
        const uint8_t* src = s.bits + r * stride;
        int64_t y = s.height < 0 ? r : height - 1 - r;
        uint8_t* out = picture.pixels + y * picture.rowBytes;
        for (int32_t x = 0; x < s.width; ++x, out += 3) {
            switch (s.bitCount) {
            case 1:
                PutPalette(s, (src[x >> 3] >> (7 - (x & 7))) & 1u, out);
                break;
            case 4:
                PutPalette(s, (x & 1) ? src[x >> 1] & 15u : src[x >> 1] >> 4, out);
                break;
            case 8:
                PutPalette(s, src[x], out);
                break;
            case 24:
                std::memcpy(out, src + x * 3, 3);
                break;
            case 16:
            case 32: {
                const uint8_t* p = src + x * (s.bitCount / 8);
                uint32_t v = s.bitCount == 16 ? uint32_t(p[0] | p[1] << 8)
                                              : uint32_t(p[0]) | uint32_t(p[1]) << 8 |
                                                    uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
                out[0] = Scale(v, blue);
                out[1] = Scale(v, green);
                out[2] = Scale(v, red);
                break;
            }
            default:
                return false;
            }
        }
    }
    return true;
}

} // namespace velox::platform
