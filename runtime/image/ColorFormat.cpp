#include "image/ColorFormat.h"

#include "core/Log.h"
#include "core/ShiftJis.h"

#include <cstring>

namespace velox::image {
namespace {

// Lowest set bit and the run of set bits starting there; both 0 for a zero mask.
void AnalyseMask(uint32_t mask, uint8_t& shift, uint8_t& width) {
    shift = 0;
    width = 0;
    if (mask == 0) {
        return;
    }
    while ((mask & 1u) == 0) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1u) {
        mask >>= 1;
        ++width;
    }
}

uint32_t DepthBits(int bitDepth) {
    if (bitDepth >= 32) {
        return 0xFFFFFFFFu;
    }
    if (bitDepth <= 0) {
        return 0;
    }
    return (1u << bitDepth) - 1u;
}

// Places the top `width` bits of an 8-bit component at `shift`; wider channels
// get the component in their top bits.
uint32_t PlaceComponent(int component, uint8_t width, uint8_t shift) {
    uint32_t v = uint32_t(component) & 0xFFu;
    if (width <= 8) {
        v >>= 8 - width;
    } else {
        v <<= width - 8;
    }
    return shift < 32 ? v << shift : 0;
}

int ExtractComponent(uint32_t value, uint32_t mask, uint8_t shift, uint8_t width) {
    if (width == 0) {
        return 0;
    }
    uint64_t v = shift < 32 ? (value & mask) >> shift : 0;
    uint64_t max = (uint64_t(1) << width) - 1;
    return int(v * 255 / max);
}

void SetStandardMasks(ColorFormat& format, int bitDepth, uint32_t alphaMask) {
    BuildColorFormat(format, bitDepth, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, alphaMask);
}

struct SoftwareFormats {
    ColorFormat formats[2][2][2]; // family 0/1, alpha, 8-bit flag
    ColorFormat channel8;
    ColorFormat channel16;
};

SoftwareFormats BuildSoftwareFormats() {
    SoftwareFormats s{};
    for (int alpha = 0; alpha < 2; ++alpha) {
        for (int eightBit = 0; eightBit < 2; ++eightBit) {
            BuildColorFormat(s.formats[0][alpha][eightBit], eightBit ? 8 : (alpha ? 32 : 16),
                             0xF800, 0x07E0, 0x001F, alpha ? 0x00FF0000u : 0);
            BuildColorFormat(s.formats[1][alpha][eightBit], eightBit ? 8 : 32, 0x00FF0000u,
                             0x0000FF00u, 0x000000FFu, alpha ? 0xFF000000u : 0);
        }
    }
    BuildColorFormat(s.channel8, 8, 0xFF, 0xFF, 0xFF, 0xFF);
    BuildColorFormat(s.channel16, 16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
    return s;
}

} // namespace

void RecomputeSpareMask(ColorFormat& f) {
    f.spareMask =
        DepthBits(f.colorBitDepth) & ~(f.redMask | f.greenMask | f.blueMask | f.alphaMask);
    AnalyseMask(f.spareMask, f.spareShift, f.spareWidth);
}

void BuildColorFormat(ColorFormat& f, int bitDepth, uint32_t redMask, uint32_t greenMask,
                      uint32_t blueMask, uint32_t alphaMask) {
    f.colorBitDepth = uint16_t(bitDepth);
    f.bytesPerPixel = uint16_t(bitDepth / 8);
    f.redMask = redMask;
    f.greenMask = greenMask;
    f.blueMask = blueMask;
    f.alphaMask = alphaMask;
    AnalyseMask(redMask, f.redShift, f.redWidth);
    AnalyseMask(greenMask, f.greenShift, f.greenWidth);
    AnalyseMask(blueMask, f.blueShift, f.blueWidth);
    AnalyseMask(alphaMask, f.alphaShift, f.alphaWidth);
    RecomputeSpareMask(f);
}

int BuildColorFormatFromDescriptor(ColorFormat& format, const PixelFormatDescriptor& d) {
    // A nonzero mask always has a set bit, so the analysis cannot fail here.
    BuildColorFormat(format, int(d.bitCount), d.redMask, d.greenMask, d.blueMask, d.alphaMask);
    return 0;
}

void SetIndexed8Format(ColorFormat& format) {
    SetStandardMasks(format, 8, 0);
    // The masks describe palette entries (32-bit values), so bits 24..31 are spare.
    format.spareMask = 0xFF000000u;
    format.spareShift = 24;
    format.spareWidth = 8;
}

void SetGrey8Format(ColorFormat& format) {
    SetIndexed8Format(format);
    for (int i = 0; i < 256; ++i) {
        format.palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    }
}

void SetRgb24Format(ColorFormat& format) {
    SetStandardMasks(format, 24, 0);
}

void SetArgb32Format(ColorFormat& format) {
    SetStandardMasks(format, 32, 0xFF000000u);
}

const ColorFormat* GetSoftwareFormat(int family, bool alpha, bool eightBit) {
    static const SoftwareFormats formats = BuildSoftwareFormats();
    switch (family) {
    case 0:
    case 1:
        return &formats.formats[family][alpha ? 1 : 0][eightBit ? 1 : 0];
    case 2:
        return &formats.channel8;
    case 3:
        return &formats.channel16;
    default:
        return nullptr;
    }
}

uint32_t ComposeColor(const ColorFormat& f, int red, int green, int blue, int alpha) {
    uint32_t value = 0;
    if (f.redWidth) {
        value += PlaceComponent(red, f.redWidth, f.redShift);
    }
    if (f.greenWidth) {
        value += PlaceComponent(green, f.greenWidth, f.greenShift);
    }
    if (f.blueWidth) {
        value += PlaceComponent(blue, f.blueWidth, f.blueShift);
    }
    value += f.spareMask;
    if (f.alphaWidth) {
        value += PlaceComponent(alpha, f.alphaWidth, f.alphaShift);
    }
    return value;
}

void DecomposeColor(const ColorFormat& f, uint32_t value, int* red, int* green, int* blue,
                    int* alpha) {
    if (red) {
        *red = ExtractComponent(value, f.redMask, f.redShift, f.redWidth);
    }
    if (green) {
        *green = ExtractComponent(value, f.greenMask, f.greenShift, f.greenWidth);
    }
    if (blue) {
        *blue = ExtractComponent(value, f.blueMask, f.blueShift, f.blueWidth);
    }
    if (alpha) {
        *alpha = ExtractComponent(value, f.alphaMask, f.alphaShift, f.alphaWidth);
    }
}

int FindNearestPaletteIndex(const ScreenPaletteEntry palette[256], int red, int green, int blue) {
    int best = 0;
    int bestDistance = 0xFFFFFF;
    for (int i = 0; i < 256; ++i) {
        int dr = int(palette[i].red) - red;
        int dg = int(palette[i].green) - green;
        int db = int(palette[i].blue) - blue;
        int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

uint32_t ScreenColorValue(const ScreenColorSource& source, int red, int green, int blue) {
    if (source.depth == 8) {
        return source.palette ? uint32_t(FindNearestPaletteIndex(source.palette, red, green, blue))
                              : 0;
    }
    const ColorFormat* format = source.displayFormat;
    if (source.softwareRendering) {
        format = GetSoftwareFormat(source.depth == 16 ? 0 : 1, false, false);
    }
    if (!format) {
        return 0;
    }
    return ComposeColor(*format, red, green, blue, 0);
}

int SelectScreenFormat(ColorFormat& format, int& depth, bool softwareRendering,
                       const PixelFormatDescriptor* display) {
    if (softwareRendering) {
        if (depth != 32 && depth != 16) {
            depth = 16;
        }
        std::memcpy(&format, GetSoftwareFormat(depth == 32 ? 1 : 0, false, false),
                    sizeof(ColorFormat));
        return 0;
    }
    if (!display || BuildColorFormatFromDescriptor(format, *display) != 0) {
        return -1;
    }
    LogWrite(SJIS("カラー情報\n"));
    LogWriteFormat("A:%08x  B:%08x  G:%08x  B:%08x", format.alphaMask, format.redMask,
                   format.greenMask, format.blueMask);
    return 0;
}

} // namespace velox::image
