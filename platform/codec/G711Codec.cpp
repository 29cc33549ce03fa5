// A-law and mu-law (G.711) expansion to 16-bit PCM, one byte per sample.
#include "platform/codec/CodecCore.h"

namespace velox::platform {
namespace {

// Bits are stored with even bits inverted; segment (exponent) 0 is linear.
int32_t ALawToLinear(uint8_t code) {
    uint8_t a = code ^ 0x55;
    int32_t mantissa = a & 0x0F;
    int32_t segment = (a >> 4) & 0x07;
    int32_t magnitude = (mantissa << 4) + 8;
    if (segment != 0) {
        magnitude = (magnitude + 0x100) << (segment - 1);
    }
    return (a & 0x80) ? magnitude : -magnitude;
}

// Stored inverted, with a bias of 0x84 added before the segment shift.
int32_t MuLawToLinear(uint8_t code) {
    uint8_t u = uint8_t(~code);
    int32_t magnitude = (((u & 0x0F) << 3) + 0x84) << ((u >> 4) & 0x07);
    return (u & 0x80) ? 0x84 - magnitude : magnitude - 0x84;
}

class G711Conversion final : public BlockConversion {
public:
    G711Conversion(uint32_t channels, bool aLaw)
        : BlockConversion(channels, channels * 2), channels_(channels) {
        for (int i = 0; i < 256; ++i) {
            table_[i] = aLaw ? ALawToLinear(uint8_t(i)) : MuLawToLinear(uint8_t(i));
        }
    }

protected:
    uint32_t DecodeBlocks(const uint8_t* src, uint32_t blocks, uint8_t* pcm) override {
        const uint32_t samples = blocks * channels_;
        for (uint32_t i = 0; i < samples; ++i) {
            PutSample(pcm + 2 * i, table_[src[i]]);
        }
        return blocks;
    }

private:
    uint32_t channels_;
    int32_t table_[256];
};

} // namespace

std::unique_ptr<AudioConversion> MakeG711Conversion(const WaveFormat& f, bool aLaw) {
    if (f.blockAlign != f.channels) {
        return nullptr;
    }
    return std::make_unique<G711Conversion>(f.channels, aLaw);
}

} // namespace velox::platform
