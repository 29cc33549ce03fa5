// String drawing and measuring: text into character units, missing glyphs
// rasterised in one batch, then one line laid out left to right from the cache.
#include "core/EntryGate.h"
#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "graphics/GraphicsState.h"
#include "text/Fonts.h"
#include "text/TextPixels.h"

#include <velox/velox.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace velox {
namespace {

constexpr int kBatchLimit = 256;
constexpr int kFormatBufferBytes = 1024;

// The text as character units, in a block of the tracked allocator.
class UnitText {
public:
    UnitText() = default;
    ~UnitText() { MemFree(units_); }
    UnitText(const UnitText&) = delete;
    UnitText& operator=(const UnitText&) = delete;

    bool Convert(const char* text, int32_t charSetIndex);
    int Count() const { return count_; }
    const text::CharacterUnit& operator[](int i) const { return units_[i]; }

private:
    text::CharacterUnit* units_ = nullptr;
    int count_ = 0;
};

bool StartsDoubleByte(unsigned char c, int32_t charSetIndex) {
    return charSetIndex == text::kCharSetIndexHangeul ? c >= 0x80 : core::IsLeadByte(c);
}

bool UnitText::Convert(const char* text, int32_t charSetIndex) {
    size_t length = std::strlen(text);
    if (length >= size_t(INT32_MAX / 3)) {
        return false;
    }
    units_ =
        static_cast<text::CharacterUnit*>(MemAlloc(int32_t(length * 3 + 3), __FILE__, __LINE__));
    if (!units_) {
        return false;
    }
    for (size_t i = 0; i < length;) {
        auto first = static_cast<unsigned char>(text[i]);
        text::CharacterUnit& unit = units_[count_++];
        unit[0] = first;
        unit[1] = 0;
        unit[2] = 0;
        // A lead byte at the very end stays a unit of its own; the terminator is no second byte.
        if (StartsDoubleByte(first, charSetIndex) && i + 1 < length) {
            unit[1] = static_cast<unsigned char>(text[i + 1]);
            i += 2;
        } else {
            i += 1;
        }
    }
    return true;
}

bool IsBlankCode(uint32_t code) {
    return code == 0x20 || code == 0x4081;
}

// Rasterises the characters of the text that are not cached, each once, in one batch.
void RasteriseMissing(int fontHandle, const text::FontRecord& font, const UnitText& text) {
    text::CharacterUnit batch[kBatchLimit];
    int limit = std::min(kBatchLimit, int(font.capacity));
    int count = 0;
    for (int i = 0; i < text.Count() && count < limit; ++i) {
        uint32_t code = text::UnitCode(text[i]);
        if (font.characters[code].cached) {
            continue;
        }
        bool listed = false;
        for (int j = 0; j < count && !listed; ++j) {
            listed = text::UnitCode(batch[j]) == code;
        }
        if (!listed) {
            std::memcpy(batch[count++], text[i], sizeof(text::CharacterUnit));
        }
    }
    if (count > 0) {
        text::GetGlyph(fontHandle, count, batch);
    }
}

const text::GlyphSlot& GlyphOf(int fontHandle, const text::FontRecord& font,
                               const text::CharacterUnit& unit) {
    const text::CharacterEntry& entry = font.characters[text::UnitCode(unit)];
    if (entry.cached && entry.slot) {
        return *entry.slot;
    }
    // Evicted since the batch (a string with more characters than the cache holds).
    const text::GlyphSlot* slot = text::GetGlyph(fontHandle, 1, &unit);
    if (!slot) {
        FatalError(SJIS("テキストキャッシュの作成に失敗しました"));
    }
    return *slot;
}

// Calls visit(unit, slot, pen) for each unit; returns the final pen position.
template <typename Visit>
double LayOut(int fontHandle, const text::FontRecord& font, const UnitText& text, Visit&& visit) {
    double pen = 0;
    for (int i = 0; i < text.Count(); ++i) {
        const text::GlyphSlot& slot = GlyphOf(fontHandle, font, text[i]);
        visit(text[i], slot, pen);
        pen += slot.advance + font.extraSpacing;
    }
    return pen;
}

bool DrawsSomething(const text::CharacterUnit& unit, const text::GlyphSlot& slot) {
    return !IsBlankCode(text::UnitCode(unit)) && (slot.boxWidth > 0 || slot.boxHeight > 0);
}

text::Rgb SplitScreenColor(uint32_t color) {
    const graphic::ScreenState& screen = graphic::Graphics().screen;
    if (screen.colorBits == 8) {
        const image::ScreenPaletteEntry& e = screen.palette[color & 0xFF];
        return text::Rgb{e.red, e.green, e.blue};
    }
    text::Rgb c{};
    image::DecomposeColor(screen.format, color, &c.red, &c.green, &c.blue, nullptr);
    return c;
}

text::Rgb Tint(uint32_t color, uint32_t brightness) {
    text::Rgb c = SplitScreenColor(color);
    return text::Rgb{c.red * int((brightness >> 16) & 0xFF) / 255,
                     c.green * int((brightness >> 8) & 0xFF) / 255,
                     c.blue * int(brightness & 0xFF) / 255};
}

struct TextTarget {
    image::BaseImage* image;
    text::TextClip clip; // the draw area on the target, in image coordinates
    int64_t x, y;        // the string's position in image coordinates
};

int DrawDirect(int fontHandle, const text::FontRecord& font, const UnitText& text,
               const TextTarget& target, text::Rgb glyph, text::Rgb edge) {
    text::TextPens pens = text::MakePens(*target.image, glyph, edge);
    LayOut(fontHandle, font, text,
           [&](const text::CharacterUnit& unit, const text::GlyphSlot& slot, double pen) {
               if (DrawsSomething(unit, slot)) {
                   text::DrawGlyphCell(font, slot, *target.image, target.clip,
                                       target.x + int64_t(pen) + slot.originX,
                                       target.y + slot.topOffset, pens);
               }
           });
    return 0;
}

uint32_t PixelMask(const image::BaseImage& image) {
    int bits = image.format.bytesPerPixel * 8;
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
}

// Draws the string into the font's work screen over a transparent key, then the
// work screen onto the target under the current blend mode.
int DrawThroughWorkScreen(int fontHandle, text::FontRecord& font, const UnitText& text,
                          const TextTarget& target, uint32_t color, uint32_t edgeColor,
                          text::Rgb glyph, text::Rgb edge) {
    auto width = int64_t(LayOut(fontHandle, font, text, [](auto&, auto&, double) {}));
    if (!text::EnsureWorkScreen(font)) {
        return -1;
    }
    image::BaseImage& work = font.workScreen;
    int w = int(std::min<int64_t>(width, work.width));
    int h = std::min(font.cells.height, work.height);
    if (w <= 0 || h <= 0) {
        return 0;
    }
    text::TextPens pens = text::MakePens(work, glyph, edge);
    uint32_t key = 0; // with an alpha channel, alpha 0 marks the untouched pixels
    if (!work.format.alphaWidth) {
        uint32_t mask = PixelMask(work);
        key = font.workKey & mask;
        // Neither the colors as given nor the tints written may double as the key.
        while (key == (color & mask) || key == (edgeColor & mask) || key == pens.glyphValue ||
               key == pens.edgeValue) {
            key = (key + 1) & mask;
        }
        font.workKey = key;
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* row = work.pixels + int64_t(y) * work.pitch;
        for (int x = 0; x < w; ++x) {
            image::WritePixelValue(row, x, work.format.bytesPerPixel, key);
        }
    }
    text::TextClip workClip{0, 0, w, h};
    LayOut(fontHandle, font, text,
           [&](const text::CharacterUnit& unit, const text::GlyphSlot& slot, double pen) {
               if (DrawsSomething(unit, slot)) {
                   text::DrawGlyphCell(font, slot, work, workClip, int64_t(pen) + slot.originX,
                                       slot.topOffset, pens);
               }
           });
    const graphic::DrawState& draw = graphic::Graphics().draw;
    text::CompositeWorkScreen(work, w, h, key, *target.image, target.clip, target.x, target.y,
                              draw.blendMode, draw.blendParameter);
    return 0;
}

int PrintTextWithFontInner(int x, int y, const char* text, uint32_t color, int fontHandle,
                           uint32_t edgeColor, int vertical) {
    (void)vertical; // always laid out horizontally; nothing asks for the vertical layout
    if (!text || !text[0]) {
        return 0;
    }
    const graphic::GraphicsState& graphics = graphic::Graphics();
    if (!graphics.started || !graphics.screenReady) {
        return 0;
    }
    text::FontRecord* font = text::ResolveFont(fontHandle);
    if (!font) {
        return LogWrite(SJIS("フォントハンドル値が異常です\n"));
    }
    const graphic::DrawState& draw = graphics.draw;
    bool front = graphics.screen.drawTarget == core::kFrontScreen;
    if ((front && x >= draw.area.right) || draw.area.empty) {
        return 0;
    }
    graphic::GraphicView view{};
    if (!graphic::CurrentTargetView(view) || !view.image || !view.image->pixels) {
        return -1;
    }
    UnitText units;
    if (!units.Convert(text, font->charSetIndex)) {
        return -1;
    }
    RasteriseMissing(fontHandle, *font, units);
    text::Rgb glyph = Tint(color, draw.brightness);
    text::Rgb edge = Tint(edgeColor, draw.brightness);
    TextTarget target{view.image,
                      {view.x + std::max(draw.area.left, 0), view.y + std::max(draw.area.top, 0),
                       view.x + std::min(draw.area.right, view.width),
                       view.y + std::min(draw.area.bottom, view.height)},
                      int64_t(view.x) + x,
                      int64_t(view.y) + y};
    bool blended = !(draw.blendMode == 0 || (draw.blendMode == 1 && draw.blendParameter == 255));
    bool throughWork = graphics.screen.colorBits != 8 &&
                       ((font->fontType & text::kFontAntialiased) != 0 || blended);
    int result = throughWork ? DrawThroughWorkScreen(fontHandle, *font, units, target, color,
                                                     edgeColor, glyph, edge)
                             : DrawDirect(fontHandle, *font, units, target, glyph, edge);
    if (front) {
        graphic::PresentFrontScreen();
    }
    return result;
}

int MeasureStringInner(const char* text, int fontHandle, int* width, int* height) {
    text::FontRecord* font = text::ResolveFont(fontHandle);
    if (!font) {
        return LogWrite(SJIS("フォントハンドル値が異常です\n"));
    }
    UnitText units;
    if (!units.Convert(text ? text : "", font->charSetIndex)) {
        return -1;
    }
    RasteriseMissing(fontHandle, *font, units);
    double pen = LayOut(fontHandle, *font, units, [](auto&, auto&, double) {});
    if (width) {
        *width = int(pen);
    }
    if (height) {
        *height = font->cells.height;
    }
    return 0;
}

} // namespace

bool text::EnsureWorkScreen(text::FontRecord& font) {
    const graphic::ScreenState& screen = graphic::Graphics().screen;
    const image::ColorFormat* format = image::GetSoftwareFormat(
        screen.colorBits == 32 ? 1 : 0, (font.fontType & text::kFontAntialiased) != 0, false);
    int width = graphic::ScreenWidth();
    int height = graphic::ScreenHeight();
    image::BaseImage& work = font.workScreen;
    if (work.pixels && work.width == width && work.height == height &&
        std::memcmp(&work.format, format, sizeof *format) == 0) {
        return true;
    }
    image::ReleaseBaseImage(work);
    int64_t pitch = (int64_t(width) * format->bytesPerPixel + 3) / 4 * 4;
    int64_t bytes = pitch * height;
    if (width <= 0 || height <= 0 || bytes > INT32_MAX) {
        return false;
    }
    work.pixels = static_cast<uint8_t*>(MemAlloc(int32_t(bytes), __FILE__, __LINE__));
    if (!work.pixels) {
        return false;
    }
    work.format = *format;
    work.width = width;
    work.height = height;
    work.pitch = int32_t(pitch);
    return true;
}

int PrintTextWithFont(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor,
                      int vertical) {
    core::GateScope gate;
    return PrintTextWithFontInner(x, y, text, color, font, edgeColor, vertical);
}

int PrintText(int x, int y, const char* text, uint32_t color, uint32_t edgeColor) {
    core::GateScope gate;
    text::RebuildDefaultFont();
    return PrintTextWithFontInner(x, y, text, color, text::Fonts().defaultFont, edgeColor, 0);
}

int PrintTextFormat(int x, int y, uint32_t color, const char* format, ...) {
    char buffer[kFormatBufferBytes] = {};
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
    }
    core::GateScope gate;
    text::RebuildDefaultFont();
    return PrintTextWithFontInner(x, y, buffer, color, text::Fonts().defaultFont, 0, 0);
}

int MeasureString(const char* text, int font, int* width, int* height) {
    core::GateScope gate;
    return MeasureStringInner(text, font, width, height);
}

} // namespace velox
