// Color formats: how a pixel value of 1 to 4 bytes splits into red, green, blue
// and alpha, built from channel masks. Indexed formats describe their palette
// entries with the same masks.
#pragma once

#include <cstdint>

namespace velox::image {

// One palette entry of an indexed image, in memory order.
struct PaletteEntry {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};

struct ColorFormat {
    uint16_t colorBitDepth; // 8, 16, 24 or 32
    uint16_t bytesPerPixel; // colorBitDepth / 8
    uint8_t redWidth;
    uint8_t greenWidth;
    uint8_t blueWidth;
    uint8_t alphaWidth; // 0: no alpha channel
    uint8_t redShift;
    uint8_t greenShift;
    uint8_t blueShift;
    uint8_t alphaShift;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
    uint32_t spareMask; // bits of the pixel value that belong to no channel
    PaletteEntry palette[256];
    uint8_t spareShift;
    uint8_t spareWidth;
};

// The display surface's pixel format as the platform reports it.
struct PixelFormatDescriptor {
    uint32_t bitCount;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
};

// Mask analysis: stores depth and masks, derives widths, shifts and the spare mask.
void BuildColorFormat(ColorFormat& format, int bitDepth, uint32_t redMask, uint32_t greenMask,
                      uint32_t blueMask, uint32_t alphaMask);
// The same from the display's descriptor; 0, or -1 if a nonzero mask had no set bit.
int BuildColorFormatFromDescriptor(ColorFormat& format, const PixelFormatDescriptor& descriptor);
// Recomputes the spare mask, shift and width from the depth and the channel masks.
void RecomputeSpareMask(ColorFormat& format);

// Standard formats; each overwrites depth, bytes, masks, widths, shifts and spare
// fields (the grey format also writes the identity grey palette).
void SetIndexed8Format(ColorFormat& format);
void SetGrey8Format(ColorFormat& format);
void SetRgb24Format(ColorFormat& format);
void SetArgb32Format(ColorFormat& format);

// Formats of the software images, built on first request and kept for the life of
// the process: family 0 (16-bit), 1 (32-bit), 2 (one 8-bit channel), 3 (one 16-bit
// channel). Any other family gives nullptr.
const ColorFormat* GetSoftwareFormat(int family, bool alpha, bool eightBit);

// Pixel value of a color; spare bits come out set, alpha only when the format has it.
uint32_t ComposeColor(const ColorFormat& format, int red, int green, int blue, int alpha);
// Components 0..255 of a pixel value; alpha is 0 without an alpha channel. Any
// output may be null.
void DecomposeColor(const ColorFormat& format, uint32_t value, int* red, int* green, int* blue,
                    int* alpha);

// One entry of an 8-bit screen's palette, in the screen's own order.
struct ScreenPaletteEntry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t reserved;
};

// Index of the palette entry nearest to the color (squared distance; the lower
// index wins a tie).
int FindNearestPaletteIndex(const ScreenPaletteEntry palette[256], int red, int green, int blue);

// What the screen is, as far as color values go.
struct ScreenColorSource {
    int depth = 0;                               // 8, 16 or 32
    bool softwareRendering = true;               // software formats rather than the display's
    const ColorFormat* displayFormat = nullptr;  // the format read from the display
    const ScreenPaletteEntry* palette = nullptr; // 256 entries, used on 8-bit screens
};

// The color value for the screen described by source: a palette index on 8-bit
// screens, else the composed value with spare bits set. 0 when the screen has no
// format to compose in.
uint32_t ScreenColorValue(const ScreenColorSource& source, int red, int green, int blue);

// Chooses the screen format. Software rendering: family 1 (no alpha) for a 32-bit
// screen, family 0 for 16 bits, and any other depth is changed to 16. Otherwise the
// format is built from the display's descriptor and its masks are written to the log.
int SelectScreenFormat(ColorFormat& format, int& depth, bool softwareRendering,
                       const PixelFormatDescriptor* display);

} // namespace velox::image
