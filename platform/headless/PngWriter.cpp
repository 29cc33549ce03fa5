#include "platform/headless/PngWriter.h"

#include <cstdio>
#include <cstring>
#include <libdeflate.h>
#include <memory>

namespace velox::platform::headless {
namespace {

// The fastest level; with the Up filter it keeps most of the size gain of slower ones.
constexpr int kDeflateLevel = 1;
constexpr uint8_t kFilterUp = 2;

void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Appends a chunk whose data is already at the end of `out` (data bytes long).
void CloseChunk(std::vector<uint8_t>& out, size_t start, const char type[4], size_t data) {
    Put32(out.data() + start, uint32_t(data));
    std::memcpy(out.data() + start + 4, type, 4);
    const uint32_t crc = libdeflate_crc32(0, out.data() + start + 4, data + 4);
    uint8_t tail[4];
    Put32(tail, crc);
    out.insert(out.end(), tail, tail + 4);
}

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

} // namespace

std::vector<uint8_t> EncodePng(const uint32_t* pixels, int width, int height, int pitchBytes) {
    std::vector<uint8_t> png;
    if (!pixels || width <= 0 || height <= 0 || width > kPngMaxSide || height > kPngMaxSide ||
        pitchBytes < width * 4) {
        return png;
    }
    const size_t rowBytes = 1 + size_t(width) * 3;
    std::vector<uint8_t> filtered(rowBytes * size_t(height));
    const std::vector<uint32_t> blackRow(size_t(width), 0);
    const auto* base = reinterpret_cast<const uint8_t*>(pixels);
    const uint32_t* above = blackRow.data();
    // Unpacking to RGB and the Up filter in one pass over the picture.
    for (int y = 0; y < height; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(base + size_t(y) * size_t(pitchBytes));
        uint8_t* row = filtered.data() + size_t(y) * rowBytes;
        *row++ = kFilterUp;
        for (int x = 0; x < width; ++x) {
            const uint32_t p = src[x];
            const uint32_t q = above[x];
            row[0] = uint8_t((p >> 16) - (q >> 16));
            row[1] = uint8_t((p >> 8) - (q >> 8));
            row[2] = uint8_t(p - q);
            row += 3;
        }
        above = src;
    }
    std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(
        libdeflate_alloc_compressor(kDeflateLevel));
    if (!compressor) {
        return png;
    }
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filtered.size());
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.reserve(8 + 25 + 12 + bound + 12);
    png.assign(kSignature, kSignature + 8);

    size_t start = png.size();
    png.resize(start + 8 + 13);
    uint8_t* ihdr = png.data() + start + 8;
    Put32(ihdr, uint32_t(width));
    Put32(ihdr + 4, uint32_t(height));
    ihdr[8] = 8;  // bits per sample
    ihdr[9] = 2;  // RGB
    ihdr[10] = 0; // deflate
    ihdr[11] = 0; // adaptive filtering
    ihdr[12] = 0; // no interlace
    CloseChunk(png, start, "IHDR", 13);

    start = png.size();
    png.resize(start + 8 + bound);
    const size_t packed = libdeflate_zlib_compress(compressor.get(), filtered.data(),
                                                   filtered.size(), png.data() + start + 8, bound);
    if (packed == 0) {
        png.clear();
        return png;
    }
    png.resize(start + 8 + packed);
    CloseChunk(png, start, "IDAT", packed);

    start = png.size();
    png.resize(start + 8);
    CloseChunk(png, start, "IEND", 0);
    return png;
}

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitchBytes) {
    const std::vector<uint8_t> png = EncodePng(pixels, width, height, pitchBytes);
    if (png.empty()) {
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::remove(path.c_str());
    }
    return ok;
}

} // namespace velox::platform::headless
