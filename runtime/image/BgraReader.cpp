// The runtime's raw "BGRA" format: a 16-byte header, then blue, green, red, alpha
// per pixel in 8 or 16 bits per channel (of 16 bits only the high byte is kept).
#include "image/ImageDecoder.h"
#include "image/ImageInput.h"

#include <cstring>

namespace velox::image {
namespace {

using namespace image_input;

constexpr uint32_t kEightBitChannels = 0x08080808;
constexpr uint32_t kSixteenBitChannels = 0x10101010;

} // namespace

int ReadBgraImage(file::Stream& stream, BaseImage& image) {
    uint8_t header[16];
    if (!ReadExact(stream, header, sizeof header) || std::memcmp(header, "BGRA", 4) != 0) {
        return -1;
    }
    uint32_t channels = Le32(header + 4);
    int32_t width = int32_t(Le32(header + 8));
    int32_t height = int32_t(Le32(header + 12));
    if ((channels != kEightBitChannels && channels != kSixteenBitChannels) ||
        !AcceptableSize(width, height)) {
        return -1;
    }
    int64_t pitch = int64_t(width) * 4;
    int64_t size = CheckedProduct(pitch, height);
    // The file must hold every pixel (two bytes a channel in the 16-bit layout)
    // before the picture is allocated.
    const int64_t need = channels == kEightBitChannels ? size : CheckedProduct(size, 2);
    if (size < 0 || need < 0 || need > BytesLeft(stream)) {
        return -1;
    }
    TrackedBuffer out(size);
    if (!out) {
        return -1;
    }
    if (channels == kEightBitChannels) {
        if (!ReadExact(stream, out.get(), size_t(size))) {
            return -1;
        }
    } else {
        TrackedBuffer row(pitch * 2);
        if (!row) {
            return -1;
        }
        for (int32_t y = 0; y < height; ++y) {
            if (!ReadExact(stream, row.get(), size_t(pitch * 2))) {
                return -1;
            }
            uint8_t* dst = out.get() + y * pitch;
            for (int64_t i = 0; i < pitch; ++i) {
                dst[i] = row.get()[i * 2 + 1]; // high byte of each little-endian channel
            }
        }
    }
    ColorFormat format{};
    SetArgb32Format(format);
    Deliver(image, format, width, height, int32_t(pitch), out.Release());
    return 0;
}

} // namespace velox::image
