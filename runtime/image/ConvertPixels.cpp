#include "image/ConvertPixels.h"

#include "image/BaseImage.h"

namespace velox::image {
namespace {

struct Channel {
    uint32_t mask;
    uint8_t shift;
    uint8_t width;
};

Channel RedOf(const ColorFormat& f) {
    return {f.redMask, f.redShift, f.redWidth};
}
Channel GreenOf(const ColorFormat& f) {
    return {f.greenMask, f.greenShift, f.greenWidth};
}
Channel BlueOf(const ColorFormat& f) {
    return {f.blueMask, f.blueShift, f.blueWidth};
}
Channel AlphaOf(const ColorFormat& f) {
    return {f.alphaMask, f.alphaShift, f.alphaWidth};
}

uint32_t Extract(uint32_t value, const Channel& c) {
    return c.shift < 32 ? (value & c.mask) >> c.shift : 0;
}

uint32_t Place(uint32_t v, const Channel& c) {
    return c.width == 0 || c.shift >= 32 ? 0 : (v << c.shift) & c.mask;
}

uint32_t MaxOf(int width) {
    return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u;
}

// The value of one source pixel in its format's masks; 1-byte pixels are the
// palette entry they index.
uint32_t SourceValue(const uint8_t* row, int x, const ColorFormat& f) {
    uint32_t value = ReadPixelValue(row, x, f.bytesPerPixel);
    if (f.bytesPerPixel != 1) {
        return value;
    }
    const PaletteEntry& e = f.palette[value];
    auto at = [](uint8_t v, uint8_t shift) { return shift < 32 ? uint32_t(v) << shift : 0; };
    return at(e.blue, f.blueShift) | at(e.green, f.greenShift) | at(e.red, f.redShift);
}

// Everything about the conversion that does not change from pixel to pixel.
struct Plan {
    Channel srcRed, srcGreen, srcBlue, srcAlpha;
    Channel dstRed, dstGreen, dstBlue, dstAlpha;
    Channel alphaRed;
    uint32_t srcColorMask;
    uint32_t transparentKey; // the transparent color as a source value
    uint32_t transparentRed, transparentGreen, transparentBlue; // ... converted
    uint32_t dstAlphaMax;
};

struct Converted {
    uint32_t red, green, blue;
};

Converted ConvertColor(const Plan& p, uint32_t value) {
    return {ResizeChannel(Extract(value, p.srcRed), p.srcRed.width, p.dstRed.width),
            ResizeChannel(Extract(value, p.srcGreen), p.srcGreen.width, p.dstGreen.width),
            ResizeChannel(Extract(value, p.srcBlue), p.srcBlue.width, p.dstBlue.width)};
}

Plan MakePlan(const ColorFormat& dst, const ColorFormat& src, const ColorFormat* alphaFormat,
              const ConvertOptions& options) {
    Plan p{};
    p.srcRed = RedOf(src);
    p.srcGreen = GreenOf(src);
    p.srcBlue = BlueOf(src);
    p.srcAlpha = AlphaOf(src);
    p.dstRed = RedOf(dst);
    p.dstGreen = GreenOf(dst);
    p.dstBlue = BlueOf(dst);
    p.dstAlpha = AlphaOf(dst);
    if (alphaFormat) {
        p.alphaRed = RedOf(*alphaFormat);
    }
    // Transparency keys on the color bits only: alpha and spare bits of a source
    // pixel do not make it opaque.
    p.srcColorMask = src.redMask | src.greenMask | src.blueMask;
    uint32_t key = options.transparentColor;
    p.transparentKey =
        ComposeColor(src, int(key >> 16 & 0xFF), int(key >> 8 & 0xFF), int(key & 0xFF), 0) &
        p.srcColorMask;
    Converted t = ConvertColor(p, p.transparentKey);
    p.transparentRed = t.red;
    p.transparentGreen = t.green;
    p.transparentBlue = t.blue;
    p.dstAlphaMax = MaxOf(p.dstAlpha.width);
    return p;
}

int CopyIndexes(uint8_t* dst, int32_t dstPitch, const PixelBlock& source, int dstX, int dstY,
                const PixelRect& rect, const ConvertOptions& options, const Plan& plan) {
    int width = rect.right - rect.left;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* srcRow = source.pixels + int64_t(y) * source.pitch;
        uint8_t* dstRow = dst + int64_t(dstY + y - rect.top) * dstPitch;
        for (int i = 0; i < width; ++i) {
            int x = rect.left + i;
            if (options.skipTransparent && (SourceValue(srcRow, x, *source.format) &
                                            plan.srcColorMask) == plan.transparentKey) {
                continue;
            }
            dstRow[options.mirror ? dstX + width - 1 - i : dstX + i] = srcRow[x];
        }
    }
    return 0;
}

} // namespace

uint32_t ResizeChannel(uint32_t value, int srcWidth, int dstWidth) {
    if (srcWidth == dstWidth) {
        return value;
    }
    if (srcWidth == 0 || dstWidth == 0) {
        return 0;
    }
    if (dstWidth < srcWidth) {
        return value >> (srcWidth - dstWidth);
    }
    int d = dstWidth - srcWidth;
    uint64_t v = value;
    uint64_t widened = (v << d) + v * ((uint64_t(1) << d) - 1) / ((uint64_t(1) << srcWidth) - 1);
    return uint32_t(widened);
}

int ConvertPixels(uint8_t* dst, int32_t dstPitch, const ColorFormat& dstFormat,
                  const PixelBlock& source, const PixelBlock& alpha, int dstX, int dstY,
                  const PixelRect& rect, const ConvertOptions& options) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) {
        return -1;
    }
    const ColorFormat& srcFormat = *source.format;
    const ColorFormat* alphaFormat = alpha.pixels ? alpha.format : nullptr;
    Plan plan = MakePlan(dstFormat, srcFormat, alphaFormat, options);
    if (dstFormat.bytesPerPixel == 1) {
        if (srcFormat.bytesPerPixel != 1) {
            return -1;
        }
        return CopyIndexes(dst, dstPitch, source, dstX, dstY, rect, options, plan);
    }

    int width = rect.right - rect.left;
    int dstBytes = dstFormat.bytesPerPixel;
    bool dstHasAlpha = plan.dstAlpha.width != 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* srcRow = source.pixels + int64_t(y) * source.pitch;
        const uint8_t* alphaRow = alphaFormat ? alpha.pixels + int64_t(y) * alpha.pitch : nullptr;
        uint8_t* dstRow = dst + int64_t(dstY + y - rect.top) * dstPitch;
        for (int i = 0; i < width; ++i) {
            int x = rect.left + i;
            uint32_t value = SourceValue(srcRow, x, srcFormat);
            if (options.skipTransparent && (value & plan.srcColorMask) == plan.transparentKey) {
                continue;
            }
            Converted c = ConvertColor(plan, value);
            uint32_t a = 0;
            if (alphaRow) {
                uint32_t alphaValue = SourceValue(alphaRow, x, *alphaFormat);
                a = ResizeChannel(Extract(alphaValue, plan.alphaRed), plan.alphaRed.width,
                                  plan.dstAlpha.width);
            } else if (plan.srcAlpha.width) {
                a = ResizeChannel(Extract(value, plan.srcAlpha), plan.srcAlpha.width,
                                  plan.dstAlpha.width);
            } else {
                a = plan.dstAlphaMax;
            }
            if (options.alphaFromRed) {
                // The red value at the alpha channel's width (equal to the converted
                // red whenever the two widths agree).
                a = ResizeChannel(Extract(value, plan.srcRed), plan.srcRed.width,
                                  plan.dstAlpha.width);
            }
            if (options.transparentToAlpha && dstHasAlpha) {
                bool transparent = c.red == plan.transparentRed &&
                                   c.green == plan.transparentGreen &&
                                   c.blue == plan.transparentBlue;
                a = transparent ? 0 : plan.dstAlphaMax;
            }
            if (options.colorsOff) {
                c = {0, 0, 0};
            }
            uint32_t out = Place(c.red, plan.dstRed) | Place(c.green, plan.dstGreen) |
                           Place(c.blue, plan.dstBlue) | Place(a, plan.dstAlpha);
            WritePixelValue(dstRow, options.mirror ? dstX + width - 1 - i : dstX + i, dstBytes,
                            out);
        }
    }
    return 0;
}

} // namespace velox::image
