#include "core/CoreState.h"

namespace velox {

CoreState& Core() {
    static CoreState state;
    return state;
}

} // namespace velox
