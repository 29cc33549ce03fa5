// The body shared by the image reader fuzz targets: run one reader over the input
// held in memory and, when it accepts, touch every byte it claims to have made.
#pragma once

#include "file/Stream.h"
#include "image/ImageDecoder.h"

#include <cstddef>
#include <cstdint>

namespace velox::fuzz {

// Pictures of up to 1 Mi pixels: the refusal above the budget is the same code
// at any budget, and inputs that fill 256 MiB would slow every run to a crawl.
constexpr int64_t kFuzzPixelBudget = int64_t(1) << 20;

inline int RunImageReader(int (*reader)(file::Stream&, image::BaseImage&), const uint8_t* data,
                          size_t size) {
    static const int64_t setBudget =
        (image::SetImagePixelBudget(kFuzzPixelBudget), kFuzzPixelBudget);
    (void)setBudget;
    if (size > size_t(INT32_MAX)) {
        return 0;
    }
    file::Stream stream;
    if (!file::OpenMemoryStream(data, int32_t(size), stream)) {
        return 0;
    }
    image::BaseImage image{};
    if (reader(stream, image) == 0) {
        // A buffer shorter than height x pitch shows up here under the sanitizer.
        volatile uint8_t sink = 0;
        for (int32_t y = 0; y < image.height; ++y) {
            const uint8_t* row = image.pixels + int64_t(y) * image.pitch;
            uint8_t sum = 0;
            for (int32_t x = 0; x < image.width * image.format.bytesPerPixel; ++x) {
                sum = uint8_t(sum + row[x]);
            }
            sink = uint8_t(sink + sum);
        }
        image::ReleaseBaseImage(image);
    }
    file::CloseStream(stream);
    return 0;
}

} // namespace velox::fuzz
