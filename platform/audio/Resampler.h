// Band-limited resampling of one voice for the mixer. A voice is read straight
// from its buffer at its fractional position through a windowed-sinc kernel
// centred on that position: no history and no delay, so a voice may start,
// jump, loop or have its ring rewritten at any time, and what it plays always
// lines up with the frame grid.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace velox::platform {

struct SoundBuffer;

// Polyphase windowed-sinc table for one resampling ratio. Row p holds the
// weights of the taps around a position whose fraction is p / kPhases (row
// kPhases is the fraction 1.0, so the last row can be interpolated too); tap k
// reads source frame floor(position) - before + k. Every row sums to 1.
struct ResampleKernel {
    static constexpr uint32_t kPhases = 256;
    uint32_t taps = 0; // a multiple of 8
    uint32_t before = 0;
    std::vector<float> rows; // (kPhases + 1) * taps
};

// The kernel for a voice that advances `step` source frames per device frame
// (32.32 fixed point); kernels are shared between voices of the same ratio.
std::shared_ptr<const ResampleKernel> ResampleKernelFor(uint64_t step);

// Adds the voice's next frames (stereo, 16-bit scale) to the accumulator and
// advances it, with the same position rules as ever: a looped voice wraps to
// the start, one played once stops at its end and rewinds to 0.
void ResampleVoice(SoundBuffer& voice, int32_t* accumulator, uint32_t frames);

} // namespace velox::platform
