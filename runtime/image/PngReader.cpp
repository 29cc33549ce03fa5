// PNG files through libpng, read from the stream by a read function that never
// asks for more than is left. Library errors leave by longjmp, so the decoding
// function keeps only plain locals and frees by hand.
#include "core/MemoryTracker.h"
#include "image/ImageDecoder.h"
#include "image/ImageInput.h"

#include <csetjmp>
#include <cstring>

#include <png.h>

namespace velox::image {
namespace {

using namespace image_input;

struct PngStreamSource {
    file::Stream* stream;
    int64_t left;
};

void ReadFromStream(png_structp png, png_bytep data, png_size_t length) {
    auto* src = static_cast<PngStreamSource*>(png_get_io_ptr(png));
    if (int64_t(length) > src->left || !ReadExact(*src->stream, data, length)) {
        png_error(png, "Read Error");
    }
    src->left -= int64_t(length);
}

struct PngResult {
    int32_t width;
    int32_t height;
    int32_t rowBytes;
    int colorType;
    int channels;
    bool expanded;
    uint8_t* pixels;
    PaletteEntry palette[256];
};

// Plain locals only: a library error returns here by longjmp.
int Decode(PngStreamSource& source, PngResult& result) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        return -1;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return -1;
    }
    uint8_t* volatile pixels = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        MemFree(rows);
        MemFree(pixels);
        return -1;
    }
    png_set_read_fn(png, &source, ReadFromStream);
#ifdef VELOX_FUZZING
    // Fuzzed inputs would almost all stop at a checksum; the fuzz build lets them
    // through to the chunk and picture parsing.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#ifdef PNG_IGNORE_ADLER32
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
#endif
    // Only the header, palette, transparency and picture data matter to the result;
    // every other chunk is skipped unread, so that no length field of one can make
    // the library allocate or inflate more than the file holds.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    if (!AcceptableSize(width, height)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return -1;
    }
    png_set_strip_16(png);
    png_set_packing(png);
    png_set_packswap(png);
    bool expanded = (colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) ||
                    png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (expanded) {
        png_set_expand(png);
    }
    // Grey with an alpha channel or a transparency key becomes ARGB, so shadows and
    // glows keep their transparency instead of showing as a box.
    if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA ||
        (colorType == PNG_COLOR_TYPE_GRAY && png_get_valid(png, info, PNG_INFO_tRNS) != 0)) {
        png_set_gray_to_rgb(png);
    }
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    int64_t rowBytes = int64_t(png_get_rowbytes(png, info));
    int64_t size = CheckedProduct(rowBytes, height);
    int64_t rowTable = CheckedProduct(height, sizeof(png_bytep));
    if (size < 0 || rowTable < 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return -1;
    }
    rows = static_cast<png_bytep*>(MemAlloc(int32_t(rowTable), __FILE__, __LINE__));
    pixels = static_cast<uint8_t*>(MemAlloc(int32_t(size), __FILE__, __LINE__));
    if (!rows || !pixels) {
        png_destroy_read_struct(&png, &info, nullptr);
        MemFree(rows);
        MemFree(pixels);
        return -1;
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        rows[y] = pixels + int64_t(y) * rowBytes;
    }
    png_read_image(png, rows);
    png_read_end(png, nullptr);

    std::memset(result.palette, 0, sizeof result.palette);
    png_colorp palette = nullptr;
    int paletteSize = 0;
    if (png_get_PLTE(png, info, &palette, &paletteSize) != 0) {
        for (int i = 0; i < paletteSize && i < 256; ++i) {
            result.palette[i] = {palette[i].blue, palette[i].green, palette[i].red, 0};
        }
    }
    result.width = int32_t(width);
    result.height = int32_t(height);
    result.rowBytes = int32_t(rowBytes);
    result.colorType = colorType;
    result.channels = png_get_channels(png, info);
    result.expanded = expanded;
    result.pixels = pixels;
    png_destroy_read_struct(&png, &info, nullptr);
    MemFree(rows);
    return 0;
}

void ChooseFormat(const PngResult& r, ColorFormat& format) {
    if (r.colorType == PNG_COLOR_TYPE_PALETTE && !r.expanded) {
        SetIndexed8Format(format);
        std::memcpy(format.palette, r.palette, sizeof format.palette);
    } else if (r.channels == 4) {
        SetArgb32Format(format);
    } else if (r.channels == 1) {
        SetGrey8Format(format);
    } else {
        SetRgb24Format(format);
    }
}

} // namespace

int ReadPngImage(file::Stream& stream, BaseImage& image) {
    int64_t start = stream.ops->tell(stream.data);
    int64_t left = BytesLeft(stream);
    uint8_t signature[8];
    // Anything without the signature would only be refused by the library after it
    // had printed a complaint.
    if (start < 0 || left < int64_t(sizeof signature) ||
        !ReadExact(stream, signature, sizeof signature) ||
        png_sig_cmp(signature, 0, sizeof signature) != 0 || !SeekTo(stream, start, 0)) {
        return -1;
    }
    PngStreamSource source{&stream, left};
    auto* result =
        static_cast<PngResult*>(MemAllocZero(int32_t(sizeof(PngResult)), __FILE__, __LINE__));
    if (!result) {
        return -1;
    }
    if (Decode(source, *result) != 0) {
        MemFree(result);
        return -1;
    }
    ColorFormat format{};
    ChooseFormat(*result, format);
    Deliver(image, format, result->width, result->height, result->rowBytes, result->pixels);
    MemFree(result);
    return 0;
}

} // namespace velox::image
