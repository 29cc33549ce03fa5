// The archive decompressor on arbitrary streams (mode byte even), and the
// encoder's output decoded back to its input (mode byte odd).
#include "VlaEncoder.h"
#include "archive/ArchiveDecode.h"
#include "archive/ArchiveFormat.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace velox;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    if ((data[0] & 1) == 0) {
        // mode, marker, 16-bit output size, stream
        if (size < 4) {
            return 0;
        }
        std::vector<uint8_t> out(archive::LoadLe16(data + 2));
        archive::DecodeArchiveStream(data + 4, size - 4, data[1], out.data(), out.size());
        // The same bytes as member data with its 9-byte header.
        if (size >= 1 + 9) {
            uint32_t claimed = archive::LoadLe32(data + 1);
            if (claimed <= (1u << 20) &&
                archive::CompressedSizesPlausible(claimed, uint32_t(size - 1))) {
                std::vector<uint8_t> member(claimed);
                archive::DecompressArchiveMember(data + 1, size - 1, member.data(), member.size());
            }
        }
        return 0;
    }
    const uint8_t* input = data + 1;
    size_t length = size - 1;
    uint8_t marker = vla::ChooseMarker(input, length);
    std::vector<uint8_t> coded = vla::EncodeStream(input, length, marker);
    std::vector<uint8_t> back(length);
    if (!archive::DecodeArchiveStream(coded.data(), coded.size(), marker, back.data(),
                                      back.size()) ||
        (length > 0 && std::memcmp(back.data(), input, length) != 0)) {
        std::abort();
    }
    return 0;
}
