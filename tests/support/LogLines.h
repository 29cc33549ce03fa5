// Reading a runtime log back in tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velox::test {

// The lines of a log file (split at CR LF, Shift-JIS bytes), each without the "%d:"
// millisecond stamp that starts a stamped line. Tabs of the indentation stay.
std::vector<std::string> ReadLogLines(const std::string& path);

// Success when every expected line occurs in lines, in this order (others may lie between).
::testing::AssertionResult ContainsInOrder(const std::vector<std::string>& lines,
                                           const std::vector<std::string>& expected);

// How many lines equal text exactly.
int CountLines(const std::vector<std::string>& lines, const std::string& text);
// The index of the first line that starts with prefix, or -1.
int FindLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix);

} // namespace velox::test
