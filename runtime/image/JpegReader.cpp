// JPEG files through libjpeg, fed from the stream 4096 bytes at a time. A library
// error leaves the decode by longjmp, so the decoding function keeps only plain
// locals and frees by hand.
#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "image/ImageDecoder.h"
#include "image/ImageInput.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

namespace velox::image {
namespace {

using namespace image_input;

constexpr size_t kInputChunk = 4096;
constexpr int kRowsPerCall = 16;

struct JpegErrorExit {
    jpeg_error_mgr base;
    jmp_buf jump;
};

struct JpegStreamSource {
    jpeg_source_mgr base;
    file::Stream* stream;
    int64_t left; // bytes of the stream not yet read
    bool readAny;
    JOCTET buffer[kInputChunk];
};

// The library's warnings and errors go to the runtime's log, not to standard error,
// where a player or a checker would print them between its own lines.
void OutputMessage(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    LogWriteFormat("JPEG: %s\n", text);
}

void ErrorExit(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    longjmp(reinterpret_cast<JpegErrorExit*>(cinfo->err)->jump, 1);
}

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<JpegStreamSource*>(cinfo->src);
    size_t n = src->left < int64_t(kInputChunk) ? size_t(src->left) : kInputChunk;
    if (n > 0) {
        n = src->stream->ops->read(src->buffer, 1, n, src->stream->data);
    }
    if (n == 0) {
        if (!src->readAny) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        // Premature end: an end-of-image marker lets the library finish the picture.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    } else {
        src->readAny = true;
        src->left -= int64_t(n);
    }
    src->base.next_input_byte = src->buffer;
    src->base.bytes_in_buffer = n;
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr* src = cinfo->src;
    while (count > long(src->bytes_in_buffer)) {
        count -= long(src->bytes_in_buffer);
        FillInput(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= size_t(count);
}

void TermSource(j_decompress_ptr) {}

struct JpegResult {
    int32_t width;
    int32_t height;
    int32_t rowLength;
    int components;
    uint8_t* pixels;
};

// Plain locals only: a library error returns here by longjmp.
int Decode(JpegStreamSource& source, JpegResult& result) {
    jpeg_decompress_struct cinfo;
    JpegErrorExit error;
    uint8_t* volatile pixels = nullptr;

    cinfo.err = jpeg_std_error(&error.base);
    error.base.error_exit = ErrorExit;
    error.base.output_message = OutputMessage;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        MemFree(pixels);
        return -1;
    }
    jpeg_create_decompress(&cinfo);
    source.base.init_source = InitSource;
    source.base.fill_input_buffer = FillInput;
    source.base.skip_input_data = SkipInput;
    source.base.resync_to_restart = jpeg_resync_to_restart;
    source.base.term_source = TermSource;
    source.base.bytes_in_buffer = 0;
    source.base.next_input_byte = nullptr;
    cinfo.src = &source.base;

    jpeg_read_header(&cinfo, TRUE);
    // Blue, green, red straight from the library; other color spaces are refused.
    if (cinfo.out_color_space == JCS_RGB) {
        cinfo.out_color_space = JCS_EXT_BGR;
    } else if (cinfo.out_color_space != JCS_GRAYSCALE) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    if (!AcceptableSize(cinfo.image_width, cinfo.image_height)) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    jpeg_start_decompress(&cinfo);
    int64_t rowLength = int64_t(cinfo.output_width) * cinfo.output_components;
    int64_t size = CheckedProduct(rowLength, cinfo.output_height);
    if (size < 0 || (cinfo.output_components != 1 && cinfo.output_components != 3)) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    pixels = static_cast<uint8_t*>(MemAlloc(int32_t(size), __FILE__, __LINE__));
    if (!pixels) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[kRowsPerCall];
        JDIMENSION first = cinfo.output_scanline;
        JDIMENSION count = cinfo.output_height - first;
        if (count > kRowsPerCall) {
            count = kRowsPerCall;
        }
        for (JDIMENSION i = 0; i < count; ++i) {
            rows[i] = pixels + (first + i) * rowLength;
        }
        jpeg_read_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_decompress(&cinfo);
    result = {int32_t(cinfo.output_width), int32_t(cinfo.output_height), int32_t(rowLength),
              cinfo.output_components, pixels};
    jpeg_destroy_decompress(&cinfo);
    return 0;
}

} // namespace

int ReadJpegImage(file::Stream& stream, BaseImage& image) {
    int64_t start = stream.ops->tell(stream.data);
    int64_t left = BytesLeft(stream);
    if (start < 0 || left < 0) {
        return -1;
    }
    if (left >= 2) {
        // Every JPEG file begins with the start-of-image marker; anything else would
        // only be refused by the library after it had printed a complaint.
        uint8_t marker[2];
        if (!ReadExact(stream, marker, 2) || marker[0] != 0xFF || marker[1] != 0xD8 ||
            !SeekTo(stream, start, 0)) {
            return -1;
        }
    }
    auto* source = static_cast<JpegStreamSource*>(
        MemAllocZero(int32_t(sizeof(JpegStreamSource)), __FILE__, __LINE__));
    if (!source) {
        return -1;
    }
    source->stream = &stream;
    source->left = left;
    JpegResult result{};
    int status = Decode(*source, result);
    MemFree(source);
    if (status != 0) {
        return -1;
    }
    ColorFormat format{};
    if (result.components == 1) {
        SetGrey8Format(format);
    } else {
        SetRgb24Format(format);
    }
    Deliver(image, format, result.width, result.height, result.rowLength, result.pixels);
    return 0;
}

} // namespace velox::image
