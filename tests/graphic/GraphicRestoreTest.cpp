// Refilling graphics after their pixels were lost: the callback registration and the
// default reload from each graphic's file and directory.
#include "GraphicFixture.h"

#include "core/Subsystems.h"

#include <filesystem>

namespace velox {
namespace {

using test::Picture;
using test::Sjis;

Picture Gradient(int width, int height) {
    Picture p = test::Filled(width, height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            p.at(x, y) = 0xFF000000 | uint32_t(x * 16) << 16 | uint32_t(y * 16) << 8 | 0x40;
        }
    }
    return p;
}

int gCalls = 0;
int gCount = -1;
void CountingCallback(int graphicCount) {
    ++gCalls;
    gCount = graphicCount;
}

class GraphicRestoreTest : public test::GraphicFixture {
protected:
    // Loses the graphic's pixels the way a lost device would.
    static void Scribble(int graphic) {
        graphic::GraphicView v = View(graphic);
        for (int y = 0; y < v.height; ++y) {
            for (int x = 0; x < v.width; ++x) {
                image::WritePixelValue(v.image->pixels + int64_t(v.y + y) * v.image->pitch, v.x + x,
                                       v.image->format.bytesPerPixel, 0x00010101);
            }
        }
    }
    static void ExpectGradient(int graphic, int dx, int dy) {
        graphic::GraphicView v = View(graphic);
        for (int y = 0; y < v.height; ++y) {
            for (int x = 0; x < v.width; ++x) {
                const uint32_t expected = 0xFF000000 | uint32_t((x + dx) * 16) << 16 |
                                          uint32_t((y + dy) * 16) << 8 | 0x40;
                ASSERT_EQ(Argb(graphic, x, y), expected) << x << "," << y;
            }
        }
    }
    static int Lost(int graphic) { return graphic::FindGraphic(graphic)->lost; }
};

TEST_F(GraphicRestoreTest, StartUpRegistersTheDefaultWhichReloadsFromFiles) {
    ASSERT_NE(core::Subsystems().registerDefaultRestore, nullptr);
    core::Subsystems().registerDefaultRestore();
    WritePng("pic.png", Gradient(6, 4));
    const int whole = LoadGraphic("pic.png", 0);
    const int part = DeriveGraphic(2, 1, 3, 2, whole);
    const int blank = CreateBlankGraphic(3, 3, 0);
    Scribble(whole);
    Scribble(blank);
    ASSERT_EQ(graphic::RestoreGraphics(), 0);
    EXPECT_EQ(test::CountLines(Log(), Sjis("グラフィックを復帰します")), 1);
    ExpectGradient(whole, 0, 0);
    ExpectGradient(part, 2, 1);
    EXPECT_EQ(Lost(whole), 0);
    EXPECT_EQ(Lost(part), 0);
    // A graphic without a file keeps what it had, and stays lost.
    EXPECT_EQ(Raw(blank, 1, 1), 0x00010101u);
    EXPECT_EQ(Lost(blank), 1);
}

TEST_F(GraphicRestoreTest, CallbackGetsTheGraphicCountAndNullSelectsTheDefault) {
    WritePng("pic.png", Gradient(2, 2));
    const int graphic = LoadGraphic("pic.png", 0);
    CreateBlankGraphic(1, 1, 0);
    ASSERT_EQ(SetGraphicRestoreCallback(&CountingCallback), 0);
    Scribble(graphic);
    ASSERT_EQ(graphic::RestoreGraphics(), 0);
    EXPECT_EQ(gCalls, 1);
    EXPECT_EQ(gCount, 2);
    EXPECT_EQ(Lost(graphic), 1);
    EXPECT_EQ(Raw(graphic, 0, 0), 0x00010101u);
    ASSERT_EQ(SetGraphicRestoreCallback(nullptr), 0);
    ASSERT_EQ(graphic::RestoreGraphics(), 0);
    EXPECT_EQ(gCalls, 1);
    ExpectGradient(graphic, 0, 0);
}

TEST_F(GraphicRestoreTest, ReloadUsesTheDirectoryOfTheLoadAndComesBack) {
    SetGraphicRestoreCallback(nullptr);
    WritePng("sub/pic.png", Gradient(4, 4));
    WritePng("sub/pic_a.png", test::Filled(4, 4, 0xFF808080), PNG_COLOR_TYPE_GRAY);
    WritePng("pic.png", test::Filled(4, 4, 0xFFFFFFFF)); // same name, other folder
    ASSERT_EQ(::chdir("sub"), 0);
    const int graphic = LoadGraphic("pic.png", 0);
    ASSERT_EQ(::chdir(".."), 0);
    const std::filesystem::path before = std::filesystem::current_path();
    Scribble(graphic);
    ASSERT_EQ(graphic::RestoreGraphics(), 0);
    EXPECT_EQ(std::filesystem::current_path(), before);
    EXPECT_EQ(Argb(graphic, 3, 2) & 0x00FFFFFF, 0x302040u);
    EXPECT_EQ(Argb(graphic, 3, 2) >> 24, 0x80u); // the companion was read again too
}

TEST_F(GraphicRestoreTest, GraphicWhoseFileChangedOrVanishedIsSkipped) {
    SetGraphicRestoreCallback(nullptr);
    WritePng("a.png", Gradient(4, 4));
    WritePng("b.png", Gradient(4, 4));
    WritePng("c.png", Gradient(4, 4));
    const int a = LoadGraphic("a.png", 0);
    const int b = LoadGraphic("b.png", 0);
    const int c = LoadGraphic("c.png", 0);
    WritePng("a.png", Gradient(3, 4)); // now too small for the graphic
    std::filesystem::remove(dir.path() + "/b.png");
    // A name cut to fit its field would find the wrong file.
    const std::string longName(80, 'x');
    ASSERT_EQ(SetGraphicName(c, longName.c_str()), 0);
    EXPECT_EQ(std::string(graphic::FindGraphic(c)->name), longName.substr(0, 63));
    for (int graphic : {a, b, c}) {
        Scribble(graphic);
    }
    const int d = LoadGraphic("c.png", 0);
    Scribble(d);
    ASSERT_EQ(graphic::RestoreGraphics(), 0);
    for (int graphic : {a, b, c}) {
        EXPECT_EQ(Lost(graphic), 1);
        EXPECT_EQ(Raw(graphic, 0, 0), 0x00010101u);
    }
    EXPECT_EQ(Lost(d), 0);
    ExpectGradient(d, 0, 0);
}

TEST_F(GraphicRestoreTest, ReloadAppliesTheTransparentColorToAlphaOption) {
    SetGraphicRestoreCallback(nullptr);
    Picture p = test::Filled(2, 1, 0xFF000000);
    p.at(1, 0) = 0xFF204060;
    WritePng("k.png", p);
    SetUseTransparentColorToAlpha(1);
    const int graphic = LoadGraphic("k.png", 0);
    EXPECT_EQ(Argb(graphic, 0, 0), 0x00204060u);
    Scribble(graphic);
    ASSERT_EQ(graphic::RestoreGraphics(), 0);
    EXPECT_EQ(Argb(graphic, 0, 0), 0x00204060u);
    EXPECT_EQ(Argb(graphic, 1, 0), 0xFF204060u);
}

} // namespace
} // namespace velox
