// MPEG audio files: an optional ID3v2 tag in front, an optional 128-byte "TAG"
// block at the end, and a frame scan that counts the sample frames between.
#include "core/MemoryTracker.h"
#include "sound/SoundSources.h"

#include <algorithm>
#include <cstring>

namespace velox::sound {
namespace {

// kbit/s by [MPEG-1, MPEG-2][layer - 1][index]; index 0 (free format) is refused.
constexpr int32_t kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr int32_t kSampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};

constexpr int64_t kTagBlockBytes = 128;
constexpr int64_t kId3HeaderBytes = 10;

// Record of an MPEG Layer-3 source: the 18-byte header and 12 bytes of detail.
constexpr uint16_t kMpegRecordExtra = 12;
constexpr uint16_t kMpegCodecDelay = 700;

struct FrameScan {
    int64_t dataStart = -1;
    int64_t dataEnd = -1;
    int64_t totalFrames = 0;
    uint8_t firstHeader[4] = {};
    MpegFrameInfo first{};
};

bool ReadByte(const file::Stream& s, uint8_t& byte) {
    return s.ops->read(&byte, 1, 1, s.data) == 1;
}

// Where the audio starts: after an ID3v2 tag (its size has 7 bits per byte),
// 10 bytes further when a version 4 tag has a footer.
bool AudioStart(const file::Stream& s, int64_t& start) {
    uint8_t id[3];
    start = 0;
    if (!ReadExact(s, id, 3)) {
        return false;
    }
    if (std::memcmp(id, "ID3", 3) != 0) {
        return true;
    }
    uint8_t rest[7];
    if (!ReadExact(s, rest, 7)) {
        return false;
    }
    const uint8_t major = rest[0];
    const uint8_t flags = rest[2];
    int64_t size = 0;
    for (int i = 3; i < 7; ++i) {
        size = (size << 7) | (rest[i] & 0x7F);
    }
    start = size + kId3HeaderBytes;
    if (major == 4 && (flags & 0x10)) {
        start += kId3HeaderBytes;
    }
    return true;
}

// Scans from the audio start to the audio end. A byte pair that looks like a
// header but does not parse fails the whole input.
bool ScanFrames(const file::Stream& s, int64_t audioStart, int64_t audioEnd, FrameScan& scan) {
    if (s.ops->seek(s.data, audioStart, 0) != 0) {
        return false;
    }
    int64_t position = audioStart;
    for (;;) {
        uint8_t h[4];
        bool synced = false;
        int64_t frameStart = 0;
        while (!synced) {
            if (position >= audioEnd || !ReadByte(s, h[0])) {
                return scan.dataStart >= 0;
            }
            ++position;
            if (h[0] != 0xFF) {
                continue;
            }
            frameStart = position - 1;
            if (!ReadByte(s, h[1])) {
                return scan.dataStart >= 0;
            }
            ++position;
            synced = (h[1] & 0xF0) == 0xF0;
        }
        if (!ReadExact(s, h + 2, 2)) {
            return scan.dataStart >= 0;
        }
        MpegFrameInfo info;
        if (!ParseMpegFrameHeader(h, info)) {
            return false;
        }
        if (scan.dataStart < 0) {
            scan.dataStart = frameStart;
            std::memcpy(scan.firstHeader, h, 4);
            scan.first = info;
        }
        scan.totalFrames += info.samples;
        const int64_t frameEnd = frameStart + info.frameBytes;
        scan.dataEnd = std::min(frameEnd, audioEnd);
        if (frameEnd >= audioEnd || s.ops->seek(s.data, frameEnd, 0) != 0) {
            return true;
        }
        position = frameEnd;
    }
}

void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

} // namespace

bool ParseMpegFrameHeader(const uint8_t h[4], MpegFrameInfo& info) {
    if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) {
        return false;
    }
    const int v = (h[1] & 0x08) ? 0 : 1;
    const int layerIndex = 3 - ((h[1] >> 1) & 3);
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (layerIndex > 2 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
        return false;
    }
    info.version = v + 1;
    info.layer = layerIndex + 1;
    info.bitrateKbps = kBitrates[v][layerIndex][bitrateIndex];
    info.sampleRate = kSampleRates[v][rateIndex];
    info.padding = (h[2] >> 1) & 1;
    info.channels = (h[3] >> 6) == 3 ? 1 : 2;
    if (info.layer == 1) {
        info.frameBytes = (12000 * info.bitrateKbps / info.sampleRate + info.padding) * 4;
        info.samples = 384;
    } else if (info.layer == 3 && info.version == 2) {
        info.frameBytes = 72000 * info.bitrateKbps / info.sampleRate + info.padding;
        info.samples = 576;
    } else {
        info.frameBytes = 144000 * info.bitrateKbps / info.sampleRate + info.padding;
        info.samples = 1152;
    }
    return true;
}

bool SetupMp3(SoundConverter& c) {
    const file::Stream& s = c.stream;
    const int64_t size = StreamSize(s);
    // With 128 bytes or less the end of the audio is not defined: refused.
    if (size <= kTagBlockBytes || s.ops->seek(s.data, 0, 0) != 0) {
        return false;
    }
    int64_t audioStart = 0;
    if (!AudioStart(s, audioStart)) {
        return false;
    }
    int64_t audioEnd = size;
    uint8_t tag[3];
    if (s.ops->seek(s.data, size - kTagBlockBytes, 0) != 0 || !ReadExact(s, tag, 3)) {
        return false;
    }
    if (std::memcmp(tag, "TAG", 3) == 0) {
        audioEnd = size - kTagBlockBytes;
    }
    FrameScan scan;
    if (audioStart >= audioEnd || !ScanFrames(s, audioStart, audioEnd, scan) ||
        scan.dataEnd <= scan.dataStart) {
        return false;
    }
    // The scan counted every frame; the PCM size must be addressable.
    const MpegFrameInfo& f = scan.first;
    if (scan.totalFrames * f.channels * 2 > kMaxSoundBytes) {
        return false;
    }
    const auto recordSize = int32_t(platform::MaxCodecFormatSize());
    auto* record = static_cast<uint8_t*>(MemAllocZero(recordSize, nullptr, 0));
    if (!record) {
        return false;
    }
    platform::WaveFormat source{platform::kWaveFormatMpegLayer3,
                                uint16_t(f.channels),
                                uint32_t(f.sampleRate),
                                uint32_t(f.bitrateKbps * 1000 / 8),
                                1,
                                0,
                                kMpegRecordExtra};
    platform::WriteWaveFormat(source, record);
    uint8_t* extra = record + platform::kWaveFormatRecordSize;
    Put16(extra, 1); // MPEG
    Put16(extra + 2, uint16_t(f.padding));
    Put16(extra + 4, 0);
    Put16(extra + 6, uint16_t(f.frameBytes));
    Put16(extra + 8, 1);
    Put16(extra + 10, kMpegCodecDelay);
    c.sourceFormat = record;
    c.sourceFormatSize = int32_t(platform::kWaveFormatRecordSize + kMpegRecordExtra);
    c.dataStart = scan.dataStart;
    c.dataSize = scan.dataEnd - scan.dataStart;
    c.totalFrames = scan.totalFrames;
    return SetupConversion(c, 4, 3);
}

} // namespace velox::sound
