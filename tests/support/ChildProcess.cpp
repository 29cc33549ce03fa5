#include "support/ChildProcess.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velox::test {

int RunProgram(const std::vector<std::string>& args, std::string* out,
               const std::vector<std::pair<std::string, std::string>>& environment) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : environment) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        dup2(pipeFds[1], 1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(pipeFds[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, size_t(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (out) {
        *out = std::move(text);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace velox::test
