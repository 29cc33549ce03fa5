#include "platform/BackendServices.h"
#include "platform/Recording.h"
#include "platform/headless/FrameDump.h"
#include "platform/headless/Headless.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

namespace velox::platform::headless {
namespace {

// Headless events arrive from tests and the player on any thread; the runtime takes
// them on its main thread.
class HeadlessWindow final : public WindowService {
public:
    bool QueryDesktop(DesktopInfo& out) override {
        out = {1920, 1080, 32};
        return true;
    }
    bool Create(const WindowConfig& config) override {
        std::lock_guard lock(mutex_);
        config_ = config;
        exists_ = true;
        return true;
    }
    void Destroy() override {
        std::lock_guard lock(mutex_);
        exists_ = false;
    }
    bool Exists() const override {
        std::lock_guard lock(mutex_);
        return exists_;
    }
    void SetTitle(const char* sjisTitle) override {
        std::lock_guard lock(mutex_);
        config_.title = sjisTitle ? sjisTitle : "";
    }
    void SetCursorVisible(bool) override {}
    void SetTextInput(bool) override {}
    void SetScreenSaver(bool) override {}
    bool SetStyle(bool fullScreen, int clientWidth, int clientHeight) override {
        std::lock_guard lock(mutex_);
        if (!exists_) {
            return false;
        }
        config_.fullScreen = fullScreen;
        config_.clientWidth = clientWidth;
        config_.clientHeight = clientHeight;
        events_.push_back({WindowEventKind::DisplayChanged, clientWidth, clientHeight});
        return true;
    }
    void SetClientSize(int width, int height) override {
        std::lock_guard lock(mutex_);
        config_.clientWidth = width;
        config_.clientHeight = height;
    }
    bool ClientSize(int& width, int& height) override {
        std::lock_guard lock(mutex_);
        width = config_.clientWidth;
        height = config_.clientHeight;
        return exists_;
    }
    void Raise() override {}
    bool PollEvent(WindowEvent& out) override {
        std::lock_guard lock(mutex_);
        if (events_.empty()) {
            return false;
        }
        out = events_.front();
        events_.pop_front();
        return true;
    }
    uint64_t NativeId() override { return 0; }

    void Post(const WindowEvent& event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        events_.clear();
        exists_ = false;
        config_ = {};
    }

private:
    mutable std::mutex mutex_;
    WindowConfig config_;
    bool exists_ = false;
    std::deque<WindowEvent> events_;
};

class HeadlessPresentation final : public PresentationService {
public:
    HeadlessPresentation(HeadlessWindow& window, VirtualClock& clock)
        : window_(window), clock_(clock) {}

    // A failed earlier write of the dump also fails this call: by then it is known.
    bool Present(const uint32_t* pixels, int width, int height, int pitchBytes) override {
        if (!window_.Exists() || !Valid(pixels, width, height, pitchBytes)) {
            return false;
        }
        Keep(pixels, width, height, pitchBytes);
        ++frames_;
        RecordPresentedPicture(pixels, width, height, pitchBytes);
        return dump_.Add(last_.data(), lastWidth_, lastHeight_, lastWidth_ * 4, frames_,
                         clock_.PeekNanos());
    }
    bool Redraw(const uint32_t* pixels, int width, int height, int pitchBytes) override {
        if (!window_.Exists() || !Valid(pixels, width, height, pitchBytes)) {
            return false;
        }
        ++redraws_;
        return true;
    }
    bool RedrawLast() override {
        if (!window_.Exists() || last_.empty()) {
            return false;
        }
        ++redraws_;
        return true;
    }
    bool Fill(uint32_t) override {
        if (!window_.Exists()) {
            return false;
        }
        ++redraws_;
        return true;
    }
    void SetVsync(bool) override {}
    uint64_t PresentedFrames() const override { return frames_; }

    void Reset(const std::string& dumpDirectory) {
        dump_.Start(dumpDirectory, clock_.PeekNanos());
        frames_ = 0;
        redraws_ = 0;
        last_.clear();
        lastWidth_ = lastHeight_ = 0;
    }
    const std::vector<uint32_t>& Last(int& width, int& height) const {
        width = lastWidth_;
        height = lastHeight_;
        return last_;
    }
    uint64_t Redraws() const { return redraws_; }
    bool FinishDump(uint64_t endNanos) { return dump_.Finish(endNanos); }

private:
    static bool Valid(const uint32_t* pixels, int width, int height, int pitchBytes) {
        return pixels && width > 0 && height > 0 && pitchBytes >= width * 4;
    }
    void Keep(const uint32_t* pixels, int width, int height, int pitchBytes) {
        last_.resize(size_t(width) * size_t(height));
        const auto* base = reinterpret_cast<const uint8_t*>(pixels);
        for (int y = 0; y < height; ++y) {
            std::memcpy(&last_[size_t(y) * size_t(width)], base + size_t(y) * size_t(pitchBytes),
                        size_t(width) * 4);
        }
        lastWidth_ = width;
        lastHeight_ = height;
    }

    HeadlessWindow& window_;
    VirtualClock& clock_;
    FrameDump dump_;
    uint64_t frames_ = 0;
    uint64_t redraws_ = 0;
    std::vector<uint32_t> last_;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
};

// Scripted keys follow the virtual clock, read without moving it.
class HeadlessKeyboard final : public KeyboardService {
public:
    explicit HeadlessKeyboard(VirtualClock& clock) : clock_(clock) {}

    void ReadKeyCodes(uint8_t down[kKeyCodeCount]) override {
        std::lock_guard lock(mutex_);
        const uint32_t now = NowMs();
        for (int k = 0; k < kKeyCodeCount; ++k) {
            down[k] = held_[size_t(k)];
        }
        for (const ScriptedKey& key : scripted_) {
            if (key.keyCode >= 0 && key.keyCode < kKeyCodeCount && key.fromMs <= now &&
                now < key.toMs) {
                down[key.keyCode] = 1;
            }
        }
    }
    void SetDown(int keyCode, bool down) {
        std::lock_guard lock(mutex_);
        if (keyCode >= 0 && keyCode < kKeyCodeCount) {
            held_[size_t(keyCode)] = down ? 1 : 0;
        }
    }
    bool ScriptOver() {
        std::lock_guard lock(mutex_);
        const uint32_t now = NowMs();
        for (const ScriptedKey& key : scripted_) {
            const bool valid = key.keyCode >= 0 && key.keyCode < kKeyCodeCount;
            if (valid && now < key.toMs && key.fromMs < key.toMs) {
                return false;
            }
        }
        return true;
    }
    void Reset(const std::vector<ScriptedKey>& keys) {
        std::lock_guard lock(mutex_);
        scripted_ = keys;
        held_.fill(0);
    }

private:
    uint32_t NowMs() const { return uint32_t(clock_.PeekNanos() / 1000000ull); }

    VirtualClock& clock_;
    std::mutex mutex_;
    std::vector<ScriptedKey> scripted_;
    std::array<uint8_t, kKeyCodeCount> held_{};
};

struct HeadlessBackend {
    VirtualClock clock;
    HeadlessWindow window;
    HeadlessPresentation presentation{window, clock};
    HeadlessKeyboard keyboard{clock};
};

HeadlessBackend& Backend() {
    static HeadlessBackend backend;
    return backend;
}

} // namespace

VirtualClock& Clock() {
    return Backend().clock;
}
void PostEvent(const WindowEvent& event) {
    Backend().window.Post(event);
}
void SetKeyDown(int keyCode, bool down) {
    Backend().keyboard.SetDown(keyCode, down);
}
bool ScriptedKeysOver() {
    return Backend().keyboard.ScriptOver();
}
const std::vector<uint32_t>& LastPicture(int& width, int& height) {
    return Backend().presentation.Last(width, height);
}
uint64_t RedrawCount() {
    return Backend().presentation.Redraws();
}
bool FinishFrameDump(uint64_t endNanos) {
    return Backend().presentation.FinishDump(endNanos);
}

} // namespace velox::platform::headless

namespace velox::platform::detail {

BackendServices StartHeadless(const BackendOptions& options) {
    headless::HeadlessBackend& backend = headless::Backend();
    backend.presentation.Reset(options.frameDumpDirectory);
    backend.clock.Reset();
    backend.window.Reset();
    backend.keyboard.Reset(options.keys);
    SetClockSource(&backend.clock);
    return {&backend.window, &backend.presentation, &backend.keyboard};
}

void StopHeadless() {
    SetClockSource(nullptr);
}

} // namespace velox::platform::detail
