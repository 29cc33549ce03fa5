#include "core/EntryGate.h"

#include "platform/Clock.h"
#include "platform/Thread.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

namespace velox::core {
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

void Acquire(uint32_t self) {
    ++gGate.recursion;
    gGate.locked = true;
    gGate.owner = self;
}

// The caller's place in the queue, or -1.
int QueueIndexOf(uint32_t self) {
    for (int i = 0; i < gGate.waiterCount; ++i) {
        if (gGate.queue[i].threadId == self) {
            return i;
        }
    }
    return -1;
}

// Removes entry i; its event, reset, becomes the spare at the end of the queue.
void RemoveWaiterAt(int i) {
    ManualResetEvent* event = gGate.queue[i].event;
    for (int k = i + 1; k < gGate.waiterCount; ++k) {
        gGate.queue[k - 1] = gGate.queue[k];
    }
    event->Reset();
    gGate.queue[gGate.waiterCount - 1] = {0, event};
    --gGate.waiterCount;
}

// Both ways of entering. A queued thread keeps its entry until it acquires or gives up, so
// a wake-up that finds the gate still taken (or the caller not first) just waits again.
bool EnterGateImpl(const std::atomic<bool>* abandon) {
    if (!gGate.created.load(std::memory_order_acquire)) {
        CreateGate();
    }
    const uint32_t self = platform::CurrentThreadId();
    ManualResetEvent* event = nullptr; // set while the caller is queued
    for (;;) {
        std::unique_lock lock(gGate.guard);
        const bool queued = event != nullptr;
        bool acquire = false;
        if (gGate.locked) {
            acquire = gGate.owner == int64_t(self);
        } else if (!queued && (gGate.waiterCount == 0 || gGate.owner == int64_t(self))) {
            acquire = true;
        } else if (queued && gGate.queue[0].threadId == self) {
            RemoveWaiterAt(0);
            acquire = true;
        }
        if (acquire) {
            Acquire(self);
            return true;
        }
        if (abandon && abandon->load()) {
            if (queued) {
                const int index = QueueIndexOf(self);
                if (index >= 0) {
                    RemoveWaiterAt(index);
                }
                // The turn may have been handed to this thread already: pass it on.
                if (index == 0 && !gGate.locked && gGate.waiterCount > 0) {
                    gGate.queue[0].event->Set();
                }
            }
            return false;
        }
        if (!queued) {
            if (gGate.waiterCount == gate_detail::kMaxWaiters) {
                lock.unlock();
                platform::SleepMillis(1);
                continue;
            }
            WaiterEntry& entry = gGate.queue[gGate.waiterCount++];
            entry.threadId = self;
            event = entry.event; // events move with their entries, so this stays the caller's
            event->Reset();
        }
        lock.unlock();
        if (!abandon) {
            event->Wait();
            event->Reset();
        } else if (event->WaitFor(2)) {
            // Short real-time waits, so that abandon is seen without a wake-up of its own.
            event->Reset();
        }
    }
}

} // namespace

void EnterGate() {
    EnterGateImpl(nullptr);
}

bool EnterGateUnless(const std::atomic<bool>& abandon) {
    return EnterGateImpl(&abandon);
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

} // namespace velox::core
