// String drawing and the rasteriser with the installed faces (IPAGothic, DejaVu).
#include "TextSupport.h"

#include "platform/freetype/FreeTypeFonts.h"
#include "support/TempDir.h"

#include <velox/velox.h>

namespace velox {
namespace {

using test::Pixel;
using test::ScreenColor;
using test::Sjis;

const Pixel kBlack{0, 0, 0};
const Pixel kWhite{255, 255, 255};
const Pixel kGreen{0, 255, 0};

uint32_t CodeOf(const std::string& sjis) {
    return uint8_t(sjis[0]) | (sjis.size() > 1 ? uint32_t(uint8_t(sjis[1])) << 8 : 0);
}

class FreeTypeText : public test::CountingTextTest {};

TEST_F(FreeTypeText, StopDrawnTwiceRasterisesOnlyTheFirstTime) {
    ASSERT_EQ(SetDefaultFontSize(100), 0);
    uint32_t green = ScreenColor(kGreen);
    ASSERT_EQ(PrintText(295, 270, "STOP", green, 0), 0);
    EXPECT_EQ(counting.queries, (std::vector<uint32_t>{'S', 'T', 'O', 'P'}));
    int drawn = test::CountPixelsNot(kBlack);
    EXPECT_GT(drawn, 1000);
    EXPECT_EQ(test::CountPixelsNot(kGreen), 800 * 600 - drawn); // plain fonts draw only the tint
    counting.queries.clear();
    test::FillTarget(kBlack);
    ASSERT_EQ(PrintText(295, 270, "STOP", green, 0), 0);
    EXPECT_TRUE(counting.queries.empty());
    EXPECT_EQ(test::CountPixelsNot(kBlack), drawn);
}

TEST_F(FreeTypeText, JapaneseTextDrawsWithAJapaneseFace) {
    std::string text = Sjis("プログラム");
    ASSERT_EQ(PrintText(10, 10, text.c_str(), ScreenColor(kWhite), 0), 0);
    const text::FontRecord& font = *text::ResolveFont(text::Fonts().defaultFont);
    for (const char* character : {"プ", "ロ", "グ"}) {
        const text::CharacterEntry& entry = font.characters[CodeOf(Sjis(character))];
        ASSERT_TRUE(entry.cached) << character;
        EXPECT_GT(entry.slot->boxWidth, 5) << character;
        EXPECT_GT(entry.slot->boxHeight, 5) << character;
        // A full-width character of a Japanese gothic face is about one em wide.
        EXPECT_GE(entry.slot->advance, 14) << character;
    }
    EXPECT_GT(test::CountPixelsNot(kBlack), 100);
}

TEST_F(FreeTypeText, CharactersTheFaceLacksComeFromAnotherFace) {
    // Character set 0 asks for no language: the face is a Latin one, and the
    // kana and the star come from faces that have them.
    int font = CreateFontToHandle(nullptr, 24, -1, -1, text::kCharSetIndexDefault, -1, 0);
    ASSERT_NE(font, -1);
    std::string text = Sjis("Aプ★");
    ASSERT_EQ(PrintTextWithFont(10, 10, text.c_str(), ScreenColor(kWhite), font, 0, 0), 0);
    const text::FontRecord& f = *text::ResolveFont(font);
    for (const char* character : {"A", "プ", "★"}) {
        const text::CharacterEntry& entry = f.characters[CodeOf(Sjis(character))];
        ASSERT_TRUE(entry.cached) << character;
        EXPECT_GT(entry.slot->boxWidth, 3) << character;
    }
}

TEST_F(FreeTypeText, LineFeedAndMissingCharactersDrawNothingButAdvance) {
    int font = text::Fonts().defaultFont;
    int blank = 0;
    ASSERT_EQ(MeasureString(" ", font, &blank, nullptr), 0);
    ASSERT_GT(blank, 0);
    // The line feed, another control character and a user-defined character no face has.
    for (const char* text : {"\n", "\x01", "\xF0\x40"}) {
        int width = 0;
        ASSERT_EQ(MeasureString(text, font, &width, nullptr), 0);
        EXPECT_EQ(width, blank);
        ASSERT_EQ(PrintText(10, 10, text, ScreenColor(kWhite), 0), 0);
        EXPECT_EQ(test::CountPixelsNot(kBlack), 0);
    }
    int plain = 0;
    int withFeed = 0;
    ASSERT_EQ(MeasureString("Line To 5 ", font, &plain, nullptr), 0);
    ASSERT_EQ(MeasureString("Line To 5 \n", font, &withFeed, nullptr), 0);
    EXPECT_EQ(withFeed, plain + blank);
    ASSERT_EQ(PrintTextFormat(10, 10, ScreenColor(kWhite), "Line To %d \n", 5), 0);
    EXPECT_GT(test::CountPixelsNot(kBlack), 50);
}

TEST_F(FreeTypeText, AntialiasedAndEdgedFontsDrawWithTheirTints) {
    int smooth = CreateFontToHandle(nullptr, 32, -1, text::kFontAntialiased, -1, -1, 0);
    ASSERT_NE(smooth, -1);
    ASSERT_EQ(PrintTextWithFont(10, 10, "W", ScreenColor(kWhite), smooth, 0, 0), 0);
    // Grey levels: full pixels at 240, partial ones below.
    int full = 0;
    int partial = 0;
    for (int y = 10; y < 50; ++y) {
        for (int x = 10; x < 50; ++x) {
            Pixel p = test::PixelAt(x, y);
            EXPECT_TRUE(p.red == p.green && p.green == p.blue);
            full += p.red == 240 ? 1 : 0;
            partial += p.red > 0 && p.red < 240 ? 1 : 0;
        }
    }
    EXPECT_GT(full, 20);
    EXPECT_GT(partial, 10);

    test::FillTarget(kBlack);
    int edged = CreateFontToHandle(nullptr, 32, -1, text::kFontEdge, -1, 2, 0);
    ASSERT_NE(edged, -1);
    const Pixel red{255, 0, 0};
    const Pixel blue{0, 0, 255};
    ASSERT_EQ(PrintTextWithFont(10, 10, "W", ScreenColor(red), edged, ScreenColor(blue), 0), 0);
    int reds = 0;
    int blues = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 60; ++x) {
            Pixel p = test::PixelAt(x, y);
            reds += p == red ? 1 : 0;
            blues += p == blue ? 1 : 0;
        }
    }
    EXPECT_GT(reds, 20);
    EXPECT_GT(blues, reds / 2);
    EXPECT_EQ(test::CountPixelsNot(kBlack), reds + blues);
}

TEST(GlyphRasterizer, GothicRequestIsServedAtTheAskedCellHeight) {
    std::string gothic = Sjis("ＭＳ ゴシック");
    platform::GlyphRasterizer& r = platform::FreeTypeGlyphRasterizer();
    for (int height : {12, 16, 24, 100}) {
        platform::FontRequest request{gothic.c_str(), height, 600, false,
                                      platform::kCharSetShiftJis};
        platform::RasterFont* font = r.OpenFont(request);
        ASSERT_NE(font, nullptr) << height;
        platform::FontMetrics m{};
        ASSERT_TRUE(r.GetFontMetrics(font, m));
        EXPECT_EQ(m.height, height);
        EXPECT_GT(m.ascent, height / 2);
        EXPECT_LE(m.ascent, height);
        EXPECT_GE(m.maxCharWidth, height * 3 / 4); // full-width characters
        r.CloseFont(font);
    }
    platform::FontRequest none{gothic.c_str(), 0, 400, false, platform::kCharSetShiftJis};
    EXPECT_EQ(r.OpenFont(none), nullptr);
}

// Pixels set in a glyph's bitmap, and the largest level seen.
int CountInk(platform::RasterFont* font, uint32_t code, platform::GlyphBitmapFormat format,
             int* maxLevel = nullptr, int* partial = nullptr) {
    platform::GlyphRasterizer& r = platform::FreeTypeGlyphRasterizer();
    platform::GlyphMetrics m{};
    int32_t size = r.GetGlyph(font, code, format, m, nullptr, 0);
    EXPECT_GE(size, 0);
    std::vector<uint8_t> bitmap(size_t(std::max(size, 1)));
    EXPECT_EQ(r.GetGlyph(font, code, format, m, bitmap.data(), size), size);
    int pitch = platform::GlyphBitmapPitch(format, m.boxWidth);
    EXPECT_EQ(pitch * m.boxHeight, size);
    int ink = 0;
    for (int y = 0; y < m.boxHeight; ++y) {
        for (int x = 0; x < m.boxWidth; ++x) {
            int level = format == platform::GlyphBitmapFormat::Mono
                            ? (bitmap[size_t(y * pitch + x / 8)] >> (7 - x % 8)) & 1
                            : bitmap[size_t(y * pitch + x)];
            ink += level ? 1 : 0;
            if (maxLevel) {
                *maxLevel = std::max(*maxLevel, level);
            }
            if (partial && level > 0 && level < 16) {
                ++*partial;
            }
        }
    }
    return ink;
}

TEST(GlyphRasterizer, MonoAndSeventeenLevelBitmapsAndHeavierWeights) {
    std::string gothic = Sjis("ＭＳ ゴシック");
    platform::GlyphRasterizer& r = platform::FreeTypeGlyphRasterizer();
    platform::RasterFont* regular =
        r.OpenFont({gothic.c_str(), 32, 400, false, platform::kCharSetShiftJis});
    platform::RasterFont* heavy =
        r.OpenFont({gothic.c_str(), 32, 900, false, platform::kCharSetShiftJis});
    ASSERT_NE(regular, nullptr);
    ASSERT_NE(heavy, nullptr);
    uint32_t ro = CodeOf(Sjis("ロ"));
    int maxLevel = 0;
    int partial = 0;
    EXPECT_GT(CountInk(regular, ro, platform::GlyphBitmapFormat::Grey17, &maxLevel, &partial), 0);
    EXPECT_EQ(maxLevel, 16);
    EXPECT_GT(partial, 0);
    int mono = CountInk(regular, ro, platform::GlyphBitmapFormat::Mono);
    EXPECT_GT(mono, 40);
    EXPECT_GT(CountInk(heavy, ro, platform::GlyphBitmapFormat::Mono), mono);
    // Control characters and characters no face has: nothing to draw, a blank's advance.
    platform::GlyphMetrics space{};
    ASSERT_EQ(r.GetGlyph(regular, ' ', platform::GlyphBitmapFormat::Mono, space, nullptr, 0) >= 0,
              true);
    for (uint32_t code : {0x0Au, 0x7Fu, 0x40F0u, 0x2081u}) {
        platform::GlyphMetrics m{};
        EXPECT_EQ(r.GetGlyph(regular, code, platform::GlyphBitmapFormat::Mono, m, nullptr, 0), 0);
        EXPECT_EQ(m.boxWidth, 0);
        EXPECT_EQ(m.cellIncX, space.cellIncX) << code;
    }
    r.CloseFont(regular);
    r.CloseFont(heavy);
}

TEST(GlyphRasterizer, CharacterCodesBecomeCodePointsOfTheirCodePage) {
    using platform::CodePointOfCharacter;
    EXPECT_EQ(CodePointOfCharacter('A', platform::kCharSetShiftJis), 0x41u);
    EXPECT_EQ(CodePointOfCharacter(0xA082, platform::kCharSetShiftJis), 0x3042u); // あ
    EXPECT_EQ(CodePointOfCharacter(0x4081, platform::kCharSetShiftJis), 0x3000u); // blank
    EXPECT_EQ(CodePointOfCharacter(0xB1, platform::kCharSetDefault), 0xFF71u);    // ｱ
    EXPECT_EQ(CodePointOfCharacter(0x2081, platform::kCharSetShiftJis), 0u);      // no trail
    EXPECT_EQ(CodePointOfCharacter(0x82, platform::kCharSetShiftJis), 0u);        // lone lead
    EXPECT_EQ(CodePointOfCharacter(0xA1B0, platform::kCharSetHangeul), 0xAC00u);  // 가
}

} // namespace
} // namespace velox
