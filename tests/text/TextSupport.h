// Support for the text tests: a software screen behind the graphics seam, a
// rasteriser with exactly known glyphs, and one that counts what FreeType is
// asked to rasterise.
#pragma once

#include "graphics/GraphicsState.h"
#include "platform/GlyphRasterizer.h"
#include "support/LogCapture.h"
#include "text/Fonts.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velox::test {

struct Pixel {
    int red, green, blue;
    bool operator==(const Pixel& o) const {
        return red == o.red && green == o.green && blue == o.blue;
    }
};

// Screen images of bits (16 or 32) per pixel, the back buffer as draw target,
// the whole screen as draw area, brightness white, blend mode 0.
void StartTestScreen(int bits, int width, int height);
void StopTestScreen();
image::BaseImage& TargetImage(); // the image of the current draw target
void FillTarget(Pixel color);
Pixel PixelAt(int x, int y);
int CountPixelsNot(Pixel background);
uint32_t ScreenColor(Pixel color); // as GetColorValue gives it

// Glyphs drawn from a table: every code not in it is a full box of the default size.
struct ScriptedGlyph {
    platform::GlyphMetrics metrics;
    std::vector<std::string> rows; // one char per pixel: '.' 0, '#' 16, 'a'..'p' 1..16
};

class ScriptedRasterizer : public platform::GlyphRasterizer {
public:
    platform::FontMetrics metrics{16, 16, 13};
    platform::GlyphMetrics boxGlyph{1, 12, 10, 8, 10};
    std::map<uint32_t, ScriptedGlyph> glyphs;
    int failOpens = 0; // this many OpenFont calls fail first
    bool failMetrics = false;
    std::vector<platform::FontRequest> opens;
    std::vector<std::string> openFaces;
    std::vector<uint32_t> queries; // codes of the size queries, one per rasterisation

    platform::RasterFont* OpenFont(const platform::FontRequest& request) override;
    void CloseFont(platform::RasterFont* font) override;
    bool GetFontMetrics(platform::RasterFont* font, platform::FontMetrics& out) override;
    int32_t GetGlyph(platform::RasterFont* font, uint32_t code, platform::GlyphBitmapFormat format,
                     platform::GlyphMetrics& metrics, uint8_t* buffer, int32_t bufferSize) override;
    int liveFonts = 0;
};

// Passes everything to FreeType and notes the codes it is asked to rasterise.
class CountingRasterizer : public platform::GlyphRasterizer {
public:
    std::vector<uint32_t> queries;

    platform::RasterFont* OpenFont(const platform::FontRequest& request) override;
    void CloseFont(platform::RasterFont* font) override;
    bool GetFontMetrics(platform::RasterFont* font, platform::FontMetrics& out) override;
    int32_t GetGlyph(platform::RasterFont* font, uint32_t code, platform::GlyphBitmapFormat format,
                     platform::GlyphMetrics& metrics, uint8_t* buffer, int32_t bufferSize) override;
};

// A started graphics layer on a 32-bit 800 x 600 screen with the fonts set up;
// rasterizer() (when not null) serves every font of the test.
class TextTest : public ::testing::Test {
protected:
    virtual platform::GlyphRasterizer* rasterizer() { return nullptr; }
    void SetUp() override;
    void TearDown() override;
    std::string LogText() const { return log_->FileText(); }

private:
    std::unique_ptr<LogCapture> log_;
};

class ScriptedTextTest : public TextTest {
protected:
    platform::GlyphRasterizer* rasterizer() override { return &scripted; }
    ScriptedRasterizer scripted;
};

class CountingTextTest : public TextTest {
protected:
    platform::GlyphRasterizer* rasterizer() override { return &counting; }
    CountingRasterizer counting;
};

} // namespace velox::test
