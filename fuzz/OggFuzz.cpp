// The sound converter over Ogg Vorbis streams: the first page's capture pattern
// is kept in place so that mutations reach the pages and the Vorbis headers.
#include "SoundFuzzTarget.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    std::vector<uint8_t> bytes(data, data + size);
    std::memcpy(bytes.data(), "OggS", 4);
    return velox::fuzz::RunSoundConverter(bytes.data(), bytes.size());
}
