// `velox-player --check`: reads story.txt as the player does and reports, line
// by line, what would fail, without opening a window or a sound device.
#pragma once

#include <string>
#include <vector>

namespace velox::player {

struct Finding {
    int line;            // the line the player would report ("Line To"); 0 for the whole file
    bool warning;        // false: the run would fail or misbehave here
    std::string message; // UTF-8
};

// Checks story.txt in the current directory, sorted by line. A story that cannot
// be read gives one finding at line 0.
std::vector<Finding> CheckStory();
// `story.txt:3: error: unknown command "showimg" (did you mean "showimage"?)`, the
// form editors and quickfix lists parse.
std::string FormatFinding(const Finding& finding);
// Prints every finding and a summary line to standard output; the exit status:
// 1 when there is an error, 0 with warnings only.
int ReportStoryCheck();
// The known command word nearest to word (edit distance), or "" when none is within
// half its own length of it: a word that far off gets no suggestion.
std::string NearestCommandWord(const std::string& word);

} // namespace velox::player
