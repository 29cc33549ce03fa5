#include "image/ImageDecoder.h"

namespace velox::image {
namespace {

using Reader = int (*)(file::Stream&, BaseImage&);
constexpr Reader kReaders[] = {ReadBmpImage,  ReadJpegImage, ReadPngImage,
                               ReadBgraImage, ReadTgaImage,  ReadDdsImage};

} // namespace

int DecodeImage(file::Stream& stream, BaseImage& image) {
    for (Reader reader : kReaders) {
        if (stream.ops->seek(stream.data, 0, 0) != 0) {
            return -1;
        }
        if (reader(stream, image) == 0) {
            return 0;
        }
    }
    return -1;
}

} // namespace velox::image
