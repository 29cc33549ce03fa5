// The sound converter over arbitrary bytes: WAVE in all its codecs, and any
// other kind the converter recognises.
#include "SoundFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return velox::fuzz::RunSoundConverter(data, size);
}
