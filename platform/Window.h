// Window and event service: the one window of the runtime, its style (full screen or
// windowed), cursor and text-input switches, and the events the window system delivers.
// Events are taken on the main thread only; the runtime turns them into the messages of
// its window procedure.
#pragma once

#include <cstdint>
#include <string>

namespace velox::platform {

struct DesktopInfo {
    int width = 0;
    int height = 0;
    int colourBits = 0; // bytes per pixel x 8, so a 32-bit desktop reads 32
};

struct WindowConfig {
    std::string title; // Shift-JIS
    int clientWidth = 800;
    int clientHeight = 600;
    // Full screen covers the desktop and scales the picture to fit, letterboxed.
    bool fullScreen = true;
    bool hidden = false;
    // Windowed only: top-left corner of the window; centred on the desktop when unset.
    bool positioned = false;
    int x = 0;
    int y = 0;
};

enum class WindowEventKind {
    CloseRequested, // the user (or the system) asks the window to close
    FocusGained,
    FocusLost,
    Exposed,        // part of the window lost its picture and wants a repaint
    Resized,        // width and height hold the new client size
    DisplayChanged, // the desktop changed, or a style switch has taken effect
    AltEnter,       // Alt+Enter was pressed
};

struct WindowEvent {
    WindowEventKind kind = WindowEventKind::CloseRequested;
    int width = 0;
    int height = 0;
};

class WindowService {
public:
    virtual ~WindowService() = default;

    // The desktop the window would appear on; false when no display can be opened.
    virtual bool QueryDesktop(DesktopInfo& out) = 0;
    // Creates and shows (unless hidden) the window; false, with nothing left behind, when
    // there is no display or the window system refuses.
    virtual bool Create(const WindowConfig& config) = 0;
    virtual void Destroy() = 0;
    virtual bool Exists() const = 0;
    virtual void SetTitle(const char* sjisTitle) = 0;
    virtual void SetCursorVisible(bool visible) = 0;
    // Text input includes the input method editor: switched off, keys are only keys.
    virtual void SetTextInput(bool enabled) = 0;
    virtual void SetScreenSaver(bool enabled) = 0;
    // Switches between full screen and a windowed window of the given client size. A
    // DisplayChanged event follows once the switch has taken effect.
    virtual bool SetStyle(bool fullScreen, int clientWidth, int clientHeight) = 0;
    virtual void SetClientSize(int width, int height) = 0;
    virtual bool ClientSize(int& width, int& height) = 0;
    // Brings the window to the front and asks for the input focus.
    virtual void Raise() = 0;
    // Takes the next event; false when none is waiting. Main thread only.
    virtual bool PollEvent(WindowEvent& out) = 0;
    // The window system's id of the window (an X11 window id), 0 when unknown.
    virtual uint64_t NativeId() = 0;
};

// The window service of the selected backend.
WindowService& Window();

} // namespace velox::platform
