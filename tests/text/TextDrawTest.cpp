#include "TextSupport.h"

#include "support/TempDir.h"

#include <velox/velox.h>

namespace velox {
namespace {

using test::Pixel;
using test::PixelAt;
using test::ScreenColor;
using test::ScriptedGlyph;

const Pixel kBlack{0, 0, 0};
const Pixel kWhite{255, 255, 255};

class TextDraw : public test::ScriptedTextTest {
protected:
    void SetUp() override {
        ScriptedTextTest::SetUp();
        // One pixel at 2 right of the pen and 3 below the top (ascent 13 - origin y 10).
        scripted.glyphs['x'] = ScriptedGlyph{{2, 10, 8, 1, 1}, {"#"}};
    }
    int MakeFont(int type, int edge) {
        int font = CreateFontToHandle(nullptr, 16, -1, type, -1, edge, 0);
        EXPECT_NE(font, -1);
        return font;
    }
    int Draw(const char* text, int font, Pixel color, Pixel edge = kBlack) {
        return PrintTextWithFont(100, 50, text, ScreenColor(color), font, ScreenColor(edge), 0);
    }
    void SetBlend(int mode, int parameter) {
        graphic::Graphics().draw.blendMode = mode;
        graphic::Graphics().draw.blendParameter = parameter;
    }
};

TEST_F(TextDraw, EmptyOrNullTextDrawsNothing) {
    int font = MakeFont(0, -1);
    graphic::Graphics().screen.drawTarget = core::kFrontScreen;
    EXPECT_EQ(Draw("", font, kWhite), 0);
    EXPECT_EQ(Draw(nullptr, font, kWhite), 0);
    EXPECT_EQ(test::CountPixelsNot(kBlack), 0);
    EXPECT_EQ(graphic::Graphics().screen.presentedFrames, 0u);
}

TEST_F(TextDraw, InvalidOrDeletedFontIsRefusedWithTheMessage) {
    int font = MakeFont(0, -1);
    ASSERT_EQ(DeleteFont(font), 0);
    EXPECT_EQ(Draw("x", font, kWhite), -1);
    EXPECT_EQ(Draw("x", -1, kWhite), -1);
    EXPECT_EQ(Draw("x", 0x08000000, kWhite), -1); // a graphic handle
    int width = 0;
    EXPECT_EQ(MeasureString("x", font, &width, nullptr), -1);
    std::string message = test::Sjis("フォントハンドル値が異常です") + "\r\n";
    std::string log = LogText();
    size_t count = 0;
    for (size_t at = log.find(message); at != std::string::npos; at = log.find(message, at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(test::CountPixelsNot(kBlack), 0);
}

TEST_F(TextDraw, GlyphBoxGoesAtPenPlusOriginAndTopOffset) {
    int font = MakeFont(0, -1);
    ASSERT_EQ(Draw("xx", font, kWhite), 0);
    EXPECT_EQ(PixelAt(102, 53), kWhite);
    EXPECT_EQ(PixelAt(102 + 8, 53), kWhite);
    EXPECT_EQ(test::CountPixelsNot(kBlack), 2);
    // Extra spacing adds to every advance.
    test::FillTarget(kBlack);
    text::ResolveFont(font)->extraSpacing = 5;
    ASSERT_EQ(Draw("xx", font, kWhite), 0);
    EXPECT_EQ(PixelAt(102 + 13, 53), kWhite);
}

TEST_F(TextDraw, BrightnessScalesTheTint) {
    int font = MakeFont(0, -1);
    graphic::Graphics().draw.brightness = 0x808080;
    ASSERT_EQ(Draw("AB", font, kWhite), 0);
    // Two 8 x 10 boxes, every pixel 255 x 128 / 255 = 128.
    EXPECT_EQ(test::CountPixelsNot(kBlack), 2 * 80);
    EXPECT_EQ(PixelAt(101, 51), (Pixel{128, 128, 128}));
    EXPECT_EQ(test::CountPixelsNot(Pixel{128, 128, 128}), 800 * 600 - 2 * 80);
    // Per channel: (200, 100, 50) under brightness (255, 51, 0).
    test::FillTarget(kBlack);
    graphic::Graphics().draw.brightness = 0xFF3300;
    ASSERT_EQ(Draw("A", font, Pixel{200, 100, 50}), 0);
    EXPECT_EQ(PixelAt(101, 51), (Pixel{200, 20, 0}));
}

TEST_F(TextDraw, EdgedFontsDrawTheEdgeBelowTheGlyph) {
    int font = MakeFont(text::kFontEdge, 1);
    const Pixel red{255, 0, 0};
    const Pixel blue{0, 0, 255};
    ASSERT_EQ(Draw("x", font, red, blue), 0);
    // The box (with its edge) starts at the same place; the glyph sits 1 inside it.
    EXPECT_EQ(PixelAt(103, 54), red);
    EXPECT_EQ(PixelAt(102, 54), blue);
    EXPECT_EQ(PixelAt(104, 54), blue);
    EXPECT_EQ(PixelAt(103, 53), blue);
    EXPECT_EQ(PixelAt(103, 55), blue);
    EXPECT_EQ(test::CountPixelsNot(kBlack), 5);
}

TEST_F(TextDraw, DrawAreaClipsAndAnEmptyAreaDrawsNothing) {
    int font = MakeFont(0, -1);
    graphic::Graphics().draw.area = graphic::DrawArea{0, 0, 105, 55, false};
    ASSERT_EQ(Draw("A", font, kWhite), 0);
    // The box spans x 101..108 and y 48..57 (origin 1, top offset 13 - 12 + 50 - 50 ... ).
    EXPECT_EQ(test::CountPixelsNot(kBlack), (105 - 101) * (55 - 51));
    test::FillTarget(kBlack);
    graphic::Graphics().draw.area = graphic::DrawArea{0, 0, 0, 0, true};
    EXPECT_EQ(Draw("A", font, kWhite), 0);
    EXPECT_EQ(test::CountPixelsNot(kBlack), 0);
}

TEST_F(TextDraw, FrontScreenIsPresentedUnlessTheTextStartsPastTheRightEdge) {
    int font = MakeFont(0, -1);
    graphic::Graphics().screen.drawTarget = core::kFrontScreen;
    ASSERT_EQ(Draw("x", font, kWhite), 0);
    EXPECT_EQ(graphic::Graphics().screen.presentedFrames, 1u);
    EXPECT_EQ(PixelAt(102, 53), kWhite);
    test::FillTarget(kBlack);
    EXPECT_EQ(PrintTextWithFont(800, 50, "x", ScreenColor(kWhite), font, 0, 0), 0);
    EXPECT_EQ(graphic::Graphics().screen.presentedFrames, 1u);
    EXPECT_EQ(test::CountPixelsNot(kBlack), 0);
}

TEST_F(TextDraw, DoubleByteCharactersAreSingleUnits) {
    int font = MakeFont(0, -1);
    scripted.queries.clear();
    int width = 0;
    int height = 0;
    // The full-width blank and a character whose second byte is 0x40.
    ASSERT_EQ(MeasureString("\x81\x40\x83\x40x", font, &width, &height), 0);
    EXPECT_EQ(scripted.queries, (std::vector<uint32_t>{0x4081, 0x4083, 'x'}));
    EXPECT_EQ(width, 10 + 10 + 8);
    EXPECT_EQ(height, text::ResolveFont(font)->cells.height);
    // A lead byte at the end stands alone; half-width katakana are single bytes.
    scripted.queries.clear();
    ASSERT_EQ(MeasureString("\xB1\x82", font, &width, nullptr), 0);
    EXPECT_EQ(scripted.queries, (std::vector<uint32_t>{0xB1, 0x82}));
    // Hangeul fonts take every byte from 0x80 as a lead byte.
    int hangeul = CreateFontToHandle(nullptr, 16, -1, -1, text::kCharSetIndexHangeul, -1, 0);
    scripted.queries.clear();
    ASSERT_EQ(MeasureString("\xB0\xA1", hangeul, &width, nullptr), 0);
    EXPECT_EQ(scripted.queries, std::vector<uint32_t>{0xA1B0});
}

TEST_F(TextDraw, BlendModesGoThroughTheWorkScreen) {
    int font = MakeFont(0, -1);
    const Pixel grey{100, 100, 100};
    const Pixel red{255, 0, 0};
    struct Case {
        int mode, parameter;
        Pixel expected;
    };
    const Case cases[] = {
        {2, 128, {100 + 255 * 128 / 255, 100, 100}},
        {1, 128, {(128 * (255 - 100) + 256 * 100) >> 8, (128 * -100 + 256 * 100) >> 8, 50}},
        {3, 255, {0, 100, 100}},
        {4, 0, {255 * 100 / 256, 0, 0}},
        {2, 0, grey},
    };
    for (const Case& c : cases) {
        test::FillTarget(grey);
        SetBlend(c.mode, c.parameter);
        ASSERT_EQ(Draw("A", font, red), 0);
        EXPECT_EQ(PixelAt(101, 51), c.expected) << c.mode;
        EXPECT_EQ(PixelAt(108, 60), c.expected) << c.mode;
        // Around the glyph the key colour keeps the target as it was.
        EXPECT_EQ(PixelAt(100, 51), grey) << c.mode;
        EXPECT_EQ(PixelAt(109, 51), grey) << c.mode;
        EXPECT_EQ(test::CountPixelsNot(grey), c.expected == grey ? 0 : 80) << c.mode;
    }
}

TEST_F(TextDraw, AntialiasedLevelsBecomeAlpha) {
    scripted.glyphs['y'] = ScriptedGlyph{{0, 13, 8, 3, 1}, {"#hb"}};
    int font = MakeFont(text::kFontAntialiased, -1);
    ASSERT_EQ(Draw("y", font, kWhite), 0);
    // Stored levels 15, 7 and 1 give alpha 240, 112 and 16 over black.
    EXPECT_EQ(PixelAt(100, 50), (Pixel{240, 240, 240}));
    EXPECT_EQ(PixelAt(101, 50), (Pixel{112, 112, 112}));
    EXPECT_EQ(PixelAt(102, 50), (Pixel{16, 16, 16}));
    EXPECT_EQ(test::CountPixelsNot(kBlack), 3);
}

TEST_F(TextDraw, EdgedAntialiasedPixelsMixEdgeAndGlyph) {
    scripted.glyphs['y'] = ScriptedGlyph{{0, 13, 8, 2, 1}, {"#h"}};
    int font = MakeFont(text::kFontEdge | text::kFontAntialiased, 1);
    const Pixel blue{0, 0, 255};
    ASSERT_EQ(Draw("y", font, kWhite, blue), 0);
    // Glyph pixels sit 1 right and 1 down in the edged box.
    EXPECT_EQ(PixelAt(101, 51), kWhite); // g = 15
    // g = 7, e = 15: A = 8 x 15 + 16 x 7 = 232, edge moved toward the glyph by 112 / 232.
    int red = 255 * 112 / 232;
    int blueMixed = 255 + (255 - 255) * 112 / 232;
    EXPECT_EQ(PixelAt(102, 51), (Pixel{red * 232 / 255, red * 232 / 255, blueMixed * 232 / 255}));
    EXPECT_EQ(PixelAt(100, 51), (Pixel{0, 0, 240})); // edge only, e = 15
    EXPECT_EQ(PixelAt(103, 51), (Pixel{0, 0, 112})); // edge only, e = 7
    EXPECT_EQ(PixelAt(101, 50), (Pixel{0, 0, 240}));
    EXPECT_EQ(PixelAt(102, 50), (Pixel{0, 0, 112}));
    EXPECT_EQ(PixelAt(100, 50), kBlack); // g = 0, e = 0 leaves the target
}

TEST_F(TextDraw, SixteenBitScreenDrawsDirectAndKeepsTheKeyApartFromTheTint) {
    text::EndFonts();
    test::StopTestScreen();
    test::StartTestScreen(16, 320, 200);
    ASSERT_EQ(text::InitFonts(), 0);
    int font = MakeFont(0, -1);
    ASSERT_EQ(Draw("A", font, kWhite), 0);
    EXPECT_EQ(
        image::ReadPixelValue(test::TargetImage().pixels + 51 * test::TargetImage().pitch, 101, 2),
        0xFFFFu);
    // Brightness 0 tints white as black, the work screen's first key: the
    // multiplied glyph must still reach the target.
    test::FillTarget(kWhite);
    graphic::Graphics().draw.brightness = 0;
    SetBlend(4, 0);
    ASSERT_EQ(Draw("A", font, kWhite, kWhite), 0);
    EXPECT_EQ(PixelAt(101, 51), kBlack);
    EXPECT_EQ(test::CountPixelsNot(kWhite), 80);
    EXPECT_EQ(text::ResolveFont(font)->workScreen.width, 320);
}

TEST_F(TextDraw, FormattedTextEndsInALineFeedGlyphAfterABlank) {
    scripted.queries.clear();
    ASSERT_EQ(PrintTextFormat(10, 10, ScreenColor(kWhite), "Line To %d \n", 5), 0);
    std::vector<uint32_t> expected;
    for (char c : std::string("Line To5\n")) {
        expected.push_back(uint8_t(c));
    }
    EXPECT_EQ(scripted.queries, expected); // the blank once, the line feed as a character
    // Without a default font (graphics not started) nothing is drawn and nothing fails.
    graphic::Graphics().started = false;
    EXPECT_EQ(PrintText(10, 10, "x", ScreenColor(kWhite), 0), 0);
}

} // namespace
} // namespace velox
