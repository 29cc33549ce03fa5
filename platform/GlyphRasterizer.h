// Glyph rasteriser service: fonts chosen by face name, cell height, weight,
// slant and character set, their metrics, and per-character bitmaps. Text
// arrives as the runtime's character codes (first byte in the low 8 bits,
// second byte of a double-byte character in the high 8 bits) and is turned
// into code points here. A test can swap in its own rasteriser.
#pragma once

#include <cstdint>

namespace velox::platform {

// Character-set values of a font request.
constexpr int kCharSetDefault = 1;
constexpr int kCharSetShiftJis = 128;
constexpr int kCharSetHangeul = 129;

struct FontRequest {
    const char* faceName; // Shift-JIS; null or empty: the platform's default face
    int height;           // cell height (ascent + descent) in pixels
    int weight;           // 100..900, 400 regular, 700 bold
    bool italic;
    int charSet; // kCharSet*: picks the language and the code page of character codes
};

struct FontMetrics {
    int maxCharWidth; // widest advance of the face
    int height;       // ascent + descent
    int ascent;
};

// One glyph as placed on the baseline; the black box is the bitmap's size.
struct GlyphMetrics {
    int originX; // left edge of the black box relative to the pen
    int originY; // top edge of the black box above the baseline
    int cellIncX;
    int boxWidth;
    int boxHeight;
};

enum class GlyphBitmapFormat {
    Mono,   // 1 bit per pixel, leftmost pixel in the high bit
    Grey17, // 1 byte per pixel, coverage 0..16
};

// Bitmap rows are padded to 4 bytes.
constexpr int GlyphBitmapPitch(GlyphBitmapFormat format, int width) {
    return format == GlyphBitmapFormat::Mono ? (width + 31) / 32 * 4 : (width + 3) / 4 * 4;
}

class RasterFont; // owned by the rasteriser that opened it

class GlyphRasterizer {
public:
    virtual ~GlyphRasterizer() = default;
    // Null when no installed face can serve the request.
    virtual RasterFont* OpenFont(const FontRequest& request) = 0;
    virtual void CloseFont(RasterFont* font) = 0;
    virtual bool GetFontMetrics(RasterFont* font, FontMetrics& out) = 0;
    // Fills metrics and, with a buffer, the bitmap (pitch * boxHeight bytes).
    // Returns the bitmap's byte size (0 for a glyph with nothing to draw), or -1
    // when the glyph cannot be produced or the buffer is too small.
    virtual int32_t GetGlyph(RasterFont* font, uint32_t code, GlyphBitmapFormat format,
                             GlyphMetrics& metrics, uint8_t* buffer, int32_t bufferSize) = 0;
};

// The rasteriser in use: FreeType with fontconfig unless a test installed another.
GlyphRasterizer& CurrentGlyphRasterizer();
// nullptr restores FreeType. Fonts must be opened and closed by the same rasteriser.
void SetGlyphRasterizer(GlyphRasterizer* rasterizer);
GlyphRasterizer& FreeTypeGlyphRasterizer();

} // namespace velox::platform
