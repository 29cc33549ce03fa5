// The public file operations: open, close, end test and the Shift-JIS aware
// line reader, each under the entry gate.
#include "archive/ArchiveHook.h"
#include "core/EntryGate.h"
#include "core/ShiftJis.h"
#include "file/FileAccess.h"
#include "platform/Clock.h"

#include <velox/velox.h>

namespace velox {
namespace {

int FileAtEndInner(intptr_t file) {
    int64_t remembered = file::gFileAccess.tell(file);
    file::gFileAccess.seek(file, 0, 2);
    int64_t end = file::gFileAccess.tell(file);
    file::gFileAccess.seek(file, remembered, 0);
    return remembered == end ? 1 : 0;
}

int FileReadLineInner(char* buffer, int bufferSize, intptr_t file) {
    if (!buffer || bufferSize < 2) {
        if (buffer && bufferSize == 1) {
            buffer[0] = '\0';
        }
        return -1;
    }
    if (file::gFileAccess.atEnd(file) != 0) {
        return -1;
    }
    int64_t start = file::gFileAccess.tell(file);
    size_t length = file::gFileAccess.read(buffer, 1, size_t(bufferSize - 1), file);
    while (file::gFileAccess.idle(file) == 0) {
        platform::YieldProcessor();
    }
    if (length == 0) {
        buffer[0] = '\0';
        return -1;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(buffer);
    size_t i = 0;
    while (i < length) {
        unsigned char c = b[i];
        if (c == 0) {
            break;
        }
        if (core::IsLeadByte(c)) {
            if (i + 2 > length) {
                // The trail byte was not read: leave the whole character to the
                // next call. A buffer too small to hold any character takes the
                // lead byte alone rather than never making progress.
                if (i > 0) {
                    file::gFileAccess.seek(file, start + int64_t(i), 0);
                    break;
                }
                i = 1;
                break;
            }
            i += 2;
            continue;
        }
        if (c == '\r') {
            if (i + 1 < length && b[i + 1] == '\n') {
                file::gFileAccess.seek(file, start + int64_t(i) + 2, 0);
                break;
            }
            if (i + 1 == length && FileAtEndInner(file) == 0) {
                // A CR as the last byte read, with more to come, may begin a CR LF: the
                // next byte decides. A pair split by the buffer still ends this line, so
                // a line that just fits stays one line (no empty line after it).
                char next = 0;
                size_t got = file::gFileAccess.read(&next, 1, 1, file);
                while (file::gFileAccess.idle(file) == 0) {
                    platform::YieldProcessor();
                }
                if (got == 1 && next == '\n') {
                    file::gFileAccess.seek(file, start + int64_t(i) + 2, 0);
                    break;
                }
                if (i > 0) {
                    file::gFileAccess.seek(file, start + int64_t(i), 0);
                    break;
                }
                file::gFileAccess.seek(file, start + int64_t(length), 0);
            }
        }
        ++i;
    }
    buffer[i] = '\0';
    return int(i);
}

} // namespace

int InitFileAccess() {
    core::GateScope gate;
    if (!file::gFileAccess.open) {
        file::InstallArchiveAwareFileAccess();
    }
    return 0;
}

int SetArchiveKey(const char* keyString) {
    core::GateScope gate;
    archive::SetArchiveKeyString(keyString);
    return 0;
}

int32_t FileOpenRead(const char* path, int async) {
    core::GateScope gate;
    if (!file::gFileAccess.open || !path) {
        return 0;
    }
    return int32_t(file::gFileAccess.open(path, 0, 1, async ? 1 : 0));
}

int FileClose(int32_t file) {
    core::GateScope gate;
    return file::gFileAccess.close ? file::gFileAccess.close(file) : -1;
}

int FileAtEnd(int32_t file) {
    core::GateScope gate;
    return file::gFileAccess.tell ? FileAtEndInner(file) : 1;
}

int FileReadLine(char* buffer, int bufferSize, int32_t file) {
    core::GateScope gate;
    return file::gFileAccess.read ? FileReadLineInner(buffer, bufferSize, file) : -1;
}

} // namespace velox
