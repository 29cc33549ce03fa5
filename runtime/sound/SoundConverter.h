// The sound converter: turns a stream holding RIFF WAVE (PCM or compressed),
// Ogg Vorbis or MP3 data into linear PCM, all at once or piece by piece with
// seeking. Recognition is quiet; the callers log.
#pragma once

#include "file/Stream.h"
#include "platform/AudioCodec.h"
#include "platform/WaveFormat.h"

#include <cstdint>

namespace velox::sound {

enum SoundKind : int32_t {
    kSoundKindPcm = 0,       // PCM read straight from the stream
    kSoundKindConverted = 1, // compressed WAVE or MP3, through the audio codecs
    kSoundKindVorbis = 2,    // Ogg Vorbis through vorbisfile
};

struct VorbisSource; // vorbisfile state and the stream it reads (SoundSources.h)

struct SoundConverter {
    int32_t setUp;
    int32_t endFlag; // a read found no more PCM
    int32_t kind;
    file::Stream stream; // the caller's stream; it must outlive the converter
    int64_t fmtPosition;
    int32_t fmtSize;
    int64_t dataStart;
    int64_t dataSize;
    platform::WaveFormat format; // the PCM output

    // Kind 1.
    uint8_t* sourceFormat;
    int32_t sourceFormatSize;
    platform::AudioConversion* mainConversion;
    platform::AudioConversion* spareConversion; // stands at the start of the data
    uint8_t* compressed;                        // the whole compressed data
    int32_t compressedSize;
    int32_t compressedOffset;
    int64_t totalFrames; // -1 when not known
    uint8_t* spareBlock;

    // Kind 2.
    VorbisSource* vorbis;
    int32_t vorbisSampleWidth;

    uint8_t* block;
    int32_t blockSize;
    int32_t validBytes;  // unread bytes left in the block
    int32_t blockOffset; // next unread byte in the block
    int64_t outputPosition;
    int64_t spareTarget;
};

// A full decode: the PCM belongs to the caller (free it with MemFree).
struct PcmResult {
    platform::WaveFormat format;
    uint8_t* data;
    int32_t length;
};

// 0, or -1 when no kind accepts the input. The converter is cleared first and
// must not be set up already.
int SetupSoundConverter(const file::Stream& stream, SoundConverter& c);
// Bytes copied (0 at the end), or -1 for a converter that is not set up.
int32_t ReadSoundPcm(SoundConverter& c, void* destination, int32_t bytes);
// Positions the output at a sample frame from the start; a target less than
// 16 bytes from the current position changes nothing.
int SeekSoundConverter(SoundConverter& c, int64_t frame);
// Positions the output at the very start, however close to it it stands.
int RewindSoundConverter(SoundConverter& c);
// PCM bytes the whole input yields (an estimate for compressed WAVE, with room
// for 44100 more frames for Ogg Vorbis); -1 when not known.
int64_t SoundPcmTotalSize(SoundConverter& c);
int DecodeAllSound(SoundConverter& c, PcmResult& result);
// Frees everything the converter holds; -1 (doing nothing) when not set up.
int TerminateSoundConverter(SoundConverter& c);

} // namespace velox::sound
