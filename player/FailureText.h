// The English line a failed show leaves on standard error, in the form compilers use:
// "story.txt:12: loadimage: cannot load "bg.png": no such file". The screens stay Japanese.
#pragma once

#include <string>

namespace velox::player {

// For a negative run result and the record that gave it; the record's line must still be
// the last one tokenised (the loop ends right after the failing frame).
std::string DescribeRunFailure(int runResult, int line);

} // namespace velox::player
