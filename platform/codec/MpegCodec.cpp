// MPEG audio through libmpg123 in feed mode. The info frame of an encoder is
// decoded like any other frame and no gapless trimming is done, so a stream of
// N frames gives exactly N times the frame's samples.
#include "platform/codec/CodecCore.h"

#include <mpg123.h>

#include <algorithm>
#include <mutex>

namespace velox::platform {
namespace {

// The lowest MPEG audio bitrate, 8 kbit/s, bounds the expansion of a lying record.
constexpr uint32_t kMinSourceBytesPerSecond = 1000;
constexpr uint32_t kMaxSamplesPerFrame = 1152;

class MpegConversion final : public AudioConversion {
public:
    explicit MpegConversion(const WaveFormat& f)
        : sourceRate_(std::max(f.avgBytesPerSec, kMinSourceBytesPerSecond)),
          pcmRate_(f.samplesPerSec * f.channels * 2), samplesPerSec_(f.samplesPerSec),
          frameBytes_(kMaxSamplesPerFrame * f.channels * 2) {}
    ~MpegConversion() override {
        if (handle_) {
            mpg123_delete(handle_);
        }
    }

    bool Open(const WaveFormat& f) {
        static std::once_flag once;
        std::call_once(once, [] { mpg123_init(); });
        int error = 0;
        handle_ = mpg123_new(nullptr, &error);
        if (!handle_) {
            return false;
        }
        // Flags replace the defaults: quiet, no gapless trimming, the info
        // frame kept as audio, no resampling behind our back.
        long flags = MPG123_QUIET | MPG123_IGNORE_INFOFRAME;
        int channels = f.channels == 1 ? MPG123_MONO : MPG123_STEREO;
        if (mpg123_param(handle_, MPG123_FLAGS, flags, 0.0) != MPG123_OK ||
            mpg123_format_none(handle_) != MPG123_OK) {
            return false;
        }
        // Every rate is accepted here and a frame at a rate other than the
        // record's is refused below: offered only the record's rate, the
        // library prints its own complaint on standard error, whatever the
        // quiet flag says.
        const long* rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        for (size_t i = 0; i < count; ++i) {
            if (mpg123_format(handle_, rates[i], channels, MPG123_ENC_SIGNED_16) != MPG123_OK) {
                return false;
            }
        }
        return mpg123_open_feed(handle_) == MPG123_OK;
    }

    int Convert(const uint8_t* src, uint32_t srcBytes, uint32_t& srcUsed, uint8_t* dst,
                uint32_t dstBytes, uint32_t& dstUsed) override {
        if (failed_) {
            return -1;
        }
        if (dstBytes == 0) {
            return 0;
        }
        // New input only once the decoder has handed out everything it had.
        if (needMore_ && srcBytes > 0) {
            if (mpg123_feed(handle_, src, srcBytes) != MPG123_OK) {
                failed_ = true;
                return -1;
            }
            srcUsed = srcBytes;
        }
        for (;;) {
            size_t done = 0;
            int result = mpg123_read(handle_, dst + dstUsed, dstBytes - dstUsed, &done);
            dstUsed += uint32_t(done);
            if (result == MPG123_NEW_FORMAT) {
                long rate = 0;
                int channels = 0;
                int encoding = 0;
                if (mpg123_getformat(handle_, &rate, &channels, &encoding) == MPG123_OK &&
                    rate == long(samplesPerSec_)) {
                    continue;
                }
                result = MPG123_ERR; // a frame at another rate: the record lies
            }
            if (result == MPG123_OK && done > 0 && dstUsed < dstBytes) {
                continue;
            }
            if (result == MPG123_OK) {
                needMore_ = done == 0;
                return 0;
            }
            if (result == MPG123_NEED_MORE || result == MPG123_DONE) {
                needMore_ = true;
                return 0;
            }
            // Undecodable data: what came out so far stands, the rest is lost.
            failed_ = true;
            return dstUsed > 0 ? 0 : -1;
        }
    }

    uint64_t Estimate(uint32_t sourceBytes) const override {
        return uint64_t(sourceBytes) * pcmRate_ / sourceRate_ + 2 * uint64_t(frameBytes_);
    }

    uint32_t SourceBlock() const override { return 1; }

private:
    mpg123_handle* handle_ = nullptr;
    uint32_t sourceRate_;
    uint32_t pcmRate_;
    uint32_t samplesPerSec_;
    uint32_t frameBytes_;
    bool needMore_ = true;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<AudioConversion> MakeMpegConversion(const WaveFormat& f) {
    auto c = std::make_unique<MpegConversion>(f);
    if (!c->Open(f)) {
        return nullptr;
    }
    return c;
}

} // namespace velox::platform
