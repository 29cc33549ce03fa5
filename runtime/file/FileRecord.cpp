#include "file/FileRecord.h"

#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "file/ParkedThreads.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Thread.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace velox::file {

namespace {

constexpr int32_t kReadAheadSize = 0x20000;
constexpr uint32_t kReadAheadPollMs = 100;

enum ThreadCommand : int32_t {
    kCommandRelease = 1,
    kCommandRead = 2,
    kCommandSeek = 3,
    kCommandEnd = 4,
};

} // namespace

// The caller and the file-access thread hand over through the two events: the
// caller writes a command and its arguments only while `done` is signalled, and
// the thread touches its platform file and read-ahead buffer only while running
// a command or between commands. The thread's last touch of the record is
// `threadEnded`: after that the record may be freed while the thread parks.
struct FileRecord {
    int fd;
    int32_t threaded;
    int32_t readAhead;
    int32_t async;
    int32_t endFlag;
    int64_t position;
    uint32_t size;
    int32_t threadStarted;
    std::atomic<int32_t> threadEnded;
    int threadFd;
    platform::ManualResetEvent* request;
    platform::ManualResetEvent* done;
    int32_t command;
    uint8_t* readDestination;
    int64_t readPosition;
    int64_t readCount;
    int64_t seekTarget;
    uint8_t* aheadBuffer;
    int64_t aheadPosition;
    int32_t aheadFill;
};

namespace {

void ReadAhead(FileRecord* r) {
    if (r->threadFd < 0 || r->aheadFill >= kReadAheadSize) {
        return;
    }
    platform::FileSystem& fs = platform::Files();
    if (!fs.SeekTo(r->threadFd, r->aheadPosition + r->aheadFill)) {
        return;
    }
    int64_t got =
        fs.Read(r->threadFd, r->aheadBuffer + r->aheadFill, size_t(kReadAheadSize - r->aheadFill));
    if (got > 0) {
        r->aheadFill += int32_t(got);
    }
}

void RunRead(FileRecord* r) {
    platform::FileSystem& fs = platform::Files();
    if (r->aheadBuffer && r->readPosition == r->aheadPosition && r->aheadFill != 0) {
        int64_t take = r->readCount < r->aheadFill ? r->readCount : r->aheadFill;
        std::memcpy(r->readDestination, r->aheadBuffer, size_t(take));
        r->readDestination += take;
        r->readPosition += take;
        r->aheadPosition += take;
        r->readCount -= take;
        r->aheadFill -= int32_t(take);
        std::memmove(r->aheadBuffer, r->aheadBuffer + take, size_t(r->aheadFill));
    }
    if (r->readCount > 0) {
        int64_t got = -1;
        if (r->threadFd >= 0 && fs.SeekTo(r->threadFd, r->readPosition)) {
            got = fs.Read(r->threadFd, r->readDestination, size_t(r->readCount));
        }
        r->readCount = got < 0 ? 0 : got;
        if (r->aheadBuffer) {
            r->aheadPosition = r->readPosition + r->readCount;
            r->aheadFill = 0;
        }
    }
}

void FileAccessThread(void* record) {
    auto* r = static_cast<FileRecord*>(record);
    platform::FileSystem& fs = platform::Files();
    for (;;) {
        if (!r->aheadBuffer) {
            r->request->Wait();
        } else if (!r->request->WaitFor(kReadAheadPollMs)) {
            ReadAhead(r);
            continue;
        }
        r->request->Reset();
        r->done->Reset();
        switch (r->command) {
        case kCommandRelease:
            fs.Close(r->threadFd);
            r->threadFd = -1;
            break;
        case kCommandRead:
            RunRead(r);
            break;
        case kCommandSeek:
            if (r->threadFd >= 0) {
                fs.SeekTo(r->threadFd, r->seekTarget);
            }
            if (r->aheadBuffer) {
                r->aheadPosition = r->seekTarget;
                r->aheadFill = 0;
            }
            break;
        case kCommandEnd:
            if (r->threadFd >= 0) {
                fs.Close(r->threadFd);
                r->threadFd = -1;
            }
            r->done->Set();
            r->threadEnded.store(1);
            return;
        default:
            break;
        }
        r->done->Set();
    }
}

void HandCommand(FileRecord* r, int32_t command) {
    r->done->Wait();
    r->command = command;
    r->done->Reset();
    r->request->Set();
}

// Releases the thread's objects after it has ended (or was never started).
void ReleaseThreadObjects(FileRecord* r) {
    if (r->threadStarted) {
        while (!r->threadEnded.load()) {
            platform::YieldProcessor();
        }
        r->threadStarted = 0;
    }
    delete r->request;
    delete r->done;
    r->request = nullptr;
    r->done = nullptr;
    MemFree(r->aheadBuffer);
    r->aheadBuffer = nullptr;
}

void FreeRecord(FileRecord* r) {
    r->~FileRecord();
    MemFree(r);
}

// Starts the record's thread. A record that only reads asynchronously gets it
// at its first read, so an archive read only in full never starts one.
bool StartThread(FileRecord* r) {
    if (r->threadStarted) {
        return true;
    }
    r->threadStarted = RunOnParkedThread(FileAccessThread, r) ? 1 : 0;
    if (!r->threadStarted) {
        LogWrite(SJIS("ファイルアクセス専用スレッドの作成に失敗しました\n"));
    }
    return r->threadStarted != 0;
}

// The record takes over `fd`, the handle the caller opened.
bool SetUpThread(FileRecord* r, int fd) {
    if (r->readAhead) {
        r->aheadBuffer = static_cast<uint8_t*>(MemAlloc(kReadAheadSize, nullptr, 0));
        if (!r->aheadBuffer) {
            LogWrite(SJIS("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n"));
            return false;
        }
    }
    r->request = new (std::nothrow) platform::ManualResetEvent(false);
    r->done = new (std::nothrow) platform::ManualResetEvent(true);
    r->threadFd = fd;
    if (!r->request || !r->done || (r->readAhead && !StartThread(r))) {
        r->threadFd = -1; // the caller closes it
        ReleaseThreadObjects(r);
        return false;
    }
    return true;
}

} // namespace

FileRecord* OpenFileRecord(const char* path, int readAhead, int async) {
    void* memory = MemAllocZero(int32_t(sizeof(FileRecord)), nullptr, 0);
    if (!memory) {
        return nullptr;
    }
    auto* r = new (memory) FileRecord{};
    r->fd = -1;
    r->threadFd = -1;
    r->readAhead = readAhead ? 1 : 0;
    r->async = async ? 1 : 0;
    r->threaded = (r->readAhead || r->async) ? 1 : 0;

    platform::FileSystem& fs = platform::Files();
    int fd = fs.OpenRead(path);
    if (fd < 0) {
        FreeRecord(r);
        return nullptr;
    }
    int64_t size = fs.Size(fd);
    r->size = uint32_t(size < 0 ? 0 : size);
    if (!r->threaded) {
        r->fd = fd;
        return r;
    }
    if (!SetUpThread(r, fd)) {
        fs.Close(fd);
        FreeRecord(r);
        return nullptr;
    }
    return r;
}

int CloseFileRecord(FileRecord* r) {
    if (!r) {
        return -1;
    }
    if (!r->threaded) {
        platform::Files().Close(r->fd);
    } else if (r->threadStarted) {
        HandCommand(r, kCommandEnd);
        r->done->Wait();
        ReleaseThreadObjects(r);
    } else {
        platform::Files().Close(r->threadFd);
        ReleaseThreadObjects(r);
    }
    FreeRecord(r);
    return 0;
}

int64_t FileRecordTell(FileRecord* r) {
    return r->position;
}
int64_t FileRecordSize(FileRecord* r) {
    return r->size;
}

int FileRecordSeek(FileRecord* r, int64_t offset, int origin) {
    int64_t target = offset;
    if (origin == 1) {
        target = r->position + offset;
    } else if (origin == 2) {
        target = int64_t(r->size) + offset;
    }
    if (target < 0) {
        return -1; // before the start of the file: refused, nothing changes
    }
    if (r->threadStarted) {
        r->done->Wait();
        r->seekTarget = target;
        HandCommand(r, kCommandSeek);
    } else if (r->threaded) {
        // No thread yet: each read seeks to its own position.
    } else if (!platform::Files().SeekTo(r->fd, target)) {
        return -1;
    }
    r->position = target;
    r->endFlag = 0;
    return 0;
}

size_t FileRecordRead(void* dst, size_t elementSize, size_t count, FileRecord* r) {
    if (elementSize == 0) {
        return 0;
    }
    if (r->position >= int64_t(r->size)) {
        r->endFlag = 1;
        return 0;
    }
    uint64_t left = uint64_t(int64_t(r->size) - r->position);
    if (count > left / elementSize) {
        count = size_t(left / elementSize);
        if (count == 0) {
            r->endFlag = 1;
            return 0;
        }
    }
    size_t bytes = elementSize * count;
    size_t result = count;
    if (r->threaded && !StartThread(r)) {
        // No thread to be had: the read happens now, on the caller's thread.
        platform::FileSystem& fs = platform::Files();
        int64_t got = fs.SeekTo(r->threadFd, r->position) ? fs.Read(r->threadFd, dst, bytes) : -1;
        result = got < 0 ? 0 : size_t(got) / elementSize;
    } else if (r->threaded) {
        r->done->Wait();
        r->readDestination = static_cast<uint8_t*>(dst);
        r->readPosition = r->position;
        r->readCount = int64_t(bytes);
        HandCommand(r, kCommandRead);
        if (!r->async) {
            r->done->Wait();
        }
    } else {
        int64_t got = platform::Files().Read(r->fd, dst, bytes);
        result = got < 0 ? 0 : size_t(got) / elementSize;
    }
    r->position += int64_t(bytes);
    return result;
}

size_t FileRecordReadAt(FileRecord* r, int64_t position, void* dst, size_t bytes) {
    if (position < 0) {
        return 0;
    }
    if (!r->threaded || r->aheadBuffer) {
        if (FileRecordSeek(r, position, 0) != 0) {
            return 0;
        }
        const size_t got = FileRecordRead(dst, 1, bytes, r);
        if (r->threaded) {
            r->done->Wait();
        }
        return got;
    }
    // Idle, the thread is parked on `request` and leaves its file alone; the
    // event orders its last command before this read and this read before its
    // next command.
    r->done->Wait();
    if (position >= int64_t(r->size)) {
        r->position = position;
        return 0;
    }
    bytes = std::min<uint64_t>(bytes, uint64_t(int64_t(r->size) - position));
    platform::FileSystem& fs = platform::Files();
    int64_t got = -1;
    if (r->threadFd >= 0 && fs.SeekTo(r->threadFd, position)) {
        got = fs.Read(r->threadFd, dst, bytes);
    }
    const size_t arrived = got < 0 ? 0 : size_t(got);
    r->position = position + int64_t(arrived);
    r->endFlag = 0;
    return arrived;
}

int FileRecordAtEnd(FileRecord* r) {
    return r->endFlag ? -1 : 0;
}

int FileRecordIdle(FileRecord* r) {
    if (!r->threaded) {
        return 1;
    }
    return r->done->IsSet() ? 1 : 0;
}

} // namespace velox::file
