// Start and end of the sound layer, and the message pump's sound and music
// services.
#include "core/Log.h"
#include "core/Runtime.h"
#include "core/ShiftJis.h"
#include "platform/Backend.h"
#include "sound/SoundState.h"

#include <algorithm>
#include <cstring>

namespace velox::sound {
namespace {

SoundSystem gSound;

// 100 frames of 44100 Hz 16-bit stereo, played looped for the runtime's lifetime.
constexpr uint32_t kSilenceBytes = 400;

platform::SoundDeviceOptions DeviceOptions() {
    platform::SoundDeviceOptions options = platform::DefaultSoundDeviceOptions();
    // The headless backend has no audio device: its mix follows the virtual clock.
    if (platform::CurrentBackend() == platform::BackendKind::Headless) {
        options.output = platform::SoundOutput::Headless;
    }
    return options;
}

void LogDeviceCaps(const platform::SoundDeviceCaps& caps) {
    LogWriteFormat(SJIS("ステレオ再生 %s  16ビット再生 %s"),
                   caps.stereo ? SJIS("可") : SJIS("不可"),
                   caps.bits16 ? SJIS("可") : SJIS("不可"));
    LogWriteFormat(SJIS("セカンダリバッファのサンプリングレート %u Hz ～ %u Hz  出力 %u Hz"),
                   caps.minSecondaryRate, caps.maxSecondaryRate, caps.outputRate);
}

void StartSilence(SoundSystem& s) {
    platform::SoundBufferDesc desc{platform::kSoundBufferStatic | platform::kSoundBufferGlobalFocus,
                                   kSilenceBytes, platform::MakePcmFormat(2, 44100, 16)};
    s.silence = platform::CreateSoundBuffer(s.device, desc);
    if (!s.silence) {
        LogWrite(SJIS("無音バッファの作成に失敗しました"));
        return;
    }
    platform::SoundLockRegion region{};
    if (platform::LockSoundBuffer(s.silence, 0, kSilenceBytes, region) != 0) {
        LogWrite(SJIS("無音バッファのロックに失敗しました"));
        return;
    }
    std::memset(region.part1, 0, region.bytes1);
    if (region.part2) {
        std::memset(region.part2, 0, region.bytes2);
    }
    platform::UnlockSoundBuffer(s.silence, region);
    platform::PlaySoundBuffer(s.silence, true);
}

// Deletes every sound; a ring owner whose sharers all went is freed with the last.
void DeleteAllSounds(SoundSystem& s) {
    core::WalkHandles(s.sounds, [](int32_t handle) { DeleteSoundInner(handle); });
    // Only rings still marked for deletion can be left; their sharers are gone now.
    core::WalkHandles(s.sounds, [&](int32_t handle) {
        auto* record = core::ValidateHandleAs<SoundRecord>(s.sounds, handle);
        if (record) {
            record->sharerCount = 0;
            record->deletePending = 0;
            DeleteSoundInner(handle);
        }
    });
}

} // namespace

SoundSystem& Sound() {
    return gSound;
}

int StartSoundSystem() {
    SoundSystem& s = gSound;
    s = SoundSystem{};
    LogWrite(SJIS("DirectSound の初期化を行います\n"));
    LogIndentAdd();
    LogWrite(SJIS("DirectSound デバイスを列挙します\n"));
    s.device = platform::CreateSoundDevice(DeviceOptions());
    if (!s.device) {
        LogIndentSub();
        return LogWrite(SJIS("DirectSoundインターフェースの作成に失敗しました\n"));
    }
    platform::SoundDeviceCaps caps{};
    platform::GetSoundDeviceCaps(s.device, caps);
    LogDeviceCaps(caps);

    const uint32_t rate = std::min<uint32_t>(caps.maxSecondaryRate, 44100);
    s.primary = platform::MakePcmFormat(caps.stereo ? 2 : 1, rate, caps.bits16 ? 16 : 8);
    if (platform::SetPrimaryFormat(s.device, s.primary) != 0) {
        LogWrite(SJIS("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n"));
    }
    StartSilence(s);

    if (!core::InitHandleTable(s.sounds, core::HandleType::Sound, kMaxSounds,
                               int32_t(sizeof(SoundRecord))) ||
        !core::InitHandleTable(s.music, core::HandleType::Music, kMaxMusic,
                               int32_t(sizeof(MusicRecord)))) {
        core::FreeHandleTable(s.sounds);
        core::FreeHandleTable(s.music);
        if (s.silence) {
            platform::ReleaseSoundBuffer(s.silence);
        }
        platform::ReleaseSoundDevice(s.device);
        s = SoundSystem{};
        LogIndentSub();
        return LogWrite(SJIS("初期化に失敗しました\n"));
    }
    s.loadMode = kLoadModeFull;
    s.initialised = 1;
    LogIndentSub();
    LogWrite(SJIS("DirectSound の初期化は正常に終了しました\n"));
    return 0;
}

void EndSoundSystem() {
    SoundSystem& s = gSound;
    if (!s.initialised) {
        return;
    }
    DeleteAllMusic();
    DeleteAllSounds(s);
    if (s.silence) {
        platform::StopSoundBuffer(s.silence);
        platform::ReleaseSoundBuffer(s.silence);
    }
    platform::ReleaseSoundDevice(s.device);
    core::FreeHandleTable(s.sounds);
    core::FreeHandleTable(s.music);
    s = SoundSystem{};
    LogWrite(SJIS("DirectSound の終了処理は正常に終了しました\n"));
}

void SoundStreamingService() {
    SoundSystem& s = gSound;
    if (!s.initialised) {
        return;
    }
    // Headless, the mix catches up with the virtual clock here, so that everything
    // heard up to now is rendered before the rings are refilled.
    platform::RenderSoundToNow(s.device);
    core::WalkHandles(s.sounds, [&](int32_t handle) {
        auto* record = core::ValidateHandleAs<SoundRecord>(s.sounds, handle);
        if (record && record->stream && record->inStreamList && !record->deletePending) {
            FillStream(*record, handle);
        }
    });
}

void MusicService() {
    SoundSystem& s = gSound;
    if (s.initialised && s.sequencer && platform::TakeMidiCompletion(s.sequencer)) {
        MidiCompletion();
    }
}

void StopMusicForShutdown() {
    if (!gSound.initialised) {
        return;
    }
    StopMusicPlaybackInner();
    DeleteAllMusic();
}

int SetSoundLoadModeInner(int mode) {
    if (!gSound.initialised ||
        (mode != kLoadModeFull && mode != kStreamFileInMemory && mode != kStreamFromFile)) {
        return -1;
    }
    gSound.loadMode = mode;
    return 0;
}

int SetMidiSoundFontPath(const char* path) {
    platform::SetMidiSoundFont(path ? path : "");
    return 0;
}

bool PumpWhileWaiting() {
    core::PumpSleep(1);
    return core::ProcessMessage() == 0;
}

} // namespace velox::sound
