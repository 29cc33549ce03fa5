// Text conversion at the platform boundary. Inside the runtime all text is
// Shift-JIS (code page 932); the operating system speaks UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace velox::platform {

// Undecodable bytes become U+FFFD so that a bad name can still be reported.
std::string ShiftJisToUtf8(std::string_view sjis);
// Characters without a Shift-JIS form become '?'.
std::string Utf8ToShiftJis(std::string_view utf8);

} // namespace velox::platform
