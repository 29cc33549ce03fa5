// Base images: a color format and a pixel buffer of known size and pitch, rows
// top to bottom. The image owns its pixels (tracked allocator); releasing frees
// them and clears the whole record.
#pragma once

#include "image/ColorFormat.h"

#include <cstdint>

namespace velox::image {

struct BaseImage {
    ColorFormat format;
    int32_t width;
    int32_t height;
    int32_t pitch; // bytes from one row to the next
    uint8_t* pixels;
};

// Allocates width x height pixels (contents not cleared) with pitch = width x bytes
// rounded up to 4. On failure the format and sizes are set and pixels is null.
int CreateArgb32BaseImage(int width, int height, BaseImage& image);
int CreateRgb24BaseImage(int width, int height, BaseImage& image);
// Frees the pixels and zeroes the record; harmless on an empty record.
void ReleaseBaseImage(BaseImage& image);

void FillBaseImage(BaseImage& image, int red, int green, int blue, int alpha);
// No bounds test: the caller keeps (x, y) inside the image.
void SetBaseImagePixel(BaseImage& image, int x, int y, int red, int green, int blue, int alpha);
void GetBaseImagePixel(const BaseImage& image, int x, int y, int* red, int* green, int* blue,
                       int* alpha);
// The pixel as 0xAARRGGBB, each channel's top bit on the byte's top bit (low bits
// are not replicated); for 2-, 3- and 4-byte formats.
uint32_t GetBaseImagePixelArgb(const BaseImage& image, int x, int y);
// Mirrors every row left to right; -1 for an empty image.
int MirrorBaseImage(BaseImage& image);

// Pixel value of (x, y) as stored: 1 to 4 bytes, little-endian.
uint32_t ReadPixelValue(const uint8_t* row, int x, int bytesPerPixel);
void WritePixelValue(uint8_t* row, int x, int bytesPerPixel, uint32_t value);

} // namespace velox::image
