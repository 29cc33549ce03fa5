// Fonts and their glyph caches. A font handle (type 4, 40 slots) owns a font
// record: the platform font, a character table of 65536 entries indexed by the
// character code (first byte low, second byte high) and a strip of square cells,
// one glyph per cell, reused strictly round robin.
#pragma once

#include "core/HandleTable.h"
#include "image/BaseImage.h"

#include <cstdint>

namespace velox::platform {
class RasterFont;
}

namespace velox::text {

constexpr int32_t kFontSlotCount = 40;
constexpr int32_t kMaxGlyphSlots = 2024;
constexpr int32_t kGlyphCacheArea = 327680; // automatic capacity: this many pixels of cells
constexpr int32_t kMinGlyphSlots = 20;
constexpr int32_t kFaceNameBytes = 64;

// Font type bits.
constexpr int32_t kFontEdge = 1;
constexpr int32_t kFontAntialiased = 2;

// Character-set indexes.
constexpr int32_t kCharSetIndexDefault = 0;
constexpr int32_t kCharSetIndexShiftJis = 1;
constexpr int32_t kCharSetIndexHangeul = 2;

struct CharacterEntry;

struct GlyphSlot {
    uint16_t inUse;
    int16_t originX;   // left bearing
    int16_t topOffset; // ascent minus the glyph's origin y
    uint16_t advance;  // cell increment (plus 2 x edge size for edged fonts)
    int32_t cell;      // the slot's own index: its cell in the strip
    uint16_t boxWidth; // drawn box, edge included for edged fonts
    uint16_t boxHeight;
    CharacterEntry* owner;
};

struct CharacterEntry {
    int32_t cached;
    GlyphSlot* slot;
};

struct FontCells {
    int32_t width;  // a multiple of 8
    int32_t height; // even; never above width, since cells are square
};

struct FontRecord {
    int32_t serial; // first, as every handle record
    int32_t* lostFlag;
    GlyphSlot slots[kMaxGlyphSlots];
    CharacterEntry characters[65536];
    int32_t nextSlot;
    int32_t capacity;
    // Memory cache: capacity cells of cells.width x cells.width, one under the other.
    uint8_t* cache;
    int32_t bitsPerPixel; // 1 plain, 8 edged or anti-aliased
    int32_t bytesPerRow;
    char faceName[kFaceNameBytes];
    int32_t size;
    int32_t thickness;
    int32_t fontType;
    int32_t charSetIndex;
    int32_t edgeSize;
    int32_t italic;
    int32_t extraSpacing; // added to every advance
    FontCells cells;
    int32_t ascent;
    platform::RasterFont* rasterFont;
    bool textureCache; // never on here: there is no 3D path
    // Software image of the screen's size for blended strings; alpha for
    // anti-aliased fonts. Re-created when the screen no longer matches it.
    image::BaseImage workScreen;
    uint32_t workKey; // the work screen's current transparent value
};

struct DefaultFontSettings {
    char faceName[kFaceNameBytes];
    int32_t size;
    int32_t thickness;
    int32_t fontType;
    int32_t charSetIndex;
    int32_t edgeSize;
    int32_t italic;
};

struct FontState {
    core::HandleTable table;
    DefaultFontSettings defaults;
    int32_t defaultFont; // kNoHandle when there is none
    int32_t defaultExtraSpacing;
    int32_t glyphCountSetting; // 0: capacity from the cell size
};

FontState& Fonts();

// Cell geometry and capacity rules.
FontCells ComputeFontCells(int32_t maxCharWidth, int32_t textHeight, bool edged, int32_t edgeSize);
int32_t MemoryCacheCapacity(int32_t cellWidth, int32_t configuredCount);
// Whether a font keeps its glyphs in a texture: only with a 3D path, never here.
bool UseTextureGlyphCache();

// Graphics start-up: the default-font settings (before InitFonts), then the fonts.
void ResetDefaultFontSettings();
int InitFonts();
// Graphics end: every font is deleted and the handle table freed.
void EndFonts();

int CreateFontInner(const char* faceName, int size, int thickness, int fontType, int charSetIndex,
                    int edgeSize, int italic, int slotIndex, int serial);
int DeleteFontInner(int font);
void RebuildDefaultFont();
FontRecord* ResolveFont(int32_t font);
// Makes the font's work screen match the screen's size and depth; false when it
// cannot be allocated.
bool EnsureWorkScreen(FontRecord& font);

// A character unit: first byte, second byte or 0, terminator 0.
using CharacterUnit = unsigned char[3];
constexpr uint32_t UnitCode(const CharacterUnit& unit) {
    return uint32_t(unit[0]) | uint32_t(unit[1]) << 8;
}
// Rasterises the count units into the cache (evicting round robin) and returns
// the slot of the last one, or nullptr for an invalid font or count.
GlyphSlot* GetGlyph(int font, int count, const CharacterUnit* units);

// Where a slot's drawn box starts inside its cell; boxes of edged fonts include the edge.
inline int32_t GlyphBoxInset(const FontRecord& font) {
    return (font.fontType & kFontEdge) ? 0 : font.edgeSize;
}

// Row y of a cell of the memory cache.
inline uint8_t* CellRow(const FontRecord& font, int32_t cell, int32_t y) {
    return font.cache + (int64_t(cell) * font.cells.width + y) * font.bytesPerRow;
}

} // namespace velox::text
