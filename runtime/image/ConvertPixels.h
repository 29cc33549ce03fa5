// Copying a rectangle of pixels between two color formats, as graphic creation,
// reload and screen capture need it.
#pragma once

#include "image/ColorFormat.h"

#include <cstdint>

namespace velox::image {

// Right and bottom are exclusive.
struct PixelRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct ConvertOptions {
    bool mirror = false;             // write each destination row from its right end
    bool transparentToAlpha = false; // alpha 0 where the color is the transparent color
    uint32_t transparentColor = 0;   // 0xRRGGBB
    bool skipTransparent = false;    // leave the destination where the source is transparent
    bool alphaFromRed = false;       // alpha takes the red value
    bool colorsOff = false;          // red, green and blue become 0
};

// A block of pixels in some format (an alpha image may be absent: pixels null).
struct PixelBlock {
    const uint8_t* pixels;
    int32_t pitch;
    const ColorFormat* format;
};

// Copies `rect` of the source into the destination at (dstX, dstY), converting
// each channel to the destination's widths. An alpha block, read at the source's
// coordinates, supplies alpha from its red channel. The caller keeps both areas
// inside their images. -1 for an empty rectangle, or for an indexed destination
// fed from a non-indexed source (there is no palette search here).
int ConvertPixels(uint8_t* dst, int32_t dstPitch, const ColorFormat& dstFormat,
                  const PixelBlock& source, const PixelBlock& alpha, int dstX, int dstY,
                  const PixelRect& rect, const ConvertOptions& options);

// Resizes a channel value from srcWidth to dstWidth bits: narrowing drops low
// bits, widening fills them in proportion (5-bit 31 -> 255, 5-bit 16 -> 131).
uint32_t ResizeChannel(uint32_t value, int srcWidth, int dstWidth);

} // namespace velox::image
