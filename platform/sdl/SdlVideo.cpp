// The SDL window, its events and the presentation of pictures through a streaming texture.
#include "platform/BackendServices.h"
#include "platform/Recording.h"
#include "platform/TextCodec.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstring>
#include <vector>

namespace velox::platform::sdl {

// Keeps a key pressed and released between two keyboard reads (SdlKeyboard.cpp).
void NoteKeyPressed(int scancode);

namespace {

class SdlVideo {
public:
    bool EnsureVideo() {
        if (videoReady_) {
            return true;
        }
        // The picture is never stretched on its own: full screen letterboxes it.
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            return false;
        }
        // Without a display SDL falls back to drivers that show nothing; a player
        // nobody can see (or stop) is worse than a clear failure. Asking for such
        // a driver by name still works.
        const char* driver = SDL_GetCurrentVideoDriver();
        const bool invisible =
            driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
                       std::strcmp(driver, "evdev") == 0);
        if (invisible && !SDL_getenv("SDL_VIDEODRIVER")) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            return false;
        }
        videoReady_ = true;
        if (displayChangedEvent_ == 0) {
            displayChangedEvent_ = SDL_RegisterEvents(1);
        }
        ApplyScreenSaver();
        return true;
    }

    bool QueryDesktop(DesktopInfo& out) {
        if (!EnsureVideo()) {
            return false;
        }
        SDL_DisplayMode mode{};
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
            return false;
        }
        out.width = mode.w;
        out.height = mode.h;
        out.colourBits = int(SDL_BYTESPERPIXEL(mode.format)) * 8;
        return true;
    }

    bool Create(const WindowConfig& config) {
        ReleaseWindow();
        if (!EnsureVideo()) {
            return false;
        }
        Uint32 flags = config.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
        SDL_Rect area{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, config.clientWidth,
                      config.clientHeight};
        if (config.fullScreen) {
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
            DesktopBounds(area);
        } else if (config.positioned) {
            area.x = config.x;
            area.y = config.y;
        }
        const std::string title = ShiftJisToUtf8(config.title);
        window_ = SDL_CreateWindow(title.c_str(), area.x, area.y, area.w, area.h, flags);
        if (!window_) {
            return false;
        }
        renderer_ = SDL_CreateRenderer(window_, -1, vsync_ ? SDL_RENDERER_PRESENTVSYNC : 0);
        if (!renderer_) {
            renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        }
        if (!renderer_) {
            SDL_DestroyWindow(window_);
            window_ = nullptr;
            return false;
        }
        fullScreen_ = config.fullScreen;
        return true;
    }

    // The display connection goes with the window, so that a later window opens on the
    // display of that moment.
    void Destroy() {
        ReleaseWindow();
        if (videoReady_) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            videoReady_ = false;
        }
    }

    void ReleaseWindow() {
        if (texture_) {
            SDL_DestroyTexture(texture_);
            texture_ = nullptr;
        }
        if (renderer_) {
            SDL_DestroyRenderer(renderer_);
            renderer_ = nullptr;
        }
        if (window_) {
            SDL_DestroyWindow(window_);
            window_ = nullptr;
        }
        textureWidth_ = textureHeight_ = 0;
        last_.clear();
    }

    bool Exists() const { return window_ != nullptr; }

    void SetTitle(const char* sjisTitle) {
        if (window_) {
            SDL_SetWindowTitle(window_, ShiftJisToUtf8(sjisTitle ? sjisTitle : "").c_str());
        }
    }
    void SetCursorVisible(bool visible) {
        if (videoReady_) {
            SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
        }
    }
    void SetTextInput(bool enabled) {
        if (!videoReady_) {
            return;
        }
        if (enabled) {
            SDL_StartTextInput();
        } else {
            SDL_StopTextInput();
        }
    }
    void SetScreenSaver(bool enabled) {
        screenSaver_ = enabled;
        ApplyScreenSaver();
    }

    bool SetStyle(bool fullScreen, int clientWidth, int clientHeight) {
        if (!window_) {
            return false;
        }
        if (fullScreen) {
            SDL_Rect area{};
            DesktopBounds(area);
            SDL_SetWindowPosition(window_, area.x, area.y);
            SDL_SetWindowSize(window_, area.w, area.h);
        }
        if (SDL_SetWindowFullscreen(window_, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
            return false;
        }
        if (!fullScreen) {
            SDL_SetWindowSize(window_, clientWidth, clientHeight);
            SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        }
        fullScreen_ = fullScreen;
        SDL_Event event{};
        event.type = displayChangedEvent_;
        SDL_PushEvent(&event);
        return true;
    }
    void SetClientSize(int width, int height) {
        if (window_ && !fullScreen_) {
            SDL_SetWindowSize(window_, width, height);
        }
    }
    bool ClientSize(int& width, int& height) {
        if (!window_) {
            return false;
        }
        SDL_GetWindowSize(window_, &width, &height);
        return true;
    }
    void Raise() {
        if (window_) {
            SDL_RaiseWindow(window_);
        }
    }

    bool PollEvent(WindowEvent& out) {
        if (!videoReady_) {
            return false;
        }
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            if (Translate(e, out)) {
                return true;
            }
        }
        return false;
    }

    uint64_t NativeId() {
        if (!window_) {
            return 0;
        }
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(window_, &info)) {
            return 0;
        }
#if defined(SDL_VIDEO_DRIVER_X11)
        if (info.subsystem == SDL_SYSWM_X11) {
            return uint64_t(info.info.x11.window);
        }
#endif
        return 0;
    }

    bool Show(const uint32_t* pixels, int width, int height, int pitchBytes) {
        if (!renderer_ || !pixels || width <= 0 || height <= 0 || pitchBytes < width * 4) {
            return false;
        }
        if (!texture_ || textureWidth_ != width || textureHeight_ != height) {
            if (texture_) {
                SDL_DestroyTexture(texture_);
            }
            // RGB888 is 32-bit 0x00RRGGBB: the runtime's screen format, uploaded unchanged.
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888,
                                         SDL_TEXTUREACCESS_STREAMING, width, height);
            if (!texture_) {
                textureWidth_ = textureHeight_ = 0;
                return false;
            }
            textureWidth_ = width;
            textureHeight_ = height;
            SDL_RenderSetLogicalSize(renderer_, width, height);
        }
        if (SDL_UpdateTexture(texture_, nullptr, pixels, pitchBytes) != 0) {
            return false;
        }
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
        return true;
    }

    bool Present(const uint32_t* pixels, int width, int height, int pitchBytes) {
        if (!Show(pixels, width, height, pitchBytes)) {
            return false;
        }
        last_.resize(size_t(width) * size_t(height));
        const auto* base = reinterpret_cast<const uint8_t*>(pixels);
        for (int y = 0; y < height; ++y) {
            std::memcpy(&last_[size_t(y) * size_t(width)], base + size_t(y) * size_t(pitchBytes),
                        size_t(width) * 4);
        }
        lastWidth_ = width;
        lastHeight_ = height;
        ++frames_;
        RecordPresentedPicture(pixels, width, height, pitchBytes);
        return true;
    }
    bool RedrawLast() {
        if (last_.empty()) {
            return false;
        }
        return Show(last_.data(), lastWidth_, lastHeight_, lastWidth_ * 4);
    }
    bool Fill(uint32_t colour) {
        if (!renderer_) {
            return false;
        }
        SDL_SetRenderDrawColor(renderer_, Uint8(colour >> 16), Uint8(colour >> 8), Uint8(colour),
                               255);
        SDL_RenderClear(renderer_);
        SDL_RenderPresent(renderer_);
        return true;
    }
    void SetVsync(bool on) {
        vsync_ = on;
        if (renderer_) {
            SDL_RenderSetVSync(renderer_, on ? 1 : 0);
        }
    }
    uint64_t PresentedFrames() const {
        return frames_;
    }

private:
    bool Translate(const SDL_Event& e, WindowEvent& out) {
        if (e.type == SDL_QUIT) {
            out = {WindowEventKind::CloseRequested, 0, 0};
            return true;
        }
        if (displayChangedEvent_ != 0 && e.type == displayChangedEvent_) {
            out = {WindowEventKind::DisplayChanged, 0, 0};
            return true;
        }
        if (e.type == SDL_DISPLAYEVENT) {
            out = {WindowEventKind::DisplayChanged, 0, 0};
            return true;
        }
        if (e.type == SDL_KEYDOWN) {
            if (!e.key.repeat) {
                NoteKeyPressed(int(e.key.keysym.scancode));
            }
            // Alt+Enter, and F11 as desktop programs on Linux use it, ask for the other mode.
            const bool altEnter =
                e.key.keysym.scancode == SDL_SCANCODE_RETURN && (e.key.keysym.mod & KMOD_ALT);
            if ((altEnter || e.key.keysym.scancode == SDL_SCANCODE_F11) && !e.key.repeat) {
                out = {WindowEventKind::AltEnter, 0, 0};
                return true;
            }
            return false;
        }
        if (e.type != SDL_WINDOWEVENT || !window_ ||
            e.window.windowID != SDL_GetWindowID(window_)) {
            return false;
        }
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            out = {WindowEventKind::CloseRequested, 0, 0};
            return true;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            out = {WindowEventKind::FocusGained, 0, 0};
            return true;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            out = {WindowEventKind::FocusLost, 0, 0};
            return true;
        case SDL_WINDOWEVENT_EXPOSED:
            out = {WindowEventKind::Exposed, 0, 0};
            return true;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            out = {WindowEventKind::Resized, e.window.data1, e.window.data2};
            return true;
        default:
            return false;
        }
    }

    // A full-screen window is made the desktop's size from the start: where no window
    // manager enlarges it, it still covers the screen.
    static void DesktopBounds(SDL_Rect& area) {
        SDL_Rect bounds{};
        if (SDL_GetDisplayBounds(0, &bounds) == 0) {
            area = bounds;
        }
    }

    void ApplyScreenSaver() {
        if (!videoReady_) {
            return;
        }
        if (screenSaver_) {
            SDL_EnableScreenSaver();
        } else {
            SDL_DisableScreenSaver();
        }
    }

    bool videoReady_ = false;
    Uint32 displayChangedEvent_ = 0;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    bool fullScreen_ = false;
    bool vsync_ = true;
    bool screenSaver_ = true;
    std::vector<uint32_t> last_;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
    uint64_t frames_ = 0;
};

SdlVideo& Video() {
    static SdlVideo video;
    return video;
}

class SdlWindowService final : public WindowService {
public:
    bool QueryDesktop(DesktopInfo& out) override { return Video().QueryDesktop(out); }
    bool Create(const WindowConfig& config) override { return Video().Create(config); }
    void Destroy() override { Video().Destroy(); }
    bool Exists() const override { return Video().Exists(); }
    void SetTitle(const char* sjisTitle) override { Video().SetTitle(sjisTitle); }
    void SetCursorVisible(bool visible) override { Video().SetCursorVisible(visible); }
    void SetTextInput(bool enabled) override { Video().SetTextInput(enabled); }
    void SetScreenSaver(bool enabled) override { Video().SetScreenSaver(enabled); }
    bool SetStyle(bool fullScreen, int clientWidth, int clientHeight) override {
        return Video().SetStyle(fullScreen, clientWidth, clientHeight);
    }
    void SetClientSize(int width, int height) override { Video().SetClientSize(width, height); }
    bool ClientSize(int& width, int& height) override { return Video().ClientSize(width, height); }
    void Raise() override { Video().Raise(); }
    bool PollEvent(WindowEvent& out) override { return Video().PollEvent(out); }
    uint64_t NativeId() override { return Video().NativeId(); }
};

class SdlPresentationService final : public PresentationService {
public:
    bool Present(const uint32_t* pixels, int width, int height, int pitchBytes) override {
        return Video().Present(pixels, width, height, pitchBytes);
    }
    bool Redraw(const uint32_t* pixels, int width, int height, int pitchBytes) override {
        return Video().Show(pixels, width, height, pitchBytes);
    }
    bool RedrawLast() override { return Video().RedrawLast(); }
    bool Fill(uint32_t colour) override { return Video().Fill(colour); }
    void SetVsync(bool on) override { Video().SetVsync(on); }
    uint64_t PresentedFrames() const override { return Video().PresentedFrames(); }
};

} // namespace

WindowService& WindowServiceInstance() {
    static SdlWindowService service;
    return service;
}
PresentationService& PresentationServiceInstance() {
    static SdlPresentationService service;
    return service;
}

} // namespace velox::platform::sdl
