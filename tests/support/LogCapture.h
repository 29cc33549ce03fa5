// Points the log at a scratch directory, as runtime start-up does, and
// collects what goes to the debugger output.
#pragma once

#include "support/TempDir.h"

#include <string>

namespace velox::test {

class LogCapture {
public:
    // enabled: the log switch before "start-up" opens the file.
    explicit LogCapture(bool enabled = true);
    ~LogCapture();

    std::string FileText() const; // the bytes of Log.txt, "" when missing
    bool FileExists() const;
    const std::string& DebugText() const { return debug_; }
    const std::string& Directory() const { return dir_.path(); }

private:
    static void Sink(const char* text, void* self);
    TempDir dir_;
    std::string debug_;
    std::string savedCwd_;
};

} // namespace velox::test
