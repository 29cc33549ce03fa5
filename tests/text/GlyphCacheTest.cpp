#include "TextSupport.h"

#include <velox/velox.h>

#include <string>

namespace velox {
namespace {

using test::ScriptedGlyph;

constexpr uint32_t kWhite = 0xFFFFFFFF;

class GlyphCache : public test::ScriptedTextTest {
protected:
    int MakeFont(int type, int edge) {
        int font = CreateFontToHandle(nullptr, 16, -1, type, -1, edge, 0);
        EXPECT_NE(font, -1);
        return font;
    }
    const text::GlyphSlot* Cache(int font, uint32_t code) {
        text::CharacterUnit unit = {uint8_t(code & 0xFF), uint8_t(code >> 8), 0};
        return text::GetGlyph(font, 1, &unit);
    }
    int CellByte(int font, const text::GlyphSlot* slot, int x, int y) {
        return text::CellRow(*text::ResolveFont(font), slot->cell, y)[x];
    }
};

TEST_F(GlyphCache, EvictsStrictlyRoundRobinAndRasterisesAgainOnNextUse) {
    scripted.metrics = platform::FontMetrics{100, 100, 80}; // 104 x 104 cells, 30 glyphs
    int font = CreateFontToHandle(nullptr, 100, -1, -1, -1, -1, 0);
    ASSERT_NE(font, -1);
    text::FontRecord& f = *text::ResolveFont(font);
    ASSERT_EQ(f.capacity, 30);
    std::string text;
    for (int i = 0; i < 31; ++i) {
        text += char('A' + i);
    }
    scripted.queries.clear();
    ASSERT_EQ(PrintTextWithFont(0, 0, text.c_str(), kWhite, font, 0, 0), 0);
    // 30 in the batch, the 31st on its own: it takes slot 0 from 'A'.
    ASSERT_EQ(scripted.queries.size(), 31u);
    EXPECT_FALSE(f.characters[uint8_t('A')].cached);
    EXPECT_EQ(f.characters[uint8_t('A' + 30)].slot, &f.slots[0]);
    EXPECT_TRUE(f.characters[uint8_t('B')].cached);

    scripted.queries.clear();
    ASSERT_EQ(PrintTextWithFont(0, 0, "A", kWhite, font, 0, 0), 0);
    EXPECT_EQ(scripted.queries, std::vector<uint32_t>{'A'});
    EXPECT_FALSE(f.characters[uint8_t('B')].cached); // the oldest binding, not the least used
    EXPECT_EQ(f.characters[uint8_t('A')].slot, &f.slots[1]);
    scripted.queries.clear();
    ASSERT_EQ(PrintTextWithFont(0, 0, "CA", kWhite, font, 0, 0), 0);
    EXPECT_TRUE(scripted.queries.empty());
}

TEST_F(GlyphCache, RepeatedCharactersOfAStringRasteriseOnce) {
    int font = MakeFont(0, -1);
    scripted.queries.clear();
    ASSERT_EQ(PrintTextWithFont(0, 0, "ABAB", kWhite, font, 0, 0), 0);
    EXPECT_EQ(scripted.queries, (std::vector<uint32_t>{'A', 'B'}));
    EXPECT_EQ(text::ResolveFont(font)->nextSlot, 2);
}

TEST_F(GlyphCache, AntialiasedLevelsAreStoredOneLower) {
    scripted.glyphs['x'] = ScriptedGlyph{{0, 10, 8, 4, 1}, {"#h.a"}};
    int font = MakeFont(text::kFontAntialiased, -1);
    const text::GlyphSlot* slot = Cache(font, 'x');
    ASSERT_NE(slot, nullptr);
    // Written at (edge size, edge size) = (1, 1): 16 -> 15, 8 -> 7, 0 and 1 -> 0.
    EXPECT_EQ(CellByte(font, slot, 1, 1), 15);
    EXPECT_EQ(CellByte(font, slot, 2, 1), 7);
    EXPECT_EQ(CellByte(font, slot, 3, 1), 0);
    EXPECT_EQ(CellByte(font, slot, 4, 1), 0);
    EXPECT_EQ(slot->topOffset, 13 - 10);
    EXPECT_EQ(slot->advance, 8);
    EXPECT_EQ(slot->boxWidth, 4);
}

TEST_F(GlyphCache, EdgeOfSizeOneIsTheFourNeighbours) {
    scripted.glyphs['x'] = ScriptedGlyph{{0, 10, 8, 1, 1}, {"#"}};
    int font = MakeFont(text::kFontEdge, 1);
    const text::GlyphSlot* slot = Cache(font, 'x');
    EXPECT_EQ(CellByte(font, slot, 1, 1), 1);
    EXPECT_EQ(CellByte(font, slot, 0, 1), 2);
    EXPECT_EQ(CellByte(font, slot, 2, 1), 2);
    EXPECT_EQ(CellByte(font, slot, 1, 0), 2);
    EXPECT_EQ(CellByte(font, slot, 1, 2), 2);
    EXPECT_EQ(CellByte(font, slot, 0, 0), 0);
    EXPECT_EQ(CellByte(font, slot, 2, 2), 0);
    // The edge widens the box and the advance by twice its size.
    EXPECT_EQ(slot->advance, 8 + 2);
    EXPECT_EQ(slot->boxWidth, 1 + 2);
    EXPECT_EQ(slot->boxHeight, 1 + 2);
}

TEST_F(GlyphCache, LargerEdgesAreRoundMasksThenSquares) {
    scripted.glyphs['x'] = ScriptedGlyph{{0, 10, 8, 1, 1}, {"#"}};
    for (int edge = 2; edge <= 5; ++edge) {
        int font = MakeFont(text::kFontEdge, edge);
        const text::GlyphSlot* slot = Cache(font, 'x');
        int edges = 0;
        int expected = 0;
        for (int dy = -edge; dy <= edge; ++dy) {
            for (int dx = -edge; dx <= edge; ++dx) {
                bool inShape = edge > 4 || dx * dx + dy * dy <= edge * edge + edge;
                expected += inShape && (dx || dy) ? 1 : 0;
                int value = CellByte(font, slot, edge + dx, edge + dy);
                EXPECT_EQ(value, dx || dy ? (inShape ? 2 : 0) : 1) << edge << " " << dx << dy;
                edges += value == 2 ? 1 : 0;
            }
        }
        EXPECT_EQ(edges, expected);
        EXPECT_EQ(edges, edge == 2 ? 20 : edge == 3 ? 36 : edge == 4 ? 68 : 120);
        DeleteFont(font);
    }
}

TEST_F(GlyphCache, EdgedAntialiasedCellsKeepGlyphLowAndEdgeHigh) {
    scripted.glyphs['x'] = ScriptedGlyph{{0, 10, 8, 2, 1}, {"#h"}};
    int font = MakeFont(text::kFontEdge | text::kFontAntialiased, 1);
    const text::GlyphSlot* slot = Cache(font, 'x');
    // Glyph at (1, 1) level 15 and (2, 1) level 7; each raises its neighbours' edge.
    EXPECT_EQ(CellByte(font, slot, 1, 1), 0x70 | 15); // beside the level-7 pixel
    EXPECT_EQ(CellByte(font, slot, 2, 1), 0xF0 | 7);  // beside the level-15 pixel
    EXPECT_EQ(CellByte(font, slot, 0, 1), 0xF0);
    EXPECT_EQ(CellByte(font, slot, 3, 1), 0x70);
    EXPECT_EQ(CellByte(font, slot, 1, 0), 0xF0);
    EXPECT_EQ(CellByte(font, slot, 2, 0), 0x70);
    EXPECT_EQ(CellByte(font, slot, 0, 0), 0);
}

TEST_F(GlyphCache, BlanksGetNoBitmapButTheirAdvance) {
    int font = MakeFont(0, -1);
    for (uint32_t code : {0x20u, 0x4081u}) {
        const text::GlyphSlot* slot = Cache(font, code);
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->boxWidth, 0);
        EXPECT_EQ(slot->boxHeight, 0);
        EXPECT_EQ(slot->advance, scripted.boxGlyph.cellIncX);
    }
}

TEST_F(GlyphCache, GlyphsLargerThanTheirCellAreCut) {
    // A face whose glyphs exceed the width it reports must not write past its cell.
    scripted.boxGlyph = platform::GlyphMetrics{0, 12, 60, 60, 60};
    int font = MakeFont(text::kFontAntialiased, -1);
    const text::GlyphSlot* first = Cache(font, 'x');
    const text::GlyphSlot* second = Cache(font, 'y');
    int side = text::ResolveFont(font)->cells.width;
    EXPECT_EQ(first->boxWidth, side - 1);
    EXPECT_EQ(first->boxHeight, side - 1);
    EXPECT_EQ(second->cell, first->cell + 1);
    EXPECT_EQ(CellByte(font, first, 0, 0), 0);
    EXPECT_EQ(CellByte(font, first, side - 1, side - 1), 15);
    EXPECT_EQ(PrintTextWithFont(0, 0, "xyx", kWhite, font, 0, 0), 0);
}

TEST_F(GlyphCache, InvalidFontOrCountGivesNothing) {
    text::CharacterUnit unit = {'x', 0, 0};
    EXPECT_EQ(text::GetGlyph(-1, 1, &unit), nullptr);
    EXPECT_EQ(text::GetGlyph(text::Fonts().defaultFont, 0, &unit), nullptr);
}

} // namespace
} // namespace velox
