// The entry gate: one process-wide re-entrant lock that every public operation
// holds while it runs. Blocked threads are served strictly in arrival order and
// a newcomer never overtakes a waiting thread, even if the gate is free.
#pragma once

#include <atomic>
#include <cstdint>

namespace velox::core {

void EnterGate();
void LeaveGate();
// Enters like EnterGate, but a thread still waiting when abandon becomes true gives up:
// it leaves the waiter queue, passes its turn to the next waiter and returns false. The
// service thread enters this way so that shutdown never waits for it while holding the gate.
bool EnterGateUnless(const std::atomic<bool>& abandon);
// Releases the gate's resources; a later EnterGate creates them again.
void DestroyGate();

// Holds the gate for the lifetime of the scope (public operation wrappers).
class GateScope {
public:
    GateScope() { EnterGate(); }
    ~GateScope() { LeaveGate(); }
    GateScope(const GateScope&) = delete;
    GateScope& operator=(const GateScope&) = delete;
};

namespace gate_detail {
constexpr int kMaxWaiters = 4096;
// Introspection for tests: waiting threads and the holder's recursion depth.
int WaiterCount();
int RecursionCount();
bool HeldByCaller();
} // namespace gate_detail

} // namespace velox::core
