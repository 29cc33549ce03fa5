// Find first / next / close over the file system: a wildcard pattern ('*', '?')
// in the last path component, matched without regard to ASCII case.
#pragma once

#include "file/FileAccess.h"

namespace velox::file {

intptr_t FileFindFirst(const char* pattern, FileFindInfo* info);
int FileFindNext(intptr_t find, FileFindInfo* info);
int FileFindClose(intptr_t find);

} // namespace velox::file
