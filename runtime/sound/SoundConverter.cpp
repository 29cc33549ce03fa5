#include "sound/SoundConverter.h"

#include "core/MemoryTracker.h"
#include "sound/SoundSources.h"

#include <algorithm>
#include <cstring>

namespace velox::sound {
namespace {

using SetupFn = bool (*)(SoundConverter&);
constexpr SetupFn kKinds[] = {SetupPcmWave, SetupCompressedWave, SetupVorbis, SetupMp3};

// Seeks closer than this to the output position are ignored.
constexpr int64_t kSeekSlack = 16;

void ReleaseKindState(SoundConverter& c) {
    ReleaseConversion(c);
    ReleaseVorbis(c);
    if (c.block) {
        MemFree(c.block);
        c.block = nullptr;
    }
}

// Kind 0: the next piece of the data chunk; 0 when it is used up.
int32_t DecodePcmBlock(SoundConverter& c) {
    const file::Stream& s = c.stream;
    const int64_t consumed = s.ops->tell(s.data) - c.dataStart;
    const int64_t left = c.dataSize - consumed;
    if (consumed < 0 || left <= 0) {
        return 0;
    }
    const auto want = size_t(std::min<int64_t>(c.blockSize, left));
    // A stream that gives nothing more ends the data even before its stated size.
    return int32_t(s.ops->read(c.block, 1, want, s.data));
}

// Kind 1: converts at most one chunk of source bytes per call until PCM comes
// out. Once the source is used up, PCM the codec still holds is collected.
int32_t DecodeConvertedBlock(SoundConverter& c) {
    const uint32_t sourceBlock = platform::ConversionSourceBlock(c.mainConversion);
    const uint32_t chunk = std::max(kConvertChunkBytes, sourceBlock);
    for (;;) {
        const auto left = uint32_t(c.compressedSize - c.compressedOffset);
        const uint32_t give = std::min(left, chunk);
        uint32_t used = 0;
        uint32_t produced = 0;
        if (platform::ConvertAudio(c.mainConversion, c.compressed + c.compressedOffset, give, used,
                                   c.block, uint32_t(c.blockSize), produced) != 0) {
            c.compressedOffset = c.compressedSize; // a damaged stream ends the data
            return 0;
        }
        c.compressedOffset += int32_t(used);
        if (produced > 0) {
            return int32_t(produced);
        }
        if (used == 0) {
            c.compressedOffset = c.compressedSize;
            return 0;
        }
    }
}

// Refills the block; false when the input is exhausted.
bool DecodeBlock(SoundConverter& c) {
    int32_t got = 0;
    switch (c.kind) {
    case kSoundKindPcm:
        got = DecodePcmBlock(c);
        break;
    case kSoundKindConverted:
        got = DecodeConvertedBlock(c);
        break;
    default:
        got = DecodeVorbisBlock(c);
        break;
    }
    c.validBytes = got;
    c.blockOffset = 0;
    return got > 0;
}

// Kind 1 going back: the spare stream, untouched since it was opened, takes over
// at the start of the data and a fresh spare is opened.
bool RewindConversion(SoundConverter& c) {
    platform::CloseAudioConversion(c.mainConversion);
    c.mainConversion = c.spareConversion;
    c.spareConversion =
        platform::OpenAudioConversion(c.sourceFormat, uint32_t(c.sourceFormatSize), c.format);
    if (!c.mainConversion) {
        c.mainConversion = c.spareConversion;
        c.spareConversion = nullptr;
    }
    c.compressedOffset = 0;
    c.outputPosition = 0;
    c.validBytes = 0;
    c.blockOffset = 0;
    return c.mainConversion != nullptr;
}

void SeekConverted(SoundConverter& c, int64_t target) {
    if (target < c.outputPosition && !RewindConversion(c)) {
        c.endFlag = 1;
        return;
    }
    for (;;) {
        if (target < c.outputPosition + c.validBytes) {
            const auto skip = int32_t(target - c.outputPosition);
            c.blockOffset += skip;
            c.validBytes -= skip;
            c.outputPosition = target;
            return;
        }
        c.outputPosition += c.validBytes;
        if (!DecodeBlock(c)) {
            c.endFlag = 1;
            return;
        }
    }
}

int SeekTo(SoundConverter& c, int64_t target, bool force) {
    if (!c.setUp || target < 0) {
        return -1;
    }
    const int64_t distance = target - c.outputPosition;
    if (!force && distance > -kSeekSlack && distance < kSeekSlack) {
        return 0;
    }
    c.endFlag = 0;
    switch (c.kind) {
    case kSoundKindPcm:
        c.stream.ops->seek(c.stream.data, c.dataStart + target, 0);
        c.validBytes = 0;
        c.blockOffset = 0;
        c.outputPosition = target;
        break;
    case kSoundKindConverted:
        SeekConverted(c, target);
        break;
    default:
        if (!SeekVorbis(c, target / c.format.blockAlign)) {
            c.endFlag = 1;
        }
        c.validBytes = 0;
        c.blockOffset = 0;
        c.outputPosition = target;
        break;
    }
    return 0;
}

} // namespace

int SetupSoundConverter(const file::Stream& stream, SoundConverter& c) {
    if (c.setUp || !stream.ops) {
        return -1;
    }
    c = SoundConverter{};
    c.stream = stream;
    c.spareTarget = 0;
    bool accepted = false;
    for (SetupFn kind : kKinds) {
        if (stream.ops->seek(stream.data, 0, 0) != 0) {
            break;
        }
        if (kind(c)) {
            accepted = true;
            break;
        }
    }
    if (!accepted) {
        return -1;
    }
    c.setUp = 1;
    c.block = static_cast<uint8_t*>(MemAlloc(c.blockSize, nullptr, 0));
    if (!c.block) {
        TerminateSoundConverter(c);
        return -1;
    }
    c.endFlag = 0;
    c.validBytes = 0;
    c.blockOffset = 0;
    c.outputPosition = 0;
    return 0;
}

int32_t ReadSoundPcm(SoundConverter& c, void* destination, int32_t bytes) {
    if (!c.setUp) {
        return -1;
    }
    if (c.endFlag || bytes <= 0) {
        return 0;
    }
    auto* out = static_cast<uint8_t*>(destination);
    int32_t copied = 0;
    while (copied < bytes) {
        if (c.validBytes == 0 && !DecodeBlock(c)) {
            c.endFlag = 1;
            break;
        }
        const int32_t n = std::min(c.validBytes, bytes - copied);
        std::memcpy(out + copied, c.block + c.blockOffset, size_t(n));
        c.blockOffset += n;
        c.validBytes -= n;
        c.outputPosition += n;
        copied += n;
    }
    return copied;
}

int SeekSoundConverter(SoundConverter& c, int64_t frame) {
    if (!c.setUp || frame < 0) {
        return -1;
    }
    return SeekTo(c, frame * c.format.blockAlign, false);
}

int RewindSoundConverter(SoundConverter& c) {
    return SeekTo(c, 0, true);
}

int64_t SoundPcmTotalSize(SoundConverter& c) {
    if (!c.setUp) {
        return -1;
    }
    switch (c.kind) {
    case kSoundKindPcm:
        return c.dataSize;
    case kSoundKindConverted: {
        if (c.totalFrames >= 0) {
            return c.totalFrames * c.format.blockAlign;
        }
        uint32_t estimate = 0;
        if (platform::EstimateConvertedSize(c.spareConversion ? c.spareConversion
                                                              : c.mainConversion,
                                            uint32_t(c.compressedSize), estimate) != 0) {
            return -1;
        }
        return estimate;
    }
    default:
        return c.dataSize + int64_t(44100) * c.format.channels * 2;
    }
}

namespace {

// Decodes up to `total` bytes into a buffer that grows with what actually comes
// out: a length declared by the file (an Ogg granule position, say) may be far
// beyond what its data makes, and must not be allocated up front.
bool DecodeGrowing(SoundConverter& c, int64_t total, uint8_t*& pcm, int64_t& length) {
    constexpr int64_t kFirstCapacity = int64_t(1) << 20;
    int64_t capacity = std::min(total, kFirstCapacity);
    pcm = static_cast<uint8_t*>(MemAlloc(int32_t(capacity), nullptr, 0));
    if (!pcm) {
        return false;
    }
    length = 0;
    for (;;) {
        const int32_t got = ReadSoundPcm(c, pcm + length, int32_t(capacity - length));
        length += std::max(got, 0);
        if (length < capacity || capacity == total) {
            return true;
        }
        const int64_t grown = std::min(total, capacity * 2);
        auto* bigger = static_cast<uint8_t*>(MemAlloc(int32_t(grown), nullptr, 0));
        if (!bigger) {
            MemFree(pcm);
            pcm = nullptr;
            return false;
        }
        std::memcpy(bigger, pcm, size_t(length));
        MemFree(pcm);
        pcm = bigger;
        capacity = grown;
    }
}

} // namespace

int DecodeAllSound(SoundConverter& c, PcmResult& result) {
    const int64_t total = SoundPcmTotalSize(c);
    if (total < 0 || total > kMaxSoundBytes) {
        return -1;
    }
    // From the very start, even when the output stands within the seek slack.
    SeekTo(c, 0, c.outputPosition != 0);
    uint8_t* pcm = nullptr;
    int64_t length = 0;
    if (c.kind == kSoundKindPcm) {
        // The data size was clamped to what the file holds.
        pcm = static_cast<uint8_t*>(MemAlloc(int32_t(total), nullptr, 0));
        if (!pcm) {
            return -1;
        }
        const file::Stream& s = c.stream;
        s.ops->seek(s.data, c.dataStart, 0);
        length = int64_t(s.ops->read(pcm, 1, size_t(total), s.data));
    } else if (!DecodeGrowing(c, total, pcm, length)) {
        return -1;
    }
    result.format = c.format;
    result.data = pcm;
    result.length = int32_t(std::max<int64_t>(length, 0));
    return 0;
}

int TerminateSoundConverter(SoundConverter& c) {
    if (!c.setUp) {
        return -1;
    }
    ReleaseKindState(c);
    c.setUp = 0;
    return 0;
}

} // namespace velox::sound
