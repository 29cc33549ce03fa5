// Public recording and text conversion: thin wrappers over the platform's recorder and
// codec. The recorder has its own lock, so neither takes the entry gate.
#include "platform/Recording.h"
#include "platform/TextCodec.h"

#include <velox/authoring.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

namespace velox {
namespace {

// snprintf's contract over a finished string.
int CopyOut(const std::string& text, char* out, int outSize) {
    if (outSize > 0) {
        const size_t n = std::min(text.size(), size_t(outSize) - 1);
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }
    return int(std::min<size_t>(text.size(), INT_MAX));
}

void Report(const std::string& message, char* error, int errorSize) {
    if (error) {
        CopyOut(message, error, errorSize);
    }
}

template <typename Convert>
int ConvertText(const char* text, int length, char* out, int outSize, Convert convert) {
    if (!text || (!out && outSize > 0)) {
        return -1;
    }
    const std::string_view in(text, length < 0 ? std::strlen(text) : size_t(length));
    return CopyOut(convert(in), out, outSize);
}

} // namespace

int IsRecordingPathSupported(const char* path) {
    return path && platform::IsRecordingPathSupported(path) ? 1 : 0;
}

int StartRecording(const char* path, int quality, int width, int height, char* error,
                   int errorSize) {
    if (!path) {
        Report("no file name", error, errorSize);
        return -1;
    }
    if (width < 1 || height < 1) {
        Report("the picture size must be positive", error, errorSize);
        return -1;
    }
    platform::RecordingOptions options;
    options.path = path;
    options.quality = quality;
    options.width = width;
    options.height = height;
    std::string reason;
    if (!platform::StartRecording(options, reason)) {
        Report(reason, error, errorSize);
        return -1;
    }
    return 0;
}

int IsRecording() {
    return platform::RecordingActive() ? 1 : 0;
}

int FinishRecording(char* error, int errorSize) {
    if (!platform::RecordingActive()) {
        Report("no recording runs", error, errorSize);
        return -1;
    }
    std::string reason;
    if (!platform::FinishRecording(platform::RecordingClockNanos(), reason)) {
        Report(reason, error, errorSize);
        return -1;
    }
    return 0;
}

int ConvertShiftJisToUtf8(const char* text, int length, char* out, int outSize) {
    return ConvertText(text, length, out, outSize, platform::ShiftJisToUtf8);
}

int ConvertUtf8ToShiftJis(const char* text, int length, char* out, int outSize) {
    return ConvertText(text, length, out, outSize, platform::Utf8ToShiftJis);
}

} // namespace velox
