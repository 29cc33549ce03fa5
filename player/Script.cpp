#include "Script.h"

#include <velox/velox.h>

#include <climits>
#include <cstring>

namespace velox::player {
namespace {

ScriptState gScript;

// Table order matters: the first equal word gives the code.
constexpr const char* kCommandWords[] = {
    "drawbackimage", "showimage", "playmusic", "playsound", "loadimage", "loadsound", "wait",
    "moveimage",     "deletebg",  "attachbg",  "stopmusic", "stopsound", "fademusic",
};

// atoi's reading (white space, sign, digits), saturating instead of overflowing.
int32_t ToInteger(const char* s) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) {
        ++s;
    }
    bool negative = false;
    if (*s == '+' || *s == '-') {
        negative = *s == '-';
        ++s;
    }
    int64_t value = 0;
    while (*s >= '0' && *s <= '9') {
        value = value * 10 + (*s - '0');
        if (value > int64_t(INT32_MAX) + 1) {
            value = int64_t(INT32_MAX) + 1;
        }
        ++s;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT32_MAX) {
        value = INT32_MAX;
    }
    return int32_t(value);
}

struct Tokenizer {
    char token[kTokenBytes + 1];
    int length = 0;
    int stored = 0; // command word plus string arguments stored so far
    int nextArg = 0;
    int ints = 0;    // integer arguments seen
    int strings = 0; // string arguments seen

    void Append(char c) {
        if (length < kTokenBytes) {
            token[length++] = c; // a longer token keeps its first 254 bytes
        }
    }

    void End() {
        if (length == 0) {
            return;
        }
        token[length] = '\0';
        if (stored == 0) {
            std::memcpy(gScript.strings[0], token, size_t(length) + 1);
            stored = 1;
        } else if (token[0] == '"') {
            ++strings;
            if (stored < kStringEntries) {
                char* entry = gScript.strings[stored];
                int inner = length > 2 ? length - 2 : 0;
                std::memcpy(entry, token + 1, size_t(inner));
                entry[inner] = '\0';
                ++stored;
            }
        } else {
            ++ints;
            if (nextArg < kIntArgs) {
                gScript.args[nextArg++] = ToInteger(token);
            }
        }
        length = 0;
    }
};

} // namespace

ScriptState& Script() {
    return gScript;
}

void ResetScript() {
    std::memset(&gScript, 0, sizeof gScript);
}

void TokenizeLine(const char* text) {
    gScript.strings[0][0] = '\0';
    gScript.lastIntCount = 0;
    gScript.lastStringCount = 0;
    int n = int(std::strlen(text));
    if (n == 0) {
        return;
    }
    Tokenizer t;
    bool quoted = false;
    int i = 0;
    while (i < n) {
        char c = text[i];
        if (c == ',' && !quoted) {
            t.End();
            ++i;
        } else if (c == ' ' && t.stored == 0) {
            // A space always ends the command word, even inside quotes.
            t.End();
            ++i;
            if (i < n && text[i] == ',') {
                ++i;
            }
        } else {
            if (c == '"') {
                quoted = !quoted;
            }
            t.Append(c);
            ++i;
        }
    }
    t.End();
    gScript.lastIntCount = t.ints;
    gScript.lastStringCount = t.strings;
}

int32_t ClassifyCommand(const char* text) {
    TokenizeLine(text);
    for (int code = 1; code <= 13; ++code) {
        if (std::strcmp(gScript.strings[0], kCommandWords[code - 1]) == 0) {
            return code;
        }
    }
    return kNoCommand;
}

int32_t EndRecordOf(const ScriptState& script) {
    int32_t end = kScriptRecords;
    for (int32_t i = 1; i < kScriptRecords; ++i) {
        if (std::strcmp(script.lines[i].text, "END") == 0) {
            end = i;
        }
    }
    return end;
}

const char* CommandWord(int32_t code) {
    return code >= 1 && code <= 13 ? kCommandWords[code - 1] : nullptr;
}

int LoadScript(int32_t file) {
    int index = 1;
    while (FileAtEnd(file) == 0) {
        if (index > kMaxLines) {
            LogWrite("script has more than 998 lines\n");
            FileClose(file);
            return -1;
        }
        char line[kLineBytes];
        if (FileReadLine(line, kLineBytes, file) == -1) {
            FileClose(file);
            return -1;
        }
        ScriptLine& record = gScript.lines[index];
        std::memcpy(record.text, line, std::strlen(line) + 1);
        record.command = ClassifyCommand(record.text);
        ++index;
    }
    FileClose(file);
    std::memcpy(gScript.lines[index].text, "END", 4);
    gScript.lines[index].command = kNoCommand;
    return 1;
}

} // namespace velox::player
