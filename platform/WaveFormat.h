// The wave format record shared by the sound decoders, the codecs and the mixer:
// the 18 bytes of a RIFF "fmt " payload, held as fields in host order.
#pragma once

#include <cstdint>

namespace velox::platform {

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatMsAdpcm = 0x0002;
constexpr uint16_t kWaveFormatALaw = 0x0006;
constexpr uint16_t kWaveFormatMuLaw = 0x0007;
constexpr uint16_t kWaveFormatImaAdpcm = 0x0011;
constexpr uint16_t kWaveFormatMpegLayer3 = 0x0055;

// Size of the record as it is stored in files (without extra format bytes).
constexpr uint32_t kWaveFormatRecordSize = 18;

struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign; // bytes per sample frame
    uint16_t bitsPerSample;
    uint16_t extraSize; // bytes of format-specific data after the record
};

// Reads up to 18 little-endian bytes; missing fields stay 0.
inline WaveFormat ReadWaveFormat(const uint8_t* bytes, uint32_t size) {
    uint8_t b[kWaveFormatRecordSize] = {};
    for (uint32_t i = 0; i < size && i < kWaveFormatRecordSize; ++i) {
        b[i] = bytes[i];
    }
    auto u16 = [&](int at) { return uint16_t(b[at] | (b[at + 1] << 8)); };
    auto u32 = [&](int at) { return uint32_t(u16(at)) | (uint32_t(u16(at + 2)) << 16); };
    return WaveFormat{u16(0), u16(2), u32(4), u32(8), u16(12), u16(14), u16(16)};
}

// Writes the 18-byte little-endian record.
inline void WriteWaveFormat(const WaveFormat& f, uint8_t* out) {
    auto put16 = [&](int at, uint16_t v) {
        out[at] = uint8_t(v);
        out[at + 1] = uint8_t(v >> 8);
    };
    auto put32 = [&](int at, uint32_t v) {
        put16(at, uint16_t(v));
        put16(at + 2, uint16_t(v >> 16));
    };
    put16(0, f.formatTag);
    put16(2, f.channels);
    put32(4, f.samplesPerSec);
    put32(8, f.avgBytesPerSec);
    put16(12, f.blockAlign);
    put16(14, f.bitsPerSample);
    put16(16, f.extraSize);
}

// A PCM format with consistent block alignment and byte rate.
inline WaveFormat MakePcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
    uint16_t align = uint16_t(channels * (bits / 8));
    return WaveFormat{kWaveFormatPcm, channels, rate, rate * align, align, bits, 0};
}

} // namespace velox::platform
