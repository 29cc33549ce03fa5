// Derived graphics: the rectangle rules, and the pixel store they share with their
// source for as long as either lives.
#include "GraphicFixture.h"

namespace velox {
namespace {

class GraphicDeriveTest : public test::GraphicFixture {
protected:
    void SetUp() override {
        GraphicFixture::SetUp();
        source = CreateBlankGraphic(10, 8, 0);
        ASSERT_NE(source, -1);
    }
    static void Put(int graphic, int x, int y, uint32_t value) {
        graphic::GraphicView v = View(graphic);
        image::WritePixelValue(v.image->pixels + int64_t(v.y + y) * v.image->pitch, v.x + x,
                               v.image->format.bytesPerPixel, value);
    }
    int source = -1;
};

TEST_F(GraphicDeriveTest, RectangleMustStartInsideTheSourceAndBeNonEmpty) {
    EXPECT_EQ(DeriveGraphic(10, 0, 1, 1, source), -1); // x equal to the width
    EXPECT_EQ(DeriveGraphic(0, 8, 1, 1, source), -1);  // y equal to the height
    EXPECT_EQ(DeriveGraphic(11, 0, 1, 1, source), -1);
    EXPECT_EQ(DeriveGraphic(-1, 0, 4, 4, source), -1);
    EXPECT_EQ(DeriveGraphic(0, -1, 4, 4, source), -1);
    EXPECT_EQ(DeriveGraphic(0, 0, 0, 4, source), -1);
    EXPECT_EQ(DeriveGraphic(0, 0, 4, -3, source), -1);
    EXPECT_EQ(graphic::GraphicTables().graphics.count, 1);
    const int corner = DeriveGraphic(9, 7, 1, 1, source);
    int w = 0, h = 0;
    ASSERT_EQ(GetGraphicSize(corner, &w, &h), 0);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
}

TEST_F(GraphicDeriveTest, RectangleReachingBeyondTheSourceIsClipped) {
    const int part = DeriveGraphic(6, 5, 10, 10, source);
    ASSERT_NE(part, -1);
    int w = 0, h = 0;
    ASSERT_EQ(GetGraphicSize(part, &w, &h), 0);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 3);
    const int huge = DeriveGraphic(1, 1, 0x7FFFFFFF, 0x7FFFFFFF, source);
    ASSERT_EQ(GetGraphicSize(huge, &w, &h), 0);
    EXPECT_EQ(w, 9);
    EXPECT_EQ(h, 7);
}

TEST_F(GraphicDeriveTest, DerivedGraphicSharesTheSourcesPixels) {
    const int part = DeriveGraphic(6, 5, 3, 2, source);
    graphic::GraphicView whole = View(source);
    graphic::GraphicView v = View(part);
    EXPECT_EQ(v.image, whole.image);
    EXPECT_EQ(v.x, 6);
    EXPECT_EQ(v.y, 5);
    EXPECT_EQ(graphic::GraphicTables().surfaces.count, 1);
    Put(source, 7, 6, 0x00123456);
    EXPECT_EQ(Raw(part, 1, 1), 0x00123456u);
    Put(part, 2, 0, 0x00ABCDEF);
    EXPECT_EQ(Raw(source, 8, 5), 0x00ABCDEFu);

    // A graphic derived from a derived one adds the offsets and clips to its own source.
    const int inner = DeriveGraphic(1, 1, 5, 5, part);
    int w = 0, h = 0;
    ASSERT_EQ(GetGraphicSize(inner, &w, &h), 0);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(View(inner).x, 7);
    EXPECT_EQ(View(inner).y, 6);
    EXPECT_EQ(Raw(inner, 0, 0), 0x00123456u);
}

TEST_F(GraphicDeriveTest, DerivedGraphicTakesTheSourcesOptionsAndName) {
    SetBlankGraphicAlpha(1);
    SetDrawTargetGraphicMode(1, 1);
    SetTransparentColor(0, 0, 255);
    const int from = CreateBlankGraphic(4, 4, 0);
    ASSERT_EQ(SetGraphicName(from, "sprites.png"), 0);
    // Settings changed afterwards do not reach the derived graphic.
    SetDrawTargetGraphicMode(0, 0);
    SetTransparentColor(0, 0, 0);
    const int part = DeriveGraphic(1, 1, 2, 2, from);
    graphic::GraphicView v = View(part);
    EXPECT_TRUE(v.alpha);
    EXPECT_TRUE(v.drawTarget);
    EXPECT_EQ(v.transparentValue, 0xFF0000FFu);
    EXPECT_STREQ(graphic::FindGraphic(part)->name, "sprites.png");
    EXPECT_STREQ(graphic::FindGraphic(part)->directory, graphic::FindGraphic(from)->directory);
    EXPECT_EQ(graphic::FindGraphic(part)->movie, -1);
}

TEST_F(GraphicDeriveTest, StoreLivesUntilTheLastGraphicUsingItIsDeleted) {
    const int part = DeriveGraphic(2, 2, 4, 4, source);
    Put(source, 3, 3, 0x00777777);
    const int32_t blocks = core::mem_detail::CurrentTotals().blockCount;
    ASSERT_EQ(DeleteGraphic(source, 0), 0);
    EXPECT_EQ(graphic::GraphicTables().surfaces.count, 1);
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, blocks - 1); // the record alone
    EXPECT_EQ(Raw(part, 1, 1), 0x00777777u);
    EXPECT_EQ(DeriveGraphic(0, 0, 1, 1, source), -1);
    ASSERT_EQ(DeleteGraphic(part, 0), 0);
    EXPECT_EQ(graphic::GraphicTables().surfaces.count, 0);
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, blocks - 4); // records, store, pixels
}

} // namespace
} // namespace velox
