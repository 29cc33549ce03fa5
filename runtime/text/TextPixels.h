// Pixel work of string drawing: glyph cells onto a memory image, and the font's
// work screen onto the draw target under a blend mode.
#pragma once

#include "image/BaseImage.h"
#include "text/Fonts.h"

#include <cstdint>

namespace velox::text {

struct Rgb {
    int red, green, blue;
};

// A clipping rectangle in image coordinates, right and bottom exclusive.
struct TextClip {
    int64_t left, top, right, bottom;
};

// The tints of a string and their pixel values in the format of the image drawn on.
struct TextPens {
    Rgb glyph;
    Rgb edge;
    uint32_t glyphValue;
    uint32_t edgeValue;
};

// The pixel value of an opaque color in the image's format (a palette index
// of the screen for 8-bit images).
uint32_t OpaqueValue(const image::BaseImage& image, Rgb color);
TextPens MakePens(const image::BaseImage& image, Rgb glyph, Rgb edge);

// Draws the slot's box from its cell with its top-left corner at (left, top):
// set bits and edged values write the pens; anti-aliased levels blend by their
// alpha; level 0 and empty edged pixels leave the image unchanged.
void DrawGlyphCell(const FontRecord& font, const GlyphSlot& slot, image::BaseImage& image,
                   const TextClip& clip, int64_t left, int64_t top, const TextPens& pens);

// One channel of the software blend of a source over a destination (modes 0..4;
// any other mode copies).
int BlendChannel(int mode, int parameter, int source, int destination);

// Draws width x height pixels of the work screen at (x, y) of the target: pixels
// equal to key (or of alpha 0 when the work screen has alpha) are skipped; the
// rest blend under the mode and are mixed by their alpha.
void CompositeWorkScreen(const image::BaseImage& work, int width, int height, uint32_t key,
                         image::BaseImage& target, const TextClip& clip, int64_t x, int64_t y,
                         int mode, int parameter);

} // namespace velox::text
