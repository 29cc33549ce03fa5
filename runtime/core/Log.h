// The runtime's log, "Log.txt" in the log directory: Shift-JIS lines with a
// millisecond stamp and tab indentation, CR LF line ends, also sent (without
// the stamp) to the debugger output. Callers hold the entry gate.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace velox {

// The public operations of velox.h the runtime calls itself, declared here for it.
// Always -1, so that an error path can log its reason and fail in one step.
int LogWrite(const char* text);
int LogWriteFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LogIndentAdd();
int LogIndentSub();
int SetLogOutput(int enabled);
[[noreturn]] void FatalError(const char* text);

} // namespace velox

namespace velox::core {

int LogWriteFormatV(const char* format, va_list args);
int OpenLogFile();

namespace log_detail {
struct LogState {
    bool enabled = true;
    char directory[260] = {};
    const char* fileName = "Log.txt";
    uint32_t clock = 0;
    int32_t indent = 0;
    bool inLine = false;
};
LogState& State();
// Expands LF to CR LF with the stop rule; returns the length written to out,
// which must hold 2 * strlen(text) + 1 bytes.
int ConvertLineFeeds(const char* text, char* out);
// Lets FatalError reach the runtime shutdown without a dependency cycle.
using ShutdownHook = void (*)();
void SetShutdownHook(ShutdownHook hook);
} // namespace log_detail

} // namespace velox::core
