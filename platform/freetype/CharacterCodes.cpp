#include "platform/freetype/FreeTypeFonts.h"

#include "platform/TextCodec.h"

#include <cerrno>
#include <iconv.h>
#include <string>

namespace velox::platform {
namespace {

// The code point of a UTF-8 string holding exactly one character, else 0.
uint32_t DecodeSingleCodePoint(const std::string& utf8) {
    if (utf8.empty()) {
        return 0;
    }
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    int length = s[0] < 0x80 ? 1 : s[0] >= 0xF0 ? 4 : s[0] >= 0xE0 ? 3 : s[0] >= 0xC0 ? 2 : 0;
    if (length == 0 || size_t(length) != utf8.size()) {
        return 0;
    }
    if (length == 1) {
        return s[0];
    }
    uint32_t cp = s[0] & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            return 0;
        }
        cp = cp << 6 | (s[i] & 0x3F);
    }
    return cp;
}

std::string HangeulToUtf8(const char* bytes, size_t count) {
    iconv_t cd = iconv_open("UTF-8", "CP949");
    if (cd == iconv_t(-1)) {
        return {};
    }
    char out[16];
    char* src = const_cast<char*>(bytes);
    char* dst = out;
    size_t srcLeft = count;
    size_t dstLeft = sizeof out;
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == size_t(-1) || srcLeft != 0) {
        return {};
    }
    return std::string(out, size_t(dst - out));
}

} // namespace

uint32_t CodePointOfCharacter(uint32_t code, int charSet) {
    char bytes[2] = {char(code & 0xFF), char((code >> 8) & 0xFF)};
    size_t count = bytes[1] ? 2 : 1;
    if (count == 1 && (code & 0xFF) < 0x80) {
        return code & 0xFF;
    }
    std::string utf8 = charSet == kCharSetHangeul ? HangeulToUtf8(bytes, count)
                                                  : ShiftJisToUtf8(std::string_view(bytes, count));
    // The replacement character marks bytes the code page does not define.
    uint32_t cp = DecodeSingleCodePoint(utf8);
    return cp == 0xFFFD ? 0 : cp;
}

} // namespace velox::platform
