#include "core/Log.h"

#include "core/EntryGate.h"
#include "core/MemoryTracker.h"
#include "core/ShiftJis.h"
#include "file/FileAccess.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/FileSystem.h"

#include <velox/velox.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velox {
namespace {

core::log_detail::LogState gLog;
core::log_detail::ShutdownHook gShutdownHook = nullptr;

constexpr int kShortText = 255;

void GetCurrentDir(char* buffer) {
    if (file::gFileAccess.getCurrentDirectory) {
        file::gFileAccess.getCurrentDirectory(buffer);
        return;
    }
    std::string cwd = platform::Files().CurrentDirectory();
    std::snprintf(buffer, 260, "%s", cwd.c_str());
}

void SetCurrentDir(const char* path) {
    if (file::gFileAccess.setCurrentDirectory) {
        file::gFileAccess.setCurrentDirectory(path);
        return;
    }
    platform::Files().SetCurrentDirectory(path);
}

void WriteToFile(const char* converted, int length) {
    platform::FileSystem& fs = platform::Files();
    int fd = fs.OpenWrite(gLog.fileName, false, true);
    if (fd < 0) {
        return; // the text is lost; the line state stays as it was
    }
    if (!gLog.inLine) {
        char stamp[32];
        int n = std::snprintf(stamp, sizeof stamp, "%d:", int(platform::MilliCount() - gLog.clock));
        fs.Write(fd, stamp, size_t(n));
        if (gLog.indent > 0) {
            char tabs[256];
            int count = gLog.indent < 255 ? gLog.indent : 255;
            std::memset(tabs, '\t', size_t(count));
            tabs[count] = '\0';
            fs.Write(fd, tabs, size_t(count));
            platform::DebugOutput(tabs);
        }
    }
    fs.Write(fd, converted, size_t(length));
    platform::DebugOutput(converted);
    gLog.inLine = converted[length - 1] != '\n';
    fs.Close(fd);
}

} // namespace

namespace core::log_detail {

LogState& State() {
    return gLog;
}
void SetShutdownHook(ShutdownHook hook) {
    gShutdownHook = hook;
}

int ConvertLineFeeds(const char* text, char* out) {
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    int length = int(std::strlen(text));
    int copiedUpTo = 0; // text bytes before this index are already in out
    int o = 0;
    for (int i = 0; i < length; ++i) {
        if (IsLeadByte(t[i])) {
            if (i + 1 < length) {
                ++i;
            }
            continue;
        }
        if (t[i] != '\n') {
            continue;
        }
        if (i > 0 && t[i - 1] == '\r') {
            break; // an existing CR LF: the rest goes out unchanged
        }
        std::memcpy(out + o, text + copiedUpTo, size_t(i - copiedUpTo));
        o += i - copiedUpTo;
        out[o++] = '\r';
        out[o++] = '\n';
        copiedUpTo = i + 1;
    }
    std::memcpy(out + o, text + copiedUpTo, size_t(length - copiedUpTo));
    o += length - copiedUpTo;
    out[o] = '\0';
    return o;
}

} // namespace core::log_detail

int LogWrite(const char* text) {
    if (!text) {
        return -1;
    }
    core::GateScope gate;
    size_t length = std::strlen(text);
    char local[kShortText * 2 + 1];
    char* buffer = local;
    if (length > size_t(kShortText)) {
        if (length > size_t(INT32_MAX / 2 - 1)) {
            return -1;
        }
        buffer = static_cast<char*>(MemAlloc(int32_t(length * 2 + 1), nullptr, -1));
    }
    int converted = 0;
    if (buffer) {
        converted = core::log_detail::ConvertLineFeeds(text, buffer);
    }
    if (!gLog.enabled || gLog.directory[0] == '\0') {
        if (buffer != local) {
            MemFree(buffer);
        }
        return -1;
    }
    char saved[260] = {};
    GetCurrentDir(saved);
    SetCurrentDir(gLog.directory);
    if (buffer) {
        if (converted > 0) {
            WriteToFile(buffer, converted);
        }
    } else if (length > 0) {
        // No memory for the expansion: better the text unconverted than lost.
        WriteToFile(text, int(length));
    }
    SetCurrentDir(saved);
    if (buffer != local) {
        MemFree(buffer);
    }
    return -1;
}

int core::LogWriteFormatV(const char* format, va_list args) {
    char buffer[1024];
    int n = std::vsnprintf(buffer, sizeof buffer - 1, format, args);
    if (n < 0) {
        n = 0;
    }
    if (n > int(sizeof buffer) - 2) {
        n = int(sizeof buffer) - 2; // truncated: 1022 characters, the line feed, the NUL
    }
    buffer[n] = '\n';
    buffer[n + 1] = '\0';
    return LogWrite(buffer);
}

int LogWriteFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = core::LogWriteFormatV(format, args);
    va_end(args);
    return r;
}

int LogIndentAdd() {
    ++gLog.indent;
    return 0;
}

int LogIndentSub() {
    if (gLog.indent > 0) {
        --gLog.indent;
    }
    return 0;
}

int SetLogOutput(int enabled) {
    core::GateScope gate;
    gLog.enabled = enabled != 0;
    return 0;
}

int core::OpenLogFile() {
    if (!gLog.enabled) {
        return 1;
    }
    platform::FileSystem& fs = platform::Files();
    fs.Remove(gLog.fileName);
    int fd = fs.OpenWrite(gLog.fileName, true, false);
    if (fd >= 0) {
        fs.Close(fd);
    }
    gLog.indent = 0;
    gLog.inLine = false;
    gLog.clock = platform::MilliCount();
    return 1;
}

void FatalError(const char* text) {
    LogWrite(text);
    LogWrite("\n");
    if (gShutdownHook) {
        gShutdownHook();
    }
    core::DestroyGate();
    std::_Exit(-1);
}

} // namespace velox
