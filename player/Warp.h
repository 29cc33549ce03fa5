// --start-line N: the lines before N run at once, presenting nothing and waiting for
// nothing, so that the show starts at line N in the state a full run reaches there.
#pragma once

#include "Script.h"

namespace velox::player {

// True while the loop is before the start line.
bool Warping();
// Presents the composed frame; while warping it only becomes the visible picture,
// as a later attachbg must find it there.
void PresentFrame();
// Runs the record's command to its end at once: a wait waits for nothing, a move
// draws only its last frame, a sound effect is not played. The music fade takes the
// steps the skipped frames would have made. The command's result.
int WarpRecord(const ScriptLine& record);
// The visible picture becomes black, as at the start, without being presented: what
// the window shows stays until the next frame.
void ClearVisiblePicture();
// The window shows the visible picture again, without counting a presented frame.
void ShowVisiblePicture();

} // namespace velox::player
