// Runtime start-up and shutdown, and the window start-up between them.
#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/Runtime.h"
#include "core/ShiftJis.h"
#include "core/Subsystems.h"
#include "core/Timing.h"
#include "file/FileAccess.h"
#include "input/Keyboard.h"
#include "platform/Backend.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/InstanceLock.h"
#include "platform/Thread.h"
#include "platform/Window.h"

#include <cstdio>
#include <cstring>

namespace velox::core {
namespace {

constexpr const char* kDefaultTitle = "Velox";
constexpr const char* kDefaultClassName = "D123987X";
constexpr uint32_t kStartupPumpMs = 200;

platform::InstanceLock gInstanceLock;

void CopyText(char (&dst)[256], const char* src) {
    std::snprintf(dst, sizeof dst, "%s", src);
}

void CurrentDirectory(char* buffer) {
    if (file::gFileAccess.getCurrentDirectory) {
        file::gFileAccess.getCurrentDirectory(buffer);
        return;
    }
    std::snprintf(buffer, 260, "%s", platform::Files().CurrentDirectory().c_str());
}

void MakeCurrentDirectory(const char* path) {
    if (file::gFileAccess.setCurrentDirectory) {
        file::gFileAccess.setCurrentDirectory(path);
    } else {
        platform::Files().SetCurrentDirectory(path);
    }
}

void ShutdownForFatalError() {
    ShutdownRuntime();
}

// Start-up step 1 of the window: a clean record that keeps the caller's settings. The
// component-library flag survives too: it is what refuses a second start-up.
void ClearCoreState() {
    CoreState& core = Core();
    const CoreSettings settings = core.settings;
    const int componentLibrary = core.componentLibraryInitialised;
    const int initialising = core.initialising;
    core = CoreState{};
    core.settings = settings;
    core.componentLibraryInitialised = componentLibrary;
    core.initialising = initialising;
    if (core.settings.className[0] == '\0') {
        CopyText(core.settings.className, core.settings.windowTitle[0] != '\0'
                                              ? core.settings.windowTitle
                                              : kDefaultClassName);
    }
}

// Returns -1 when another copy runs and that is not allowed.
int CheckSecondInstance() {
    CoreState& core = Core();
    LogWrite(SJIS("ソフトの二重起動検査... "));
    const platform::LockResult lock = gInstanceLock.Acquire(core.settings.className);
    if (lock == platform::LockResult::HeldElsewhere) {
        if (!core.settings.allowSecondInstance) {
            LogWrite(SJIS("二重起動されています、ソフトを終了します\n"));
            SetQuit();
            return -1;
        }
        LogWrite(SJIS("二重起動されていますが続行します\n"));
        return 0;
    }
    LogWrite(SJIS("二重起動はされていませんでした\n"));
    return 0;
}

int CreateRuntimeWindow() {
    CoreState& core = Core();
    LogWrite(SJIS("ウインドウクラスを登録します... "));
    // The window system here has no class registry: the class lives on as the lock name.
    LogWrite(SJIS("登録に成功しました\n"));
    if (core.settings.windowTitle[0] == '\0') {
        CopyText(core.settings.windowTitle, kDefaultTitle);
    }

    platform::WindowConfig config;
    config.title = core.settings.windowTitle;
    WindowClientSize(config.clientWidth, config.clientHeight);
    config.fullScreen = core.settings.windowMode == 0;
    if (config.fullScreen) {
        LogWrite(SJIS("フルスクリーンモード用のウインドウを作成します\n"));
    } else {
        LogWrite(SJIS("ウインドウモード起動用のウインドウを作成します\n"));
        config.positioned = core.settings.positioned != 0;
        config.x = core.settings.windowX;
        config.y = core.settings.windowY;
    }
    if (!platform::Window().Create(config)) {
        SetQuit();
        gInstanceLock.Release();
        return LogWrite(SJIS("ウインドウの作成に失敗しました\n"));
    }
    core.windowExists = 1;
    // A window that has just been shown is the active one; focus events correct that.
    core.active = 1;

    if (config.fullScreen) {
        LogWrite(SJIS("カーソルを不可視にしました\n"));
        platform::Window().SetCursorVisible(false);
    }
    LogWrite(SJIS("ＩＭＥを無効にしました\n"));
    platform::Window().SetTextInput(false);
    return 0;
}

int StartWindow() {
    CoreState& core = Core();
    ClearCoreState();
    core.mainThreadId = platform::CurrentThreadId();
    LogMemoryStatus();

    platform::DesktopInfo desktop;
    if (platform::Window().QueryDesktop(desktop)) {
        core.desktopWidth = desktop.width;
        core.desktopHeight = desktop.height;
        core.desktopColourBits = desktop.colourBits;
    }
    CheckTimerPrecision();
    platform::Window().SetScreenSaver(false);

    // A render without a window has nothing to guard: it neither takes nor tests the lock.
    if (!platform::RunsWithoutInstanceLock() && CheckSecondInstance() != 0) {
        return -1;
    }
    if (CreateRuntimeWindow() != 0) {
        return -1;
    }

    platform::Window().Raise();
    const uint32_t begin = platform::MilliCount();
    while (platform::MilliCount() - begin < kStartupPumpMs) {
        ProcessMessage();
    }
    if (core.settings.windowMode == 1 && core.windowExists) {
        int width = 0, height = 0;
        WindowClientSize(width, height);
        platform::Window().SetClientSize(width, height);
    }

    if (!StartServiceThread()) {
        LogWrite(SJIS("ProcessMessage をひたすら呼びつづけるスレッドの立ち上げに失敗しました\n"));
    }
    return 0;
}

int StartComponentLibrary() {
    CoreState& core = Core();
    LogWrite(SJIS("ＣＯＭの初期化... "));
    if (core.componentLibraryInitialised) {
        return -1;
    }
    // Nothing to initialise on this platform; the flag still guards a second start-up.
    core.componentLibraryInitialised = 1;
    LogWrite(SJIS("成功しました\n"));
    return 0;
}

int FailStartup() {
    ShutdownRuntime();
    Core().initialising = 0;
    return -1;
}

void CloseWindowForShutdown() {
    CoreState& core = Core();
    platform::Window().SetScreenSaver(true);
    if (core.windowExists) {
        platform::Window().SetTextInput(true);
    }
    if (!core.windowExists) {
        if (!core.quit) {
            SetQuit(); // no window to destroy: nothing else would end the service thread
        }
        platform::Window().Destroy(); // ends a display connection the desktop query opened
        return;
    }
    core.closePosted = 1;
    if (OnMainThread()) {
        bool pending = false;
        for (int i = 0; i < core.postedCount; ++i) {
            pending = pending || core.posted[i] == PostedMessage::Close;
        }
        if (!pending) {
            PostToSelf(PostedMessage::Close);
        }
        while (ProcessMessage() == 0) {
        }
    } else {
        // Only the main thread takes messages; elsewhere (a fatal error in a service)
        // the close goes to the window procedure directly.
        WindowProcedure(WindowMessage::Close, 0, 0);
    }
}

} // namespace

void ReleaseInstanceLock() {
    gInstanceLock.Release();
}

int StartRuntime() {
    CoreState& core = Core();
    core.initialising = 1;
    if (Subsystems().clearArchives) {
        Subsystems().clearArchives();
    }
    file::InstallArchiveAwareFileAccess();
    CurrentDirectory(log_detail::State().directory);
    OpenLogFile();
    log_detail::SetShutdownHook(&ShutdownForFatalError);

    platform::DesktopInfo desktop;
    const bool haveDesktop = platform::Window().QueryDesktop(desktop);
    int width = 0, height = 0, colourBits = 0;
    RecordedScreenMode(width, height, colourBits);
    if ((haveDesktop && desktop.colourBits == 24 && core.settings.windowMode == 1) ||
        colourBits == 24) {
        core.initialising = 0;
        return LogWrite(SJIS("Ｖｅｌｏｘライブラリは２４ビットカラーモードに対応していません\n"));
    }

    QueryPerformanceFrequency();
    LogSystemInformation();
    // The graphics layer's newest-system flag goes with a system version code that this
    // platform never reports, so that step has nothing to do.
    if (Subsystems().registerDefaultRestore) {
        Subsystems().registerDefaultRestore();
    }

    if (StartComponentLibrary() != 0 || StartWindow() != 0) {
        return FailStartup();
    }
    if (input::InitInput() == -1) {
        return FailStartup();
    }
    if (Subsystems().startSound) {
        Subsystems().startSound();
    }
    if (Subsystems().startGraphics && Subsystems().startGraphics() < 0) {
        return FailStartup();
    }

    core.started = 1;
    timing_detail::State().runtimeStarted.store(true, std::memory_order_release);
    if (Subsystems().enableRetraceWait) {
        Subsystems().enableRetraceWait();
    }
    if (core.settings.windowMode == 0 && core.windowExists) {
        platform::Window().Raise();
    }
    if (Subsystems().setDrawTarget) {
        Subsystems().setDrawTarget(-2);
        Subsystems().setDrawTarget(-4);
    }
    core.initialising = 0;
    return 0;
}

int ShutdownRuntime() {
    CoreState& core = Core();
    const SubsystemHooks& hooks = Subsystems();
    core.endState = EndState::ShuttingDown;
    if (hooks.stopMusic) {
        hooks.stopMusic();
    }
    if (hooks.endGraphics) {
        hooks.endGraphics();
    }
    input::EndInput();
    if (hooks.endSound) {
        hooks.endSound();
    }

    CloseWindowForShutdown();
    gInstanceLock.Release();
    WaitForServiceThreadEnd();
    ReleaseTimerPeriod();
    core.windowExists = 0;

    if (core.componentLibraryInitialised) {
        core.componentLibraryInitialised = 0;
        LogWrite(SJIS("ＣＯＭを終了... 完了\n"));
    }
    core.started = 0;
    timing_detail::State().runtimeStarted.store(false, std::memory_order_release);
    while (!core.quit && ProcessMessage() == 0) {
    }

    if (log_detail::State().directory[0] != '\0') {
        MakeCurrentDirectory(log_detail::State().directory);
    }
    if (hooks.endArchives) {
        hooks.endArchives();
    }
    MemDump();
    return 0;
}

} // namespace velox::core
