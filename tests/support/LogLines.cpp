#include "support/LogLines.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace velox::test {

std::vector<std::string> ReadLogLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    const std::string text = s.str();
    std::vector<std::string> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find("\r\n", begin);
        std::string line = text.substr(begin, end == std::string::npos ? end : end - begin);
        size_t digits = !line.empty() && line[0] == '-' ? 1 : 0; // a clock swapped mid-test
        while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) {
            ++digits;
        }
        if (digits > 0 && line[0] != ':' && digits < line.size() && line[digits] == ':') {
            line.erase(0, digits + 1);
        }
        lines.push_back(line);
        if (end == std::string::npos) {
            break;
        }
        begin = end + 2;
    }
    return lines;
}

::testing::AssertionResult ContainsInOrder(const std::vector<std::string>& lines,
                                           const std::vector<std::string>& expected) {
    size_t at = 0;
    for (size_t e = 0; e < expected.size(); ++e) {
        while (at < lines.size() && lines[at] != expected[e]) {
            ++at;
        }
        if (at == lines.size()) {
            auto failure = ::testing::AssertionFailure();
            failure << "expected line " << e << " not found in order; the log has " << lines.size()
                    << " lines";
            return failure;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

int CountLines(const std::vector<std::string>& lines, const std::string& text) {
    int count = 0;
    for (const std::string& line : lines) {
        count += line == text ? 1 : 0;
    }
    return count;
}

int FindLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(0, prefix.size(), prefix) == 0) {
            return int(i);
        }
    }
    return -1;
}

} // namespace velox::test
