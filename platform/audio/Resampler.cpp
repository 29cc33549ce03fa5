#include "platform/audio/Resampler.h"

#include "platform/audio/MixerCore.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace velox::platform {
namespace {

// Zero crossings of the kernel on each side, at the lower of the two rates. With
// the Kaiser window below this puts images and aliases 90 dB down from 0.56 of
// the lower Nyquist rate on, and keeps the passband flat within 0.01 dB to 0.44.
constexpr double kZeroCrossings = 24.0;
constexpr double kKaiserBeta = 8.96;
constexpr uint64_t kUnitStep = uint64_t(1) << 32;

// Source frames gathered per block, per channel. The span lives on the stack of
// whatever thread mixes, and audio threads may have small stacks (64 KiB).
constexpr uint32_t kSpan = 1024;

double BesselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50 && term > 1e-12 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

std::shared_ptr<ResampleKernel> BuildKernel(uint64_t step) {
    // Downsampling lowers the cutoff to the device's Nyquist rate and widens the
    // kernel in source frames to match; upsampling keeps the source's own.
    const double scale = step > kUnitStep ? double(kUnitStep) / double(step) : 1.0;
    const double halfWidth = kZeroCrossings / scale;
    const uint32_t side = uint32_t(std::ceil(halfWidth));
    auto kernel = std::make_shared<ResampleKernel>();
    kernel->taps = (2 * side + 7) / 8 * 8;
    kernel->before = side - 1;
    const uint32_t taps = kernel->taps;
    kernel->rows.resize(size_t(ResampleKernel::kPhases + 1) * taps);
    const double i0Beta = BesselI0(kKaiserBeta);
    std::vector<double> row(taps);
    for (uint32_t p = 0; p <= ResampleKernel::kPhases; ++p) {
        const double phase = double(p) / ResampleKernel::kPhases;
        double sum = 0;
        for (uint32_t k = 0; k < taps; ++k) {
            const double x = double(k) - double(kernel->before) - phase;
            double w = 0;
            if (std::abs(x) < halfWidth) {
                const double r = x / halfWidth;
                const double arg = M_PI * scale * x;
                // At the source rate the sinc is exactly zero on every other
                // frame, so a position on a frame plays that frame's sample.
                const bool onOtherFrame = scale == 1.0 && x != 0 && x == std::round(x);
                const double sinc = x == 0 ? 1.0 : onOtherFrame ? 0.0 : std::sin(arg) / arg;
                w = sinc * BesselI0(kKaiserBeta * std::sqrt(1 - r * r)) / i0Beta;
            }
            row[k] = w;
            sum += w;
        }
        // Every row sums to one: no level change and no ripple on steady levels.
        float* out = kernel->rows.data() + size_t(p) * taps;
        for (uint32_t k = 0; k < taps; ++k) {
            out[k] = float(row[k] / sum);
        }
    }
    return kernel;
}

// One sample of channel c at frame i, scaled to 16 bits.
inline int32_t SampleAt(const SoundData& d, uint32_t frame, uint32_t channel) {
    const uint8_t* p = d.bytes.data() + size_t(frame) * d.format.blockAlign;
    if (d.format.bitsPerSample == 8) {
        return (int32_t(p[channel]) - 128) * 256;
    }
    p += channel * 2;
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
}

void ConvertRun(const SoundData& d, uint32_t from, uint32_t count, float* left, float* right) {
    const uint8_t* p = d.bytes.data() + size_t(from) * d.format.blockAlign;
    const bool stereo = d.format.channels == 2;
    if (d.format.bitsPerSample == 8) {
        for (uint32_t n = 0; n < count; ++n) {
            left[n] = float((int32_t(p[0]) - 128) * 256);
            if (stereo) {
                right[n] = float((int32_t(p[1]) - 128) * 256);
            }
            p += d.format.blockAlign;
        }
        return;
    }
    for (uint32_t n = 0; n < count; ++n) {
        left[n] = float(int16_t(uint16_t(p[0] | (p[1] << 8))));
        if (stereo) {
            right[n] = float(int16_t(uint16_t(p[2] | (p[3] << 8))));
        }
        p += d.format.blockAlign;
    }
}

// Source frames base .. base + count - 1 as floats. Frames outside the data are
// silence for a voice played once; a looped voice (and a streaming ring) reads
// them around the loop, which is what keeps its seam seamless.
void Gather(const SoundData& d, bool looped, int64_t base, uint32_t count, float* left,
            float* right) {
    const int64_t frames = d.frames;
    uint32_t n = 0;
    if (looped) {
        int64_t s = ((base % frames) + frames) % frames;
        while (n < count) {
            uint32_t run = uint32_t(std::min<int64_t>(count - n, frames - s));
            ConvertRun(d, uint32_t(s), run, left + n, right + n);
            n += run;
            s = 0;
        }
        return;
    }
    auto silence = [&](uint32_t upTo) {
        std::fill(left + n, left + upTo, 0.0f);
        std::fill(right + n, right + upTo, 0.0f);
        n = upTo;
    };
    if (base < 0) {
        silence(uint32_t(std::min<int64_t>(count, -base)));
    }
    if (n < count && base + n < frames) {
        uint32_t run = uint32_t(std::min<int64_t>(count - n, frames - (base + n)));
        ConvertRun(d, uint32_t(base + n), run, left + n, right + n);
        n += run;
    }
    silence(count);
}

typedef float Float4 __attribute__((vector_size(16)));

inline Float4 Load4(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline float Sum4(Float4 v) {
    return (v[0] + v[1]) + (v[2] + v[3]);
}

inline int32_t Round(float v) {
    return int32_t(v + (v >= 0 ? 0.5f : -0.5f));
}

// Filters m device frames from the gathered span; frame n sits at
// first + n * step, relative to the span's frame `before`.
template <bool Stereo>
void FilterBlock(const ResampleKernel& kernel, const float* left, const float* right,
                 uint64_t first, uint64_t step, uint32_t m, float gain, int32_t* acc) {
    const uint32_t taps = kernel.taps;
    const uint64_t origin = first >> 32;
    for (uint32_t n = 0; n < m; ++n) {
        const uint64_t at = first + n * step;
        const uint32_t offset = uint32_t((at >> 32) - origin);
        const uint32_t frac = uint32_t(at);
        // The top 8 bits of the fraction pick the row; the rest interpolate
        // between it and the next.
        const float* r0 = kernel.rows.data() + size_t(frac >> 24) * taps;
        const float* r1 = r0 + taps;
        const float t = float(frac & 0xFFFFFF) * (1.0f / 16777216.0f);
        const Float4 tv = {t, t, t, t};
        const float* l = left + offset;
        const float* r = right + offset;
        Float4 l0 = {}, l1 = {}, q0 = {}, q1 = {};
        for (uint32_t k = 0; k < taps; k += 8) {
            const Float4 a0 = Load4(r0 + k), a1 = Load4(r0 + k + 4);
            const Float4 c0 = a0 + tv * (Load4(r1 + k) - a0);
            const Float4 c1 = a1 + tv * (Load4(r1 + k + 4) - a1);
            l0 += c0 * Load4(l + k);
            l1 += c1 * Load4(l + k + 4);
            if constexpr (Stereo) {
                q0 += c0 * Load4(r + k);
                q1 += c1 * Load4(r + k + 4);
            }
        }
        const float yl = Sum4(l0 + l1) * gain;
        const float yr = Stereo ? Sum4(q0 + q1) * gain : yl;
        acc[2 * n] += Round(yl);
        acc[2 * n + 1] += Round(yr);
    }
}

// A voice at the device rate on a whole frame stays on whole frames: its samples
// are copied as they are.
void CopyVoice(SoundBuffer& b, int32_t* acc, uint32_t frames) {
    const SoundData& d = *b.data;
    const bool stereo = d.format.channels == 2;
    const int64_t gain = b.gainQ16;
    uint32_t i = uint32_t(b.position >> 32);
    for (uint32_t n = 0; n < frames && b.playing; ++n) {
        if (gain != 0) {
            const int32_t left = SampleAt(d, i, 0);
            const int32_t right = stereo ? SampleAt(d, i, 1) : left;
            acc[2 * n] += int32_t((left * gain) >> 16);
            acc[2 * n + 1] += int32_t((right * gain) >> 16);
        }
        if (++i == d.frames) {
            i = 0;
            b.playing = b.looping;
        }
    }
    b.position = uint64_t(i) << 32;
}

} // namespace

std::shared_ptr<const ResampleKernel> ResampleKernelFor(uint64_t step) {
    static std::mutex mutex;
    static std::map<uint64_t, std::weak_ptr<const ResampleKernel>> cache;
    // Every upsampling ratio shares the kernel at the source's own rate.
    const uint64_t key = step > kUnitStep ? step : 0;
    std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<const ResampleKernel> kernel = cache[key].lock();
    if (!kernel) {
        kernel = BuildKernel(step);
        cache[key] = kernel;
    }
    return kernel;
}

void ResampleVoice(SoundBuffer& b, int32_t* acc, uint32_t frames) {
    if (b.step == kUnitStep && uint32_t(b.position) == 0) {
        CopyVoice(b, acc, frames);
        return;
    }
    const SoundData& d = *b.data;
    const ResampleKernel& kernel = *b.kernel;
    const bool stereo = d.format.channels == 2;
    const uint64_t end = uint64_t(d.frames) << 32;
    const float gain = float(b.gainQ16) / 65536.0f;
    // Whole source frames a device frame can advance, rounded up.
    const uint64_t stride = (b.step >> 32) + 1;
    const uint32_t perBlock = uint32_t(std::max<uint64_t>(1, (kSpan - kernel.taps - 1) / stride));
    float left[kSpan];
    float right[kSpan];
    uint32_t done = 0;
    while (done < frames && b.playing) {
        const uint64_t pos = b.position;
        uint64_t m = std::min(frames - done, perBlock);
        if (!b.looping) {
            m = std::min(m, (end - pos + b.step - 1) / b.step); // frames before the end
        }
        if (gain != 0) {
            const uint64_t last = (pos + (m - 1) * b.step) >> 32;
            const uint32_t span = uint32_t(last - (pos >> 32)) + kernel.taps;
            Gather(d, b.looping, int64_t(pos >> 32) - kernel.before, span, left, right);
            if (stereo) {
                FilterBlock<true>(kernel, left, right, pos, b.step, uint32_t(m), gain,
                                  acc + 2 * done);
            } else {
                FilterBlock<false>(kernel, left, right, pos, b.step, uint32_t(m), gain,
                                   acc + 2 * done);
            }
        }
        uint64_t next = pos + m * b.step;
        if (next >= end) {
            if (b.looping) {
                next %= end;
            } else {
                b.playing = false;
                next = 0;
            }
        }
        b.position = next;
        done += uint32_t(m);
    }
}

} // namespace velox::platform
