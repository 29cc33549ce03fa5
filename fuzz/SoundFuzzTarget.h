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
    Stream stream;
    if (!OpenMemoryStream(data, int32_t(size), stream)) {
        return 0;
    }
    SoundConverter c{};
    if (SetupSoundConverter(stream, c) == 0) {
        static uint8_t piece[5000];
        ReadSoundPcm(c, piece, 777);
        ReadSoundPcm(c, piece, int32_t(sizeof piece));
        SeekSoundConverter(c, 3);
        ReadSoundPcm(c, piece, 100);
        SeekSoundConverter(c, int64_t(size % 9973));
        ReadSoundPcm(c, piece, 4096);
        SeekSoundConverter(c, 0);
        PcmResult result{};
        if (DecodeAllSound(c, result) == 0) {
            MemFree(result.data);
        }
        TerminateSoundConverter(c);
    }
    CloseStream(stream);
    return 0;
}

} // namespace velox::fuzz
