// Running another program from a test (xdotool, xwd, ...).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velox::test {

// Runs a program to its end, with the given variables added to its environment; its
// standard output is returned in out (standard error is dropped). The exit status, or
// -1 when it could not run.
int RunProgram(const std::vector<std::string>& args, std::string* out = nullptr,
               const std::vector<std::pair<std::string, std::string>>& environment = {});

} // namespace velox::test
