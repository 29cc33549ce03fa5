#include "platform/InstanceLock.h"

#include "platform/TextCodec.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace velox::platform {

std::string InstanceLockPath(const char* sjisClassName) {
    std::string name = ShiftJisToUtf8(sjisClassName ? sjisClassName : "");
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    if (name.empty()) {
        name = "_";
    }
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && runtimeDir[0] != '\0') {
        return std::string(runtimeDir) + "/" + name + ".lock";
    }
    // /tmp is shared by every user: the uid keeps one user's copy from refusing another's.
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

LockResult InstanceLock::Acquire(const char* sjisClassName) {
    Release();
    const std::string path = InstanceLockPath(sjisClassName);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return LockResult::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? LockResult::HeldElsewhere : LockResult::Unavailable;
    }
    fd_ = fd;
    return LockResult::Acquired;
}

void InstanceLock::Release() {
    // The file stays: removing it could race with a copy that has just opened it.
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace velox::platform
