// Thread service: thread identity and a manual-reset event, the two primitives
// the entry gate and the file-access threads are built from.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace velox::platform {

// Kernel thread id of the caller; never 0.
uint32_t CurrentThreadId();

// An event that stays signalled until reset, waking every waiter.
class ManualResetEvent {
public:
    explicit ManualResetEvent(bool signalled = false) : signalled_(signalled) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet();
    void Wait();
    // True when signalled within the time, false on time-out.
    bool WaitFor(uint32_t ms);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
};

} // namespace velox::platform
