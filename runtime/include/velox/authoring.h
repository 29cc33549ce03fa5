// For tools that author shows rather than play them: skipping ahead without showing,
// saving the visible screen, recording a show to a video file, and converting text
// between the runtime's Shift-JIS and the operating system's UTF-8.
#pragma once

#include <velox/velox.h>

namespace velox {

// ---- Skipping ahead ------------------------------------------------------
// Copies the back buffer onto the visible screen without presenting it: nothing reaches
// the window, and no frame is counted, written or recorded. A program skipping through
// the start of a show keeps the screen as a full run would have it. -1 before start-up.
VELOX_API int CopyToFrontScreen();
// Shows the visible screen in the window again (after skipping ahead); not a presented
// frame. -1 before start-up or when the window cannot show it.
VELOX_API int RedrawVisibleScreen();

// ---- Saving the screen ---------------------------------------------------
// Writes the visible screen as an 8-bit RGB PNG file at path (UTF-8, used as given).
// -1 before start-up or when the file cannot be written; no partial file is left.
VELOX_API int SaveScreenPng(const char* path);

// ---- Recording -----------------------------------------------------------
// Recording covers everything presented and everything the mixer plays, encoded at 30
// pictures a second; on the headless backend on the virtual clock, otherwise in real time
// from the start of the recording. error (errorSize bytes, may be null) receives the
// reason of a failure, cut to fit.
// 1 when path names a container the recorder writes (.mp4, .webm, .mkv), else 0.
VELOX_API int IsRecordingPathSupported(const char* path);
// Opens path and starts the encoders for width x height pictures; quality 0 (best) to 51
// (smallest). Before or after StartRuntime. -1 with the reason when it cannot, or while a
// recording runs.
VELOX_API int StartRecording(const char* path, int quality, int width, int height, char* error,
                             int errorSize);
// 1 while a recording runs, else 0.
VELOX_API int IsRecording();
// Ends the recording at the recording clock's time now (the last picture lasts until
// then), drains the encoders and closes the file. -1 with the reason when any part of the
// recording failed or none runs.
VELOX_API int FinishRecording(char* error, int errorSize);

// ---- Text ----------------------------------------------------------------
// Both conversions read length bytes of text (-1: up to its NUL) and write the result with
// a NUL into out (outSize bytes) like snprintf: they return the full length of the result,
// so a value >= outSize means out holds only its beginning. -1 for null text, or null out
// with outSize above 0. Any thread; no entry gate.
// Undecodable bytes become U+FFFD, so that a bad name can still be shown.
VELOX_API int ConvertShiftJisToUtf8(const char* text, int length, char* out, int outSize);
// Characters without a Shift-JIS form become '?'.
VELOX_API int ConvertUtf8ToShiftJis(const char* text, int length, char* out, int outSize);

} // namespace velox
