// The message pump, the window procedure, the inactive-window wait and window-mode
// switching. Window-system events are taken on the main thread only.
#include "core/Log.h"
#include "core/Runtime.h"
#include "core/ShiftJis.h"
#include "core/Subsystems.h"
#include "input/Keyboard.h"
#include "platform/Clock.h"
#include "platform/Presentation.h"
#include "platform/Thread.h"
#include "platform/Window.h"

namespace velox::core {
namespace {

constexpr int kMessagesPerPass = 5;
// A mode switch waits for its display change at most this long.
constexpr uint32_t kModeSwitchWaitMs = 2000;

struct Message {
    bool posted = false;
    PostedMessage postedKind = PostedMessage::Close;
    platform::WindowEvent event;
};

bool TakeMessage(Message& out) {
    CoreState& core = Core();
    if (core.postedCount > 0) {
        out.posted = true;
        out.postedKind = core.posted[0];
        for (int i = 1; i < core.postedCount; ++i) {
            core.posted[i - 1] = core.posted[i];
        }
        --core.postedCount;
        return true;
    }
    if (core.windowExists && platform::Window().PollEvent(out.event)) {
        out.posted = false;
        return true;
    }
    return false;
}

void Dispatch(const Message& m) {
    using platform::WindowEventKind;
    if (m.posted) {
        if (m.postedKind == PostedMessage::Close) {
            WindowProcedure(WindowMessage::Close, 0, 0);
        }
        return;
    }
    switch (m.event.kind) {
    case WindowEventKind::CloseRequested:
        WindowProcedure(WindowMessage::Close, 0, 0);
        break;
    case WindowEventKind::FocusGained:
        WindowProcedure(WindowMessage::Activate, 1, 0);
        break;
    case WindowEventKind::FocusLost:
        WindowProcedure(WindowMessage::Activate, 0, 0);
        break;
    case WindowEventKind::Exposed:
        WindowProcedure(WindowMessage::Paint, 0, 0);
        break;
    case WindowEventKind::Resized:
        WindowProcedure(WindowMessage::Size, m.event.width, m.event.height);
        break;
    case WindowEventKind::DisplayChanged:
        WindowProcedure(WindowMessage::DisplayChange, 0, 0);
        break;
    case WindowEventKind::AltEnter:
        WindowProcedure(WindowMessage::SystemCharacterAltEnter, 0, 0);
        break;
    }
}

bool IsActivation(const Message& m, bool& active) {
    if (m.posted) {
        return false;
    }
    if (m.event.kind == platform::WindowEventKind::FocusGained ||
        m.event.kind == platform::WindowEventKind::FocusLost) {
        active = m.event.kind == platform::WindowEventKind::FocusGained;
        return true;
    }
    return false;
}

// The services run with the in-service guard set, so that a service that pumps (or
// anything it calls) gets 0 at once instead of re-entering them.
void RunServices() {
    CoreState& core = Core();
    const SubsystemHooks& hooks = Subsystems();
    core.inService = 1;
    if (hooks.soundStreamingService) {
        hooks.soundStreamingService();
    }
    if (hooks.musicService) {
        hooks.musicService();
    }
    core.inService = 0;
}

void RunIdleServices() {
    CoreState& core = Core();
    const SubsystemHooks& hooks = Subsystems();
    if (hooks.soundStreamingService) {
        core.inService = 1;
        hooks.soundStreamingService();
        core.inService = 0;
    }
    PumpSleep(1);
}

void Repaint() {
    const SubsystemHooks& hooks = Subsystems();
    const uint32_t* pixels = nullptr;
    int width = 0, height = 0, pitch = 0;
    if (hooks.repaintSource && hooks.repaintSource(&pixels, &width, &height, &pitch) && pixels) {
        if (platform::Presentation().Redraw(pixels, width, height, pitch)) {
            return;
        }
    }
    if (!platform::Presentation().RedrawLast()) {
        platform::Presentation().Fill(0);
    }
}

void DestroyRuntimeWindow();

void OnDisplayChange() {
    CoreState& core = Core();
    if (core.settings.windowMode == 1 && !core.modeSwitching) {
        platform::DesktopInfo desktop;
        if (platform::Window().QueryDesktop(desktop) &&
            (desktop.width != core.desktopWidth || desktop.height != core.desktopHeight ||
             desktop.colourBits != core.desktopColourBits)) {
            int width = 0, height = 0, bits = 0;
            RecordedScreenMode(width, height, bits);
            const bool unusable = desktop.colourBits == 24 ||
                                  (desktop.colourBits == 8 && core.desktopColourBits != 8) ||
                                  desktop.width < width || desktop.height < height;
            core.desktopWidth = desktop.width;
            core.desktopHeight = desktop.height;
            core.desktopColourBits = desktop.colourBits;
            if (unusable) {
                if (!core.closeForDisplayPosted) {
                    LogWrite(SJIS("復元関数が登録されていないためか画面が２４ビットカラーに変更"
                                  "されたため終了します\n"));
                    LogWrite(SJIS("またはスクリーンが小さすぎるためか色ビット数の違いが大きいため"
                                  "か終了します\n"));
                    core.closeForDisplayPosted = 1;
                    PostToSelf(PostedMessage::Close);
                }
                return;
            }
            if (Subsystems().restoreGraphics) {
                Subsystems().restoreGraphics();
            }
        }
    }
    core.displayChangeSeen = 1;
}

void DestroyRuntimeWindow() {
    CoreState& core = Core();
    if (!core.windowExists) {
        return;
    }
    WindowProcedure(WindowMessage::Destroy, 0, 0);
    platform::Window().Destroy();
    core.windowExists = 0;
    ReleaseInstanceLock();
}

} // namespace

void RecordedScreenMode(int& width, int& height, int& colourBits) {
    width = 640;
    height = 480;
    colourBits = 16;
    if (Subsystems().screenMode) {
        Subsystems().screenMode(&width, &height, &colourBits);
    }
    if (width <= 0 || height <= 0) {
        width = 640;
        height = 480;
    }
}

bool OnMainThread() {
    return platform::CurrentThreadId() == Core().mainThreadId;
}

void SetQuit() {
    Core().quit = 1;
    SignalServiceStop();
}

void PostToSelf(PostedMessage message) {
    CoreState& core = Core();
    constexpr int capacity = int(sizeof core.posted / sizeof core.posted[0]);
    if (core.postedCount < capacity) {
        core.posted[core.postedCount++] = message;
    }
}

void WindowClientSize(int& width, int& height) {
    int bits = 0;
    RecordedScreenMode(width, height, bits);
    double scale = Core().windowScale;
    if (scale <= 0.0) {
        scale = Core().windowScale = 1.0;
    }
    width = int(width * scale);
    height = int(height * scale);
}

int WindowProcedure(WindowMessage message, int a, int b) {
    CoreState& core = Core();
    switch (message) {
    case WindowMessage::Close:
        LogWrite(SJIS("ウインドウを閉じようとしています\n"));
        if (!core.settings.ignoreCloseButton || core.endState == EndState::ShuttingDown) {
            DestroyRuntimeWindow();
        }
        if (core.endState == EndState::Running) {
            core.endState = EndState::UserClose;
        }
        return 0;
    case WindowMessage::Destroy:
        LogWrite(SJIS("ウインドウが破棄されようとしています\n"));
        core.destroyed = 1;
        LogWrite(SJIS("ソフトを終了する準備が整いました\n"));
        if (!core.settings.noQuitMessage) {
            PostToSelf(PostedMessage::Quit);
        }
        SetQuit();
        return 0;
    case WindowMessage::Activate:
        core.active = a != 0 ? 1 : 0;
        if (core.active && Subsystems().restoreGraphics) {
            Subsystems().restoreGraphics();
        }
        input::ReacquireInput();
        return 0;
    case WindowMessage::Paint:
        Repaint();
        return 0;
    case WindowMessage::Size:
        if (core.settings.windowMode == 1 && !core.modeSwitching) {
            int width = 0, height = 0;
            WindowClientSize(width, height);
            if (a != width || b != height) {
                platform::Window().SetClientSize(width, height);
            }
        }
        return 0;
    case WindowMessage::DisplayChange:
        OnDisplayChange();
        return 0;
    case WindowMessage::SystemCharacterAltEnter:
        if (core.settings.allowModeSwitchKey) {
            core.modeChangeRequested = 1;
        }
        return 0;
    }
    return 0;
}

int ProcessMessage() {
    CoreState& core = Core();
    if (core.inService) {
        return 0;
    }
    if (!core.windowExists) {
        return core.quit ? -1 : 0;
    }
    const bool mainThread = OnMainThread();
    if (mainThread && core.modeChangeRequested) {
        core.modeChangeRequested = 0;
        ChangeWindowMode(core.settings.windowMode == 1 ? 0 : 1);
    }
    bool foundMessage = true; // the first pass always looks
    for (;;) {
        const bool mayProceed = core.active || core.settings.runWhileInactive || core.closePosted;
        if (mayProceed && (!foundMessage || core.quit)) {
            break;
        }
        if (!core.active && !core.settings.runWhileInactive) {
            if (!core.inactiveWaitSince) {
                core.inactiveWaitSince = 1;
                core.inactiveSinceMs = platform::MilliCount();
            }
            PumpSleep(1);
        }
        foundMessage = false;
        if (mainThread) {
            for (int taken = 0; taken < kMessagesPerPass; ++taken) {
                Message m;
                if (!TakeMessage(m)) {
                    break;
                }
                foundMessage = true;
                bool active = false;
                if (IsActivation(m, active) && core.settings.windowMode == 1) {
                    core.active = active ? 1 : 0;
                }
                if (core.quit) {
                    break;
                }
                if (m.posted && m.postedKind == PostedMessage::Quit) {
                    SetQuit();
                    continue;
                }
                Dispatch(m);
            }
        }
        if (!core.active) {
            RunIdleServices();
        }
        if (core.quit || !mainThread) {
            break;
        }
    }
    core.inactiveWaitSince = 0;
    RunServices();
    return core.quit ? -1 : 0;
}

int WaitWhileInactive() {
    CoreState& core = Core();
    if (core.active || !core.windowExists || core.quit || core.endState == EndState::ShuttingDown) {
        return 0;
    }
    if (core.settings.runWhileInactive &&
        (core.settings.windowMode == 1 ||
         (Subsystems().canDrawWhileInactive && Subsystems().canDrawWhileInactive()))) {
        return 0;
    }
    core.inactiveSinceMs = platform::MilliCount();
    while (ProcessMessage() == 0 && !core.active) {
    }
    if (Subsystems().restoreGraphics) {
        Subsystems().restoreGraphics();
    }
    return 0;
}

int ChangeWindowMode(int windowed) {
    CoreState& core = Core();
    LogWrite(SJIS("ChangeWindowMode実行 \n"));
    const int mode = windowed != 0 ? 1 : 0;
    if (mode == core.settings.windowMode) {
        return 0;
    }
    const int previous = core.settings.windowMode;
    core.settings.windowMode = mode;
    LogWrite(mode == 1 ? SJIS("ウインドウモードフラグが立てられました\n")
                       : SJIS("ウインドウモードフラグが倒されました\n"));
    if (!core.windowExists) {
        return 0;
    }
    core.modeSwitching = 1;
    core.displayChangeSeen = 0;
    int width = 0, height = 0;
    WindowClientSize(width, height);
    LogWrite(mode == 1 ? SJIS("ウインドウスタイルをウインドウモード用に変更します... ")
                       : SJIS("ウインドウスタイルをフルスクリーンモード用に変更します... "));
    if (!platform::Window().SetStyle(mode == 0, width, height)) {
        core.settings.windowMode = previous;
        core.modeSwitching = 0;
        return -1;
    }
    platform::Window().SetCursorVisible(mode == 1);
    LogWrite(SJIS("完了\n"));
    platform::Window().Raise();
    const int result = Subsystems().applyScreenMode ? Subsystems().applyScreenMode() : 0;
    const uint32_t begin = platform::MilliCount();
    while (ProcessMessage() == 0 && !core.displayChangeSeen &&
           platform::MilliCount() - begin < kModeSwitchWaitMs) {
    }
    core.modeSwitching = 0;
    return result;
}

} // namespace velox::core
