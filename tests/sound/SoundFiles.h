// Sound files made by the tests: RIFF WAVE byte by byte, Ogg Vorbis and MP3
// through their encoders, and streams to decode them from.
#pragma once

#include "file/Stream.h"
#include "sound/SoundConverter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velox::test {

std::string Le16(uint16_t v);
std::string Le32(uint32_t v);

// The 16-byte (or, with extra bytes, 18 + n byte) "fmt " payload.
std::string FmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg,
                       uint16_t blockAlign, uint16_t bits);
std::string FmtPayloadWithExtra(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg,
                                uint16_t blockAlign, uint16_t bits, const std::string& extra);
// A chunk with its pad byte when the payload is odd.
std::string Chunk(const std::string& id, const std::string& payload);
// "RIFF", size, "WAVE" and the chunks in the given order.
std::string Riff(const std::vector<std::string>& chunks);
std::string PcmWave(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data);

std::string Samples16(const std::vector<int16_t>& samples);
std::vector<int16_t> ToSamples16(const uint8_t* bytes, int32_t length);

// A sine of the given frames, the same on every channel (interleaved).
std::vector<int16_t> Sine(int frames, int channels, int rate, double hz, int amplitude);
// Links of a chained file need serial numbers of their own.
std::string EncodeOgg(const std::vector<int16_t>& interleaved, int channels, int rate,
                      int serial = 20240601);
// copies links of one Ogg file chained one after the other, each with its own serial
// number (pages re-stamped and their checksums set again).
std::string ChainOgg(const std::string& link, int copies);
struct Mp3 {
    std::string bytes;
    int frames; // MPEG frames the encoder wrote
};
// With infoFrame the encoder puts its (blank) info frame in front.
Mp3 EncodeMp3(const std::vector<int16_t>& interleaved, int channels, int rate, int kbps,
              bool infoFrame = false);

// Saves an input to the fuzz corpus of the sound decoder.
void WriteSeed(const std::string& name, const std::string& bytes);

// A stream over bytes that ends the way a file does: at-end as soon as the
// position equals the size, and seeks past the end allowed.
file::Stream OpenFileLikeStream(const std::string& bytes);

// A converter set up over a stream of the given bytes, released at the end.
class DecodedSound {
public:
    enum class StreamKind { Memory, FileLike };
    explicit DecodedSound(const std::string& bytes, StreamKind kind = StreamKind::Memory);
    ~DecodedSound();
    DecodedSound(const DecodedSound&) = delete;
    DecodedSound& operator=(const DecodedSound&) = delete;

    int setupResult() const { return setup_; }
    sound::SoundConverter& converter() { return converter_; }
    // Decode all, returned as bytes (empty on failure).
    std::string DecodeAll();
    std::string Read(int32_t bytes);

private:
    std::string bytes_;
    file::Stream stream_{};
    sound::SoundConverter converter_{};
    int setup_ = -1;
};

} // namespace velox::test
