#include "file/Stream.h"

#include "core/MemoryTracker.h"

#include <cstring>

namespace velox::file {
namespace {

intptr_t FileOf(void* data) {
    return reinterpret_cast<intptr_t>(data);
}

int64_t FileTell(void* data) {
    return gFileAccess.tell(FileOf(data));
}
int FileSeek(void* data, int64_t offset, int origin) {
    return gFileAccess.seek(FileOf(data), offset, origin);
}
size_t FileRead(void* dst, size_t elementSize, size_t count, void* data) {
    return gFileAccess.read(dst, elementSize, count, FileOf(data));
}
int FileAtEndFlag(void* data) {
    return gFileAccess.atEnd(FileOf(data));
}
int FileIdle(void* data) {
    return gFileAccess.idle(FileOf(data));
}
int FileCloseStream(void* data) {
    return gFileAccess.close(FileOf(data));
}

MemoryStreamRecord* MemOf(void* data) {
    return static_cast<MemoryStreamRecord*>(data);
}

int64_t MemTell(void* data) {
    return MemOf(data)->position;
}

int MemSeek(void* data, int64_t offset, int origin) {
    MemoryStreamRecord* m = MemOf(data);
    int64_t target = offset;
    if (origin == 1) {
        target = m->position + offset;
    } else if (origin == 2) {
        target = m->size + offset;
    }
    if (target < 0) {
        target = 0;
    }
    if (target > m->size) {
        target = m->size;
    }
    m->position = int32_t(target);
    m->endFlag = 0;
    return 0;
}

size_t MemRead(void* dst, size_t elementSize, size_t count, void* data) {
    MemoryStreamRecord* m = MemOf(data);
    if (m->position >= m->size) {
        m->endFlag = 1;
        return 0;
    }
    if (elementSize == 0 || count == 0) {
        return 0; // nothing asked, nothing copied
    }
    size_t left = size_t(m->size - m->position);
    size_t n = count;
    if (elementSize > left || n > left / elementSize) {
        n = left / elementSize;
    }
    if (n != 0) {
        std::memcpy(dst, m->address + m->position, elementSize * n);
        m->position += int32_t(elementSize * n);
        m->endFlag = 0;
        return n;
    }
    // Less than one element is left: hand it over and count it as one.
    std::memcpy(dst, m->address + m->position, left);
    m->position = m->size;
    m->endFlag = 0;
    return 1;
}

int MemAtEnd(void* data) {
    return MemOf(data)->endFlag;
}
int MemIdle(void*) {
    return 1;
}
int MemClose(void* data) {
    MemFree(data);
    return 0;
}

} // namespace

const StreamOps kFileStreamOps = {FileTell,      FileSeek, FileRead,
                                  FileAtEndFlag, FileIdle, FileCloseStream};
const StreamOps kMemoryStreamOps = {MemTell, MemSeek, MemRead, MemAtEnd, MemIdle, MemClose};

bool OpenFileStream(const char* path, Stream& out, int readAhead, int async) {
    if (!gFileAccess.open) {
        return false;
    }
    intptr_t file = gFileAccess.open(path, readAhead, 1, async);
    if (file == 0) {
        return false;
    }
    out.ops = &kFileStreamOps;
    out.data = reinterpret_cast<void*>(file);
    return true;
}

bool OpenMemoryStream(const void* address, int32_t size, Stream& out) {
    auto* record = core::MemNewZero<MemoryStreamRecord>();
    if (!record) {
        return false;
    }
    record->address = static_cast<const uint8_t*>(address);
    record->size = size < 0 ? 0 : size;
    out.ops = &kMemoryStreamOps;
    out.data = record;
    return true;
}

} // namespace velox::file
