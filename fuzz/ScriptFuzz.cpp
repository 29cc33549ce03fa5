// Whole story files through the player's loader, tokenizer and checker: the
// input becomes story.txt in an in-memory file system, is loaded and classified
// line by line, and every finding is formatted. Each line is then tokenised on
// its own as the run loop does.
#include "MemoryFileSystem.h"
#include "Script.h"
#include "ScriptCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

velox::fuzz::MemoryFileSystem& Files() {
    static velox::fuzz::MemoryFileSystem* files = [] {
        auto* made = new velox::fuzz::MemoryFileSystem;
        velox::platform::SetFileSystem(made);
        // The checker looks for packed folders shadowing real ones by listing the real
        // current folder; an empty one keeps that from costing a tree walk per input.
        static char folder[] = "/tmp/velox-script-fuzz-XXXXXX";
        if (::mkdtemp(folder) == nullptr || ::chdir(folder) != 0) {
            std::abort();
        }
        std::atexit([] { ::rmdir(folder); });
        // A picture and a sound for the lines that name them.
        const uint8_t bytes[] = {'x'};
        made->Put("a.bmp", bytes, 1);
        made->Put("a.wav", bytes, 1);
        return made;
    }();
    return *files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velox::player;
    if (size > (1u << 20)) {
        return 0;
    }
    Files().Put("story.txt", data, size);
    size_t total = 0;
    for (const Finding& finding : CheckStory()) {
        total += FormatFinding(finding).size();
    }
    for (int i = 1; i < kScriptRecords; ++i) {
        const ScriptLine& line = Script().lines[i];
        if (std::strcmp(line.text, "END") == 0) {
            break;
        }
        TokenizeLine(line.text);
    }
    volatile size_t sink = total;
    (void)sink;
    return 0;
}
