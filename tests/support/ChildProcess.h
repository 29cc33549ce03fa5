// Running other programs from tests, to their end or beside the test. A status is the
// exit code, 256 + N for a death by signal N (never mistaken for a program's own exit
// code 128 + N), or -1 when the program could not be started.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace velox::test {

// Variables set in a child's environment; one without a value is removed from it.
using Environment = std::vector<std::pair<std::string, std::optional<std::string>>>;

// A program found on PATH, run without a shell; its standard output is returned in out
// and its standard error dropped.
int RunProgram(const std::vector<std::string>& args, std::string* out = nullptr,
               const Environment& environment = {});

// A /bin/sh command; its standard output is returned in out, or left as the test's when
// out is null. Standard error is the test's.
int RunShell(const std::string& command, std::string* out = nullptr);

// A shell command running beside the test. Killed and reaped if still running when this
// goes, and killed by the kernel if the test process dies first.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    bool Start(const std::string& command, const Environment& environment = {});
    pid_t pid() const { return pid_; } // -1 once reaped
    void Signal(int signal) const;
    // The status once it has ended, waiting at most `limit` (Wait: without a limit); -1
    // on timeout, the child still running, or when it was already reaped.
    int ExitWithin(std::chrono::milliseconds limit);
    int Wait();

private:
    pid_t pid_ = -1;
};

} // namespace velox::test
