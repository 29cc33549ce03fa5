#include "core/Subsystems.h"

namespace velox {

SubsystemHooks& Subsystems() {
    static SubsystemHooks hooks;
    return hooks;
}

} // namespace velox
