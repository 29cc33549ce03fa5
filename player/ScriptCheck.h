// `velox-player --check`: reads story.txt as the player does and reports, line
// by line, what would fail, without opening a window or a sound device.
#pragma once

#include <string>
#include <vector>

namespace velox::player {

struct Finding {
    int line;             // the line the player would report ("Line To")
    std::string message;  // UTF-8
    std::string lineText; // the line as read, Shift-JIS
};

// Checks story.txt in the current directory. A story that cannot be read gives
// one finding at line 0.
std::vector<Finding> CheckStory();
// "line 3: unknown command "showimg" (did you mean "showimage"?): showimg 1,..."
std::string FormatFinding(const Finding& finding);
// The known command word nearest to word (edit distance).
std::string NearestCommandWord(const std::string& word);

} // namespace velox::player
