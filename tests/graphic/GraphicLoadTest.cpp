// Loading graphics from image files: conversion into the screen's format, alpha
// companions, failure messages, paths through the file layer and archives, and the
// transparent-color options.
#include "GraphicFixture.h"

#include "VlaArchive.h"
#include "platform/FileSystem.h"

#include <filesystem>

namespace velox {
namespace {

using test::Picture;
using test::Sjis;

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr uint32_t kWhite = 0xFFFFFFFF, kKey = 0xFFFF00FF;

Picture FourColors() {
    Picture p = test::Filled(2, 2, 0);
    p.at(0, 0) = kRed;
    p.at(1, 0) = kGreen;
    p.at(0, 1) = kBlue;
    p.at(1, 1) = kWhite;
    return p;
}

// Grey levels 0, 85, 170, 255 in reading order.
Picture AlphaRamp() {
    Picture p = test::Filled(2, 2, 0);
    p.at(0, 0) = 0xFF000000;
    p.at(1, 0) = 0xFF555555;
    p.at(0, 1) = 0xFFAAAAAA;
    p.at(1, 1) = 0xFFFFFFFF;
    return p;
}

class GraphicLoadTest : public test::GraphicFixture {
protected:
    void ExpectFourColors(int graphic, bool withRampAlpha) {
        const uint32_t rgb[4] = {kRed, kGreen, kBlue, kWhite};
        const uint32_t alpha[4] = {0x00, 0x55, 0xAA, 0xFF};
        for (int i = 0; i < 4; ++i) {
            uint32_t expected = rgb[i];
            if (withRampAlpha) {
                expected = (expected & 0x00FFFFFF) | alpha[i] << 24;
            }
            EXPECT_EQ(Argb(graphic, i % 2, i / 2), expected) << "pixel " << i;
        }
        EXPECT_EQ(View(graphic).alpha, withRampAlpha);
    }
};

TEST_F(GraphicLoadTest, ImageIsConvertedIntoTheScreensFormatAndNamed) {
    WritePng("pic.png", FourColors());
    const int graphic = LoadGraphic("pic.png", 0);
    ASSERT_EQ(graphic, 0x08000000);
    int w = 0, h = 0;
    ASSERT_EQ(GetGraphicSize(graphic, &w, &h), 0);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(View(graphic).image->format.bytesPerPixel, 4);
    EXPECT_EQ(Raw(graphic, 0, 0) & 0x00FFFFFF, 0xFF0000u);
    ExpectFourColors(graphic, false);
    const graphic::GraphicRecord* record = graphic::FindGraphic(graphic);
    EXPECT_STREQ(record->name, "pic.png");
    EXPECT_EQ(std::filesystem::path(record->directory), std::filesystem::current_path());
}

TEST_F(GraphicLoadTest, SixteenBitScreenGivesFiveSixFivePixels) {
    SetScreen(800, 600, 16);
    WritePng("pic.png", FourColors());
    const int graphic = LoadGraphic("pic.png", 0);
    ASSERT_NE(graphic, -1);
    EXPECT_EQ(View(graphic).image->format.bytesPerPixel, 2);
    EXPECT_EQ(Raw(graphic, 0, 0), 0xF800u);
    EXPECT_EQ(Raw(graphic, 1, 0), 0x07E0u);
    EXPECT_EQ(Raw(graphic, 0, 1), 0x001Fu);
    EXPECT_EQ(Raw(graphic, 1, 1), 0xFFFFu);
}

TEST_F(GraphicLoadTest, AlphaCompanionBesideTheFileSuppliesAlpha) {
    WritePng("a.png", FourColors());
    WritePng("a_a.png", AlphaRamp(), PNG_COLOR_TYPE_GRAY);
    WritePng("pic", FourColors());
    WritePng("pic_a", AlphaRamp(), PNG_COLOR_TYPE_GRAY);
    // Only the last component can hold the extension.
    WritePng("v1.2/pic", FourColors());
    WritePng("v1.2/pic_a", AlphaRamp());
    WritePng("plain.png", FourColors());
    for (const char* path : {"a.png", "pic", "v1.2/pic"}) {
        SCOPED_TRACE(path);
        ExpectFourColors(LoadGraphic(path, 0), true);
    }
    ExpectFourColors(LoadGraphic("plain.png", 0), false);
}

TEST_F(GraphicLoadTest, CompanionNameKeepsDoubleByteCharactersWhole) {
    char out[64];
    struct Case {
        std::string path, expected;
    };
    for (const Case& c :
         {Case{"a.png", "a_a.png"}, Case{"pic", "pic_a"}, Case{"dir.x\\pic", "dir.x\\pic_a"},
          Case{"a.b.bmp", "a.b_a.bmp"},
          // 表 is 0x95 0x5C: its second byte is no separator.
          Case{Sjis("a.表"), Sjis("a_a.表")}, Case{Sjis("表\\p"), Sjis("表\\p_a")}}) {
        ASSERT_TRUE(graphic::AlphaCompanionName(c.path.c_str(), out, sizeof out)) << c.path;
        EXPECT_EQ(std::string(out), c.expected);
    }
    EXPECT_FALSE(graphic::AlphaCompanionName("abc", out, 5));
    EXPECT_TRUE(graphic::AlphaCompanionName("abc", out, 6));
}

TEST_F(GraphicLoadTest, MissingAndUndecodableFilesAreLoggedAndFail) {
    EXPECT_EQ(LoadGraphic("nothing.png", 0), -1);
    dir.Write("bad.png", "this is not any kind of image");
    EXPECT_EQ(LoadGraphic("bad.png", 0), -1);
    EXPECT_TRUE(
        test::ContainsInOrder(Log(), {Sjis("グラフィックファイル nothing.png がありません"),
                                      Sjis("右記のグラフィックファイルのロードに失敗しました："
                                           "bad.png ")}));
    EXPECT_EQ(graphic::GraphicTables().graphics.count, 0);
}

TEST_F(GraphicLoadTest, FailedLoadsLeaveTheEarlierGraphicAsItWas) {
    WritePng("good.png", FourColors());
    dir.Write("bad.png", "BM but not really");
    const int good = LoadGraphic("good.png", 0);
    ASSERT_NE(good, -1);
    EXPECT_EQ(LoadGraphic("bad.png", 0), -1);
    EXPECT_EQ(LoadGraphic("gone.png", 0), -1);
    EXPECT_EQ(graphic::GraphicTables().graphics.count, 1);
    EXPECT_EQ(graphic::GraphicTables().surfaces.count, 1);
    ExpectFourColors(good, false);
    EXPECT_STREQ(graphic::FindGraphic(good)->name, "good.png");
    // The next graphic takes the next slot: the failures left nothing behind.
    EXPECT_EQ(CreateBlankGraphic(1, 1, 0) & 0xFFFF, 1);
}

TEST_F(GraphicLoadTest, CompanionOfAnotherSizeFailsTheLoadAndBrokenOneIsIgnored) {
    WritePng("a.png", FourColors());
    WritePng("a_a.png", test::Filled(3, 2, kWhite), PNG_COLOR_TYPE_GRAY);
    EXPECT_EQ(LoadGraphic("a.png", 0), -1);
    EXPECT_EQ(graphic::GraphicTables().graphics.count, 0);
    dir.Write("a_a.png", "garbage");
    ExpectFourColors(LoadGraphic("a.png", 0), false);
}

TEST_F(GraphicLoadTest, WindowsStylePathsFindFilesOfAnyCase) {
    WritePng("Images/Sub/Pic.PNG", FourColors());
    WritePng("Images/Sub/Pic_a.PNG", AlphaRamp(), PNG_COLOR_TYPE_GRAY);
    const int graphic = LoadGraphic("images\\SUB\\pic.png", 0);
    ExpectFourColors(graphic, true);
    EXPECT_STREQ(graphic::FindGraphic(graphic)->name, "images\\SUB\\pic.png");
}

TEST_F(GraphicLoadTest, GraphicAndCompanionComeFromAPackedArchive) {
    WritePng("DATA/img/a.png", FourColors());
    WritePng("DATA/img/a_a.png", AlphaRamp(), PNG_COLOR_TYPE_GRAY);
    std::string error;
    ASSERT_TRUE(
        vla::PackDirectory(dir.path() + "/DATA", dir.path() + "/DATA.VLA", {}, error, nullptr))
        << error;
    std::filesystem::remove_all(dir.path() + "/DATA");
    platform::ForgetDirectoryCache();
    ExpectFourColors(LoadGraphic("DATA\\img\\a.png", 0), true);
    ExpectFourColors(LoadGraphic("data/IMG/A.PNG", 0), true);
    EXPECT_EQ(LoadGraphic("DATA\\img\\b.png", 0), -1);
}

TEST_F(GraphicLoadTest, TransparentPixelsTakeTheLastVisitedOpaqueNeighboursColor) {
    // K = transparent color. Opaque pixels A, B, C, D are visited in that order:
    //   K A K K
    //   B K K C
    //   K K D K
    constexpr uint32_t A = 0xFF102030, B = 0xFF405060, C = 0xFF708090, D = 0xFFA0B0C0;
    Picture p = test::Filled(4, 3, kKey);
    p.at(1, 0) = A;
    p.at(0, 1) = B;
    p.at(3, 1) = C;
    p.at(2, 2) = D;
    WritePng("keyed.png", p);
    SetTransparentColor(255, 0, 255);
    SetUseTransparentColorToAlpha(1);
    const int graphic = LoadGraphic("keyed.png", 0);
    ASSERT_NE(graphic, -1);
    EXPECT_TRUE(View(graphic).alpha);
    auto clear = [](uint32_t c) { return c & 0x00FFFFFF; };
    const uint32_t expected[3][4] = {
        {clear(B), A, clear(A), clear(C)}, // (0,0): right A, then lower B wins
        {B, clear(B), clear(D), C},        // (1,1): upper A, then left B; (2,1): C, then D
        {clear(B), clear(D), D, clear(D)}, // (3,2): upper C, then left D
    };
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(Argb(graphic, x, y), expected[y][x]) << x << "," << y;
        }
    }
}

TEST_F(GraphicLoadTest, TransparentToAlphaKeepsOwnAlphaAndLonelyKeyPixels) {
    Picture p = test::Filled(4, 1, 0xFF000000); // black is the default transparent color
    p.at(3, 0) = 0x80123456;                    // half transparent, not the key
    WritePng("row.png", p, PNG_COLOR_TYPE_RGB_ALPHA);
    SetUseTransparentColorToAlpha(1);
    const int graphic = LoadGraphic("row.png", 0);
    EXPECT_EQ(Argb(graphic, 0, 0), 0x00000000u); // no opaque neighbour: keeps the key color
    EXPECT_EQ(Argb(graphic, 1, 0), 0x00000000u);
    EXPECT_EQ(Argb(graphic, 2, 0), 0x00123456u);
    EXPECT_EQ(Argb(graphic, 3, 0), 0x80123456u);
    // Without the option the pixels come as they are.
    SetUseTransparentColorToAlpha(0);
    const int plain = LoadGraphic("row.png", 0);
    EXPECT_EQ(Argb(plain, 0, 0), 0xFF000000u);
    EXPECT_EQ(Argb(plain, 2, 0), 0xFF000000u);
}

TEST_F(GraphicLoadTest, TopLeftPixelBecomesTheGraphicsTransparentColor) {
    Picture p = FourColors();
    p.at(0, 0) = 0xFF0A141E;
    WritePng("pic.png", p);
    SetTransparentColor(1, 2, 3);
    SetUseTopLeftPixelAsTransparentColor(1);
    const int graphic = LoadGraphic("pic.png", 0);
    EXPECT_EQ(View(graphic).transparentValue, 0xFF0A141Eu);
    // The setting is restored afterwards.
    EXPECT_EQ(graphic::GraphicTables().settings.transparentColor, 0x010203u);
    EXPECT_EQ(View(CreateBlankGraphic(1, 1, 0)).transparentValue, 0xFF010203u);
}

} // namespace
} // namespace velox
