#include "platform/DebugOutput.h"

#include "platform/TextCodec.h"

#include <cstdio>

namespace velox::platform {
namespace {
DebugSink gSink = nullptr;
void* gSinkContext = nullptr;
} // namespace

void SetDebugSink(DebugSink sink, void* context) {
    gSink = sink;
    gSinkContext = context;
}

void DebugOutput(const char* sjisText) {
    if (gSink) {
        gSink(sjisText, gSinkContext);
        return;
    }
    std::string utf8 = ShiftJisToUtf8(sjisText);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

} // namespace velox::platform
