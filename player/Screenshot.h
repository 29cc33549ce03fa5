// F12 saves the visible picture as screenshot-NNNN.png in the story folder.
#pragma once

#include <string>

namespace velox::player {

constexpr int kKeyF12 = 88;

// Watches the key state read by the loop or the closing wait: a press of F12 (not
// a held key) saves one picture.
void ScreenshotKeys(const char* keys);
// Writes the visible screen as the next free screenshot-NNNN.png in the current
// folder; the file name, or empty when nothing could be written.
std::string SaveScreenshot();

} // namespace velox::player
