// Copying a rectangle of the draw target into a graphic: the rectangle rules, the
// three kinds of source, alpha, and sources that share the graphic's store.
#include "GraphicFixture.h"

namespace velox {
namespace {

// A value that tells every pixel apart, without spare or alpha bits.
uint32_t Pattern(int x, int y) {
    return uint32_t(x * 7 + y * 131) & 0x00FFFFFF;
}

class GraphicCaptureTest : public test::GraphicFixture {
protected:
    static void Paint(image::BaseImage& image, int left, int top, int width, int height) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                image::WritePixelValue(image.pixels + int64_t(top + y) * image.pitch, left + x,
                                       image.format.bytesPerPixel, Pattern(x, y));
            }
        }
    }
    // The graphic holds the pattern shifted by (dx, dy), with alpha bits `alpha`.
    static void ExpectPattern(int graphic, int dx, int dy, uint32_t alpha = 0) {
        int w = 0, h = 0;
        ASSERT_EQ(GetGraphicSize(graphic, &w, &h), 0);
        for (int y = 0; y < h; y += (h > 16 ? 37 : 1)) {
            for (int x = 0; x < w; x += (w > 16 ? 29 : 1)) {
                ASSERT_EQ(Raw(graphic, x, y), Pattern(x + dx, y + dy) | alpha) << x << "," << y;
            }
        }
    }
};

TEST_F(GraphicCaptureTest, WholeScreenGoesIntoAGraphicOfTheScreensSizeOnly) {
    Paint(graphic::Graphics().screen.back, 0, 0, 800, 600);
    const int full = CreateBlankGraphic(800, 600, 0);
    const int small = CreateBlankGraphic(640, 480, 0);
    EXPECT_EQ(CaptureScreenToGraphic(0, 0, 800, 600, full, 1), 0);
    ExpectPattern(full, 0, 0);
    EXPECT_EQ(CaptureScreenToGraphic(0, 0, 800, 600, small, 1), -1);
    EXPECT_EQ(Raw(small, 5, 5), 0u); // untouched
    EXPECT_EQ(CaptureScreenToGraphic(0, 0, 640, 480, small, 1), 0);
    ExpectPattern(small, 0, 0);
}

TEST_F(GraphicCaptureTest, RectangleMustLieInsideTheTargetAndMatchTheGraphic) {
    Paint(graphic::Graphics().screen.back, 0, 0, 800, 600);
    const int graphic = CreateBlankGraphic(32, 16, 0);
    const size_t lines = Log().size();
    struct Rect {
        int x1, y1, x2, y2;
    };
    for (Rect r :
         {Rect{-1, 0, 31, 16}, Rect{0, -1, 32, 15}, Rect{769, 0, 801, 16}, Rect{0, 585, 32, 601},
          Rect{10, 10, 41, 26}, Rect{10, 10, 42, 27}, Rect{10, 10, 10, 26}, Rect{42, 26, 10, 10}}) {
        EXPECT_EQ(CaptureScreenToGraphic(r.x1, r.y1, r.x2, r.y2, graphic, 1), -1)
            << r.x1 << "," << r.y1 << "," << r.x2 << "," << r.y2;
    }
    EXPECT_EQ(Raw(graphic, 0, 0), 0u);
    EXPECT_EQ(Log().size(), lines); // refused without a message
    EXPECT_EQ(CaptureScreenToGraphic(10, 20, 42, 36, graphic, 1), 0);
    ExpectPattern(graphic, 10, 20);
    EXPECT_EQ(CaptureScreenToGraphic(768, 584, 800, 600, graphic, 0), 0);
    ExpectPattern(graphic, 768, 584);
    EXPECT_EQ(CaptureScreenToGraphic(0, 0, 32, 16, 0x08001234, 1), -1);
}

TEST_F(GraphicCaptureTest, CapturedPixelsAreOpaqueInAGraphicWithAlpha) {
    Paint(graphic::Graphics().screen.back, 0, 0, 800, 600);
    SetBlankGraphicAlpha(1);
    const int graphic = CreateBlankGraphic(16, 16, 0);
    ASSERT_TRUE(View(graphic).alpha);
    ASSERT_EQ(CaptureScreenToGraphic(3, 4, 19, 20, graphic, 1), 0);
    ExpectPattern(graphic, 3, 4, 0xFF000000);

    // Also from a graphic target whose own pixels are transparent.
    SetDrawTargetGraphicMode(1, 1);
    const int target = CreateBlankGraphic(16, 16, 0);
    ASSERT_TRUE(View(target).alpha);
    Paint(*View(target).image, 0, 0, 16, 16); // alpha 0 everywhere
    ASSERT_EQ(SetDrawTarget(target), 0);
    ASSERT_EQ(CaptureScreenToGraphic(0, 0, 16, 16, graphic, 1), 0);
    ExpectPattern(graphic, 0, 0, 0xFF000000);
}

TEST_F(GraphicCaptureTest, SourceIsTheCurrentDrawTarget) {
    Paint(graphic::Graphics().screen.front, 0, 0, 800, 600);
    const int graphic = CreateBlankGraphic(8, 8, 0);
    ASSERT_EQ(SetDrawTarget(kDrawFrontScreen), 0);
    ASSERT_EQ(CaptureScreenToGraphic(100, 50, 108, 58, graphic, 1), 0);
    ExpectPattern(graphic, 100, 50);

    // A graphic target is read through its view: a derived target starts at its offset.
    SetDrawTargetGraphicMode(1, 0);
    const int canvas = CreateBlankGraphic(20, 20, 0);
    Paint(*View(canvas).image, 0, 0, 20, 20);
    const int window = DeriveGraphic(5, 6, 10, 10, canvas);
    ASSERT_EQ(SetDrawTarget(window), 0);
    EXPECT_EQ(CaptureScreenToGraphic(2, 2, 10, 10, graphic, 1), 0);
    ExpectPattern(graphic, 7, 8);
    // The target's own size bounds the rectangle, not the canvas behind it.
    EXPECT_EQ(CaptureScreenToGraphic(3, 3, 11, 11, graphic, 1), -1);

    // A target deleted while selected gives nothing to capture.
    ASSERT_EQ(DeleteGraphic(window, 0), 0);
    EXPECT_EQ(CaptureScreenToGraphic(0, 0, 8, 8, graphic, 1), -1);
}

TEST_F(GraphicCaptureTest, SixteenBitScreenCopiesItsValues) {
    SetScreen(800, 600, 16);
    image::BaseImage& back = graphic::Graphics().screen.back;
    ASSERT_EQ(back.format.bytesPerPixel, 2);
    image::WritePixelValue(back.pixels, 0, 2, 0xF81F);
    image::WritePixelValue(back.pixels, 1, 2, 0x07E0);
    const int graphic = CreateBlankGraphic(2, 1, 0);
    ASSERT_EQ(CaptureScreenToGraphic(0, 0, 2, 1, graphic, 1), 0);
    EXPECT_EQ(Raw(graphic, 0, 0), 0xF81Fu);
    EXPECT_EQ(Raw(graphic, 1, 0), 0x07E0u);
}

TEST_F(GraphicCaptureTest, OverlappingSourceInTheSameStoreIsReadBeforeItIsOverwritten) {
    SetDrawTargetGraphicMode(1, 0);
    const int canvas = CreateBlankGraphic(8, 1, 0);
    Paint(*View(canvas).image, 0, 0, 8, 1);
    const int right = DeriveGraphic(2, 0, 6, 1, canvas);
    ASSERT_EQ(SetDrawTarget(canvas), 0);
    ASSERT_EQ(CaptureScreenToGraphic(0, 0, 6, 1, right, 1), 0);
    const uint32_t expected[8] = {Pattern(0, 0), Pattern(1, 0), Pattern(0, 0), Pattern(1, 0),
                                  Pattern(2, 0), Pattern(3, 0), Pattern(4, 0), Pattern(5, 0)};
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(Raw(canvas, x, 0), expected[x]) << x;
    }
    // Capturing a graphic into itself leaves it as it was.
    ASSERT_EQ(SetDrawTarget(right), 0);
    ASSERT_EQ(CaptureScreenToGraphic(0, 0, 6, 1, right, 1), 0);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(Raw(canvas, x, 0), expected[x]) << x;
    }
}

} // namespace
} // namespace velox
