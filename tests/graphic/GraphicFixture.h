// Graphic tests run in a scratch folder with the file layer installed, an 800 x 600
// screen and a started graphic table; at the end nothing of the graphics stays allocated.
#pragma once

#include "archive/ArchiveHook.h"
#include "core/MemoryTracker.h"
#include "file/FileAccess.h"
#include "graphics/GraphicRecord.h"
#include "graphics/Screen.h"
#include "platform/Backend.h"
#include "support/LogCapture.h"
#include "support/LogLines.h"
#include "support/PngFile.h"
#include "support/TempDir.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

namespace velox::test {

class GraphicFixture : public ::testing::Test {
protected:
    void SetUp() override {
        file::InstallArchiveAwareFileAccess();
        archive::ResetArchiveLayer();
        ASSERT_EQ(::chdir(dir.path().c_str()), 0);
        platform::BackendOptions options;
        options.kind = platform::BackendKind::Headless; // mode changes sleep in virtual time
        ASSERT_TRUE(platform::SelectBackend(options));
        baselineBlocks_ = core::mem_detail::CurrentTotals().blockCount;
        ASSERT_EQ(SetScreenMode(800, 600, 32, 60), 0);
        ASSERT_EQ(graphic::StartGraphicsLayer(), 0);
        ASSERT_EQ(SetDrawTarget(kDrawBackBuffer), 0);
    }
    void TearDown() override {
        graphic::EndGraphicsLayer();
        archive::EndArchiveLayer();
        EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, baselineBlocks_);
    }

    // A running screen mode change deletes every graphic, as the screen layer does.
    static void SetScreen(int width, int height, int colorBits) {
        ASSERT_EQ(SetScreenMode(width, height, colorBits, -1), 0);
        ASSERT_EQ(SetDrawTarget(kDrawBackBuffer), 0);
    }

    std::string WritePng(const std::string& name, const Picture& picture,
                         int colorType = PNG_COLOR_TYPE_RGB) {
        return dir.Write(name, EncodePng(picture, colorType));
    }

    static graphic::GraphicView View(int handle) {
        graphic::GraphicView view{};
        EXPECT_TRUE(graphic::ResolveGraphic(handle, view)) << std::hex << handle;
        return view;
    }
    // The stored value of the graphic's pixel (x, y).
    static uint32_t Raw(int handle, int x, int y) {
        graphic::GraphicView v = View(handle);
        if (!v.image) {
            return 0xDEADBEEF;
        }
        return image::ReadPixelValue(v.image->pixels + int64_t(v.y + y) * v.image->pitch, v.x + x,
                                     v.image->format.bytesPerPixel);
    }
    // The pixel as 0xAARRGGBB (alpha 0xFF for graphics without alpha).
    static uint32_t Argb(int handle, int x, int y) {
        graphic::GraphicView v = View(handle);
        int r = 0, g = 0, b = 0, a = 0;
        image::DecomposeColor(v.image->format, Raw(handle, x, y), &r, &g, &b, &a);
        if (!v.alpha) {
            a = 255;
        }
        return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
    }
    static void SetArgb(image::BaseImage& image, int x, int y, uint32_t argb) {
        image::SetBaseImagePixel(image, x, y, int(argb >> 16 & 0xFF), int(argb >> 8 & 0xFF),
                                 int(argb & 0xFF), int(argb >> 24));
    }

    std::vector<std::string> Log() const { return ReadLogLines(log.Directory() + "/Log.txt"); }

    LogCapture log; // before dir: it changes the current directory and restores it last
    TempDir dir;

private:
    int32_t baselineBlocks_ = 0;
};

} // namespace velox::test
