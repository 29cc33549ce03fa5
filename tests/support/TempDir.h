// A scratch directory for one test, removed with everything in it at the end.
#pragma once

#include <string>

namespace velox::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Writes bytes to a file below the directory (a UTF-8 relative name), creating folders.
    std::string Write(const std::string& relativeName, const std::string& bytes) const;
    std::string Read(const std::string& relativeName) const;

private:
    std::string path_;
};

// Shift-JIS bytes of a UTF-8 literal, for comparing with runtime output.
std::string Sjis(const std::string& utf8);

} // namespace velox::test
