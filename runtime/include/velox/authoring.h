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
// Sets the visible screen to black without presenting it, as at start-up: a program
// replaying a show from its start clears what the last run left. -1 before start-up.
VELOX_API int ClearVisibleScreen();
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

// ---- Checking media files -------------------------------------------------
// Each check opens a file as the loaders do (a Shift-JIS path; folders, archives and the
// relaxed name matching) and decodes it with their decoders, keeping nothing. They need
// the file operations (StartRuntime or InitFileAccess).
// The largest picture side, and the most pixels, a picture file may have.
constexpr int kMaxPictureSide = 16384;
constexpr int kMaxPicturePixels = 64 << 20;
// 0 when LoadGraphic could decode it (its size goes to width and height, either may be
// null); -1 when it cannot be opened, -2 when no decoder takes it.
VELOX_API int CheckPictureFile(const char* path, int* width, int* height);
// 0 when LoadSound (whole 1) or a stream sound (whole 0: its first block only) could decode
// it; -1 when it cannot be opened, -2 when no decoder takes it, -3 when it decodes to no
// sound at all, -4 when it is too long to hold in memory (whole 1 only).
VELOX_API int CheckSoundFile(const char* path, int whole);
// 0 for a standard MIDI file the sequencer would play; -1 when it cannot be opened, -2 for
// a damaged header or track, or a file over 16 MiB.
VELOX_API int CheckMidiFile(const char* path);
// Reads up to size bytes from the start of the file into buffer: the count read, or -1
// when it cannot be opened.
VELOX_API int ReadFileHead(const char* path, char* buffer, int size);
// The name of the picture that supplies path's alpha (path_a.ext, or path_a) into out
// (outSize bytes): 0, or -1 when out cannot hold it.
VELOX_API int GetAlphaCompanionName(const char* path, char* out, int outSize);

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
