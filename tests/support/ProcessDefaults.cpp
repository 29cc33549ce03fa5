// Each test program runs all its tests in one process, so what one test leaves in
// the runtime's process-wide records must not reach the next: after every test the
// settings, switches, clock, open files and sound options go back to how a fresh
// process has them. Linked into every test program (see tests/CMakeLists.txt).
#include "core/CoreState.h"
#include "core/Log.h"
#include "core/Timing.h"
#include "file/FileAccess.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/SoundMixer.h"

#include <velox/velox.h>

#include <gtest/gtest.h>

namespace velox::test {
namespace {

void RestoreProcessDefaults() {
    // A runtime a test left running keeps its state: tearing it down is the test's job.
    if (core::Core().started) {
        return;
    }
    core::Core() = core::CoreState{};
    core::log_detail::State() = core::log_detail::LogState{};
    platform::SetDebugSink(nullptr, nullptr);
    core::timing_detail::TimingState& t = core::timing_detail::State();
    t.performanceInUse = true;
    t.performanceFrequency = 0;
    t.timerPeriodMs = 1;
    t.timerPeriodRequested = false;
    t.cpuCounterPresent = false;
    t.cpuFrequency = 0;
    t.cpuSpeedMhz = 0;
    t.runtimeStarted = false;
    platform::SetClockSource(nullptr);
    platform::SetDefaultSoundDeviceOptions(platform::SoundDeviceOptions{});
    if (file::OpenFileCount() > 0) {
        // The open-file table is the archive-aware set's, whichever set is in force.
        const file::FileAccessTable inForce = file::gFileAccess;
        file::InstallArchiveAwareFileAccess();
        for (int slot = 0; slot < file::kMaxOpenFiles; ++slot) {
            FileClose(int32_t(file::kFileHandleTag | uint32_t(slot)));
        }
        file::gFileAccess = inForce;
    }
}

class ProcessDefaults final : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override { RestoreProcessDefaults(); }
};

const bool gInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessDefaults);
    return true;
}();

} // namespace
} // namespace velox::test
