// RIFF WAVE recognition (PCM and compressed) and the conversion set-up shared
// with MP3.
#include "core/MemoryTracker.h"
#include "sound/SoundSources.h"

#include <algorithm>
#include <cstring>

namespace velox::sound {
namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

struct WaveLayout {
    uint8_t* fmt; // the "fmt " payload (tracked memory)
    int32_t fmtSize;
    int64_t fmtPosition;
    int64_t dataStart;
    int64_t dataSize;
};

// "RIFF", "WAVE", the "fmt " chunk first, then chunks up to "data". Leaves the
// stream at the first data byte.
bool ParseWaveLayout(const file::Stream& s, WaveLayout& out) {
    out = WaveLayout{};
    const int64_t size = StreamSize(s);
    uint8_t header[8];
    if (size < 0 || !ReadExact(s, header, 8) || std::memcmp(header, "RIFF", 4) != 0 ||
        !ReadExact(s, header, 4) || std::memcmp(header, "WAVE", 4) != 0) {
        return false;
    }
    if (!ReadExact(s, header, 8) || std::memcmp(header, "fmt ", 4) != 0) {
        return false;
    }
    const int64_t fmtSize = Le32(header + 4);
    const int64_t fmtPosition = s.ops->tell(s.data);
    if (fmtSize < 16 || fmtSize > kMaxFmtChunkBytes || fmtSize > size - fmtPosition) {
        return false;
    }
    auto* fmt = static_cast<uint8_t*>(MemAlloc(int32_t(fmtSize), nullptr, 0));
    if (!fmt) {
        return false;
    }
    if (!ReadExact(s, fmt, size_t(fmtSize))) {
        MemFree(fmt);
        return false;
    }
    // A chunk's payload is padded to an even length; the pad byte is not counted.
    bool found = false;
    uint32_t dataSize = 0;
    while (!s.ops->atEnd(s.data)) {
        if (!ReadExact(s, header, 8)) {
            break;
        }
        uint32_t chunkSize = Le32(header + 4);
        if (std::memcmp(header, "data", 4) == 0) {
            found = true;
            dataSize = chunkSize;
            break;
        }
        if (s.ops->seek(s.data, int64_t(chunkSize) + (chunkSize & 1), 1) != 0) {
            break;
        }
    }
    if (!found || s.ops->atEnd(s.data)) {
        MemFree(fmt);
        return false;
    }
    out.fmt = fmt;
    out.fmtSize = int32_t(fmtSize);
    out.fmtPosition = fmtPosition;
    out.dataStart = s.ops->tell(s.data);
    // A size beyond the stream (a truncated file, or a placeholder) means the rest.
    out.dataSize = std::min<int64_t>(dataSize, std::max<int64_t>(size - out.dataStart, 0));
    return true;
}

} // namespace

bool ReadExact(const file::Stream& s, void* destination, size_t bytes) {
    return s.ops->read(destination, 1, bytes, s.data) == bytes;
}

int64_t StreamSize(const file::Stream& s) {
    int64_t here = s.ops->tell(s.data);
    if (here < 0 || s.ops->seek(s.data, 0, 2) != 0) {
        return -1;
    }
    int64_t size = s.ops->tell(s.data);
    if (s.ops->seek(s.data, here, 0) != 0) {
        return -1;
    }
    return size;
}

bool SetupPcmWave(SoundConverter& c) {
    WaveLayout w;
    if (!ParseWaveLayout(c.stream, w)) {
        return false;
    }
    platform::WaveFormat f =
        platform::ReadWaveFormat(w.fmt, uint32_t(std::min<int32_t>(w.fmtSize, 18)));
    MemFree(w.fmt);
    // Nothing below may divide by zero or allocate a block of any size a file names.
    if (f.formatTag != platform::kWaveFormatPcm || f.channels == 0 || f.blockAlign == 0 ||
        f.avgBytesPerSec == 0 || f.avgBytesPerSec > kMaxPcmBytesPerSecond) {
        return false;
    }
    if (w.fmtSize == 16) {
        f.extraSize = 0;
        f.bitsPerSample = uint16_t((f.blockAlign / f.channels) * 8);
    }
    c.kind = kSoundKindPcm;
    c.format = f;
    c.fmtPosition = w.fmtPosition;
    c.fmtSize = w.fmtSize;
    c.dataStart = w.dataStart;
    c.dataSize = w.dataSize;
    c.blockSize = int32_t(f.avgBytesPerSec);
    return true;
}

bool SetupCompressedWave(SoundConverter& c) {
    WaveLayout w;
    if (!ParseWaveLayout(c.stream, w)) {
        return false;
    }
    c.sourceFormat = w.fmt;
    c.sourceFormatSize = w.fmtSize;
    c.fmtPosition = w.fmtPosition;
    c.fmtSize = w.fmtSize;
    c.dataStart = w.dataStart;
    c.dataSize = w.dataSize;
    c.totalFrames = -1;
    return SetupConversion(c, 1, 1);
}

bool SetupConversion(SoundConverter& c, int32_t blockNumerator, int32_t blockDenominator) {
    const file::Stream& s = c.stream;
    platform::WaveFormat pcm{};
    if (c.dataSize > kMaxSoundBytes ||
        platform::SuggestPcmFormat(c.sourceFormat, uint32_t(c.sourceFormatSize), pcm) != 0 ||
        pcm.avgBytesPerSec == 0 || pcm.avgBytesPerSec > kMaxPcmBytesPerSecond) {
        ReleaseConversion(c);
        return false;
    }
    c.compressed = static_cast<uint8_t*>(MemAlloc(int32_t(c.dataSize), nullptr, 0));
    if (!c.compressed || s.ops->seek(s.data, c.dataStart, 0) != 0 ||
        !ReadExact(s, c.compressed, size_t(c.dataSize)) ||
        s.ops->seek(s.data, c.dataStart, 0) != 0) {
        ReleaseConversion(c);
        return false;
    }
    c.compressedSize = int32_t(c.dataSize);
    c.compressedOffset = 0;
    const uint8_t* record = c.sourceFormat;
    const auto recordSize = uint32_t(c.sourceFormatSize);
    c.mainConversion = platform::OpenAudioConversion(record, recordSize, pcm);
    c.spareConversion = platform::OpenAudioConversion(record, recordSize, pcm);
    const int32_t blockSize =
        int32_t(int64_t(pcm.avgBytesPerSec) * blockNumerator / blockDenominator);
    if (!c.mainConversion || !c.spareConversion || blockSize <= 0) {
        ReleaseConversion(c);
        return false;
    }
    c.spareBlock = static_cast<uint8_t*>(MemAlloc(blockSize, nullptr, 0));
    if (!c.spareBlock) {
        ReleaseConversion(c);
        return false;
    }
    c.kind = kSoundKindConverted;
    c.format = pcm;
    c.blockSize = blockSize;
    return true;
}

void ReleaseConversion(SoundConverter& c) {
    platform::CloseAudioConversion(c.mainConversion);
    platform::CloseAudioConversion(c.spareConversion);
    if (c.compressed) {
        MemFree(c.compressed);
    }
    if (c.sourceFormat) {
        MemFree(c.sourceFormat);
    }
    if (c.spareBlock) {
        MemFree(c.spareBlock);
    }
    c.mainConversion = nullptr;
    c.spareConversion = nullptr;
    c.compressed = nullptr;
    c.compressedSize = 0;
    c.compressedOffset = 0;
    c.sourceFormat = nullptr;
    c.sourceFormatSize = 0;
    c.spareBlock = nullptr;
}

} // namespace velox::sound
