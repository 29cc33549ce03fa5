#include "TextSupport.h"

#include "core/MemoryTracker.h"
#include "image/ColorFormat.h"

#include <cstring>

namespace velox::test {
namespace {

void MakeScreenImage(image::BaseImage& image, const image::ColorFormat& format, int width,
                     int height) {
    image.format = format;
    image.width = width;
    image.height = height;
    image.pitch = (width * format.bytesPerPixel + 3) / 4 * 4;
    image.pixels = static_cast<uint8_t*>(MemAllocZero(image.pitch * height, __FILE__, __LINE__));
}

int LevelOf(char c) {
    if (c == '#') {
        return 16;
    }
    return c >= 'a' && c <= 'p' ? c - 'a' + 1 : 0;
}

int32_t g_blocksAtStart = 0;

} // namespace

void StartTestScreen(int bits, int width, int height) {
    graphic::GraphicsState& g = graphic::Graphics();
    g = graphic::GraphicsState{};
    g.started = true;
    g.screenReady = true;
    g.screen.width = width;
    g.screen.height = height;
    g.screen.colorBits = bits;
    g.screen.format = *image::GetSoftwareFormat(bits == 32 ? 1 : 0, false, false);
    g.screen.drawTarget = core::kBackBuffer;
    MakeScreenImage(g.screen.back, g.screen.format, width, height);
    MakeScreenImage(g.screen.front, g.screen.format, width, height);
    g.draw.brightness = 0xFFFFFF;
    g.draw.area = graphic::DrawArea{0, 0, width, height, false};
}

void StopTestScreen() {
    graphic::GraphicsState& g = graphic::Graphics();
    image::ReleaseBaseImage(g.screen.back);
    image::ReleaseBaseImage(g.screen.front);
    g = graphic::GraphicsState{};
}

image::BaseImage& TargetImage() {
    graphic::GraphicsState& g = graphic::Graphics();
    return g.screen.drawTarget == core::kFrontScreen ? g.screen.front : g.screen.back;
}

void FillTarget(Pixel c) {
    image::FillBaseImage(TargetImage(), c.red, c.green, c.blue, 255);
}

Pixel PixelAt(int x, int y) {
    Pixel p{};
    image::GetBaseImagePixel(TargetImage(), x, y, &p.red, &p.green, &p.blue, nullptr);
    return p;
}

int CountPixelsNot(Pixel background) {
    const image::BaseImage& image = TargetImage();
    int count = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            count += PixelAt(x, y) == background ? 0 : 1;
        }
    }
    return count;
}

uint32_t ScreenColor(Pixel c) {
    return image::ComposeColor(graphic::Graphics().screen.format, c.red, c.green, c.blue, 0);
}

platform::RasterFont* ScriptedRasterizer::OpenFont(const platform::FontRequest& request) {
    opens.push_back(request);
    openFaces.emplace_back(request.faceName ? request.faceName : "");
    if (failOpens > 0) {
        --failOpens;
        return nullptr;
    }
    ++liveFonts;
    return reinterpret_cast<platform::RasterFont*>(new char(0));
}

void ScriptedRasterizer::CloseFont(platform::RasterFont* font) {
    --liveFonts;
    delete reinterpret_cast<char*>(font);
}

bool ScriptedRasterizer::GetFontMetrics(platform::RasterFont*, platform::FontMetrics& out) {
    out = metrics;
    return !failMetrics;
}

int32_t ScriptedRasterizer::GetGlyph(platform::RasterFont*, uint32_t code,
                                     platform::GlyphBitmapFormat format,
                                     platform::GlyphMetrics& out, uint8_t* buffer,
                                     int32_t bufferSize) {
    if (!buffer) {
        queries.push_back(code);
    }
    ScriptedGlyph glyph;
    auto found = glyphs.find(code);
    if (found != glyphs.end()) {
        glyph = found->second;
    } else {
        glyph.metrics = boxGlyph;
        glyph.rows.assign(size_t(boxGlyph.boxHeight), std::string(size_t(boxGlyph.boxWidth), '#'));
    }
    out = glyph.metrics;
    int pitch = platform::GlyphBitmapPitch(format, out.boxWidth);
    int32_t size = pitch * out.boxHeight;
    if (!buffer) {
        return size;
    }
    if (bufferSize < size) {
        return -1;
    }
    std::memset(buffer, 0, size_t(size));
    for (int y = 0; y < out.boxHeight; ++y) {
        for (int x = 0; x < out.boxWidth; ++x) {
            int level = LevelOf(glyph.rows[size_t(y)][size_t(x)]);
            if (format == platform::GlyphBitmapFormat::Grey17) {
                buffer[y * pitch + x] = uint8_t(level);
            } else if (level > 0) {
                buffer[y * pitch + x / 8] |= uint8_t(0x80 >> (x % 8));
            }
        }
    }
    return size;
}

platform::RasterFont* CountingRasterizer::OpenFont(const platform::FontRequest& request) {
    return platform::FreeTypeGlyphRasterizer().OpenFont(request);
}

void CountingRasterizer::CloseFont(platform::RasterFont* font) {
    platform::FreeTypeGlyphRasterizer().CloseFont(font);
}

bool CountingRasterizer::GetFontMetrics(platform::RasterFont* font, platform::FontMetrics& out) {
    return platform::FreeTypeGlyphRasterizer().GetFontMetrics(font, out);
}

int32_t CountingRasterizer::GetGlyph(platform::RasterFont* font, uint32_t code,
                                     platform::GlyphBitmapFormat format,
                                     platform::GlyphMetrics& metrics, uint8_t* buffer,
                                     int32_t bufferSize) {
    if (!buffer) {
        queries.push_back(code);
    }
    return platform::FreeTypeGlyphRasterizer().GetGlyph(font, code, format, metrics, buffer,
                                                        bufferSize);
}

void TextTest::SetUp() {
    g_blocksAtStart = core::mem_detail::CurrentTotals().blockCount;
    log_ = std::make_unique<LogCapture>();
    StartTestScreen(32, 800, 600);
    platform::SetGlyphRasterizer(rasterizer());
    text::ResetDefaultFontSettings();
    ASSERT_EQ(text::InitFonts(), 0);
}

void TextTest::TearDown() {
    text::EndFonts();
    platform::SetGlyphRasterizer(nullptr);
    StopTestScreen();
    log_.reset();
    // Every font, cache, work screen and glyph buffer went back to the allocator.
    EXPECT_EQ(core::mem_detail::CurrentTotals().blockCount, g_blocksAtStart);
}

} // namespace velox::test
