#include "FailureText.h"

#include "MediaCheck.h"
#include "Scene.h"
#include "Script.h"

#include <velox/velox.h>

#include <string>

namespace velox::player {
namespace {

// A load gave -2: the file is either absent (on disk and in every packed folder) or
// present but not something the decoders accept.
std::string LoadFailureReason(const char* name) {
    int32_t file = FileOpenRead(name, 0);
    if (file == 0) {
        return "no such file";
    }
    FileClose(file);
    return "cannot decode it (damaged, or a variant that is not supported)";
}

std::string SlotText(const char* kind, int32_t slot) {
    if (slot < 0 || slot >= kSlots) {
        return std::string("no ") + kind + " slot " + std::to_string(slot) + " (slots are 0..9)";
    }
    return std::string(kind) + " slot " + std::to_string(slot) + " is empty";
}

std::string Reason(int32_t command, int runResult) {
    const ScriptState& script = Script();
    const int32_t slot = script.args[0];
    const char* name = script.strings[1];
    if (runResult == -2) {
        return "cannot load " + Quoted(name) + ": " + LoadFailureReason(name);
    }
    if (runResult == -1) {
        switch (command) {
        case kLoadImage:
            return SlotText("image", slot);
        case kLoadSound:
            return SlotText("sound", slot);
        case kShowImage:
        case kDrawBackImage:
            return SlotText("image", slot);
        case kMoveImage:
            return "no image has been shown to move";
        case kPlaySound:
            return SlotText("sound", slot);
        case kStopSound:
            return "cannot stop sound slot " + std::to_string(slot);
        default:
            break;
        }
    } else if (runResult == -10) {
        switch (command) {
        case kShowImage:
        case kDrawBackImage:
        case kMoveImage:
            return "cannot draw the image";
        case kPlaySound:
            return "cannot play sound slot " + std::to_string(slot);
        case kPlayMusic:
            return "cannot play " + Quoted(name);
        default:
            break;
        }
    }
    return "failed with " + std::to_string(runResult);
}

} // namespace

std::string DescribeRunFailure(int runResult, int line) {
    int32_t command = line > 0 && line < kScriptRecords ? Script().lines[line].command : 0;
    const char* word = CommandWord(command);
    std::string text = "story.txt:" + std::to_string(line) + ": ";
    if (word) {
        text += std::string(word) + ": ";
    }
    return text + Reason(command, runResult);
}

} // namespace velox::player
