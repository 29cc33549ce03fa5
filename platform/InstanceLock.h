// Second-instance test: a running copy holds an exclusive lock on a file named after its
// window class, "<class>.lock" in $XDG_RUNTIME_DIR, or "<class>-<uid>.lock" in /tmp when
// that is not set. The lock belongs to the open file, so it ends with the process however
// the process ends.
#pragma once

#include <string>

namespace velox::platform {

enum class LockResult {
    Acquired,
    HeldElsewhere, // another process (or another open of the file) holds it
    Unavailable,   // the file cannot be created; nothing is known about other copies
};

// Class names are Shift-JIS; '/' becomes '_' in the file name.
std::string InstanceLockPath(const char* sjisClassName);

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock() { Release(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    LockResult Acquire(const char* sjisClassName);
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace velox::platform
