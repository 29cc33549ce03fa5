// Recognition of each input kind and the helpers the converter shares with it.
#pragma once

#include "sound/SoundConverter.h"

namespace velox::sound {

// Sizes taken from file data are refused above these before anything is allocated.
constexpr int64_t kMaxFmtChunkBytes = 1 << 16;
constexpr uint32_t kMaxPcmBytesPerSecond = 1 << 23; // one second of PCM is a block
constexpr int64_t kMaxSoundBytes = 0x7FFFFFFF;
// Source bytes handed to the codec per conversion call (a whole source block
// when blocks are larger).
constexpr uint32_t kConvertChunkBytes = 2048;
constexpr int32_t kVorbisBlockBytes = 4096;

// Each tries one kind on the stream (positioned at 0) and fills the converter's
// kind, format, data position and size, kind state and block size. On failure
// everything it took is released and the converter's kind state is cleared.
bool SetupPcmWave(SoundConverter& c);
bool SetupCompressedWave(SoundConverter& c);
bool SetupVorbis(SoundConverter& c);
bool SetupMp3(SoundConverter& c);

// Kind 1 after the source is known: suggested PCM format, the data copied into
// memory and both conversion streams; the block size is PCM bytes per second
// times blockNumerator / blockDenominator.
bool SetupConversion(SoundConverter& c, int32_t blockNumerator, int32_t blockDenominator);
void ReleaseConversion(SoundConverter& c);
void ReleaseVorbis(SoundConverter& c);

// Decodes the next Ogg Vorbis piece into the block: bytes, or 0 at the end
// (a damaged stream ends the data too).
int32_t DecodeVorbisBlock(SoundConverter& c);
bool SeekVorbis(SoundConverter& c, int64_t frame);

// Stream helpers: exact reads and the stream's size (position kept).
bool ReadExact(const file::Stream& s, void* destination, size_t bytes);
int64_t StreamSize(const file::Stream& s);

struct MpegFrameInfo {
    int32_t version; // 1 or 2
    int32_t layer;   // 1..3
    int32_t bitrateKbps;
    int32_t sampleRate;
    int32_t padding;
    int32_t channels;
    int32_t frameBytes;
    int32_t samples;
};
// False when the four bytes are not a frame header this decoder takes
// (reserved values, or free-format bitrate index 0).
bool ParseMpegFrameHeader(const uint8_t header[4], MpegFrameInfo& info);

} // namespace velox::sound
