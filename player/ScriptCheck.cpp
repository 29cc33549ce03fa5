#include "ScriptCheck.h"

#include "MediaCheck.h"
#include "Scene.h"
#include "Script.h"
#include "TextConversion.h"

#include <velox/authoring.h>
#include <velox/velox.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>

namespace velox::player {
namespace {

struct Arity {
    int ints;
    int strings;
};

// Arguments each command reads, by command code.
constexpr Arity kArity[14] = {{0, 0}, {10, 0}, {10, 0}, {2, 1}, {2, 0}, {1, 1}, {1, 1},
                              {1, 0}, {9, 0},  {0, 0},  {0, 0}, {0, 0}, {1, 0}, {2, 0}};

// b is a command word (at most 13 bytes): one row of 32 counts on the stack serves.
// Once a whole row reaches limit the distance can only be limit or more: limit is
// returned then, which is all a search for the nearest word needs to know.
int EditDistance(const std::string& a, const std::string& b, int limit) {
    int row[32];
    if (b.size() >= std::size(row)) {
        return limit;
    }
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = int(j);
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        int smallest = row[0];
        for (size_t j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            const int replace = diagonal + (a[i - 1] != b[j - 1] ? 1 : 0);
            row[j] = std::min(std::min(above, row[j - 1]) + 1, replace);
            smallest = std::min(smallest, row[j]);
            diagonal = above;
        }
        if (smallest >= limit) {
            return limit;
        }
    }
    return std::min(row[b.size()], limit);
}

void Add(std::vector<Finding>& findings, int line, bool warning, const std::string& message) {
    findings.push_back({line, warning, message});
}

// True for bytes that are valid UTF-8 with at least one multi-byte character.
bool IsMultiByteUtf8(const std::string& bytes) {
    bool multiByte = false;
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t c = uint8_t(bytes[i]);
        size_t extra = c < 0x80             ? 0
                       : (c & 0xE0) == 0xC0 ? 1
                       : (c & 0xF0) == 0xE0 ? 2
                       : (c & 0xF8) == 0xF0 ? 3
                                            : 4;
        if (extra == 4 || (extra == 1 && c < 0xC2) || i + extra >= bytes.size()) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if ((uint8_t(bytes[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        multiByte = multiByte || extra > 0;
        i += extra + 1;
    }
    return multiByte;
}

// A quoted argument preceded by spaces: the tokenizer reads it as the number 0.
bool SpaceBeforeString(const char* text) {
    size_t i = 0;
    while (text[i] == ' ') {
        ++i;
    }
    bool quoted = false;
    while (text[i] != '\0' && text[i] != ' ' && !(text[i] == ',' && !quoted)) {
        quoted = text[i] == '"' ? !quoted : quoted;
        ++i;
    }
    if (text[i] == '\0') {
        return false;
    }
    const bool wordEndedBySpace = text[i] == ' ';
    ++i;
    if (wordEndedBySpace && text[i] == ',') {
        ++i;
    }
    quoted = false;
    bool fieldStart = true;
    for (; text[i] != '\0'; ++i) {
        if (fieldStart) {
            size_t spaces = 0;
            while (text[i + spaces] == ' ') {
                ++spaces;
            }
            if (spaces > 0 && text[i + spaces] == '"') {
                return true;
            }
            fieldStart = false;
        }
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (text[i] == ',' && !quoted) {
            fieldStart = true;
        }
    }
    return false;
}

// Problems of the file as text: line ends, encoding, stray bytes, sizes. False when
// the lines cannot be checked one by one (LF-only ends, more lines than the table holds).
bool CheckText(const std::string& bytes, std::vector<Finding>& findings) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        Add(findings, 1, false,
            "the file starts with a UTF-8 byte-order mark, which becomes part of the first "
            "command word; save it without one");
    }
    if (bytes.find("\r\n") == std::string::npos && bytes.find('\n') != std::string::npos) {
        Add(findings, 1, false,
            "lines end in LF only, so the show would run only the first line; save with CR LF "
            "line ends (unix2dos story.txt)");
        return false;
    }
    int line = 1;
    int firstNonAscii = 0;
    for (size_t start = 0; start <= bytes.size(); ++line) {
        size_t end = bytes.find("\r\n", start);
        const size_t stop = end == std::string::npos ? bytes.size() : end;
        const std::string text = bytes.substr(start, stop - start);
        if (text.size() > size_t(kLineBytes - 1)) {
            Add(findings, line, false,
                "line of " + std::to_string(text.size()) +
                    " bytes is longer than 1023 and will be split into several");
        }
        if (text.find('\n') != std::string::npos) {
            Add(findings, line, false,
                "a lone LF inside the line joins it with the next; save with CR LF line ends");
        }
        if (size_t nul = text.find('\0'); nul != std::string::npos) {
            Add(findings, line, false,
                "NUL byte at column " + std::to_string(nul + 1) +
                    ": the player ends the line there and loses the bytes read with it, up to "
                    "1023 (following lines too)");
        }
        const size_t skip = start == 0 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        if (firstNonAscii == 0 &&
            std::any_of(text.begin() + long(std::min(skip, text.size())), text.end(),
                        [](char c) { return uint8_t(c) >= 0x80; })) {
            firstNonAscii = line;
        }
        if (end == std::string::npos || end + 2 == bytes.size()) {
            break; // the last line needs no CR LF, and a final CR LF starts no new line
        }
        start = end + 2;
    }
    const std::string body = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
    // Valid UTF-8 that is no Shift-JIS cannot be meant as Shift-JIS; valid as both, a
    // few characters may just happen to read as UTF-8.
    if (firstNonAscii != 0 && IsMultiByteUtf8(body)) {
        const bool sjis = ToUtf8(body).find("\xEF\xBF\xBD") == std::string::npos;
        Add(findings, firstNonAscii, sjis,
            std::string(sjis ? "the story looks like UTF-8" : "the story is saved as UTF-8") +
                ", but the player reads Shift-JIS; convert it with iconv -f UTF-8 -t SHIFT_JIS "
                "story.txt > story.sjis && mv story.sjis story.txt");
    }
    if (line > kMaxLines && !bytes.empty()) {
        Add(findings, kMaxLines + 1, false,
            "the story has " + std::to_string(line) + " lines; the player reads at most " +
                std::to_string(kMaxLines) + " and will not start");
        return false;
    }
    return true;
}

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    return text;
}

constexpr int kShadowSearchDepth = 4;

// Folders beside a packed NAME.VLA, relative to the story folder, lower case with '/':
// the runtime reads such a folder from the archive and never from the disk.
std::vector<std::string> ShadowedFolders() {
    namespace fs = std::filesystem;
    std::vector<std::string> shadowed;
    std::error_code error;
    for (fs::recursive_directory_iterator it(".", error), end; !error && it != end;
         it.increment(error)) {
        if (it.depth() >= kShadowSearchDepth) {
            it.disable_recursion_pending(); // a story run from a home folder stays quick
        }
        const fs::path& path = it->path();
        std::string name = path.filename().string();
        if (name.size() <= 4 || AsciiLower(name.substr(name.size() - 4)) != ".vla" ||
            !it->is_regular_file(error)) {
            continue;
        }
        const std::string stem = AsciiLower(name.substr(0, name.size() - 4));
        for (const fs::directory_entry& sibling :
             fs::directory_iterator(path.parent_path(), error)) {
            if (sibling.is_directory(error) &&
                AsciiLower(sibling.path().filename().string()) == stem) {
                shadowed.push_back(
                    AsciiLower(fs::relative(sibling.path(), ".", error).generic_string()));
            }
        }
    }
    return shadowed;
}

// The loaded file name, lower case with '/' and without a leading "./".
std::string NormalisedName(const char* sjisName) {
    std::string name = ToUtf8(sjisName);
    for (char& c : name) {
        c = c == '\\' ? '/' : c;
    }
    while (name.compare(0, 2, "./") == 0) {
        name.erase(0, 2);
    }
    return AsciiLower(name);
}

} // namespace

std::string NearestCommandWord(const std::string& word) {
    // Command words are at most 13 bytes: what lies past twice that cannot bring a word
    // nearer to one, and a 254-byte token would cost a thousand-line story dearly.
    const std::string head = word.substr(0, 26);
    std::string best;
    int bestDistance = 1 << 30;
    for (int code = 1; code <= 13; ++code) {
        // A word is only offered when at most half of it differs; the length gap alone is
        // a lower bound on the distance, so most far words cost nothing.
        const std::string candidate = CommandWord(code);
        const int limit = std::min(bestDistance, int(candidate.size() + 1) / 2 + 1);
        if (std::abs(int(head.size()) - int(candidate.size())) >= limit) {
            continue;
        }
        const int d = EditDistance(head, candidate, limit);
        if (d < limit) {
            bestDistance = d;
            best = candidate;
        }
    }
    return best;
}

std::vector<Finding> CheckStory() {
    std::vector<Finding> findings;
    InitFileAccess();
    ResetScript();
    // The text is read through the file layer, as the loader reads it, so that the
    // same file (and the same file system) is judged.
    std::string bytes(size_t(1) << 16, '\0');
    int got = ReadFileHead("story.txt", bytes.data(), int(bytes.size()));
    while (got == int(bytes.size()) && bytes.size() < (size_t(1) << 26)) {
        bytes.resize(bytes.size() * 4);
        got = ReadFileHead("story.txt", bytes.data(), int(bytes.size()));
    }
    bytes.resize(got < 0 ? 0 : size_t(got));
    int32_t file = got >= 0 ? FileOpenRead("story.txt", 0) : 0;
    if (file == 0) {
        findings.push_back({0, false, "cannot be read"});
        return findings;
    }
    auto byLine = [](const Finding& a, const Finding& b) { return a.line < b.line; };
    if (!CheckText(bytes, findings)) {
        FileClose(file);
        std::stable_sort(findings.begin(), findings.end(), byLine);
        return findings;
    }
    if (LoadScript(file) != 1) {
        findings.push_back({0, false, "cannot be read"});
        std::stable_sort(findings.begin(), findings.end(), byLine);
        return findings;
    }
    const bool byteOrderMark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const std::vector<std::string> shadowed = ShadowedFolders();
    std::vector<bool> shadowReported(shadowed.size());

    const int endRecord = EndRecordOf(Script());

    std::map<std::pair<int, std::string>, std::vector<MediaProblem>> media;
    bool loaded[kSlots] = {};
    int soundLoadLine[kSlots] = {}; // 0: never loaded
    bool soundPlayed[kSlots] = {};
    bool shown = false;
    for (int i = 1; i < endRecord; ++i) {
        const ScriptLine& record = Script().lines[i];
        auto error = [&](const std::string& message) { Add(findings, i, false, message); };
        auto warn = [&](const std::string& message) { Add(findings, i, true, message); };
        if (std::strcmp(record.text, "END") == 0) {
            bool later = false;
            for (int j = i + 1; j < endRecord; ++j) {
                later = later || Script().lines[j].text[0] != '\0';
            }
            if (later) {
                warn("END before the last line: the lines after it never run");
            }
            continue;
        }
        TokenizeLine(record.text);
        const std::string word = Script().strings[0];
        const int code = record.command;
        if (code == kNoCommand) {
            if (!word.empty() && !(i == 1 && byteOrderMark)) {
                const std::string nearest = NearestCommandWord(word);
                error("unknown command \"" + ToUtf8(word) + "\"" +
                      (nearest.empty() ? "" : " (did you mean \"" + nearest + "\"?)"));
            }
            continue;
        }
        const Arity want = kArity[code];
        const int ints = Script().lastIntCount;
        const int strings = Script().lastStringCount;
        if (want.strings > 0 && SpaceBeforeString(record.text)) {
            error("a space before the quoted file name makes it the number 0; write " + word + " " +
                  (want.ints > 0 ? "N," : "") + "\"name\" with no space after the comma");
        } else if (ints != want.ints || strings != want.strings) {
            error(word + " takes " + std::to_string(want.ints) + " number(s) and " +
                  std::to_string(want.strings) + " file name(s), the line has " +
                  std::to_string(ints) + " and " + std::to_string(strings));
        }
        const int32_t slot = Script().args[0];
        const bool slotted = code == kLoadImage || code == kLoadSound || code == kShowImage ||
                             code == kDrawBackImage || code == kPlaySound || code == kStopSound;
        const bool slotOk = slot >= 0 && slot < kSlots;
        if (slotted && !slotOk) {
            error("slot " + std::to_string(slot) + " is outside 0..9");
        }
        const char* name = Script().strings[1];
        if ((code == kLoadImage || code == kLoadSound || code == kPlayMusic) && strings >= 1) {
            auto key = std::make_pair(code, std::string(name));
            auto found = media.find(key);
            if (found == media.end()) {
                found = media
                            .emplace(key, code == kLoadImage   ? PictureProblems(name)
                                          : code == kLoadSound ? SoundProblems(name)
                                                               : MusicProblems(name))
                            .first;
            }
            for (const MediaProblem& problem : found->second) {
                Add(findings, i, problem.warning, problem.message);
            }
            const std::string normalised = NormalisedName(name);
            for (size_t k = 0; k < shadowed.size(); ++k) {
                if (!shadowReported[k] &&
                    normalised.compare(0, shadowed[k].size() + 1, shadowed[k] + "/") == 0) {
                    shadowReported[k] = true;
                    warn("the packed " + shadowed[k] + ".VLA beside the folder " + shadowed[k] +
                         " hides it: files are read from the archive, not the folder");
                }
            }
        }
        if (code == kLoadImage && slotOk) {
            loaded[slot] = true;
        }
        if (code == kDeleteBg) {
            loaded[0] = false;
        }
        if ((code == kShowImage || code == kDrawBackImage) && slotOk && !loaded[slot]) {
            error("slot " + std::to_string(slot) + " is shown before any loadimage into it");
        }
        if (code == kShowImage) {
            shown = true;
        }
        if (code == kMoveImage && !shown) {
            error("moveimage before any showimage");
        }
        if (code == kLoadSound && slotOk) {
            if (soundLoadLine[slot] != 0 && !soundPlayed[slot]) {
                Add(findings, soundLoadLine[slot], true,
                    "sound slot " + std::to_string(slot) +
                        " is loaded but never played before it is loaded again");
            }
            soundLoadLine[slot] = i;
            soundPlayed[slot] = false;
        }
        if ((code == kPlaySound || code == kStopSound) && slotOk) {
            if (soundLoadLine[slot] == 0) {
                error(word + " of sound slot " + std::to_string(slot) +
                      ", which no loadsound has filled");
            }
            soundPlayed[slot] = soundPlayed[slot] || code == kPlaySound;
        }
    }
    for (int slot = 0; slot < kSlots; ++slot) {
        if (soundLoadLine[slot] != 0 && !soundPlayed[slot]) {
            Add(findings, soundLoadLine[slot], true,
                "sound slot " + std::to_string(slot) + " is loaded but never played");
        }
    }
    std::stable_sort(findings.begin(), findings.end(), byLine);
    return findings;
}

std::string FormatFinding(const Finding& f) {
    return std::string("story.txt:") + (f.line > 0 ? std::to_string(f.line) + ":" : "") + " " +
           (f.warning ? "warning: " : "error: ") + f.message;
}

int ReportStoryCheck() {
    const std::vector<Finding> findings = CheckStory();
    int errors = 0;
    for (const Finding& f : findings) {
        std::printf("%s\n", FormatFinding(f).c_str());
        errors += f.warning ? 0 : 1;
    }
    const int warnings = int(findings.size()) - errors;
    if (findings.empty()) {
        std::printf("story.txt: no problems found\n");
    } else {
        std::printf("story.txt: %d error%s, %d warning%s\n", errors, errors == 1 ? "" : "s",
                    warnings, warnings == 1 ? "" : "s");
    }
    return errors > 0 ? 1 : 0;
}

} // namespace velox::player
