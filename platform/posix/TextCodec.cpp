#include "platform/TextCodec.h"

#include <cerrno>
#include <iconv.h>
#include <mutex>

namespace velox::platform {
namespace {

// iconv descriptors carry shift state, so each conversion resets its own.
std::string Convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1)) {
        return std::string(in);
    }
    std::string out;
    out.reserve(in.size() * 3 / 2 + 4);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[512];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, size_t(dst - buffer));
        if (r == size_t(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // Invalid or truncated sequence: replace one byte and go on.
            out.append(replacement);
            ++src;
            --srcLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::string ShiftJisToUtf8(std::string_view sjis) {
    // Pure ASCII is the common case for paths; skip iconv for it.
    bool ascii = true;
    for (unsigned char c : sjis) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        return std::string(sjis);
    }
    return Convert("UTF-8", "CP932", sjis, "\xEF\xBF\xBD");
}

std::string Utf8ToShiftJis(std::string_view utf8) {
    bool ascii = true;
    for (unsigned char c : utf8) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        return std::string(utf8);
    }
    return Convert("CP932", "UTF-8", utf8, "?");
}

} // namespace velox::platform
