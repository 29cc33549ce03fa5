#include "support/TempDir.h"

#include "platform/TextCodec.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velox::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velox-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    path_ = made ? made : pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& relativeName, const std::string& bytes) const {
    std::filesystem::path full = std::filesystem::path(path_) / relativeName;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return full.string();
}

std::string TempDir::Read(const std::string& relativeName) const {
    std::ifstream in(std::filesystem::path(path_) / relativeName, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Sjis(const std::string& utf8) {
    return platform::Utf8ToShiftJis(utf8);
}

} // namespace velox::test
