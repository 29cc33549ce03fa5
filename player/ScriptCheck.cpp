#include "ScriptCheck.h"

#include "Scene.h"
#include "Script.h"
#include "platform/TextCodec.h"

#include <velox/velox.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace velox::player {
namespace {

struct Arity {
    int ints;
    int strings;
};

// Arguments each command reads, by command code.
constexpr Arity kArity[14] = {{0, 0}, {10, 0}, {10, 0}, {2, 1}, {2, 0}, {1, 1}, {1, 1},
                              {1, 0}, {9, 0},  {0, 0},  {0, 0}, {0, 0}, {1, 0}, {2, 0}};

int EditDistance(const std::string& a, const std::string& b) {
    std::vector<int> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = int(j);
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool Opens(const char* name) {
    int32_t file = FileOpenRead(name, 0);
    if (file == 0) {
        return false;
    }
    FileClose(file);
    return true;
}

// Physical lines (split at CR LF) longer than a line record holds.
void FindLongLines(std::vector<Finding>& findings) {
    std::ifstream in("story.txt", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int line = 1;
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        size_t stop = end == std::string::npos ? bytes.size() : end;
        size_t length = stop - start;
        if (length > size_t(kLineBytes - 1)) {
            findings.push_back({line,
                                "line of " + std::to_string(length) +
                                    " bytes is longer than 1023 and will be split into several",
                                bytes.substr(start, 60)});
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
        ++line;
    }
}

} // namespace

std::string NearestCommandWord(const std::string& word) {
    std::string best;
    int bestDistance = 1 << 30;
    for (int code = 1; code <= 13; ++code) {
        int d = EditDistance(word, CommandWord(code));
        if (d < bestDistance) {
            bestDistance = d;
            best = CommandWord(code);
        }
    }
    return best;
}

std::vector<Finding> CheckStory() {
    std::vector<Finding> findings;
    InitFileAccess();
    ResetScript();
    int32_t file = FileOpenRead("story.txt", 0);
    if (file == 0 || LoadScript(file) != 1) {
        findings.push_back({0, "story.txt cannot be read", ""});
        return findings;
    }
    FindLongLines(findings);

    // The loader appends the end record after the last line: the last "END" in the table.
    int endRecord = 1;
    for (int i = 1; i < kScriptRecords; ++i) {
        if (std::strcmp(Script().lines[i].text, "END") == 0) {
            endRecord = i;
        }
    }

    bool loaded[kSlots] = {};
    bool shown = false;
    for (int i = 1; i < endRecord; ++i) {
        const ScriptLine& record = Script().lines[i];
        auto report = [&](const std::string& message) {
            findings.push_back({i, message, record.text});
        };
        if (std::strcmp(record.text, "END") == 0) {
            bool later = false;
            for (int j = i + 1; j < endRecord; ++j) {
                later = later || Script().lines[j].text[0] != '\0';
            }
            if (later) {
                report("END before the last line: the lines after it never run");
            }
            continue;
        }
        TokenizeLine(record.text);
        const std::string word = Script().strings[0];
        const int code = record.command;
        if (code == kNoCommand) {
            if (!word.empty()) {
                report("unknown command \"" + word + "\" (did you mean \"" +
                       NearestCommandWord(word) + "\"?)");
            }
            continue;
        }
        const Arity want = kArity[code];
        const int ints = Script().lastIntCount;
        const int strings = Script().lastStringCount;
        if (ints != want.ints || strings != want.strings) {
            report(word + " takes " + std::to_string(want.ints) + " number(s) and " +
                   std::to_string(want.strings) + " file name(s), the line has " +
                   std::to_string(ints) + " and " + std::to_string(strings));
        }
        const int32_t slot = Script().args[0];
        const bool slotted = code == kLoadImage || code == kLoadSound || code == kShowImage ||
                             code == kDrawBackImage || code == kPlaySound || code == kStopSound;
        const bool slotOk = slot >= 0 && slot < kSlots;
        if (slotted && !slotOk) {
            report("slot " + std::to_string(slot) + " is outside 0..9");
        }
        const char* name = Script().strings[1];
        if ((code == kLoadImage || code == kLoadSound || code == kPlayMusic) && strings >= 1 &&
            !Opens(name)) {
            report("file \"" + platform::ShiftJisToUtf8(name) + "\" cannot be opened");
        }
        if (code == kLoadImage && slotOk) {
            loaded[slot] = true;
        }
        if (code == kDeleteBg) {
            loaded[0] = false;
        }
        if ((code == kShowImage || code == kDrawBackImage) && slotOk && !loaded[slot]) {
            report("slot " + std::to_string(slot) + " is shown before any loadimage into it");
        }
        if (code == kShowImage) {
            shown = true;
        }
        if (code == kMoveImage && !shown) {
            report("moveimage before any showimage");
        }
    }
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return findings;
}

std::string FormatFinding(const Finding& f) {
    std::string text = "line " + std::to_string(f.line) + ": " + f.message;
    if (!f.lineText.empty()) {
        text += ": " + platform::ShiftJisToUtf8(f.lineText);
    }
    return text;
}

} // namespace velox::player
