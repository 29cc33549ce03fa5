#include "text/TextPixels.h"

#include "graphics/GraphicsState.h"
#include "image/ColorFormat.h"

#include <algorithm>

namespace velox::text {
namespace {

struct Rgba {
    int red, green, blue, alpha;
};

// 8-bit images hold indexes into the screen's palette.
Rgba ReadRgba(const image::BaseImage& image, uint32_t value) {
    if (image.format.bytesPerPixel == 1) {
        const image::ScreenPaletteEntry& e = graphic::Graphics().screen.palette[value & 0xFF];
        return Rgba{e.red, e.green, e.blue, 255};
    }
    Rgba c{};
    image::DecomposeColor(image.format, value, &c.red, &c.green, &c.blue, &c.alpha);
    return c;
}

uint32_t ValueOf(const image::BaseImage& image, const Rgba& c) {
    if (image.format.bytesPerPixel == 1) {
        return uint32_t(image::FindNearestPaletteIndex(graphic::Graphics().screen.palette, c.red,
                                                       c.green, c.blue));
    }
    return image::ComposeColor(image.format, c.red, c.green, c.blue, c.alpha);
}

int Mix(int destination, int source, int alpha) {
    return destination + (source - destination) * alpha / 255;
}

// Writes color with coverage alpha: into an alpha channel as it is, over an
// image without one by blending with what is there.
void PutCovered(image::BaseImage& image, uint8_t* row, int64_t x, Rgb color, int alpha) {
    int bytes = image.format.bytesPerPixel;
    if (image.format.alphaWidth) {
        image::WritePixelValue(
            row, int(x), bytes,
            image::ComposeColor(image.format, color.red, color.green, color.blue, alpha));
        return;
    }
    Rgba d = ReadRgba(image, image::ReadPixelValue(row, int(x), bytes));
    Rgba out{Mix(d.red, color.red, alpha), Mix(d.green, color.green, alpha),
             Mix(d.blue, color.blue, alpha), 255};
    image::WritePixelValue(row, int(x), bytes, ValueOf(image, out));
}

// An edged anti-aliased cell pixel: glyph level g over edge level e.
void PutEdgedLevel(image::BaseImage& image, uint8_t* row, int64_t x, const TextPens& pens, int g,
                   int e) {
    if (g == 15) {
        PutCovered(image, row, x, pens.glyph, 255);
    } else if (g > 0) {
        int total = (15 - g) * e + 16 * g;
        int toward = 16 * g;
        Rgb c{pens.edge.red + (pens.glyph.red - pens.edge.red) * toward / total,
              pens.edge.green + (pens.glyph.green - pens.edge.green) * toward / total,
              pens.edge.blue + (pens.glyph.blue - pens.edge.blue) * toward / total};
        PutCovered(image, row, x, c, total);
    } else if (e > 0) {
        PutCovered(image, row, x, pens.edge, 16 * e);
    }
}

} // namespace

uint32_t OpaqueValue(const image::BaseImage& image, Rgb color) {
    return ValueOf(image, Rgba{color.red, color.green, color.blue, 255});
}

TextPens MakePens(const image::BaseImage& image, Rgb glyph, Rgb edge) {
    return TextPens{glyph, edge, OpaqueValue(image, glyph), OpaqueValue(image, edge)};
}

void DrawGlyphCell(const FontRecord& font, const GlyphSlot& slot, image::BaseImage& image,
                   const TextClip& clip, int64_t left, int64_t top, const TextPens& pens) {
    int64_t x0 = std::max(left, clip.left);
    int64_t x1 = std::min(left + slot.boxWidth, clip.right);
    int64_t y0 = std::max(top, clip.top);
    int64_t y1 = std::min(top + slot.boxHeight, clip.bottom);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    int inset = GlyphBoxInset(font);
    int bytes = image.format.bytesPerPixel;
    bool edged = (font.fontType & kFontEdge) != 0;
    bool antialiased = (font.fontType & kFontAntialiased) != 0;
    for (int64_t y = y0; y < y1; ++y) {
        const uint8_t* cell = CellRow(font, slot.cell, int32_t(inset + (y - top)));
        uint8_t* row = image.pixels + y * image.pitch;
        for (int64_t x = x0; x < x1; ++x) {
            int64_t cx = inset + (x - left);
            if (font.bitsPerPixel == 1) {
                if ((cell[cx >> 3] >> (7 - (cx & 7))) & 1) {
                    image::WritePixelValue(row, int(x), bytes, pens.glyphValue);
                }
                continue;
            }
            int v = cell[cx];
            if (antialiased && edged) {
                PutEdgedLevel(image, row, x, pens, v & 0x0F, v >> 4);
            } else if (antialiased) {
                if (v > 0) {
                    PutCovered(image, row, x, pens.glyph, 16 * v);
                }
            } else if (v == 1) {
                image::WritePixelValue(row, int(x), bytes, pens.glyphValue);
            } else if (v == 2) {
                image::WritePixelValue(row, int(x), bytes, pens.edgeValue);
            }
        }
    }
}

int BlendChannel(int mode, int parameter, int source, int destination) {
    switch (mode) {
    case 1:
        return (parameter * (source - destination) + 256 * destination) >> 8;
    case 2:
        return std::min(255, destination + source * parameter / 255);
    case 3:
        return std::max(0, destination - source * parameter / 255);
    case 4:
        return source * destination / 256;
    default:
        return source;
    }
}

void CompositeWorkScreen(const image::BaseImage& work, int width, int height, uint32_t key,
                         image::BaseImage& target, const TextClip& clip, int64_t x, int64_t y,
                         int mode, int parameter) {
    int64_t x0 = std::max(x, clip.left);
    int64_t x1 = std::min(x + width, clip.right);
    int64_t y0 = std::max(y, clip.top);
    int64_t y1 = std::min(y + height, clip.bottom);
    bool sourceAlpha = work.format.alphaWidth != 0;
    int sourceBytes = work.format.bytesPerPixel;
    int targetBytes = target.format.bytesPerPixel;
    for (int64_t ty = y0; ty < y1; ++ty) {
        const uint8_t* source = work.pixels + (ty - y) * work.pitch;
        uint8_t* row = target.pixels + ty * target.pitch;
        for (int64_t tx = x0; tx < x1; ++tx) {
            uint32_t value = image::ReadPixelValue(source, int(tx - x), sourceBytes);
            if (!sourceAlpha && value == key) {
                continue;
            }
            Rgba s = ReadRgba(work, value);
            int alpha = sourceAlpha ? s.alpha : 255;
            if (alpha == 0) {
                continue;
            }
            Rgba d = ReadRgba(target, image::ReadPixelValue(row, int(tx), targetBytes));
            Rgba out{Mix(d.red, BlendChannel(mode, parameter, s.red, d.red), alpha),
                     Mix(d.green, BlendChannel(mode, parameter, s.green, d.green), alpha),
                     Mix(d.blue, BlendChannel(mode, parameter, s.blue, d.blue), alpha),
                     d.alpha + (255 - d.alpha) * alpha / 255};
            image::WritePixelValue(row, int(tx), targetBytes, ValueOf(target, out));
        }
    }
}

} // namespace velox::text
