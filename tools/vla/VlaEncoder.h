// Encoder for the archive's LZ77 coding. Copies are found by a hash chain over
// the last 64 KiB (one- and two-byte distances) and a small bucketed table over
// the whole window (three-byte distances); each copy is chosen by the bytes it
// saves, with one step of lazy matching.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velox::vla {

struct EncoderOptions {
    int maxChain = 24;        // near candidates visited per position
    uint32_t niceLength = 96; // a copy this long is taken without weighing others
    // Copies reach back at most 2^windowBits bytes (8..24). Further copies save
    // little and cost the decoder a cache miss each.
    int windowBits = 18;
};

// The byte least frequent in data (ties to the lowest value): the cheapest marker.
uint8_t ChooseMarker(const uint8_t* data, size_t size);

// The coded stream alone (no 9-byte header). The same input and options always
// give the same bytes.
std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, uint8_t marker,
                                  const EncoderOptions& options = {});

// Compressed member data (header and stream), or an empty vector when coding
// does not make the member smaller and it is to be stored as it is.
std::vector<uint8_t> CompressMember(const uint8_t* data, size_t size,
                                    const EncoderOptions& options = {});

} // namespace velox::vla
