// BMP files: run-length and plain 4- and 8-bit pictures and plain 24-bit ones are
// unpacked here; every other layout is drawn by the platform's bitmap converter.
#include "core/Log.h"
#include "core/ShiftJis.h"
#include "image/ImageDecoder.h"
#include "image/ImageInput.h"
#include "platform/ImageConvert.h"

#include <cstring>

namespace velox::image {
namespace {

using namespace image_input;

constexpr int kInfoOffset = 14;    // the information header follows the file header
constexpr int kPaletteOffset = 40; // palette entries (or masks) in the header buffer
constexpr int kHeaderBufferSize = 1068;

struct BmpHeader {
    uint8_t bytes[kHeaderBufferSize];
    int32_t width;
    int32_t height; // as stored; negative for top-down rows
    int32_t rows;   // |height|
    uint16_t bitCount;
    uint32_t compression;
    int paletteEntries;
};

struct PixelData {
    const uint8_t* bytes;
    int64_t size;
};

// Copies `count` palette entries from the header with their reserved bytes cleared.
void TakePalette(ColorFormat& format, const BmpHeader& h, int count) {
    std::memset(format.palette, 0, sizeof format.palette);
    for (int i = 0; i < count && i < h.paletteEntries; ++i) {
        const uint8_t* e = h.bytes + kPaletteOffset + i * 4;
        format.palette[i] = {e[0], e[1], e[2], 0};
    }
}

// Row y of the output for the r-th row in file order.
int32_t OutputRow(const BmpHeader& h, int32_t r) {
    return h.height > 0 ? h.rows - 1 - r : r;
}

// Run-length decoding of 8-bit or 4-bit data into one index byte per pixel. The
// buffer is cleared beforehand, so skipped pixels keep index 0. A run that would
// leave its row is clipped there and ends the picture; so does running out of data.
void DecodeRunLength(const BmpHeader& h, const PixelData& data, bool fourBit, uint8_t* out,
                     int32_t pitch) {
    const uint8_t* in = data.bytes;
    int64_t pos = 0;
    int64_t row = 0; // in file order
    int64_t x = 0;
    // Writes one pixel; false once the position has left the picture.
    auto put = [&](uint8_t index) {
        if (row >= h.rows || x >= pitch) {
            return false;
        }
        out[int64_t(OutputRow(h, int32_t(row))) * pitch + x] = index;
        ++x;
        return true;
    };
    while (pos + 2 <= data.size) {
        uint8_t n = in[pos];
        uint8_t v = in[pos + 1];
        pos += 2;
        if (n > 0) {
            for (int i = 0; i < n; ++i) {
                uint8_t index = fourBit ? uint8_t((i & 1) ? v & 15 : v >> 4) : v;
                if (!put(index)) {
                    return;
                }
            }
            continue;
        }
        if (v == 0) { // end of row
            ++row;
            x = 0;
        } else if (v == 1) { // end of picture
            return;
        } else if (v == 2) { // delta: right, then rows on
            if (pos + 2 > data.size) {
                return;
            }
            x += in[pos];
            row += in[pos + 1];
            pos += 2;
        } else { // literal run of v pixels
            int64_t bytes = fourBit ? (v + 1) / 2 : v;
            if (pos + bytes > data.size) {
                return;
            }
            for (int i = 0; i < v; ++i) {
                uint8_t b = in[pos + (fourBit ? i / 2 : i)];
                uint8_t index = fourBit ? uint8_t((i & 1) ? b & 15 : b >> 4) : b;
                if (!put(index)) {
                    return;
                }
            }
            pos += bytes;
            pos += pos & 1; // runs are padded to an even offset
        }
    }
}

int ReadRunLength(const BmpHeader& h, const PixelData& data, bool fourBit, BaseImage& image) {
    int64_t pitch = (int64_t(h.width) + 3) / 4 * 4; // one byte per pixel either way
    int64_t size = CheckedProduct(pitch, h.rows);
    TrackedBuffer out(size);
    if (size < 0 || !out) {
        return -1;
    }
    std::memset(out.get(), 0, size_t(size));
    DecodeRunLength(h, data, fourBit, out.get(), int32_t(pitch));
    ColorFormat format{};
    SetIndexed8Format(format);
    TakePalette(format, h, fourBit ? 16 : 256);
    Deliver(image, format, h.width, h.rows, int32_t(pitch), out.Release());
    return 0;
}

int ReadPlain4(const BmpHeader& h, const PixelData& data, int64_t stride, BaseImage& image) {
    if (data.size / stride < h.rows) {
        return -1;
    }
    int64_t pitch = (int64_t(h.width) + 3) / 4 * 4;
    int64_t size = CheckedProduct(pitch, h.rows);
    TrackedBuffer out(size);
    if (size < 0 || !out) {
        return -1;
    }
    for (int32_t r = 0; r < h.rows; ++r) {
        const uint8_t* src = data.bytes + r * stride;
        uint8_t* dst = out.get() + int64_t(OutputRow(h, r)) * pitch;
        for (int32_t x = 0; x < h.width; ++x) {
            dst[x] = (x & 1) ? src[x / 2] & 15 : src[x / 2] >> 4;
        }
        std::memset(dst + h.width, 0, size_t(pitch - h.width));
    }
    ColorFormat format{};
    SetIndexed8Format(format);
    TakePalette(format, h, 16);
    Deliver(image, format, h.width, h.rows, int32_t(pitch), out.Release());
    return 0;
}

int ReadPlain8Or24(const BmpHeader& h, TrackedBuffer& read, const PixelData& data, int64_t stride,
                   BaseImage& image) {
    if (data.size / stride < h.rows) {
        return -1;
    }
    ColorFormat format{};
    if (h.bitCount == 8) {
        SetIndexed8Format(format);
        TakePalette(format, h, 256);
    } else {
        SetRgb24Format(format);
    }
    if (h.height < 0) {
        Deliver(image, format, h.width, h.rows, int32_t(stride), read.Release());
        return 0;
    }
    TrackedBuffer out(stride * h.rows);
    if (!out) {
        return -1;
    }
    for (int32_t r = 0; r < h.rows; ++r) {
        std::memcpy(out.get() + int64_t(OutputRow(h, r)) * stride, data.bytes + r * stride,
                    size_t(stride));
    }
    Deliver(image, format, h.width, h.rows, int32_t(stride), out.Release());
    return 0;
}

int ReadThroughPlatform(const BmpHeader& h, const PixelData& data, int64_t stride,
                        BaseImage& image) {
    if (data.size / stride < h.rows) {
        return -1; // too short for its rows: refused before a picture is made for it
    }
    platform::BitmapSource source{};
    source.width = h.width;
    source.height = h.height;
    source.bitCount = h.bitCount;
    source.compression = h.compression;
    source.palette = h.paletteEntries > 0 ? h.bytes + kPaletteOffset : nullptr;
    source.paletteEntries = h.paletteEntries;
    source.redMask = Le32(h.bytes + 40);
    source.greenMask = Le32(h.bytes + 44);
    source.blueMask = Le32(h.bytes + 48);
    source.bits = data.bytes;
    source.bitsSize = size_t(data.size);

    platform::Picture24 section{};
    if (!platform::CreatePicture24(h.width, h.rows, section)) {
        return LogWrite(SJIS("ＤＩＢの作成に失敗しました3\n"));
    }
    if (!platform::DrawBitmapIntoPicture24(source, section)) {
        platform::ReleasePicture24(section);
        return -1;
    }
    int64_t pitch = (int64_t(section.rowBytes) + 3) / 4 * 4;
    int64_t size = CheckedProduct(pitch, h.rows);
    TrackedBuffer out(size);
    if (size < 0 || !out) {
        platform::ReleasePicture24(section);
        return LogWrite(SJIS("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に"
                             "失敗しました\n"));
    }
    for (int32_t y = 0; y < h.rows; ++y) {
        std::memcpy(out.get() + y * pitch, section.pixels + int64_t(y) * section.rowBytes,
                    size_t(section.rowBytes));
    }
    platform::ReleasePicture24(section);
    ColorFormat format{};
    SetRgb24Format(format);
    Deliver(image, format, h.width, h.rows, int32_t(pitch), out.Release());
    return 0;
}

// Reads the information header and whatever of the palette or the masks the bit
// count calls for. False refuses the file.
bool ReadHeader(file::Stream& stream, BmpHeader& h, uint32_t dataOffset) {
    std::memset(h.bytes, 0, sizeof h.bytes);
    if (!ReadExact(stream, h.bytes, 44)) {
        return false;
    }
    uint32_t infoSize = Le32(h.bytes);
    h.width = int32_t(Le32(h.bytes + 4));
    h.height = int32_t(Le32(h.bytes + 8));
    h.bitCount = Le16(h.bytes + 14);
    h.compression = Le32(h.bytes + 16);
    h.paletteEntries = 0;
    int64_t rows = h.height < 0 ? -int64_t(h.height) : h.height;
    if (!AcceptableSize(h.width, rows)) {
        return false;
    }
    h.rows = int32_t(rows);

    if (h.bitCount <= 8) {
        if (h.bitCount == 0) {
            return false; // no palette to read
        }
        // A file may store fewer entries than the bit count allows (colors used);
        // the missing ones stay black rather than being read from the pixel data.
        int entries = 1 << h.bitCount;
        uint32_t colorsUsed = Le32(h.bytes + 32);
        if (colorsUsed > 0 && colorsUsed < uint32_t(entries)) {
            entries = int(colorsUsed);
        }
        // A longer information header puts the palette after itself; the classic
        // 40-byte header has it right at offset 40.
        if (infoSize > 40 && int64_t(infoSize) <= int64_t(dataOffset) - kInfoOffset) {
            if (!SeekTo(stream, kInfoOffset + int64_t(infoSize), 0) ||
                !ReadExact(stream, h.bytes + kPaletteOffset, size_t(entries) * 4)) {
                return false;
            }
        } else if (!ReadExact(stream, h.bytes + 44, size_t(entries) * 4 - 4)) {
            return false;
        }
        h.paletteEntries = entries;
    } else if (h.bitCount == 16 || h.bitCount == 32 || h.compression == 3) {
        if (!ReadExact(stream, h.bytes + 44, 8)) {
            return false;
        }
    }
    return true;
}

} // namespace

int ReadBmpImage(file::Stream& stream, BaseImage& image) {
    if (!SeekTo(stream, 0, 2)) {
        return -1;
    }
    int64_t fileSize = stream.ops->tell(stream.data);
    if (fileSize < 0 || !SeekTo(stream, 0, 0)) {
        return -1;
    }
    uint8_t fileHeader[14];
    if (!ReadExact(stream, fileHeader, sizeof fileHeader) || fileHeader[0] != 'B' ||
        fileHeader[1] != 'M') {
        return -1;
    }
    uint32_t dataOffset = Le32(fileHeader + 10);
    BmpHeader h;
    if (!ReadHeader(stream, h, dataOffset)) {
        return -1;
    }
    if (dataOffset > fileSize || !SeekTo(stream, dataOffset, 0)) {
        return -1;
    }
    int64_t dataSize = fileSize - dataOffset;
    TrackedBuffer read(dataSize);
    if (!read || !ReadExact(stream, read.get(), size_t(dataSize))) {
        return -1;
    }
    PixelData data{read.get(), dataSize};
    int64_t stride = (int64_t(h.width) * h.bitCount + 31) / 32 * 4;
    if (CheckedProduct(stride, h.rows) < 0) {
        return -1;
    }

    if (h.compression == 1 && h.bitCount == 8) {
        return ReadRunLength(h, data, false, image);
    }
    if (h.compression == 2 && h.bitCount == 4) {
        return ReadRunLength(h, data, true, image);
    }
    if (h.compression == 0 && h.bitCount == 4) {
        return ReadPlain4(h, data, stride, image);
    }
    if (h.compression == 0 && (h.bitCount == 8 || h.bitCount == 24)) {
        return ReadPlain8Or24(h, read, data, stride, image);
    }
    return ReadThroughPlatform(h, data, stride, image);
}

} // namespace velox::image
