// A draw test on the stand-in screen: 800 x 600, 32-bit, back buffer cleared to black.
#pragma once

#include "DrawSeam.h"

#include <gtest/gtest.h>
#include <velox/velox.h>

#include <deque>
#include <functional>

namespace velox::test {

class DrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        SeamStart(800, 600);
        FillImage32(SeamBack(), 0xFF000000u);
        FillImage32(SeamFront(), 0xFF000000u);
    }
    void TearDown() override {
        for (image::BaseImage& image : images_) {
            image::ReleaseBaseImage(image);
        }
        SeamEnd();
    }

    // A 32-bit graphic (family 1) whose pixel (x, y) is color(x, y) as stored.
    int32_t AddGraphic(int width, int height, const std::function<uint32_t(int, int)>& color,
                       bool alpha = false, uint32_t transparentValue = 0, bool drawTarget = false) {
        images_.push_back(MakeImage(width, height, 1, alpha));
        image::BaseImage& image = images_.back();
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                SetPixel32(image, x, y, color(x, y));
            }
        }
        return SeamAddGraphic(&image, 0, 0, width, height, transparentValue, drawTarget);
    }
    int32_t AddSolid(int width, int height, uint32_t value, bool alpha = false) {
        return AddGraphic(
            width, height, [value](int, int) { return value; }, alpha);
    }
    image::BaseImage& LastImage() { return images_.back(); }

    static uint32_t Back(int x, int y) { return Pixel32(SeamBack(), x, y) & 0xFFFFFF; }

    std::deque<image::BaseImage> images_;
};

// A distinct opaque color per pixel of a graphic up to 256 x 256.
inline uint32_t Tag(int x, int y) {
    return 0xFF000000u | uint32_t(x) << 16 | uint32_t(y) << 8 | 0x5A;
}

} // namespace velox::test
