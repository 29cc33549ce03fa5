#include "core/EntryGate.h"

#include "platform/Clock.h"
#include "platform/Thread.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

namespace velox {
namespace {

using platform::ManualResetEvent;

struct WaiterEntry {
    uint32_t threadId = 0;
    ManualResetEvent* event = nullptr;
};

// Invariant: entries [0, waiterCount) are the waiting threads in arrival order;
// every entry, used or not, owns one event, and events move with their entries.
struct GateRecord {
    std::atomic<bool> created{false};
    int recursion = 0;
    bool locked = false;
    int64_t owner = 0; // -1 when free, 0 before first use; thread ids are never 0
    std::array<WaiterEntry, gate_detail::kMaxWaiters> queue{};
    int waiterCount = 0;
    std::unique_ptr<ManualResetEvent[]> events;
    std::mutex guard;
};

GateRecord gGate;
// Serialises creation and destruction, so that two threads making their first
// call at once still create the gate only once.
std::mutex gCreation;

void CreateGate() {
    std::lock_guard creation(gCreation);
    if (gGate.created.load(std::memory_order_relaxed)) {
        return;
    }
    gGate.events = std::make_unique<ManualResetEvent[]>(gate_detail::kMaxWaiters);
    for (int i = 0; i < gate_detail::kMaxWaiters; ++i) {
        gGate.queue[i] = {0, &gGate.events[i]};
    }
    gGate.waiterCount = 0;
    gGate.recursion = 0;
    gGate.locked = false;
    gGate.owner = -1;
    gGate.created.store(true, std::memory_order_release);
}

void RemoveHeadWaiter() {
    ManualResetEvent* headEvent = gGate.queue[0].event;
    for (int i = 1; i < gGate.waiterCount; ++i) {
        gGate.queue[i - 1] = gGate.queue[i];
    }
    gGate.queue[gGate.waiterCount - 1] = {0, headEvent};
    --gGate.waiterCount;
}

} // namespace

void EnterGate() {
    if (!gGate.created.load(std::memory_order_acquire)) {
        CreateGate();
    }
    const uint32_t self = platform::CurrentThreadId();
    for (;;) {
        std::unique_lock lock(gGate.guard);
        bool acquire = false;
        if (gGate.locked) {
            acquire = gGate.owner == int64_t(self);
        } else if (gGate.waiterCount == 0 || gGate.owner == int64_t(self)) {
            acquire = true;
        } else if (gGate.queue[0].threadId == self) {
            RemoveHeadWaiter();
            acquire = true;
        }
        if (acquire) {
            ++gGate.recursion;
            gGate.locked = true;
            gGate.owner = self;
            return;
        }
        if (gGate.waiterCount == gate_detail::kMaxWaiters) {
            lock.unlock();
            platform::SleepMillis(1);
            continue;
        }
        WaiterEntry& entry = gGate.queue[gGate.waiterCount++];
        entry.threadId = self;
        ManualResetEvent* event = entry.event;
        lock.unlock();
        event->Wait();
        event->Reset();
    }
}

void LeaveGate() {
    bool wake = false;
    ManualResetEvent* head = nullptr;
    {
        std::lock_guard lock(gGate.guard);
        if (gGate.recursion <= 0) {
            return; // not held: nothing to undo
        }
        if (gGate.recursion == 1) {
            gGate.locked = false;
            gGate.owner = -1;
            wake = gGate.waiterCount > 0;
            head = wake ? gGate.queue[0].event : nullptr;
        }
        --gGate.recursion;
    }
    if (wake) {
        head->Set();
        platform::YieldProcessor();
    }
}

void DestroyGate() {
    std::lock_guard creation(gCreation);
    if (!gGate.created.load()) {
        return;
    }
    std::lock_guard lock(gGate.guard);
    gGate.created.store(false);
    gGate.queue.fill({});
    gGate.events.reset();
    gGate.waiterCount = 0;
    gGate.recursion = 0;
    gGate.locked = false;
    gGate.owner = -1;
}

namespace gate_detail {
int WaiterCount() {
    std::lock_guard lock(gGate.guard);
    return gGate.waiterCount;
}
int RecursionCount() {
    std::lock_guard lock(gGate.guard);
    return gGate.recursion;
}
bool HeldByCaller() {
    std::lock_guard lock(gGate.guard);
    return gGate.locked && gGate.owner == int64_t(platform::CurrentThreadId());
}
} // namespace gate_detail

} // namespace velox
