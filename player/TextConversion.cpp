#include "TextConversion.h"

#include <velox/authoring.h>

namespace velox::player {
namespace {

using Conversion = int (*)(const char*, int, char*, int);

std::string Convert(std::string_view in, Conversion convert) {
    if (in.empty()) {
        return {};
    }
    // A Shift-JIS byte becomes at most three UTF-8 bytes and a UTF-8 byte at most one
    // Shift-JIS byte, so one call nearly always suffices.
    std::string out(in.size() * 3 + 1, '\0');
    int n = convert(in.data(), int(in.size()), out.data(), int(out.size()));
    if (n >= int(out.size())) {
        out.assign(size_t(n) + 1, '\0');
        n = convert(in.data(), int(in.size()), out.data(), int(out.size()));
    }
    out.resize(n < 0 ? 0 : size_t(n));
    return out;
}

} // namespace

std::string ToUtf8(std::string_view sjis) {
    return Convert(sjis, ConvertShiftJisToUtf8);
}

std::string ToShiftJis(std::string_view utf8) {
    return Convert(utf8, ConvertUtf8ToShiftJis);
}

} // namespace velox::player
