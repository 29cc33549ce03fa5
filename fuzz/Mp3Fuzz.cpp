// The sound converter over MPEG audio: ID3 tags, the frame scan and the decoder.
// Inputs that another kind would claim (WAVE, Ogg) are left to their targets.
#include "SoundFuzzTarget.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 4 && (std::memcmp(data, "RIFF", 4) == 0 || std::memcmp(data, "OggS", 4) == 0)) {
        return 0;
    }
    return velox::fuzz::RunSoundConverter(data, size);
}
