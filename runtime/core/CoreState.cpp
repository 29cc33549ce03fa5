#include "core/CoreState.h"

namespace velox::core {

CoreState& Core() {
    static CoreState state;
    return state;
}

} // namespace velox::core
