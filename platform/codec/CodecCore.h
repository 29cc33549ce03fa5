// Internals of the audio compression service: one conversion class per codec.
#pragma once

#include "platform/AudioCodec.h"

#include <memory>
#include <vector>

namespace velox::platform {

struct AudioConversion {
    virtual ~AudioConversion() = default;
    virtual int Convert(const uint8_t* src, uint32_t srcBytes, uint32_t& srcUsed, uint8_t* dst,
                        uint32_t dstBytes, uint32_t& dstUsed) = 0;
    virtual uint64_t Estimate(uint32_t sourceBytes) const = 0;
    virtual uint32_t SourceBlock() const = 0;
};

// Codecs that turn each fixed-size source block into a fixed amount of PCM.
class BlockConversion : public AudioConversion {
public:
    BlockConversion(uint32_t sourceBlock, uint32_t pcmPerBlock)
        : sourceBlock_(sourceBlock), pcmPerBlock_(pcmPerBlock) {}
    int Convert(const uint8_t* src, uint32_t srcBytes, uint32_t& srcUsed, uint8_t* dst,
                uint32_t dstBytes, uint32_t& dstUsed) override;
    uint64_t Estimate(uint32_t sourceBytes) const override {
        return uint64_t(sourceBytes / sourceBlock_) * pcmPerBlock_;
    }
    uint32_t SourceBlock() const override { return sourceBlock_; }

protected:
    // Decodes whole blocks, writing pcmPerBlock bytes for each; returns the
    // blocks decoded, fewer than asked when one is unusable.
    virtual uint32_t DecodeBlocks(const uint8_t* src, uint32_t blocks, uint8_t* pcm) = 0;

private:
    uint32_t sourceBlock_;
    uint32_t pcmPerBlock_;
    std::vector<uint8_t> pending_; // decoded PCM that did not fit the last destination
    size_t pendingAt_ = 0;
    bool failed_ = false; // an unusable block ended the data
};

inline void PutSample(uint8_t* out, int32_t v) {
    out[0] = uint8_t(v);
    out[1] = uint8_t(uint32_t(v) >> 8);
}

inline int16_t ReadLe16(const uint8_t* p) {
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
}

std::unique_ptr<AudioConversion> MakeMsAdpcmConversion(const WaveFormat& format,
                                                       const uint8_t* extra, uint32_t extraBytes);
std::unique_ptr<AudioConversion> MakeImaAdpcmConversion(const WaveFormat& format,
                                                        const uint8_t* extra, uint32_t extraBytes);
std::unique_ptr<AudioConversion> MakeG711Conversion(const WaveFormat& format, bool aLaw);
std::unique_ptr<AudioConversion> MakeMpegConversion(const WaveFormat& format);

// MS ADPCM records carry at most this many coefficient pairs here.
constexpr uint32_t kMaxMsAdpcmCoefficients = 256;

} // namespace velox::platform
