// Fuzzes the JPEG reader over arbitrary bytes.
#include "ImageFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return velox::fuzz::RunImageReader(velox::image::ReadJpegImage, data, size);
}
