// The runtime and the scripts speak Shift-JIS; the terminal and the file system UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace velox::player {

// Undecodable bytes become U+FFFD, so that a bad name can still be shown.
std::string ToUtf8(std::string_view sjis);
// Characters without a Shift-JIS form become '?'.
std::string ToShiftJis(std::string_view utf8);

} // namespace velox::player
