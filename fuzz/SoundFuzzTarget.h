// The body shared by the sound fuzz targets: the sound converter over a memory
// stream, with recognition of every kind, reads in pieces, seeks both ways,
// decode all and terminate.
#pragma once

#include "core/MemoryTracker.h"
#include "file/Stream.h"
#include "sound/SoundConverter.h"

#include <cstddef>
#include <cstdint>

namespace velox::fuzz {

inline int RunSoundConverter(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    file::Stream stream;
    if (!file::OpenMemoryStream(data, int32_t(size), stream)) {
        return 0;
    }
    sound::SoundConverter c{};
    if (sound::SetupSoundConverter(stream, c) == 0) {
        static uint8_t piece[5000];
        sound::ReadSoundPcm(c, piece, 777);
        sound::ReadSoundPcm(c, piece, int32_t(sizeof piece));
        sound::SeekSoundConverter(c, 3);
        sound::ReadSoundPcm(c, piece, 100);
        sound::SeekSoundConverter(c, int64_t(size % 9973));
        sound::ReadSoundPcm(c, piece, 4096);
        sound::SeekSoundConverter(c, 0);
        sound::PcmResult result{};
        if (sound::DecodeAllSound(c, result) == 0) {
            MemFree(result.data);
        }
        sound::TerminateSoundConverter(c);
    }
    file::CloseStream(stream);
    return 0;
}

} // namespace velox::fuzz
