// Audio compression service: converts compressed WAVE data and MPEG audio to
// 16-bit PCM. Codecs: MPEG audio (tag 0x55, through libmpg123), MS ADPCM
// (0x0002), IMA ADPCM (0x0011), A-law (0x0006) and mu-law (0x0007).
//
// A source format is the whole "fmt " record: the 18-byte header followed by
// its extra bytes (ADPCM coefficients, samples per block, MPEG details).
#pragma once

#include "platform/WaveFormat.h"

#include <cstdint>

namespace velox::platform {

struct AudioConversion;

// The largest source format record any codec here accepts, in bytes.
uint32_t MaxCodecFormatSize();

// The PCM format a source converts to, chosen by its format tag alone:
// 16 bits with the source's channels and rate. -1 when no codec takes the tag.
int SuggestPcmFormat(const uint8_t* sourceRecord, uint32_t recordSize, WaveFormat& pcm);

// A conversion stream from the source format to the given PCM format (which
// must be the suggested one); nullptr when the source is not usable.
AudioConversion* OpenAudioConversion(const uint8_t* sourceRecord, uint32_t recordSize,
                                     const WaveFormat& pcm);
void CloseAudioConversion(AudioConversion* conversion);

// An upper estimate of the PCM bytes that the given source bytes give.
int EstimateConvertedSize(AudioConversion* conversion, uint32_t sourceBytes, uint32_t& pcmBytes);

// The source block size: conversions consume whole blocks only (1 for MPEG).
uint32_t ConversionSourceBlock(AudioConversion* conversion);

// Converts whole source blocks into dst. PCM that does not fit is held and
// handed out first by the next call, which may pass no source at all to
// collect it. srcUsed and dstUsed say what was taken and produced. -1 when
// the data cannot be decoded (nothing further should be asked).
int ConvertAudio(AudioConversion* conversion, const uint8_t* src, uint32_t srcBytes,
                 uint32_t& srcUsed, uint8_t* dst, uint32_t dstBytes, uint32_t& dstUsed);

} // namespace velox::platform
