#include "platform/Clock.h"

#include <velox/velox.h>

namespace velox {

// No gate: sleeping holds nothing, and other threads must be free to run meanwhile.
int SleepMicros(uint64_t microseconds) {
    platform::SleepMicros(microseconds);
    return 0;
}

} // namespace velox
