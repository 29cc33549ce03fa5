// The archive's own LZ77 coding: literal bytes, a marker byte that introduces
// a copy of 4..8195 bytes from up to 2^24 bytes back, and the marker twice for
// a literal marker. Decoding never reads before the start of the output or
// writes past its end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velox::archive {

constexpr uint32_t kCopyMinLength = 4;
constexpr uint32_t kCopyMaxLength = 8191 + kCopyMinLength;
constexpr uint32_t kCopyMaxDistance = 1u << 24;
// Most output bytes one coded byte can stand for (a 4-byte copy code of the longest length).
constexpr uint64_t kMaxExpansion = kCopyMaxLength / 4 + 1;

// Decodes a coded stream with the given marker into exactly outSize bytes.
// False when the stream is malformed, ends early or would overrun the output.
bool DecodeArchiveStream(const uint8_t* coded, size_t codedSize, uint8_t marker, uint8_t* out,
                         size_t outSize);

// Decodes compressed member data (9-byte header, then the coded stream); the
// header's sizes must agree with the member's sizes.
bool DecompressArchiveMember(const uint8_t* data, size_t dataSize, uint8_t* out, size_t outSize);

// Whether a member of this size can come from this many compressed bytes; checked
// before the buffers are allocated so that a forged size cannot ask for gigabytes.
bool CompressedSizesPlausible(uint32_t size, uint32_t compressedSize);

} // namespace velox::archive
