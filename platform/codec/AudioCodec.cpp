#include "platform/codec/CodecCore.h"

#include <algorithm>
#include <cstring>

namespace velox::platform {
namespace {

// Record header, samples per block, coefficient count, then the coefficient pairs.
constexpr uint32_t kMaxFormatSize = kWaveFormatRecordSize + 4 + 4 * kMaxMsAdpcmCoefficients;

bool TagHasCodec(uint16_t tag) {
    return tag == kWaveFormatMsAdpcm || tag == kWaveFormatImaAdpcm || tag == kWaveFormatALaw ||
           tag == kWaveFormatMuLaw || tag == kWaveFormatMpegLayer3;
}

bool ReadSource(const uint8_t* record, uint32_t size, WaveFormat& format) {
    if (!record || size < 16) {
        return false;
    }
    format = ReadWaveFormat(record, size);
    if (size < kWaveFormatRecordSize) {
        format.extraSize = 0;
    }
    return TagHasCodec(format.formatTag) && format.channels >= 1 && format.channels <= 2 &&
           format.samplesPerSec >= 1 && format.samplesPerSec <= 0x7FFFFFFF / 4;
}

} // namespace

int BlockConversion::Convert(const uint8_t* src, uint32_t srcBytes, uint32_t& srcUsed, uint8_t* dst,
                             uint32_t dstBytes, uint32_t& dstUsed) {
    srcUsed = 0;
    dstUsed = 0;
    for (;;) {
        if (pendingAt_ < pending_.size()) {
            size_t n = std::min(pending_.size() - pendingAt_, size_t(dstBytes - dstUsed));
            std::memcpy(dst + dstUsed, pending_.data() + pendingAt_, n);
            pendingAt_ += n;
            dstUsed += uint32_t(n);
            if (pendingAt_ < pending_.size()) {
                return 0; // destination full
            }
            pending_.clear();
            pendingAt_ = 0;
        }
        if (failed_) {
            // What came before the unusable block is handed out first.
            return dstUsed > 0 ? 0 : -1;
        }
        uint32_t blocks = (srcBytes - srcUsed) / sourceBlock_;
        if (blocks == 0 || dstUsed == dstBytes) {
            return 0;
        }
        uint32_t fit = (dstBytes - dstUsed) / pcmPerBlock_;
        if (fit > 0) {
            blocks = std::min(blocks, fit);
            uint32_t done = DecodeBlocks(src + srcUsed, blocks, dst + dstUsed);
            srcUsed += done * sourceBlock_;
            dstUsed += done * pcmPerBlock_;
            failed_ = done < blocks;
            continue;
        }
        // Not even one block fits: decode it aside and hand out what fits.
        pending_.resize(pcmPerBlock_);
        if (DecodeBlocks(src + srcUsed, 1, pending_.data()) != 1) {
            pending_.clear();
            failed_ = true;
            continue;
        }
        srcUsed += sourceBlock_;
    }
}

uint32_t MaxCodecFormatSize() {
    return kMaxFormatSize;
}

int SuggestPcmFormat(const uint8_t* sourceRecord, uint32_t recordSize, WaveFormat& pcm) {
    WaveFormat source;
    if (!ReadSource(sourceRecord, recordSize, source)) {
        return -1;
    }
    pcm = MakePcmFormat(source.channels, source.samplesPerSec, 16);
    return 0;
}

AudioConversion* OpenAudioConversion(const uint8_t* sourceRecord, uint32_t recordSize,
                                     const WaveFormat& pcm) {
    WaveFormat source;
    if (!ReadSource(sourceRecord, recordSize, source) || recordSize > kMaxFormatSize) {
        return nullptr;
    }
    WaveFormat want = MakePcmFormat(source.channels, source.samplesPerSec, 16);
    if (pcm.formatTag != want.formatTag || pcm.channels != want.channels ||
        pcm.samplesPerSec != want.samplesPerSec || pcm.bitsPerSample != 16 ||
        pcm.blockAlign != want.blockAlign) {
        return nullptr;
    }
    uint32_t extraBytes = 0;
    const uint8_t* extra = nullptr;
    if (recordSize > kWaveFormatRecordSize) {
        extraBytes = std::min<uint32_t>(source.extraSize, recordSize - kWaveFormatRecordSize);
        extra = sourceRecord + kWaveFormatRecordSize;
    }
    std::unique_ptr<AudioConversion> c;
    switch (source.formatTag) {
    case kWaveFormatMsAdpcm:
        c = MakeMsAdpcmConversion(source, extra, extraBytes);
        break;
    case kWaveFormatImaAdpcm:
        c = MakeImaAdpcmConversion(source, extra, extraBytes);
        break;
    case kWaveFormatALaw:
    case kWaveFormatMuLaw:
        c = MakeG711Conversion(source, source.formatTag == kWaveFormatALaw);
        break;
    default:
        c = MakeMpegConversion(source);
        break;
    }
    return c.release();
}

void CloseAudioConversion(AudioConversion* conversion) {
    delete conversion;
}

int EstimateConvertedSize(AudioConversion* conversion, uint32_t sourceBytes, uint32_t& pcmBytes) {
    if (!conversion) {
        return -1;
    }
    uint64_t estimate = conversion->Estimate(sourceBytes);
    if (estimate > 0xFFFFFFFFull) {
        return -1;
    }
    pcmBytes = uint32_t(estimate);
    return 0;
}

uint32_t ConversionSourceBlock(AudioConversion* conversion) {
    return conversion ? conversion->SourceBlock() : 0;
}

int ConvertAudio(AudioConversion* conversion, const uint8_t* src, uint32_t srcBytes,
                 uint32_t& srcUsed, uint8_t* dst, uint32_t dstBytes, uint32_t& dstUsed) {
    srcUsed = 0;
    dstUsed = 0;
    if (!conversion || (!src && srcBytes) || (!dst && dstBytes)) {
        return -1;
    }
    return conversion->Convert(src, srcBytes, srcUsed, dst, dstBytes, dstUsed);
}

} // namespace velox::platform
