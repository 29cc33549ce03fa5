// What a run is about to overwrite: a frame folder that already holds numbered pictures,
// or an existing recording, is refused unless forced, so old and new never mix.
#pragma once

#include <string>

namespace velox::player {

// True when the outputs may be written; false with a message otherwise. With force,
// the old numbered pictures and their list are removed first so none outlives the run.
bool PrepareOutputs(const std::string& dumpDir, const std::string& recordFile, bool force,
                    std::string& error);

} // namespace velox::player
