#include "support/LogCapture.h"

#include "core/Log.h"
#include "platform/DebugOutput.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace velox::test {

LogCapture::LogCapture(bool enabled) {
    char cwd[4096];
    savedCwd_ = ::getcwd(cwd, sizeof cwd) ? cwd : ".";
    platform::SetDebugSink(&LogCapture::Sink, this);
    SetLogOutput(enabled ? 1 : 0);
    // Start-up records the current directory as the log directory, then opens the log.
    if (::chdir(dir_.path().c_str()) != 0) {
        return;
    }
    std::snprintf(core::log_detail::State().directory, sizeof core::log_detail::State().directory,
                  "%s", dir_.path().c_str());
    core::OpenLogFile();
}

LogCapture::~LogCapture() {
    platform::SetDebugSink(nullptr, nullptr);
    core::log_detail::State().directory[0] = '\0';
    if (::chdir(savedCwd_.c_str()) != 0) {
        std::perror("chdir");
    }
}

void LogCapture::Sink(const char* text, void* self) {
    static_cast<LogCapture*>(self)->debug_ += text;
}

bool LogCapture::FileExists() const {
    return std::filesystem::exists(std::filesystem::path(dir_.path()) / "Log.txt");
}

std::string LogCapture::FileText() const {
    return dir_.Read("Log.txt");
}

} // namespace velox::test
