// Debugger output: standard error, converted from Shift-JIS to UTF-8.
#pragma once

namespace velox::platform {

void DebugOutput(const char* sjisText);

// Tests capture the debugger output by installing a sink; nullptr restores stderr.
using DebugSink = void (*)(const char* sjisText, void* context);
void SetDebugSink(DebugSink sink, void* context);

} // namespace velox::platform
