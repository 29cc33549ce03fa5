// What the checker learns about the pictures, sounds and music a story names:
// each file is opened through the file layer (folders, archives, the relaxed
// name matching) and decoded by the runtime's own decoders, as the run would.
#pragma once

#include "TextConversion.h"

#include <string>
#include <vector>

namespace velox::player {

// A Shift-JIS file name as messages show it: in double quotes, in UTF-8.
inline std::string Quoted(const char* sjisName) {
    return "\"" + ToUtf8(sjisName) + "\"";
}

struct MediaProblem {
    bool warning; // the run goes on; an error means the loading command fails
    std::string message;
};

// Shift-JIS names, exactly as the script hands them to the loaders. Empty when
// the file loads.
std::vector<MediaProblem> PictureProblems(const char* name);
std::vector<MediaProblem> SoundProblems(const char* name);
std::vector<MediaProblem> MusicProblems(const char* name);

} // namespace velox::player
