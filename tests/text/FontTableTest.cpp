#include "TextSupport.h"

#include "support/TempDir.h"

#include <velox/velox.h>

#include <algorithm>

namespace velox {
namespace {

using test::Sjis;

TEST(FontCells, CellsFromMetricsAndCapacityFromCellArea) {
    // 16 + 2 rounds up to 24, cells are square: 327680 / (24 x 24) = 568.
    text::FontCells small = text::ComputeFontCells(16, 16, false, 1);
    EXPECT_EQ(small.width, 24);
    EXPECT_EQ(small.height, 16);
    EXPECT_EQ(text::MemoryCacheCapacity(small.width, 0), 568);
    // 100 + 2 rounds up to 104: 327680 / 10816 = 30.
    text::FontCells large = text::ComputeFontCells(100, 100, false, 1);
    EXPECT_EQ(large.width, 104);
    EXPECT_EQ(text::MemoryCacheCapacity(large.width, 0), 30);
    // Edged: 16 + 2 + 6 = 24; 15 + 6 = 21 rounds up to an even 22.
    text::FontCells edged = text::ComputeFontCells(16, 15, true, 3);
    EXPECT_EQ(edged.width, 24);
    EXPECT_EQ(edged.height, 22);
    // A narrow, tall face: 10 rounds to 16, below the height 22, so the cell is 22 wide.
    text::FontCells tall = text::ComputeFontCells(8, 21, false, 1);
    EXPECT_EQ(tall.width, 22);
    EXPECT_EQ(tall.height, 22);
    // 327680 / 64 = 5120 is capped at 2024; 327680 / 40000 = 8 is raised to 20.
    EXPECT_EQ(text::MemoryCacheCapacity(8, 0), 2024);
    EXPECT_EQ(text::MemoryCacheCapacity(200, 0), 20);
    EXPECT_EQ(text::MemoryCacheCapacity(24, 100), 100);
    EXPECT_EQ(text::MemoryCacheCapacity(24, 5000), 2024);
    EXPECT_FALSE(text::UseTextureGlyphCache());
}

class FreeTypeFonts : public test::TextTest {};

// The cell rule applied to what FreeType reports for the same request.
void ExpectCellsFor(const text::FontRecord& font, int size) {
    std::string gothic = Sjis("ＭＳ ゴシック");
    platform::FontRequest request{gothic.c_str(), size, 600, false, platform::kCharSetShiftJis};
    platform::GlyphRasterizer& r = platform::FreeTypeGlyphRasterizer();
    platform::RasterFont* raster = r.OpenFont(request);
    ASSERT_NE(raster, nullptr);
    platform::FontMetrics m{};
    ASSERT_TRUE(r.GetFontMetrics(raster, m));
    r.CloseFont(raster);
    EXPECT_EQ(m.height, size);
    int width = (m.maxCharWidth + 2 + 7) / 8 * 8;
    int height = (m.height + 1) / 2 * 2;
    width = std::max(width, height);
    EXPECT_EQ(font.cells.width, width);
    EXPECT_EQ(font.cells.height, height);
    EXPECT_EQ(font.capacity, std::clamp(327680 / (width * width), 20, 2024));
    EXPECT_EQ(font.bitsPerPixel, 1);
    EXPECT_EQ(font.bytesPerRow, (width + 7) / 8);
}

TEST_F(FreeTypeFonts, DefaultFontCellsFollowTheReportedMetrics) {
    const text::FontRecord* font = text::ResolveFont(text::Fonts().defaultFont);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size, 16);
    EXPECT_EQ(font->charSetIndex, text::kCharSetIndexShiftJis);
    ExpectCellsFor(*font, 16);
    ASSERT_EQ(SetDefaultFontSize(100), 0);
    font = text::ResolveFont(text::Fonts().defaultFont);
    ASSERT_NE(font, nullptr);
    ExpectCellsFor(*font, 100);
}

TEST_F(FreeTypeFonts, InitFontsLogsAndKeepsTheDefaultFontSettings) {
    ASSERT_EQ(SetDefaultFontSize(40), 0);
    int before = text::Fonts().defaultFont;
    int other = CreateFontToHandle(nullptr, 20, -1, -1, -1, -1, 0);
    ASSERT_NE(other, -1);
    ASSERT_EQ(text::InitFonts(), 0);
    EXPECT_EQ(text::ResolveFont(other), nullptr);
    EXPECT_EQ(text::ResolveFont(before), nullptr);
    const text::FontRecord* font = text::ResolveFont(text::Fonts().defaultFont);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size, 40);
    std::string log = LogText();
    size_t start = log.find(Sjis("フォントの初期化を行います"));
    size_t end = log.find(Sjis("フォントの初期化は正常に終了しました"), start);
    EXPECT_NE(start, std::string::npos);
    EXPECT_NE(end, std::string::npos);
}

class ScriptedFonts : public test::ScriptedTextTest {};

TEST_F(ScriptedFonts, FortyFirstFontFailsWithTheLimitMessage) {
    std::vector<int> handles; // the default font holds slot 0
    for (int i = 1; i < text::kFontSlotCount; ++i) {
        handles.push_back(CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0));
        ASSERT_NE(handles.back(), -1) << i;
        EXPECT_EQ(core::HandleSlot(handles.back()), i);
    }
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0), -1);
    EXPECT_NE(LogText().find(Sjis("作成できるフォントハンドル数 40 の限界を超えました") + "\r\n"),
              std::string::npos);
    // The lowest free slot is taken again, under a new serial.
    int freed = handles[4];
    ASSERT_EQ(DeleteFont(freed), 0);
    EXPECT_EQ(DeleteFont(freed), -1);
    int again = CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0);
    ASSERT_NE(again, -1);
    EXPECT_EQ(core::HandleSlot(again), core::HandleSlot(freed));
    EXPECT_NE(again, freed);
    EXPECT_EQ(again >> 27, int(core::HandleType::Font));
}

TEST_F(ScriptedFonts, DefaultFontSizeKeepsOrReplacesTheDefaultFont) {
    int first = text::Fonts().defaultFont;
    ASSERT_NE(text::ResolveFont(first), nullptr);
    size_t opens = scripted.opens.size();
    EXPECT_EQ(SetDefaultFontSize(16), 0);
    EXPECT_EQ(SetDefaultFontSize(-1), 0);
    EXPECT_EQ(text::Fonts().defaultFont, first);
    EXPECT_EQ(scripted.opens.size(), opens);
    EXPECT_EQ(SetDefaultFontSize(100), 0);
    int second = text::Fonts().defaultFont;
    EXPECT_NE(second, first);
    EXPECT_EQ(text::ResolveFont(first), nullptr);
    EXPECT_EQ(DeleteFont(first), -1);
    ASSERT_NE(text::ResolveFont(second), nullptr);
    EXPECT_EQ(text::ResolveFont(second)->size, 100);
    EXPECT_EQ(scripted.opens.back().height, 100);
    EXPECT_EQ(scripted.opens.back().weight, 600);
    EXPECT_EQ(scripted.liveFonts, 1);
}

TEST_F(ScriptedFonts, NamedFaceFallsBackThroughTheCharacterSets) {
    int fonts = text::Fonts().table.count;
    scripted.opens.clear();
    scripted.openFaces.clear();
    scripted.failOpens = 3;
    std::string face = Sjis("ＭＳ 明朝");
    EXPECT_EQ(CreateFontToHandle(face.c_str(), 20, 9, 0, text::kCharSetIndexHangeul, -1, 1), -1);
    EXPECT_NE(LogText().find(Sjis("指定のフォントの作成に失敗しました")), std::string::npos);
    ASSERT_EQ(scripted.opens.size(), 3u);
    EXPECT_EQ(scripted.opens[0].charSet, platform::kCharSetHangeul);
    EXPECT_EQ(scripted.opens[1].charSet, platform::kCharSetDefault);
    EXPECT_EQ(scripted.opens[2].charSet, platform::kCharSetShiftJis);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scripted.openFaces[i], face);
        EXPECT_EQ(scripted.opens[i].height, 20);
        EXPECT_EQ(scripted.opens[i].weight, 900);
        EXPECT_TRUE(scripted.opens[i].italic);
    }
    EXPECT_EQ(text::Fonts().table.count, fonts);
}

TEST_F(ScriptedFonts, UnnamedFaceTriesTheGothicFaceThenAnyFace) {
    int fonts = text::Fonts().table.count;
    scripted.opens.clear();
    scripted.openFaces.clear();
    scripted.failOpens = 3;
    EXPECT_EQ(CreateFontToHandle("", 20, -1, -1, text::kCharSetIndexHangeul, -1, 1), -1);
    EXPECT_NE(LogText().find(Sjis("フォントの作成に失敗しました")), std::string::npos);
    ASSERT_EQ(scripted.opens.size(), 3u);
    EXPECT_EQ(scripted.openFaces[0], Sjis("ＭＳ ゴシック"));
    EXPECT_EQ(scripted.opens[0].charSet, platform::kCharSetHangeul);
    EXPECT_TRUE(scripted.opens[0].italic);
    EXPECT_EQ(scripted.openFaces[1], Sjis("ＭＳ ゴシック"));
    EXPECT_EQ(scripted.opens[1].charSet, platform::kCharSetDefault);
    EXPECT_FALSE(scripted.opens[1].italic);
    EXPECT_EQ(scripted.openFaces[2], "");
    EXPECT_EQ(scripted.opens[2].charSet, platform::kCharSetDefault);
    EXPECT_EQ(text::Fonts().table.count, fonts);

    // The third attempt succeeding still gives a font.
    scripted.failOpens = 2;
    int font = CreateFontToHandle(nullptr, 20, -1, -1, -1, -1, 0);
    EXPECT_NE(font, -1);
    EXPECT_EQ(scripted.openFaces.back(), "");
}

TEST_F(ScriptedFonts, FailuresAfterTheRecordReleaseEverything) {
    int fonts = text::Fonts().table.count;
    int live = scripted.liveFonts;
    scripted.failMetrics = true;
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0), -1);
    EXPECT_NE(LogText().find(Sjis("ＤＣの取得に失敗しました")), std::string::npos);
    EXPECT_EQ(scripted.liveFonts, live);
    EXPECT_EQ(text::Fonts().table.count, fonts);
    scripted.failMetrics = false;
    // A cache that cannot exist (its size overflows) is refused the same way.
    scripted.metrics = platform::FontMetrics{60000, 60000, 50000};
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0), -1);
    EXPECT_NE(LogText().find(Sjis("フォントのキャッシュ用メモリの確保に失敗しました in "
                                  "CreateFontToHandle")),
              std::string::npos);
    EXPECT_EQ(scripted.liveFonts, live);
    EXPECT_EQ(text::Fonts().table.count, fonts);
}

TEST_F(ScriptedFonts, CreationNeedsTheGraphicsLayerAndAFreeSlot) {
    EXPECT_EQ(text::CreateFontInner(nullptr, 16, -1, -1, -1, -1, 0,
                                    core::HandleSlot(text::Fonts().defaultFont), -1),
              -1);
    // An explicit slot and serial give exactly that handle (fonts re-created in place).
    int placed = text::CreateFontInner(nullptr, 16, -1, -1, -1, -1, 0, 7, 1234);
    EXPECT_EQ(placed, core::MakeHandle(core::HandleType::Font, 1234, 7));
    graphic::Graphics().started = false;
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0), -1);
    graphic::Graphics().started = true;
}

TEST_F(ScriptedFonts, TypeAndEdgeNormalisation) {
    int edgedBySize = CreateFontToHandle(nullptr, 16, -1, 0, -1, 3, 0);
    ASSERT_NE(edgedBySize, -1);
    EXPECT_EQ(text::ResolveFont(edgedBySize)->fontType, text::kFontEdge);
    EXPECT_EQ(text::ResolveFont(edgedBySize)->bitsPerPixel, 8);
    // Bits beyond edge and anti-aliasing are dropped.
    int odd = CreateFontToHandle(nullptr, 16, -1, 6, -1, -1, 0);
    ASSERT_NE(odd, -1);
    EXPECT_EQ(text::ResolveFont(odd)->fontType, text::kFontAntialiased);
    // An 8-bit screen has no anti-aliased fonts.
    graphic::Graphics().screen.colorBits = 8;
    int eight = CreateFontToHandle(nullptr, 16, -1, 3, -1, -1, 0);
    graphic::Graphics().screen.colorBits = 32;
    ASSERT_NE(eight, -1);
    EXPECT_EQ(text::ResolveFont(eight)->fontType, text::kFontEdge);
}

TEST_F(ScriptedFonts, DeletingSetsTheLostFlagAndEndFontsEmptiesTheTable) {
    int font = CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0);
    ASSERT_NE(font, -1);
    int32_t lost = 0;
    text::ResolveFont(font)->lostFlag = &lost;
    EXPECT_EQ(DeleteFont(font), 0);
    EXPECT_EQ(lost, 1);
    text::EndFonts();
    EXPECT_EQ(scripted.liveFonts, 0);
    EXPECT_EQ(text::Fonts().defaultFont, core::kNoHandle);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0), -1);
}

} // namespace
} // namespace velox
