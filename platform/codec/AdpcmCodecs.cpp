// MS ADPCM and IMA ADPCM block decoders, 16-bit output.
#include "platform/codec/CodecCore.h"

#include <algorithm>
#include <climits>

namespace velox::platform {
namespace {

int32_t Clamp16(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, -32768, 32767));
}

// ---- MS ADPCM -------------------------------------------------------------

constexpr int32_t kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                       768, 614, 512, 409, 307, 230, 230, 230};
// Larger deltas would overflow the next adaptation step.
constexpr int32_t kMsMaxDelta = INT_MAX / 768;

class MsAdpcmConversion final : public BlockConversion {
public:
    MsAdpcmConversion(const WaveFormat& f, uint32_t samplesPerBlock,
                      std::vector<int32_t> coefficients)
        : BlockConversion(f.blockAlign, samplesPerBlock * f.channels * 2), channels_(f.channels),
          blockAlign_(f.blockAlign), samplesPerBlock_(samplesPerBlock),
          coefficients_(std::move(coefficients)) {}

protected:
    uint32_t DecodeBlocks(const uint8_t* src, uint32_t blocks, uint8_t* pcm) override {
        for (uint32_t b = 0; b < blocks; ++b) {
            if (!DecodeBlock(src + size_t(b) * blockAlign_, pcm)) {
                return b;
            }
            pcm += size_t(samplesPerBlock_) * channels_ * 2;
        }
        return blocks;
    }

private:
    // Header per channel: predictor index (byte), delta, sample 1, sample 2
    // (16-bit each, every field for all channels in turn). Sample 2 is the
    // older one and comes out first.
    bool DecodeBlock(const uint8_t* p, uint8_t* out) {
        const uint32_t ch = channels_;
        int32_t coef1[2], coef2[2], delta[2], s1[2], s2[2];
        for (uint32_t c = 0; c < ch; ++c) {
            uint32_t index = p[c];
            if (index >= coefficients_.size() / 2) {
                return false;
            }
            coef1[c] = coefficients_[2 * index];
            coef2[c] = coefficients_[2 * index + 1];
            delta[c] = ReadLe16(p + ch + 2 * c);
            s1[c] = ReadLe16(p + 3 * ch + 2 * c);
            s2[c] = ReadLe16(p + 5 * ch + 2 * c);
        }
        const uint8_t* nibbles = p + 7 * ch;
        for (uint32_t c = 0; c < ch; ++c) {
            PutSample(out + 2 * c, s2[c]);
            PutSample(out + 2 * (ch + c), s1[c]);
        }
        out += 4 * ch;
        const uint32_t count = (samplesPerBlock_ - 2) * ch;
        for (uint32_t k = 0; k < count; ++k) {
            uint32_t c = k % ch;
            int32_t nibble = (k & 1) ? (nibbles[k / 2] & 0x0F) : (nibbles[k / 2] >> 4);
            int32_t signedNibble = nibble >= 8 ? nibble - 16 : nibble;
            int64_t predict = (int64_t(s1[c]) * coef1[c] + int64_t(s2[c]) * coef2[c]) >> 8;
            int32_t sample = Clamp16(predict + int64_t(signedNibble) * delta[c]);
            s2[c] = s1[c];
            s1[c] = sample;
            delta[c] = int32_t((int64_t(kMsAdaptation[nibble]) * delta[c]) >> 8);
            delta[c] = std::clamp(delta[c], 16, kMsMaxDelta);
            PutSample(out + 2 * k, sample);
        }
        return true;
    }

    uint32_t channels_;
    uint32_t blockAlign_;
    uint32_t samplesPerBlock_;
    std::vector<int32_t> coefficients_; // pairs
};

// ---- IMA ADPCM ------------------------------------------------------------

constexpr int32_t kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int32_t kImaIndexShift[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

class ImaAdpcmConversion final : public BlockConversion {
public:
    ImaAdpcmConversion(const WaveFormat& f, uint32_t samplesPerBlock)
        : BlockConversion(f.blockAlign, samplesPerBlock * f.channels * 2), channels_(f.channels),
          blockAlign_(f.blockAlign), samplesPerBlock_(samplesPerBlock) {}

protected:
    uint32_t DecodeBlocks(const uint8_t* src, uint32_t blocks, uint8_t* pcm) override {
        for (uint32_t b = 0; b < blocks; ++b) {
            DecodeBlock(src + size_t(b) * blockAlign_, pcm);
            pcm += size_t(samplesPerBlock_) * channels_ * 2;
        }
        return blocks;
    }

private:
    // Header per channel: first sample (16-bit), step index, a reserved byte.
    // Then groups of 4 bytes per channel in turn, 8 samples each, low nibble first.
    void DecodeBlock(const uint8_t* p, uint8_t* out) {
        const uint32_t ch = channels_;
        for (uint32_t c = 0; c < ch; ++c) {
            int32_t sample = ReadLe16(p + 4 * c);
            int32_t index = std::min<int32_t>(p[4 * c + 2], 88);
            PutSample(out + 2 * c, sample);
            for (uint32_t s = 1; s < samplesPerBlock_; ++s) {
                uint32_t group = (s - 1) / 8;
                uint32_t within = (s - 1) % 8;
                uint8_t byte = p[4 * ch + (group * ch + c) * 4 + within / 2];
                int32_t nibble = (within & 1) ? byte >> 4 : byte & 0x0F;
                int32_t step = kImaSteps[index];
                int32_t diff = step >> 3;
                if (nibble & 4) {
                    diff += step;
                }
                if (nibble & 2) {
                    diff += step >> 1;
                }
                if (nibble & 1) {
                    diff += step >> 2;
                }
                sample = Clamp16((nibble & 8) ? sample - diff : sample + diff);
                index = std::clamp(index + kImaIndexShift[nibble & 7], 0, 88);
                PutSample(out + 2 * (size_t(s) * ch + c), sample);
            }
        }
    }

    uint32_t channels_;
    uint32_t blockAlign_;
    uint32_t samplesPerBlock_;
};

uint16_t ExtraWord(const uint8_t* extra, uint32_t at) {
    return uint16_t(extra[at] | (extra[at + 1] << 8));
}

} // namespace

std::unique_ptr<AudioConversion> MakeMsAdpcmConversion(const WaveFormat& f, const uint8_t* extra,
                                                       uint32_t extraBytes) {
    const uint32_t header = 7u * f.channels;
    if (f.blockAlign <= header || extraBytes < 4) {
        return nullptr;
    }
    uint32_t samplesPerBlock = ExtraWord(extra, 0);
    uint32_t count = ExtraWord(extra, 2);
    uint32_t most = 2 + (f.blockAlign - header) * 2 / f.channels;
    if (samplesPerBlock < 2 || samplesPerBlock > most || count == 0 ||
        count > kMaxMsAdpcmCoefficients || extraBytes < 4 + 4 * count) {
        return nullptr;
    }
    std::vector<int32_t> coefficients(2 * count);
    for (uint32_t i = 0; i < 2 * count; ++i) {
        coefficients[i] = int16_t(ExtraWord(extra, 4 + 2 * i));
    }
    return std::make_unique<MsAdpcmConversion>(f, samplesPerBlock, std::move(coefficients));
}

std::unique_ptr<AudioConversion> MakeImaAdpcmConversion(const WaveFormat& f, const uint8_t* extra,
                                                        uint32_t extraBytes) {
    const uint32_t header = 4u * f.channels;
    if (f.blockAlign <= header || (f.blockAlign - header) % header != 0) {
        return nullptr;
    }
    uint32_t most = (f.blockAlign - header) / header * 8 + 1;
    uint32_t samplesPerBlock = extraBytes >= 2 ? ExtraWord(extra, 0) : most;
    if (samplesPerBlock < 2 || samplesPerBlock > most) {
        return nullptr;
    }
    return std::make_unique<ImaAdpcmConversion>(f, samplesPerBlock);
}

} // namespace velox::platform
