// Graphic handles and records: allocation, validation after deletion, the deleted-flag
// pointer, sizes, blank graphics in the screen's formats, and the table's start and end.
#include "GraphicFixture.h"

namespace velox {
namespace {

using test::Sjis;

class GraphicTableTest : public test::GraphicFixture {};

TEST_F(GraphicTableTest, FirstHandleAfterStartIsSlotZeroSerialZero) {
    EXPECT_EQ(CreateBlankGraphic(4, 4, 0), 0x08000000);
    EXPECT_EQ(CreateBlankGraphic(4, 4, 0), 0x08010001);
    // A new start clears the table and its serial counter.
    graphic::StartGraphicTable();
    EXPECT_EQ(graphic::GraphicTables().graphics.count, 0);
    EXPECT_EQ(CreateBlankGraphic(4, 4, 0), 0x08000000);
}

TEST_F(GraphicTableTest, DeletedHandleIsStaleEvenWhenItsSlotIsReused) {
    const int first = CreateBlankGraphic(4, 4, 0);
    ASSERT_EQ(DeleteGraphic(first, 0), 0);
    EXPECT_EQ(DeleteGraphic(first, 0), -1);
    EXPECT_EQ(GetGraphicSize(first, nullptr, nullptr), -1);
    graphic::GraphicView view{};
    EXPECT_FALSE(graphic::ResolveGraphic(first, view));
    const int second = CreateBlankGraphic(4, 4, 0);
    EXPECT_EQ(second, 0x08010000); // slot 0 again, next serial
    EXPECT_EQ(DeleteGraphic(first, 0), -1);
    EXPECT_EQ(GetGraphicSize(second, nullptr, nullptr), 0);
}

TEST_F(GraphicTableTest, HandlesOfOtherKindsAndPseudoHandlesAreRejected) {
    const int graphic = CreateBlankGraphic(4, 4, 0);
    const size_t lines = Log().size();
    const int sameSlotAsSound = (graphic & ~(0xF << 27)) | (2 << 27);
    for (int handle : {-1, -2, -4, 0, sameSlotAsSound, graphic | 0x8000}) {
        EXPECT_EQ(DeleteGraphic(handle, 0), -1) << std::hex << handle;
        EXPECT_EQ(SetGraphicName(handle, "x"), -1);
        EXPECT_EQ(DeriveGraphic(0, 0, 1, 1, handle), -1);
    }
    EXPECT_EQ(graphic::GraphicTables().graphics.count, 1);
    EXPECT_EQ(Log().size(), lines); // rejected silently
}

TEST_F(GraphicTableTest, DeletedFlagPointerIsClearedWhenSetAndSetOnDelete) {
    const int graphic = CreateBlankGraphic(4, 4, 0);
    int flag = 7;
    ASSERT_EQ(SetDeletedFlagPointer(graphic, &flag), 0);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(DeleteGraphic(graphic, 0), 0);
    EXPECT_EQ(flag, 1);
    flag = 5;
    EXPECT_EQ(DeleteGraphic(graphic, 0), -1);
    EXPECT_EQ(flag, 5);
    EXPECT_EQ(SetDeletedFlagPointer(graphic, &flag), -1);

    // A removed pointer is not written.
    const int other = CreateBlankGraphic(4, 4, 0);
    ASSERT_EQ(SetDeletedFlagPointer(other, &flag), 0);
    ASSERT_EQ(SetDeletedFlagPointer(other, nullptr), 0);
    ASSERT_EQ(DeleteGraphic(other, 0), 0);
    EXPECT_EQ(flag, 0);
}

TEST_F(GraphicTableTest, DeleteAllReleasesEveryGraphicInSlotOrderWithItsLogLine) {
    int flags[3] = {};
    int handles[3];
    for (int i = 0; i < 3; ++i) {
        handles[i] = CreateBlankGraphic(2, 2, 0);
        char name[8];
        std::snprintf(name, sizeof name, "g%d", i);
        ASSERT_EQ(SetGraphicName(handles[i], name), 0);
        ASSERT_EQ(SetDeletedFlagPointer(handles[i], &flags[i]), 0);
    }
    ASSERT_EQ(DeleteGraphic(handles[1], 1), 0);
    EXPECT_EQ(DeleteAllGraphics(1), 0);
    EXPECT_EQ(graphic::GraphicTables().graphics.count, 0);
    EXPECT_EQ(graphic::GraphicTables().graphics.highWater, 0);
    EXPECT_EQ(graphic::GraphicTables().surfaces.count, 0);
    for (int flag : flags) {
        EXPECT_EQ(flag, 1);
    }
    EXPECT_TRUE(test::ContainsInOrder(Log(), {Sjis("グラフィック g1 の削除"),
                                              Sjis("グラフィック g0 の削除"),
                                              Sjis("グラフィック g2 の削除")}));
    // Without the log flag nothing is written.
    const size_t lines = Log().size();
    DeleteGraphic(CreateBlankGraphic(2, 2, 0), 0);
    DeleteAllGraphics(0);
    EXPECT_EQ(Log().size(), lines);
}

TEST_F(GraphicTableTest, SizeOfScreenPseudoHandlesIsTheScreenSize) {
    int w = 0, h = 0;
    ASSERT_EQ(GetGraphicSize(kDrawBackBuffer, &w, &h), 0);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    ASSERT_EQ(GetGraphicSize(kDrawFrontScreen, &w, &h), 0);
    EXPECT_EQ(w, 800);
    // A screen without a recorded size counts as 640 x 480.
    graphic::Graphics().screen.width = 0;
    graphic::Graphics().screen.height = 0;
    ASSERT_EQ(GetGraphicSize(kDrawFrontScreen, &w, &h), 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    graphic::Graphics().screen.width = 800;
    graphic::Graphics().screen.height = 600;
    const int graphic = CreateBlankGraphic(33, 17, 0);
    ASSERT_EQ(GetGraphicSize(graphic, &w, &h), 0);
    EXPECT_EQ(w, 33);
    EXPECT_EQ(h, 17);
    EXPECT_EQ(GetGraphicSize(graphic, nullptr, &h), 0);
}

TEST_F(GraphicTableTest, BlankGraphicsTakeTheScreensSoftwareFormat) {
    struct Case {
        int bits;
        bool alpha;
        int bytes;
        uint32_t alphaMask;
        uint32_t redMask;
    };
    for (Case c : {Case{32, false, 4, 0, 0x00FF0000}, Case{32, true, 4, 0xFF000000, 0x00FF0000},
                   Case{16, false, 2, 0, 0xF800}, Case{16, true, 4, 0x00FF0000, 0xF800}}) {
        SetScreen(800, 600, c.bits);
        SetBlankGraphicAlpha(c.alpha ? 1 : 0);
        const int graphic = CreateBlankGraphic(3, 2, 0);
        graphic::GraphicView v = View(graphic);
        ASSERT_NE(v.image, nullptr);
        EXPECT_EQ(v.image->format.bytesPerPixel, c.bytes);
        EXPECT_EQ(v.image->format.alphaMask, c.alphaMask);
        EXPECT_EQ(v.image->format.redMask, c.redMask);
        EXPECT_EQ(v.alpha, c.alpha);
        EXPECT_FALSE(v.drawTarget);
        EXPECT_EQ(v.image->pitch, (3 * c.bytes + 3) / 4 * 4);
        EXPECT_EQ(graphic::GraphicTables().settings.blankAlpha, c.alpha);
        EXPECT_EQ(graphic::FindGraphic(graphic)->flags.colorBitDepth, c.bits);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(Raw(graphic, x, y), 0u);
            }
        }
        DeleteGraphic(graphic, 0);
    }
}

TEST_F(GraphicTableTest, DrawTargetModeMakesDrawTargetsWithItsOwnAlphaChoice) {
    SetBlankGraphicAlpha(1);
    SetDrawTargetGraphicMode(1, 0);
    graphic::GraphicView v = View(CreateBlankGraphic(8, 8, 0));
    EXPECT_TRUE(v.drawTarget);
    EXPECT_FALSE(v.alpha);
    SetDrawTargetGraphicMode(1, 1);
    v = View(CreateBlankGraphic(8, 8, 0));
    EXPECT_TRUE(v.drawTarget);
    EXPECT_TRUE(v.alpha);
    SetDrawTargetGraphicMode(0, 0);
    EXPECT_FALSE(View(CreateBlankGraphic(8, 8, 0)).drawTarget);
}

TEST_F(GraphicTableTest, ImpossibleSizesFailAndGiveTheSlotBack) {
    for (auto [w, h] : {std::pair{0, 10}, std::pair{10, -1}, std::pair{40000, 40000}}) {
        EXPECT_EQ(CreateBlankGraphic(w, h, 0), -1);
    }
    EXPECT_EQ(graphic::GraphicTables().graphics.count, 0);
    EXPECT_EQ(graphic::GraphicTables().surfaces.count, 0);
    EXPECT_EQ(test::CountLines(Log(), Sjis("メモリイメージの作成に失敗しました")), 3);
    EXPECT_EQ(test::CountLines(Log(), Sjis("グラフィックの作成に失敗しました")), 3);
    EXPECT_EQ(CreateBlankGraphic(1, 1, 0) & 0xFFFF, 0);
}

TEST_F(GraphicTableTest, NothingWorksBeforeStartOrAfterEnd) {
    const int graphic = CreateBlankGraphic(4, 4, 0);
    int flag = 0;
    SetDeletedFlagPointer(graphic, &flag);
    graphic::EndGraphicsLayer();
    EXPECT_EQ(flag, 1); // the end deletes every graphic
    EXPECT_FALSE(graphic::GraphicTableStarted());
    EXPECT_EQ(CreateBlankGraphic(4, 4, 0), -1);
    EXPECT_EQ(LoadGraphic("missing.png", 0), -1);
    EXPECT_EQ(DeleteGraphic(graphic, 0), -1);
    EXPECT_EQ(DeleteAllGraphics(0), 0);
    EXPECT_EQ(CaptureScreenToGraphic(0, 0, 4, 4, graphic, 1), -1);
    // The missing file was not even looked for.
    EXPECT_EQ(test::FindLineStartingWith(Log(), Sjis("グラフィックファイル")), -1);
    ASSERT_EQ(graphic::StartGraphicsLayer(), 0);
    EXPECT_EQ(CreateBlankGraphic(4, 4, 0), 0x08000000);
}

TEST_F(GraphicTableTest, SettingsClampAndAreResetByStart) {
    SetTransparentColor(300, -5, 128);
    EXPECT_EQ(graphic::GraphicTables().settings.transparentColor, 0xFF0080u);
    SetUseTransparentColorToAlpha(5);
    SetUseTopLeftPixelAsTransparentColor(1);
    EXPECT_TRUE(graphic::GraphicTables().settings.transparentToAlpha);
    graphic::EndGraphicsLayer();
    ASSERT_EQ(graphic::StartGraphicsLayer(), 0);
    EXPECT_EQ(graphic::GraphicTables().settings.transparentColor, 0u);
    EXPECT_FALSE(graphic::GraphicTables().settings.transparentToAlpha);
    EXPECT_FALSE(graphic::GraphicTables().settings.useTopLeftTransparent);
}

TEST_F(GraphicTableTest, TransparentValueIsComposedWhenTheGraphicIsMade) {
    SetTransparentColor(255, 0, 255);
    const int magenta = CreateBlankGraphic(2, 2, 0);
    SetTransparentColor(0, 255, 0);
    EXPECT_EQ(View(magenta).transparentValue, 0xFFFF00FFu); // spare bits set, as composed
    SetScreen(800, 600, 16);
    EXPECT_EQ(View(CreateBlankGraphic(2, 2, 0)).transparentValue, 0x07E0u);
}

} // namespace
} // namespace velox
