#include "support/ChildProcess.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace velox::test {
namespace {

int Status(int waitStatus) {
    return WIFEXITED(waitStatus)     ? WEXITSTATUS(waitStatus)
           : WIFSIGNALED(waitStatus) ? 256 + WTERMSIG(waitStatus)
                                     : -1;
}

int Reap(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid ? Status(status) : -1;
}

// Runs in the forked child: setenv is not async-signal-safe, which holds only because
// tests start children from their one thread.
void ApplyEnvironment(const Environment& environment) {
    for (const auto& [name, value] : environment) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
}

[[noreturn]] void ExecShell(const std::string& command) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

// Forks a child that calls `exec`, its standard output read into out when that is given,
// and waits for its end.
template <typename Exec> int RunToEnd(std::string* out, Exec exec) {
    int fds[2] = {-1, -1};
    if (out && pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        if (out) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
        }
        exec();
    }
    if (out) {
        close(fds[1]);
        out->clear();
        char buffer[65536];
        ssize_t n = 0;
        while (pid > 0 && (n = read(fds[0], buffer, sizeof buffer)) > 0) {
            out->append(buffer, size_t(n));
        }
        close(fds[0]);
    }
    return pid < 0 ? -1 : Reap(pid);
}

} // namespace

int RunProgram(const std::vector<std::string>& args, std::string* out,
               const Environment& environment) {
    std::string dropped;
    return RunToEnd(out ? out : &dropped, [&] {
        ApplyEnvironment(environment);
        dup2(open("/dev/null", O_WRONLY), 2);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    });
}

int RunShell(const std::string& command, std::string* out) {
    return RunToEnd(out, [&] { ExecShell(command); });
}

ChildProcess::~ChildProcess() {
    Signal(SIGKILL);
    Wait();
}

bool ChildProcess::Start(const std::string& command, const Environment& environment) {
    if (pid_ > 0) {
        return false;
    }
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        ApplyEnvironment(environment);
        ExecShell(command);
    }
    return pid_ > 0;
}

void ChildProcess::Signal(int signal) const {
    if (pid_ > 0) {
        kill(pid_, signal);
    }
}

int ChildProcess::ExitWithin(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (pid_ > 0 && waitpid(pid_, &status, WNOHANG) != pid_) {
        if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::exchange(pid_, -1) > 0 ? Status(status) : -1;
}

int ChildProcess::Wait() {
    return pid_ > 0 ? Reap(std::exchange(pid_, -1)) : -1;
}

} // namespace velox::test
