#include "CommandLine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace velox::player {
namespace {

// The story folder becomes the current folder later; option paths must not follow it.
std::string FromStartFolder(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

bool CheckSoundFont(const std::string& path, std::string& problem) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        problem = "--soundfont " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    char byte = 0;
    const bool readable = !folder && ::read(fd, &byte, 1) >= 0;
    const int error = errno;
    ::close(fd);
    if (!readable) {
        problem = "--soundfont " + path + ": " + (folder ? "is a folder" : std::strerror(error));
        return false;
    }
    return true;
}

bool CheckFrameFolder(const std::string& path, std::string& problem) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error && !std::filesystem::is_directory(path, error)) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
    if (error) {
        problem = "--dump-frames " + path + ": cannot make the folder: " + error.message();
        return false;
    }
    if (::access(path.c_str(), W_OK | X_OK) != 0) {
        problem = "--dump-frames " + path + ": cannot write in the folder: " + std::strerror(errno);
        return false;
    }
    return true;
}

// Opens without truncating, so that a show refused later leaves an existing file alone;
// a file made only for the check is removed again.
bool CheckSoundFile(const std::string& path, std::string& problem) {
    const bool existed = ::access(path.c_str(), F_OK) == 0;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        problem = "--audio-out " + path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    if (!existed) {
        ::unlink(path.c_str());
    }
    return true;
}

} // namespace

bool PrepareOptionPaths(PlayerOptions& options, std::string& problem) {
    options.soundFont = FromStartFolder(options.soundFont);
    options.dumpFramesDir = FromStartFolder(options.dumpFramesDir);
    options.audioOut = FromStartFolder(options.audioOut);
    options.recordFile = FromStartFolder(options.recordFile);
    if (!options.soundFont.empty() && !CheckSoundFont(options.soundFont, problem)) {
        return false;
    }
    if (!options.dumpFramesDir.empty() && !CheckFrameFolder(options.dumpFramesDir, problem)) {
        return false;
    }
    return options.audioOut.empty() || CheckSoundFile(options.audioOut, problem);
}

} // namespace velox::player
