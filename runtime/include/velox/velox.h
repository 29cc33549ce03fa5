// Velox: a 2D media runtime. This is the header every application includes; headless.h
// (running without a window) and authoring.h (tools that make shows) add to it.
// Every operation passes the entry gate and returns 0 on success and -1 on
// failure unless its comment says otherwise. Text is Shift-JIS throughout.
#pragma once

#include <cstdarg>
#include <cstdint>

// Marks what libvelox.so exports; everything else in the library is hidden.
#ifndef VELOX_API
#define VELOX_API __attribute__((visibility("default")))
#endif

namespace velox {

// ---- Runtime core -------------------------------------------------------
VELOX_API int SetLogOutput(int enabled);
VELOX_API int LogWrite(const char* text); // always -1
VELOX_API int LogWriteFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
VELOX_API int LogIndentAdd();
VELOX_API int LogIndentSub();
[[noreturn]] VELOX_API void FatalError(const char* text);

VELOX_API void* MemAlloc(int32_t size, const char* sourceName, int line);
VELOX_API void* MemAllocZero(int32_t size, const char* sourceName, int line);
VELOX_API int MemFree(void* block);
VELOX_API int MemDump();
VELOX_API int MemCheck();

// ---- Runtime start-up and timing -----------------------------------------
// Settings take effect at the next StartRuntime (the window mode also at once).
VELOX_API int ChangeWindowMode(int windowed); // 1 windowed, 0 full screen
VELOX_API int SetWindowTitle(const char* title);
VELOX_API int SetWindowClassName(const char* className); // names the second-instance lock
VELOX_API int SetAllowSecondInstance(int allow);
VELOX_API int SetRunWhileInactive(int run);
// 1: Alt+Enter (and F11) toggle between windowed and full screen at the next
// ProcessMessage. Off by default.
VELOX_API int SetAllowModeSwitchKey(int allow);
VELOX_API int StartRuntime();
VELOX_API int ShutdownRuntime(); // always 0; the entry gate is torn down afterwards
// 0, or -1 once the window has been closed and the runtime should end.
VELOX_API int ProcessMessage();
// Microseconds from an arbitrary origin; flag 1 prefers the time stamp counter. No gate:
// any thread may call it.
VELOX_API uint64_t GetMicroCount(int flag);
VELOX_API int GetMilliCount();

// ---- Keyboard ---------------------------------------------------------------
// keys: 256 bytes; keys[k] becomes 1 while key code k is down (Escape 1, Space 57).
VELOX_API int GetAllKeyState(char* keys);

// ---- Files --------------------------------------------------------------
// The key string that unscrambles packed archives (none by default); set it
// before the first file of a keyed archive is opened.
VELOX_API int SetArchiveKey(const char* keyString);
// Makes the file operations usable without starting the runtime (for tools that
// only read files); StartRuntime does the same.
VELOX_API int InitFileAccess();
// File handles are 0xF0000000 | slot; 0 means failure.
VELOX_API int32_t FileOpenRead(const char* path, int async);
VELOX_API int FileClose(int32_t file);
// 1 when the position equals the size, else 0.
VELOX_API int FileAtEnd(int32_t file);
// One CR LF-terminated line without its line end; its length, or -1.
VELOX_API int FileReadLine(char* buffer, int bufferSize, int32_t file);

} // namespace velox

// ---- Screen and graphics ------------------------------------------------
namespace velox {
// Draw targets besides graphic handles.
constexpr int kDrawBackBuffer = -2;
constexpr int kDrawFrontScreen = -4;

// Before start-up records the mode; after, rebuilds the screen (every graphic is deleted).
VELOX_API int SetScreenMode(int width, int height, int colorBits, int refreshRate);
VELOX_API int SetDrawTarget(int target);
VELOX_API int ClearScreen();
// Presents the back buffer; the back buffer keeps its content.
VELOX_API int FlipScreen();
VELOX_API uint32_t GetColorValue(int red, int green, int blue);

// Graphic handles (0x08000000..0x0FFFFFFF), or -1. Every graphic is a memory image, so
// notTexture changes nothing. path_a.ext (or path_a), when present, supplies the alpha.
VELOX_API int LoadGraphic(const char* path, int notTexture);
// Contents are zero until drawn or captured.
VELOX_API int CreateBlankGraphic(int width, int height, int notTexture);
// logFlag: log the deletion with the graphic's name.
VELOX_API int DeleteGraphic(int graphic, int logFlag);
VELOX_API int DeleteAllGraphics(int logFlag);
// A graphic showing part of the source's pixels (shared, not copied); the rectangle is
// clipped to the source and must start inside it.
VELOX_API int DeriveGraphic(int x, int y, int width, int height, int sourceGraphic);
// The screen size for kDrawBackBuffer and kDrawFrontScreen. Either output may be null.
VELOX_API int GetGraphicSize(int graphic, int* width, int* height);
// The file name a reload decodes, with the current directory at the time of the call.
VELOX_API int SetGraphicName(int graphic, const char* name);
// Writes 0 through flag now and 1 when the graphic is deleted; null removes it.
VELOX_API int SetDeletedFlagPointer(int graphic, int* flag);
// Copies the rectangle (right and bottom exclusive) of the draw target into the graphic,
// which must have exactly its size. flag is accepted for compatibility and unused.
VELOX_API int CaptureScreenToGraphic(int x1, int y1, int x2, int y2, int graphic, int flag);
// Called with the number of graphics when their pixels must be rebuilt; null selects
// the default, which decodes each graphic's file again. Every graphic here is a memory
// image that no display change can lose, so the runtime never calls it today: it is
// kept for programs that register one, and for a future texture path.
using GraphicRestoreCallback = void (*)(int graphicCount);
VELOX_API int SetGraphicRestoreCallback(GraphicRestoreCallback callback);

// Settings for graphics made from now on; graphics start resets them.
// The transparent color (black by default), 0..255 each.
VELOX_API int SetTransparentColor(int red, int green, int blue);
// Loaded pixels of the transparent color get alpha 0 (and a neighbour's color).
VELOX_API int SetUseTransparentColorToAlpha(int enabled);
// Each loaded graphic takes the color of its top-left pixel as its transparent color.
VELOX_API int SetUseTopLeftPixelAsTransparentColor(int enabled);
// Blank graphics get an alpha channel.
VELOX_API int SetBlankGraphicAlpha(int alpha);
// Graphics are made so that they can be selected as draw target, with or without alpha.
VELOX_API int SetDrawTargetGraphicMode(int enabled, int alpha);

// ---- Drawing -------------------------------------------------------------
VELOX_API int SetDrawFilter(int mode);
VELOX_API int SetBrightness(int red, int green, int blue);
VELOX_API int SetBlendMode(int mode, int parameter);
VELOX_API int DrawGraphicStretched(int x1, int y1, int x2, int y2, int graphic, int transparent);
VELOX_API int DrawGraphicRotated(int x, int y, int centerX, int centerY, double scale, double angle,
                                 int graphic, int transparent, int turn);

// ---- Text ----------------------------------------------------------------
// Font types: 0 plain, 1 edged, 2 anti-aliased, 3 anti-aliased and edged.
// Character sets: 0 the platform default, 1 Shift-JIS, 2 Hangeul. -1 takes the
// default of any argument (size 16, thickness 6, type 0, Shift-JIS, edge 1);
// an edge size above 1 makes the font edged. Gives a font handle or -1.
VELOX_API int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType,
                                 int charSet, int edgeSize, int italic);
VELOX_API int DeleteFont(int font);
// Sets the default font's size (-1: 16); the default font is rebuilt when it changes.
VELOX_API int SetDefaultFontSize(int size);
// Colors are values of GetColorValue; the edge color serves edged fonts.
VELOX_API int PrintText(int x, int y, const char* text, uint32_t color, uint32_t edgeColor);
VELOX_API int PrintTextFormat(int x, int y, uint32_t color, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// One line, left to right (vertical is accepted and laid out horizontally).
VELOX_API int PrintTextWithFont(int x, int y, const char* text, uint32_t color, int font,
                                uint32_t edgeColor, int vertical);
// The width the text would take (the final pen position) and the font's cell height.
VELOX_API int MeasureString(const char* text, int font, int* width, int* height);

// ---- Sound and music -----------------------------------------------------
// Every sound operation fails with -1 while the sound layer is not started (no
// runtime, or no sound device could be opened).
// Play types: 0 play and wait, 1 once in the background, 3 looped in the background.
// A sound handle, or -1. bufferCount (0..10) is the number of overlapping starts;
// sharedStream names a stream sound whose ring a new stream sound may share (-1: none).
VELOX_API int LoadSound(const char* path, int bufferCount, int sharedStream);
VELOX_API int DeleteSound(int sound);
// volume 0..255 (above counts as 255; 0 or less is silence). Note the order.
VELOX_API int SetSoundVolume(int volume, int sound);
// fromStart 1 always starts at the beginning; 0 leaves a playing sound alone and
// resumes a stopped one where it stopped.
VELOX_API int PlaySoundHandle(int sound, int playType, int fromStart);
// 1 playing, 0 not, -1 for an invalid handle.
VELOX_API int IsSoundPlaying(int sound);
VELOX_API int StopSoundHandle(int sound);
// How LoadSound loads from now on: 0 (the default at every start) decodes the whole
// file; 2 makes a stream sound decoded while it plays from the file held in memory,
// 3 one decoded from the open file.
VELOX_API int SetSoundLoadMode(int mode);
// A standard MIDI file plays on the MIDI sequencer, anything else as a stream sound.
VELOX_API int PlayMusicFile(const char* path, int playType);
// Streamed music only: MIDI music keeps its own volume. 0 also with no music.
VELOX_API int SetMusicVolume(int volume);
VELOX_API int IsMusicPlaying(); // 1 while the current music plays, else 0
VELOX_API int StopMusicPlayback();
// The General MIDI SoundFont for MIDI music, an operating-system (UTF-8) path used
// as given; empty or null searches /usr/share/sounds/sf2/ for default-GM.sf2,
// FluidR3_GM.sf2 and TimGM6mb.sf2. Takes effect at the next MIDI start.
VELOX_API int SetMidiSoundFont(const char* path);

// Sleeps the calling thread (on the headless backend, in virtual time).
VELOX_API int SleepMicros(uint64_t microseconds);
} // namespace velox
