// Image file decoding: a fixed list of format readers tried in turn over a
// stream. The first reader that accepts the data fills the base image.
#pragma once

#include "file/Stream.h"
#include "image/BaseImage.h"

namespace velox::image {

// 0 when a reader accepted the data, -1 when none did; the image is untouched then.
// The stream is neither opened nor closed here.
int DecodeImage(file::Stream& stream, BaseImage& image);

// Every reader refuses a picture of more pixels than this before allocating for
// it: 64 Mi pixels (8192 x 8192), 256 MiB at 32 bits a pixel.
constexpr int64_t kDefaultImagePixelBudget = int64_t(64) << 20;
// Sets the budget for all readers (at least one pixel) and gives the previous one.
int64_t SetImagePixelBudget(int64_t pixels);

// Each reader gives 0 on success and nonzero on refusal, freeing what it took and
// leaving the image untouched when it refuses. Rows come out top to bottom.
int ReadBmpImage(file::Stream& stream, BaseImage& image);
int ReadJpegImage(file::Stream& stream, BaseImage& image);
int ReadPngImage(file::Stream& stream, BaseImage& image);
int ReadBgraImage(file::Stream& stream, BaseImage& image);
int ReadTgaImage(file::Stream& stream, BaseImage& image);
int ReadDdsImage(file::Stream& stream, BaseImage& image);

} // namespace velox::image
