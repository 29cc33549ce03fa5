#include "platform/Thread.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace velox::platform {

uint32_t CurrentThreadId() {
    thread_local uint32_t id = uint32_t(syscall(SYS_gettid));
    return id;
}

void ManualResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool ManualResetEvent::IsSet() {
    std::lock_guard lock(mutex_);
    return signalled_;
}

void ManualResetEvent::Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
}

bool ManualResetEvent::WaitFor(uint32_t ms) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; });
}

} // namespace velox::platform
