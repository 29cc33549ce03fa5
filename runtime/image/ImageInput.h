// What every image reader shares: exact reads from the stream, little-endian
// fields, and size arithmetic that is checked before anything is allocated.
#pragma once

#include "file/Stream.h"
#include "image/BaseImage.h"

#include <cstddef>
#include <cstdint>

namespace velox::image_input {

// The largest width or height any reader accepts.
constexpr int64_t kMaxImageSide = 16384;

// True only when all n bytes were read.
bool ReadExact(file::Stream& stream, void* dst, size_t n);
bool SeekTo(file::Stream& stream, int64_t offset, int origin);
// Bytes from the current position to the end (the position is kept); -1 on failure.
int64_t BytesLeft(file::Stream& stream);

inline uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// True for 1..kMaxImageSide in both directions and no more pixels than the
// budget (see SetImagePixelBudget); a picture over the budget is logged.
bool AcceptableSize(int64_t width, int64_t height);
// a * b * c, or -1 when it would not fit a tracked allocation (int32).
int64_t CheckedProduct(int64_t a, int64_t b, int64_t c = 1);

// A tracked allocation freed at scope exit unless released to a new owner. Not
// for functions that a library may leave by longjmp.
class TrackedBuffer {
public:
    TrackedBuffer() = default;
    explicit TrackedBuffer(int64_t size);
    ~TrackedBuffer();
    TrackedBuffer(const TrackedBuffer&) = delete;
    TrackedBuffer& operator=(const TrackedBuffer&) = delete;

    uint8_t* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }
    uint8_t* Release();
    void Reset(uint8_t* data);

private:
    uint8_t* data_ = nullptr;
};

// Fills the output record on success only.
void Deliver(image::BaseImage& out, const image::ColorFormat& format, int32_t width, int32_t height,
             int32_t pitch, uint8_t* pixels);

} // namespace velox::image_input
