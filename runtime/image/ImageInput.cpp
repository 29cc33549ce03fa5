#include "image/ImageInput.h"

#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "image/ImageDecoder.h"

#include <atomic>
#include <cstring>

namespace velox::image {
namespace {
std::atomic<int64_t> pixelBudget{kDefaultImagePixelBudget};
} // namespace

int64_t SetImagePixelBudget(int64_t pixels) {
    return pixelBudget.exchange(pixels < 1 ? 1 : pixels);
}

} // namespace velox::image

namespace velox::image_input {

bool ReadExact(file::Stream& stream, void* dst, size_t n) {
    if (n == 0) {
        return true;
    }
    // Items of one byte: a short read can never pass for a whole item.
    return stream.ops->read(dst, 1, n, stream.data) == n;
}

bool SeekTo(file::Stream& stream, int64_t offset, int origin) {
    return stream.ops->seek(stream.data, offset, origin) == 0;
}

int64_t BytesLeft(file::Stream& stream) {
    int64_t here = stream.ops->tell(stream.data);
    if (here < 0 || !SeekTo(stream, 0, 2)) {
        return -1;
    }
    int64_t end = stream.ops->tell(stream.data);
    if (!SeekTo(stream, here, 0) || end < here) {
        return -1;
    }
    return end - here;
}

bool AcceptableSize(int64_t width, int64_t height) {
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) {
        return false;
    }
    // Both sides are at most 2^14 here, so the product cannot overflow.
    const int64_t budget = image::pixelBudget.load(std::memory_order_relaxed);
    if (width * height > budget) {
        LogWriteFormat("picture of %lld x %lld pixels is over the budget of %lld pixels: "
                       "refused\n",
                       static_cast<long long>(width), static_cast<long long>(height),
                       static_cast<long long>(budget));
        return false;
    }
    return true;
}

int64_t CheckedProduct(int64_t a, int64_t b, int64_t c) {
    if (a < 0 || b < 0 || c < 0) {
        return -1;
    }
    // Each factor is below 2^31 after the first test, so two products fit 64 bits.
    if (a > INT32_MAX || b > INT32_MAX || c > INT32_MAX) {
        return -1;
    }
    int64_t ab = a * b;
    if (ab > INT32_MAX) {
        return -1;
    }
    int64_t abc = ab * c;
    return abc > INT32_MAX ? -1 : abc;
}

TrackedBuffer::TrackedBuffer(int64_t size) {
    if (size >= 0 && size <= INT32_MAX) {
        data_ = static_cast<uint8_t*>(MemAlloc(int32_t(size), __FILE__, __LINE__));
    }
}

TrackedBuffer::~TrackedBuffer() {
    MemFree(data_);
}

uint8_t* TrackedBuffer::Release() {
    uint8_t* data = data_;
    data_ = nullptr;
    return data;
}

void TrackedBuffer::Reset(uint8_t* data) {
    MemFree(data_);
    data_ = data;
}

void Deliver(image::BaseImage& out, const image::ColorFormat& format, int32_t width, int32_t height,
             int32_t pitch, uint8_t* pixels) {
    std::memcpy(&out.format, &format, sizeof format);
    out.width = width;
    out.height = height;
    out.pitch = pitch;
    out.pixels = pixels;
}

} // namespace velox::image_input
