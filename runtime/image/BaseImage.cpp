#include "image/BaseImage.h"

#include "core/MemoryTracker.h"

#include <cstring>

namespace velox::image {
namespace {

int CreateBaseImage(int width, int height, BaseImage& image) {
    int bytes = image.format.bytesPerPixel;
    image.width = width;
    image.height = height;
    image.pixels = nullptr;
    int64_t pitch = (int64_t(width) * bytes + 3) / 4 * 4;
    int64_t size = pitch * height;
    image.pitch = int32_t(pitch);
    if (width < 0 || height < 0 || size > INT32_MAX) {
        image.pitch = 0;
        return -1;
    }
    image.pixels = static_cast<uint8_t*>(MemAlloc(int32_t(size), __FILE__, __LINE__));
    return image.pixels ? 0 : -1;
}

// A palette entry as a value of the format's masks.
uint32_t PaletteValue(const ColorFormat& f, uint8_t index) {
    const PaletteEntry& e = f.palette[index];
    auto place = [](uint8_t v, uint8_t shift) { return shift < 32 ? uint32_t(v) << shift : 0; };
    return place(e.blue, f.blueShift) | place(e.green, f.greenShift) | place(e.red, f.redShift);
}

uint32_t MoveTopBit(uint32_t value, uint32_t mask, uint8_t shift, uint8_t width, int topBit) {
    if (width == 0 || shift >= 32) {
        return 0;
    }
    uint32_t v = (value & mask) >> shift;
    int move = topBit + 1 - width;
    return move >= 0 ? v << move : v >> -move;
}

} // namespace

uint32_t ReadPixelValue(const uint8_t* row, int x, int bytesPerPixel) {
    const uint8_t* p = row + size_t(x) * size_t(bytesPerPixel);
    switch (bytesPerPixel) {
    case 1:
        return p[0];
    case 2:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case 3:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    case 4:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    default:
        return 0;
    }
}

void WritePixelValue(uint8_t* row, int x, int bytesPerPixel, uint32_t value) {
    uint8_t* p = row + size_t(x) * size_t(bytesPerPixel);
    switch (bytesPerPixel) {
    case 4:
        p[3] = uint8_t(value >> 24);
        [[fallthrough]];
    case 3:
        p[2] = uint8_t(value >> 16);
        [[fallthrough]];
    case 2:
        p[1] = uint8_t(value >> 8);
        [[fallthrough]];
    case 1:
        p[0] = uint8_t(value);
        break;
    default:
        break;
    }
}

int CreateArgb32BaseImage(int width, int height, BaseImage& image) {
    SetArgb32Format(image.format);
    return CreateBaseImage(width, height, image);
}

int CreateRgb24BaseImage(int width, int height, BaseImage& image) {
    SetRgb24Format(image.format);
    return CreateBaseImage(width, height, image);
}

void ReleaseBaseImage(BaseImage& image) {
    MemFree(image.pixels);
    std::memset(&image, 0, sizeof image);
}

void FillBaseImage(BaseImage& image, int red, int green, int blue, int alpha) {
    if (!image.pixels) {
        return;
    }
    int bytes = image.format.bytesPerPixel;
    uint32_t value = ComposeColor(image.format, red, green, blue, alpha);
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = image.pixels + int64_t(y) * image.pitch;
        if (bytes == 2) {
            // Two pixels per 32-bit store, a final 16-bit store for an odd width.
            uint32_t pair = (value & 0xFFFFu) | (value & 0xFFFFu) << 16;
            int x = 0;
            for (; x + 1 < image.width; x += 2) {
                std::memcpy(row + x * 2, &pair, 4);
            }
            if (x < image.width) {
                WritePixelValue(row, x, 2, value);
            }
            continue;
        }
        for (int x = 0; x < image.width; ++x) {
            WritePixelValue(row, x, bytes, value);
        }
    }
}

void SetBaseImagePixel(BaseImage& image, int x, int y, int red, int green, int blue, int alpha) {
    uint32_t value = ComposeColor(image.format, red, green, blue, alpha);
    WritePixelValue(image.pixels + int64_t(y) * image.pitch, x, image.format.bytesPerPixel, value);
}

void GetBaseImagePixel(const BaseImage& image, int x, int y, int* red, int* green, int* blue,
                       int* alpha) {
    const uint8_t* row = image.pixels + int64_t(y) * image.pitch;
    uint32_t value = ReadPixelValue(row, x, image.format.bytesPerPixel);
    if (image.format.bytesPerPixel == 1) {
        value = PaletteValue(image.format, uint8_t(value));
    }
    DecomposeColor(image.format, value, red, green, blue, alpha);
}

uint32_t GetBaseImagePixelArgb(const BaseImage& image, int x, int y) {
    const ColorFormat& f = image.format;
    if (f.bytesPerPixel < 2 || f.bytesPerPixel > 4) {
        return 0;
    }
    uint32_t value = ReadPixelValue(image.pixels + int64_t(y) * image.pitch, x, f.bytesPerPixel);
    uint32_t result = MoveTopBit(value, f.blueMask, f.blueShift, f.blueWidth, 7) |
                      MoveTopBit(value, f.greenMask, f.greenShift, f.greenWidth, 15) |
                      MoveTopBit(value, f.redMask, f.redShift, f.redWidth, 23);
    if (f.alphaWidth) {
        result |= MoveTopBit(value, f.alphaMask, f.alphaShift, f.alphaWidth, 31);
    }
    return result;
}

int MirrorBaseImage(BaseImage& image) {
    if (image.width == 0 || image.height == 0) {
        return -1;
    }
    int bytes = image.format.bytesPerPixel;
    for (int y = 0; y < image.height; ++y) {
        uint8_t* row = image.pixels + int64_t(y) * image.pitch;
        for (int i = 0; i < image.width / 2; ++i) {
            uint8_t* a = row + i * bytes;
            uint8_t* b = row + (image.width - 1 - i) * bytes;
            for (int k = 0; k < bytes; ++k) {
                uint8_t t = a[k];
                a[k] = b[k];
                b[k] = t;
            }
        }
    }
    return 0;
}

} // namespace velox::image
