// --watch: story.txt is looked at on every pass of the show and of the wait after it. A
// saved change that the checker passes replaces the story; one it finds an error in is
// named by that error on standard error, and the show goes on with the text it had.
#pragma once

#include <cstdint>

namespace velox::player {

enum class StoryChange {
    None,      // nothing new, or the new text was refused
    Continued, // the first changed line lies after the one running: the new lines are in
               // place and the show goes on with them
    Restart,   // the show must run again from RestartLine() (see ResetShowForRestart)
};

// Takes story.txt as it is now as the text the show loaded.
void BeginWatching();
// Looks at story.txt. current is the record running; over is true once the show has
// ended (at its end or with a failure), when any accepted change restarts it.
StoryChange LookAtStory(int32_t current, bool over);
// The first changed line of the last accepted change.
int32_t RestartLine();
// Frees what the show loaded and puts scene, loop and drawing back as a fresh start
// leaves them, keeping the new story, so that RunScript with Loop().startLine set to
// RestartLine() warps to the changed line.
void ResetShowForRestart();

} // namespace velox::player
