// Drawing a device-independent bitmap (as a BMP file stores it) into a 24-bit
// top-down picture: the bitmap layouts the image reader does not unpack itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velox::platform {

struct BitmapSource {
    int32_t width;
    int32_t height;         // negative: the first stored row is the top row
    uint16_t bitCount;      // 1, 4, 8, 16, 24 or 32
    uint32_t compression;   // 0 plain, 3 bit-field masks (16 and 32 bits)
    const uint8_t* palette; // entries of blue, green, red, reserved
    int paletteEntries;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    const uint8_t* bits; // rows padded to 4 bytes
    size_t bitsSize;
};

// Rows of blue, green, red bytes, rowBytes apart, top row first.
struct Picture24 {
    int32_t width;
    int32_t height;
    int32_t rowBytes;
    uint8_t* pixels;
};

// False when the picture cannot be made (bad size, no memory).
bool CreatePicture24(int32_t width, int32_t height, Picture24& picture);
void ReleasePicture24(Picture24& picture);

// Draws the whole bitmap; false for a layout it does not know, a size that differs
// from the picture's, or bits too short for the rows. Plain 16-bit bitmaps are
// 5-5-5, plain 32-bit ones x-8-8-8; channels narrower than 8 bits are scaled to
// 0..255 with rounding, palette indexes beyond the palette give black.
bool DrawBitmapIntoPicture24(const BitmapSource& source, Picture24& picture);

} // namespace velox::platform
