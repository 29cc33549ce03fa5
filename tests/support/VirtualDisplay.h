// An Xvfb server for the window tests, on a display number it picks itself; it is
// gone with the object, and with the test process if that is killed.
#pragma once

#include "support/ChildProcess.h"

#include <csignal>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace velox::test {

class VirtualDisplay {
public:
    bool Start(const char* screen = "1024x768x24") {
        int fds[2];
        if (pipe(fds) != 0) {
            return false;
        }
        // The server writes its display number to the write end it inherits.
        server_.Start("exec Xvfb -displayfd " + std::to_string(fds[1]) + " -screen 0 " + screen +
                      " -nolisten tcp >/dev/null 2>&1");
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 10000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n') {
                break;
            }
            number += c;
        }
        close(fds[0]);
        if (number.empty()) {
            return false;
        }
        name_ = ":" + number;
        return true;
    }
    ~VirtualDisplay() {
        server_.Signal(SIGTERM);
        server_.Wait();
    }
    const std::string& name() const { return name_; }

private:
    ChildProcess server_;
    std::string name_;
};

} // namespace velox::test
