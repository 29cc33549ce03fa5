#include "file/FileAccess.h"

namespace velox {

FileAccessTable gFileAccess{};

} // namespace velox
