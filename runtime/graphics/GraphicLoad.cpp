#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/Runtime.h"
#include "core/ShiftJis.h"
#include "file/Stream.h"
#include "graphics/GraphicRecord.h"
#include "image/ConvertPixels.h"
#include "image/ImageDecoder.h"

#include <cstring>

namespace velox::graphic {
namespace {

// A source pixel as a value of its format's masks; 1-byte pixels are their palette entry.
uint32_t SourceValue(const uint8_t* row, int x, const image::ColorFormat& format) {
    const uint32_t value = image::ReadPixelValue(row, x, format.bytesPerPixel);
    if (format.bytesPerPixel != 1) {
        return value;
    }
    const image::PaletteEntry& e = format.palette[value];
    auto at = [](uint8_t v, uint8_t shift) { return shift < 32 ? uint32_t(v) << shift : 0u; };
    return at(e.blue, format.blueShift) | at(e.green, format.greenShift) |
           at(e.red, format.redShift);
}

// Visiting opaque pixels row by row from the top, each gives its color (alpha 0) to its
// transparent left, upper, right and lower neighbours, so the last one visited wins.
// Filtered drawing then blends transparent edges toward their neighbours' colors.
void SpreadColorsIntoTransparentPixels(image::BaseImage& image) {
    auto pixel = [&image](int x, int y) {
        return reinterpret_cast<uint32_t*>(image.pixels + int64_t(y) * image.pitch) + x;
    };
    auto give = [&](int x, int y, uint32_t color) {
        if (x >= 0 && y >= 0 && x < image.width && y < image.height && (*pixel(x, y) >> 24) == 0) {
            *pixel(x, y) = color;
        }
    };
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint32_t value = *pixel(x, y);
            if ((value >> 24) == 0) {
                continue;
            }
            const uint32_t color = value & 0x00FFFFFF;
            give(x - 1, y, color);
            give(x, y - 1, color);
            give(x + 1, y, color);
            give(x, y + 1, color);
        }
    }
}

} // namespace

int KeyTransparentToAlpha(const image::BaseImage& image, uint32_t transparentColor,
                          image::BaseImage& out) {
    if (image.width <= 0 || image.height <= 0 || !image.pixels ||
        image::CreateArgb32BaseImage(image.width, image.height, out) != 0) {
        image::ReleaseBaseImage(out);
        return -1;
    }
    const image::PixelBlock source{image.pixels, image.pitch, &image.format};
    const image::PixelBlock noAlpha{nullptr, 0, nullptr};
    const image::PixelRect all{0, 0, image.width, image.height};
    image::ConvertPixels(out.pixels, out.pitch, out.format, source, noAlpha, 0, 0, all,
                         image::ConvertOptions{});

    // The key is compared in the image's own format, as drawing with transparency does.
    const image::ColorFormat& f = image.format;
    const uint32_t colorMask = f.redMask | f.greenMask | f.blueMask;
    const uint32_t key =
        image::ComposeColor(f, int(transparentColor >> 16 & 0xFF),
                            int(transparentColor >> 8 & 0xFF), int(transparentColor & 0xFF), 0) &
        colorMask;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = image.pixels + int64_t(y) * image.pitch;
        uint32_t* outRow = reinterpret_cast<uint32_t*>(out.pixels + int64_t(y) * out.pitch);
        for (int x = 0; x < image.width; ++x) {
            if ((SourceValue(row, x, f) & colorMask) == key) {
                outRow[x] &= 0x00FFFFFF;
            }
        }
    }
    SpreadColorsIntoTransparentPixels(out);
    return 0;
}

bool AlphaCompanionName(const char* path, char* out, int outSize) {
    const size_t length = std::strlen(path);
    // Only a '.' in the last path component starts an extension; the second byte of a
    // double-byte character may be '\', so the walk steps over whole characters.
    size_t dot = length;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (core::IsLeadByte(c) && i + 1 < length) {
            ++i;
        } else if (c == '\\' || c == '/') {
            dot = length;
        } else if (c == '.') {
            dot = i;
        }
    }
    if (length + 3 > size_t(outSize)) {
        return false;
    }
    std::memcpy(out, path, dot);
    out[dot] = '_';
    out[dot + 1] = 'a';
    std::memcpy(out + dot + 2, path + dot, length - dot);
    out[length + 2] = '\0';
    return true;
}

int DecodeGraphicFile(const char* path, image::BaseImage& image, image::BaseImage& alpha,
                      bool& haveAlpha) {
    haveAlpha = false;
    file::Stream stream;
    if (!file::OpenFileStream(path, stream)) {
        return 1;
    }
    const int decoded = image::DecodeImage(stream, image);
    file::CloseStream(stream);
    if (decoded != 0) {
        return 2;
    }
    const int nameSize = int(std::strlen(path)) + 3;
    char* companion = static_cast<char*>(MemAlloc(nameSize, __FILE__, __LINE__));
    if (companion && AlphaCompanionName(path, companion, nameSize) &&
        file::OpenFileStream(companion, stream)) {
        // A companion that does not decode is as good as none.
        haveAlpha = image::DecodeImage(stream, alpha) == 0;
        file::CloseStream(stream);
    }
    MemFree(companion);
    return 0;
}

void TransferIntoGraphic(const GraphicRecord& record, SurfaceData& data,
                         const image::BaseImage& image, const image::BaseImage* alpha) {
    const image::PixelBlock source{image.pixels, image.pitch, &image.format};
    const image::PixelBlock alphaBlock{alpha ? alpha->pixels : nullptr, alpha ? alpha->pitch : 0,
                                       alpha ? &alpha->format : nullptr};
    const image::PixelRect rect{record.sourceX, record.sourceY, record.sourceX + record.width,
                                record.sourceY + record.height};
    image::ConvertPixels(data.image.pixels, data.image.pitch, data.image.format, source, alphaBlock,
                         record.sourceX, record.sourceY, rect, image::ConvertOptions{});
}

int32_t CreateGraphicFromImages(image::BaseImage& image, image::BaseImage* alphaImage) {
    GraphicSettings& settings = GraphicTables().settings;
    image::BaseImage keyed{};
    image::BaseImage* source = &image;
    if (settings.transparentToAlpha) {
        if (KeyTransparentToAlpha(image, settings.transparentColor, keyed) != 0) {
            return LogWrite(SJIS("グラフィックの作成に失敗しました\n"));
        }
        source = &keyed;
    }
    image::RecomputeSpareMask(source->format);
    if (alphaImage) {
        image::RecomputeSpareMask(alphaImage->format);
    }
    // The graphic's transparent value is composed from the color in force at creation.
    const uint32_t savedColor = settings.transparentColor;
    if (settings.useTopLeftTransparent && image.width > 0 && image.height > 0) {
        int red = 0, green = 0, blue = 0;
        image::GetBaseImagePixel(image, 0, 0, &red, &green, &blue, nullptr);
        settings.transparentColor = uint32_t(red) << 16 | uint32_t(green) << 8 | uint32_t(blue);
    }
    int32_t handle = -1;
    if (!alphaImage ||
        (alphaImage->width == source->width && alphaImage->height == source->height)) {
        const bool alpha = source->format.alphaWidth != 0 || alphaImage != nullptr;
        handle = CreateGraphicRecord(source->width, source->height, alpha);
        GraphicRecord* record = FindGraphic(handle);
        if (record) {
            TransferIntoGraphic(*record, *FindSurfaceData(record->surfaceData), *source,
                                alphaImage);
        }
    }
    settings.transparentColor = savedColor;
    image::ReleaseBaseImage(keyed);
    return handle;
}

int LoadGraphic(const char* path) {
    if (!GraphicTableStarted() || !path) {
        return -1;
    }
    core::WaitWhileInactive();
    image::BaseImage image{};
    image::BaseImage alpha{};
    bool haveAlpha = false;
    switch (DecodeGraphicFile(path, image, alpha, haveAlpha)) {
    case 1:
        return LogWriteFormat(SJIS("グラフィックファイル %s がありません"), path);
    case 2:
        // Movies are not played into graphics here, so an undecodable file is no movie either.
        return LogWriteFormat(SJIS("右記のグラフィックファイルのロードに失敗しました：%s \n"),
                              path);
    default:
        break;
    }
    const int32_t handle = CreateGraphicFromImages(image, haveAlpha ? &alpha : nullptr);
    if (GraphicRecord* record = FindGraphic(handle)) {
        StoreGraphicName(*record, path);
    }
    image::ReleaseBaseImage(image);
    image::ReleaseBaseImage(alpha);
    return handle;
}

int CreateBlankGraphic(int width, int height) {
    if (!GraphicTableStarted()) {
        return -1;
    }
    return CreateGraphicRecord(width, height, GraphicTables().settings.blankAlpha);
}

} // namespace velox::graphic
