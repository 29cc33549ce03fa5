// Shift-JIS text inside the runtime. Source files are UTF-8; SJIS("...") turns
// a message literal into its Shift-JIS bytes once, at first use, so messages
// stay readable in the source and exact in the log.
#pragma once

#include "platform/TextCodec.h"

#include <string>

namespace velox::core {

// 0x81..0x9F and 0xE0..0xFC begin a two-byte character.
constexpr bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

} // namespace velox::core

#define SJIS(utf8Literal)                                                                          \
    ([]() -> const char* {                                                                         \
        static const std::string converted = ::velox::platform::Utf8ToShiftJis(utf8Literal);       \
        return converted.c_str();                                                                  \
    }())
