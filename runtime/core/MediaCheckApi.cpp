// Public media checks: the loaders' own file opening and decoders, run for their verdict
// only, so that an authoring tool's diagnosis never differs from what a load would do.
#include "core/EntryGate.h"
#include "core/MemoryTracker.h"
#include "file/Stream.h"
#include "graphics/GraphicRecord.h"
#include "image/BaseImage.h"
#include "image/ImageDecoder.h"
#include "image/ImageInput.h"
#include "platform/MidiSequencer.h"
#include "sound/SoundConverter.h"

#include <velox/authoring.h>

#include <algorithm>
#include <vector>

namespace velox {

static_assert(kMaxPictureSide == image_input::kMaxImageSide);
static_assert(kMaxPicturePixels == image::kDefaultImagePixelBudget);

namespace {

// MIDI files are read whole to be recognised; anything larger is no song.
constexpr int64_t kMaxMidiBytes = 16 * 1024 * 1024;

// An open stream that closes itself.
struct OpenFile {
    file::Stream stream{};
    bool open = false;
    explicit OpenFile(const char* path) { open = path && file::OpenFileStream(path, stream); }
    ~OpenFile() { file::CloseStream(stream); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int64_t Size() {
        int64_t size = -1;
        if (stream.ops->seek(stream.data, 0, 2) == 0) {
            size = stream.ops->tell(stream.data);
        }
        stream.ops->seek(stream.data, 0, 0);
        return size;
    }
};

} // namespace

int CheckPictureFile(const char* path, int* width, int* height) {
    core::GateScope gate;
    OpenFile file(path);
    if (!file.open) {
        return -1;
    }
    image::BaseImage image{};
    if (image::DecodeImage(file.stream, image) != 0) {
        return -2;
    }
    if (width) {
        *width = image.width;
    }
    if (height) {
        *height = image.height;
    }
    image::ReleaseBaseImage(image);
    return 0;
}

int CheckSoundFile(const char* path, int whole) {
    core::GateScope gate;
    OpenFile file(path);
    if (!file.open) {
        return -1;
    }
    sound::SoundConverter converter{};
    if (sound::SetupSoundConverter(file.stream, converter) != 0) {
        return -2;
    }
    int result = 0;
    if (whole) {
        sound::PcmResult pcm{};
        if (sound::DecodeAllSound(converter, pcm) != 0) {
            result = -4;
        } else if (pcm.length == 0) {
            result = -3;
        }
        MemFree(pcm.data);
    } else {
        char block[4096];
        if (sound::ReadSoundPcm(converter, block, int32_t(sizeof block)) <= 0) {
            result = -3;
        }
    }
    sound::TerminateSoundConverter(converter);
    return result;
}

int CheckMidiFile(const char* path) {
    core::GateScope gate;
    OpenFile file(path);
    if (!file.open) {
        return -1;
    }
    const int64_t size = file.Size();
    if (size <= 0 || size > kMaxMidiBytes) {
        return -2;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    const size_t got = file.stream.ops->read(bytes.data(), 1, bytes.size(), file.stream.data);
    return platform::IsStandardMidiFile(bytes.data(), got) ? 0 : -2;
}

int ReadFileHead(const char* path, char* buffer, int size) {
    core::GateScope gate;
    OpenFile file(path);
    if (!file.open || (!buffer && size > 0)) {
        return -1;
    }
    if (size <= 0) {
        return 0;
    }
    return int(file.stream.ops->read(buffer, 1, size_t(size), file.stream.data));
}

int GetAlphaCompanionName(const char* path, char* out, int outSize) {
    return path && out && graphic::AlphaCompanionName(path, out, outSize) ? 0 : -1;
}

} // namespace velox
