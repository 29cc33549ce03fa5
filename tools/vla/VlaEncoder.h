// Encoder for the archive's LZ77 coding: a hash-chain match finder with one
// step of lazy matching, choosing each copy by the bytes it saves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velox::vla {

struct EncoderOptions {
    int maxChain = 64;         // candidates visited per position
    uint32_t niceLength = 256; // a match this long is taken at once
    int windowBits = 17;       // copies reach back at most 2^windowBits bytes (up to 24)
};

// The byte least frequent in data (ties to the lowest value): the cheapest marker.
uint8_t ChooseMarker(const uint8_t* data, size_t size);

// The coded stream alone (no 9-byte header).
std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, uint8_t marker,
                                  const EncoderOptions& options = {});

// Compressed member data (header and stream), or an empty vector when coding
// does not make the member smaller and it is to be stored as it is.
std::vector<uint8_t> CompressMember(const uint8_t* data, size_t size,
                                    const EncoderOptions& options = {});

} // namespace velox::vla
