// Velox: a 2D media runtime. This is the one header an application includes.
// Every operation passes the entry gate and returns 0 on success and -1 on
// failure unless its comment says otherwise. Text is Shift-JIS throughout.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace velox {

// ---- Runtime core -------------------------------------------------------
int SetLogOutput(int enabled);
int LogWrite(const char* text); // always -1
int LogWriteFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LogIndentAdd();
int LogIndentSub();
[[noreturn]] void FatalError(const char* text);

void* MemAlloc(int32_t size, const char* sourceName, int line);
void* MemAllocZero(int32_t size, const char* sourceName, int line);
int MemFree(void* block);
int MemDump();
int MemCheck();

// ---- Runtime start-up and timing -----------------------------------------
// Settings take effect at the next StartRuntime (the window mode also at once).
int ChangeWindowMode(int windowed); // 1 windowed, 0 full screen
int SetWindowTitle(const char* title);
int SetWindowClassName(const char* className); // names the second-instance lock
int SetAllowSecondInstance(int allow);
int SetRunWhileInactive(int run);
int StartRuntime();
int ShutdownRuntime(); // always 0; the entry gate is torn down afterwards
// 0, or -1 once the window has been closed and the runtime should end.
int ProcessMessage();
// Microseconds from an arbitrary origin; flag 1 prefers the time stamp counter. No gate:
// any thread may call it.
uint64_t GetMicroCount(int flag);
int GetMilliCount();

// ---- Keyboard ---------------------------------------------------------------
// keys: 256 bytes; keys[k] becomes 1 while key code k is down (Escape 1, Space 57).
int GetAllKeyState(char* keys);

// ---- Files --------------------------------------------------------------
// File handles are 0xF0000000 | slot; 0 means failure.
int32_t FileOpenRead(const char* path, int async);
int FileClose(int32_t file);
// 1 when the position equals the size, else 0.
int FileAtEnd(int32_t file);
// One CR LF-terminated line without its line end; its length, or -1.
int FileReadLine(char* buffer, int bufferSize, int32_t file);

} // namespace velox
