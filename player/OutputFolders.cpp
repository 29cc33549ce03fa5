#include "OutputFolders.h"

#include <velox/authoring.h>

#include <cctype>
#include <filesystem>
#include <vector>

namespace velox::player {
namespace {

namespace fs = std::filesystem;

// The names the frame dump writes: six or more digits and ".png".
bool IsNumberedPicture(const std::string& name) {
    const size_t digits = name.size() >= 4 ? name.size() - 4 : 0;
    if (digits < 6 || name.compare(digits, 4, ".png") != 0) {
        return false;
    }
    for (size_t i = 0; i < digits; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

std::vector<fs::path> NumberedPictures(const std::string& dir) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsNumberedPicture(it->path().filename().string())) {
            found.push_back(it->path());
        }
    }
    return found;
}

} // namespace

bool PrepareOutputs(const std::string& dumpDir, const std::string& recordFile, bool force,
                    std::string& error) {
    if (!recordFile.empty()) {
        if (!IsRecordingPathSupported(recordFile.c_str())) {
            error = "--record wants a .mp4, .webm or .mkv file: " + recordFile;
            return false;
        }
        std::error_code ec;
        if (fs::exists(recordFile, ec) && !force) {
            error = recordFile + " already exists; --force overwrites it";
            return false;
        }
    }
    if (dumpDir.empty()) {
        return true;
    }
    const std::vector<fs::path> old = NumberedPictures(dumpDir);
    if (old.empty()) {
        return true;
    }
    if (!force) {
        error = dumpDir + " already holds numbered pictures (" + old.front().filename().string() +
                ", ...); --force overwrites them";
        return false;
    }
    for (const fs::path& p : old) {
        std::error_code ec;
        if (!fs::remove(p, ec) || ec) {
            error = "cannot remove the old picture " + p.string();
            return false;
        }
    }
    std::error_code ec;
    fs::remove(fs::path(dumpDir) / "frames.ffconcat", ec);
    return true;
}

} // namespace velox::player
