// Rasterising characters into a font's glyph cache. Cells are packed as:
// plain fonts 1 bit per pixel; anti-aliased fonts a level 0..15 per byte;
// edged plain fonts 1 for glyph and 2 for edge; edged anti-aliased fonts the
// glyph level in the low 4 bits and the edge level in the high 4 bits.
#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "platform/GlyphRasterizer.h"
#include "text/Fonts.h"

#include <algorithm>
#include <cstring>

namespace velox::text {
namespace {

// Round edges for sizes 2 to 4: the disc dx² + dy² <= r² + r around the glyph
// pixel (centre of each 9 x 9 table), which rounds the corners of the square
// without thinning the straight runs.
constexpr const char* kEdgeMasks[3][9] = {
    {".........", ".........", "...###...", "..#####..", "..#####..", "..#####..", "...###...",
     ".........", "........."},
    {".........", "...###...", "..#####..", ".#######.", ".#######.", ".#######.", "..#####..",
     "...###...", "........."},
    {"..#####..", ".#######.", "#########", "#########", "#########", "#########", "#########",
     ".#######.", "..#####.."},
};

struct EdgeOffset {
    int8_t dx, dy;
};

// The edge shape around one glyph pixel: for size 1 its four direct
// neighbours, for 2 to 4 the round masks above, beyond that the full square.
int EdgeShape(int32_t edgeSize, EdgeOffset* out, int capacity) {
    int count = 0;
    if (edgeSize == 1) {
        constexpr EdgeOffset kCross[4] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
        std::copy(kCross, kCross + 4, out);
        return 4;
    }
    if (edgeSize >= 2 && edgeSize <= 4) {
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 9; ++x) {
                if (kEdgeMasks[edgeSize - 2][y][x] == '#' && count < capacity) {
                    out[count++] = EdgeOffset{int8_t(x - 4), int8_t(y - 4)};
                }
            }
        }
        return count;
    }
    return -1; // the square: callers loop over it directly
}

bool IsBlank(uint32_t code) {
    return code == 0x20 || code == 0x4081;
}

struct CellWriter {
    FontRecord& font;
    int32_t cell;
    int32_t side; // cells are side x side

    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < side && y < side; }
    uint8_t& Byte(int x, int y) const { return CellRow(font, cell, y)[x]; }
    void SetBit(int x, int y) const { CellRow(font, cell, y)[x >> 3] |= uint8_t(0x80 >> (x & 7)); }
};

// Calls visit(cx, cy) for every in-cell pixel of the edge shape around (x, y).
template <typename Visit>
void ForEachEdgePixel(const CellWriter& w, int32_t edgeSize, int x, int y, Visit&& visit) {
    EdgeOffset offsets[81];
    int count = EdgeShape(edgeSize, offsets, 81);
    if (count < 0) {
        for (int cy = y - edgeSize; cy <= y + edgeSize; ++cy) {
            for (int cx = x - edgeSize; cx <= x + edgeSize; ++cx) {
                if (w.Inside(cx, cy)) {
                    visit(cx, cy);
                }
            }
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        int cx = x + offsets[i].dx;
        int cy = y + offsets[i].dy;
        if (w.Inside(cx, cy)) {
            visit(cx, cy);
        }
    }
}

// Level 0..16 of bitmap pixel (x, y); mono bitmaps give 0 or 16.
int BitmapLevel(const uint8_t* bitmap, int pitch, bool mono, int x, int y) {
    const uint8_t* row = bitmap + size_t(y) * size_t(pitch);
    if (mono) {
        return (row[x >> 3] >> (7 - (x & 7))) & 1 ? 16 : 0;
    }
    return std::min<int>(row[x], 16);
}

void WriteCell(FontRecord& font, int32_t cell, const uint8_t* bitmap, int pitch, int width,
               int height, bool mono) {
    CellWriter w{font, cell, font.cells.width};
    bool edged = (font.fontType & kFontEdge) != 0;
    int inset = font.edgeSize;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = BitmapLevel(bitmap, pitch, mono, x, y);
            int cx = inset + x;
            int cy = inset + y;
            if (v == 0 || !w.Inside(cx, cy)) {
                continue;
            }
            if (font.bitsPerPixel == 1) {
                w.SetBit(cx, cy);
            } else if (!edged) {
                w.Byte(cx, cy) = uint8_t(v - 1);
            } else if (mono) {
                w.Byte(cx, cy) = 1;
            } else {
                w.Byte(cx, cy) |= uint8_t(v - 1);
            }
        }
    }
    if (!edged) {
        return;
    }
    // The edge goes in after every glyph pixel is known, so it never covers one.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = BitmapLevel(bitmap, pitch, mono, x, y);
            if (v == 0) {
                continue;
            }
            ForEachEdgePixel(w, font.edgeSize, inset + x, inset + y, [&](int cx, int cy) {
                uint8_t& cellValue = w.Byte(cx, cy);
                if (mono) {
                    if (cellValue != 1) {
                        cellValue = 2;
                    }
                } else if ((cellValue >> 4) < v - 1) {
                    cellValue = uint8_t((cellValue & 0x0F) | (v - 1) << 4);
                }
            });
        }
    }
}

// Binds the unit's code to the next slot (evicting its old character) and
// rasterises the character into the slot's cell.
GlyphSlot* RasteriseUnit(FontRecord& font, const CharacterUnit& unit) {
    uint32_t code = UnitCode(unit);
    GlyphSlot& slot = font.slots[font.nextSlot];
    if (slot.inUse && slot.owner && slot.owner->slot == &slot) {
        slot.owner->cached = 0;
        slot.owner->slot = nullptr;
    }
    CharacterEntry& entry = font.characters[code];
    if (entry.slot && entry.slot != &slot) {
        entry.slot->owner = nullptr; // a stale copy: its eviction must not unbind this one
    }
    entry.cached = 1;
    entry.slot = &slot;
    slot.inUse = 1;
    slot.owner = &entry;
    std::memset(CellRow(font, slot.cell, 0), 0, size_t(font.bytesPerRow) * font.cells.width);

    bool antialiased = (font.fontType & kFontAntialiased) != 0;
    auto format =
        antialiased ? platform::GlyphBitmapFormat::Grey17 : platform::GlyphBitmapFormat::Mono;
    platform::GlyphRasterizer& rasterizer = platform::CurrentGlyphRasterizer();
    platform::GlyphMetrics m{};
    int32_t size = rasterizer.GetGlyph(font.rasterFont, code, format, m, nullptr, 0);
    if (size < 0) {
        FatalError(SJIS("GetGlyphOutline 関数が失敗しました"));
    }
    int side = font.cells.width;
    slot.originX = int16_t(m.originX);
    slot.topOffset = int16_t(font.ascent - m.originY);
    slot.advance = uint16_t(std::max(m.cellIncX, 0));
    int boxWidth = 0;
    int boxHeight = 0;
    if (!IsBlank(code) && m.boxWidth > 0 && m.boxHeight > 0) {
        int pitch = platform::GlyphBitmapPitch(format, m.boxWidth);
        if (int64_t(pitch) * m.boxHeight != size) {
            FatalError(SJIS("GetGlyphOutline 関数が失敗しました"));
        }
        // One spare row before and after the bitmap.
        auto* buffer = static_cast<uint8_t*>(
            MemAllocZero(int32_t(pitch * (m.boxHeight + 2)), __FILE__, __LINE__));
        if (!buffer) {
            FatalError(SJIS("アンチエイリアス文字取得用バッファの確保に失敗しました"));
        }
        if (rasterizer.GetGlyph(font.rasterFont, code, format, m, buffer + pitch, size) < 0) {
            FatalError(SJIS("GetGlyphOutline 関数が失敗しました"));
        }
        WriteCell(font, slot.cell, buffer + pitch, pitch, m.boxWidth, m.boxHeight, !antialiased);
        MemFree(buffer);
        boxWidth = m.boxWidth;
        boxHeight = m.boxHeight;
    } else {
        slot.originX = 0;
        slot.topOffset = 0;
    }
    if (font.fontType & kFontEdge) {
        int edge = 2 * font.edgeSize;
        slot.advance = uint16_t(slot.advance + edge);
        if (boxWidth > 0) {
            boxWidth += edge;
            boxHeight += edge;
        }
    }
    // A box larger than its cell (a face wider than it claims) is cut at the cell.
    int room = side - GlyphBoxInset(font);
    slot.boxWidth = uint16_t(std::clamp(boxWidth, 0, room));
    slot.boxHeight = uint16_t(std::clamp(boxHeight, 0, room));
    font.nextSlot = (font.nextSlot + 1) % font.capacity;
    return &slot;
}

} // namespace

GlyphSlot* GetGlyph(int fontHandle, int count, const CharacterUnit* units) {
    FontRecord* font = ResolveFont(fontHandle);
    if (!font || count <= 0 || !units) {
        return nullptr;
    }
    GlyphSlot* last = nullptr;
    for (int i = 0; i < count; ++i) {
        last = RasteriseUnit(*font, units[i]);
    }
    return last;
}

} // namespace velox::text
