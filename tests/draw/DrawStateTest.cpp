// The draw state: defaults, clamping, the vertex color, the draw area and the blend
// graphic, and what the public operations do while graphics are not running.
#include "DrawFixture.h"

#include "graphics/DrawState.h"

namespace velox::test {
namespace {

using DrawState = DrawTest;

TEST_F(DrawState, ResetGivesTheDefaultsAndTheWholeTarget) {
    SetBlendMode(2, 99);
    SetBrightness(1, 2, 3);
    SetDrawFilter(1);
    draw::SetDrawArea(5, 5, 10, 10);
    draw::ResetDrawState();
    const velox::graphic::DrawState& d = graphic::Graphics().draw;
    EXPECT_EQ(d.blendMode, 0);
    EXPECT_EQ(d.blendParameter, 0);
    EXPECT_EQ(d.brightness, 0xFFFFFFu);
    EXPECT_EQ(d.drawFilter, 0);
    EXPECT_EQ(d.blendGraphic, -1);
    EXPECT_EQ(d.area.left, 0);
    EXPECT_EQ(d.area.top, 0);
    EXPECT_EQ(d.area.right, 800);
    EXPECT_EQ(d.area.bottom, 600);
    EXPECT_FALSE(d.area.empty);
    EXPECT_EQ(d.vertexColor, 0xFFFFFFFFu);
}

TEST_F(DrawState, WithoutAScreenTheAreaIsTheDefaultScreenSize) {
    SeamEnd();
    graphic::Graphics().started = true;
    draw::ResetDrawState();
    EXPECT_EQ(graphic::Graphics().draw.area.right, 640);
    EXPECT_EQ(graphic::Graphics().draw.area.bottom, 480);
}

TEST_F(DrawState, ParameterAndBrightnessAreClampedTo255) {
    EXPECT_EQ(SetBlendMode(1, 300), 0);
    EXPECT_EQ(graphic::Graphics().draw.blendParameter, 255);
    EXPECT_EQ(SetBlendMode(1, -5), 0);
    EXPECT_EQ(graphic::Graphics().draw.blendParameter, 0);
    EXPECT_EQ(SetBrightness(300, -1, 128), 0);
    EXPECT_EQ(graphic::Graphics().draw.brightness, 0xFF0080u);
}

TEST_F(DrawState, VertexColorCarriesParameterOnlyWithABlendMode) {
    SetBrightness(16, 32, 64);
    SetBlendMode(1, 128);
    EXPECT_EQ(graphic::Graphics().draw.vertexColor, 0x80102040u);
    SetBlendMode(0, 128);
    EXPECT_EQ(graphic::Graphics().draw.vertexColor, 0xFF102040u);
    SetBrightness(255, 255, 255);
    EXPECT_EQ(graphic::Graphics().draw.vertexColor, 0xFFFFFFFFu);
}

TEST_F(DrawState, DrawAreaCornersAreOrderedAndClamped) {
    EXPECT_EQ(draw::SetDrawArea(900, 700, -10, 20), 0);
    const graphic::DrawArea& a = graphic::Graphics().draw.area;
    EXPECT_EQ(a.left, 0);
    EXPECT_EQ(a.top, 20);
    EXPECT_EQ(a.right, 800);
    EXPECT_EQ(a.bottom, 600);
    EXPECT_FALSE(a.empty);
    draw::SetDrawArea(-50, 10, -20, 30); // both x clamp to 0: empty
    EXPECT_TRUE(graphic::Graphics().draw.area.empty);
}

TEST_F(DrawState, EmptyDrawAreaMakesEveryDrawDoNothing) {
    const int32_t g = AddSolid(4, 4, 0xFFFFFFFFu);
    draw::SetDrawArea(100, 0, 100, 600);
    EXPECT_EQ(DrawGraphicStretched(0, 0, 800, 600, g, 0), 0);
    EXPECT_EQ(DrawGraphicRotated(400, 300, 2, 2, 3.0, 0.5, g, 0, 0), 0);
    EXPECT_EQ(DrawGraphicRotated(400, 300, 2, 2, 1.0, 0.0, g, 0, 0), 0);
    // Even an invalid handle: the empty area is tested first.
    EXPECT_EQ(DrawGraphicStretched(0, 0, 10, 10, 12345, 0), 0);
    EXPECT_EQ(draw::FillRectangle(0, 0, 800, 600, 0xFFFFFF), 0);
    for (int y = 0; y < 600; y += 7) {
        for (int x = 0; x < 800; x += 7) {
            ASSERT_EQ(Back(x, y), 0u) << x << "," << y;
        }
    }
    // Drawing works again once the area has width.
    draw::SetDrawArea(0, 0, 800, 600);
    EXPECT_EQ(DrawGraphicStretched(0, 0, 8, 8, g, 0), 0);
    EXPECT_EQ(Back(7, 7), 0xFFFFFFu);
}

TEST_F(DrawState, SuspendedGraphicsIgnoreSettersAndDraws) {
    const int32_t g = AddSolid(4, 4, 0xFFFFFFFFu);
    graphic::Graphics().started = false;
    EXPECT_EQ(SetBlendMode(2, 50), 0);
    EXPECT_EQ(SetBrightness(1, 1, 1), 0);
    EXPECT_EQ(SetDrawFilter(1), 0);
    EXPECT_EQ(DrawGraphicStretched(0, 0, 8, 8, g, 0), 0);
    EXPECT_EQ(DrawGraphicRotated(4, 4, 0, 0, 1.0, 0.0, 99999, 0, 0), 0);
    graphic::Graphics().started = true;
    EXPECT_EQ(graphic::Graphics().draw.blendMode, 0);
    EXPECT_EQ(graphic::Graphics().draw.brightness, 0xFFFFFFu);
    EXPECT_EQ(graphic::Graphics().draw.drawFilter, 0);
    EXPECT_EQ(Back(0, 0), 0u);
}

TEST_F(DrawState, InvalidHandlesAndUnusableTargetsFail) {
    EXPECT_EQ(DrawGraphicStretched(0, 0, 10, 10, 777, 0), -1);
    EXPECT_EQ(DrawGraphicRotated(10, 10, 0, 0, 2.0, 1.0, -1, 0, 0), -1);
    EXPECT_EQ(DrawGraphicRotated(10, 10, 0, 0, 1.0, 0.0, -1, 0, 0), -1);
    const int32_t g = AddSolid(4, 4, 0xFFFFFFFFu);
    const int32_t notATarget = AddSolid(8, 8, 0xFF000000u);
    graphic::Graphics().screen.drawTarget = notATarget;
    EXPECT_EQ(DrawGraphicStretched(0, 0, 8, 8, g, 0), -1);
}

TEST_F(DrawState, BlendGraphicIsValidatedClampedAndMustCoverTheGraphic) {
    const int32_t g = AddSolid(10, 10, 0xFFFFFFFFu);
    const int32_t small = AddSolid(10, 9, 0xFF000000u);
    const int32_t large = AddSolid(12, 10, 0xFF000000u);
    EXPECT_EQ(draw::SetBlendGraphic(4242, 1, 2), -1);
    EXPECT_EQ(graphic::Graphics().draw.blendGraphic, -1);
    EXPECT_EQ(draw::SetBlendGraphic(small, 300, -4), 0);
    EXPECT_EQ(graphic::Graphics().draw.blendGraphicParameter1, 255);
    EXPECT_EQ(graphic::Graphics().draw.blendGraphicParameter2, 0);
    EXPECT_EQ(DrawGraphicStretched(0, 0, 20, 20, g, 0), -1);
    EXPECT_EQ(DrawGraphicRotated(50, 50, 5, 5, 1.0, 0.0, g, 0, 0), -1);
    EXPECT_EQ(Back(0, 0), 0u);
    EXPECT_EQ(draw::SetBlendGraphic(large, 0, 0), 0);
    EXPECT_EQ(DrawGraphicStretched(0, 0, 20, 20, g, 0), 0);
    EXPECT_EQ(Back(0, 0), 0xFFFFFFu);
    EXPECT_EQ(draw::SetBlendGraphic(-1, 0, 0), 0);
    EXPECT_EQ(graphic::Graphics().draw.blendGraphic, -1);
}

TEST_F(DrawState, DrawingOnTheFrontScreenPresentsAtOnce) {
    const int32_t g = AddSolid(4, 4, 0xFFFFFFFFu);
    DrawGraphicStretched(0, 0, 8, 8, g, 0);
    EXPECT_EQ(SeamPresentCount(), 0);
    graphic::Graphics().screen.drawTarget = kDrawFrontScreen;
    EXPECT_EQ(DrawGraphicStretched(0, 0, 8, 8, g, 0), 0);
    EXPECT_EQ(SeamPresentCount(), 1);
    EXPECT_EQ(Pixel32(SeamFront(), 3, 3) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(DrawGraphicRotated(100, 100, 2, 2, 1.5, 0.3, g, 0, 0), 0);
    EXPECT_EQ(SeamPresentCount(), 2);
    // A failed draw presents nothing.
    EXPECT_EQ(DrawGraphicStretched(5, 5, 5, 9, g, 0), -1);
    EXPECT_EQ(SeamPresentCount(), 2);
}

} // namespace
} // namespace velox::test
