// Music: one piece at a time, a standard MIDI file on the platform's sequencer,
// or anything else as a stream sound. The sequencer's completion notice reaches
// MidiCompletion through the message pump's music service, so a loop restarts
// at the first pump pass after the end.
#include "core/Log.h"
#include "core/MemoryTracker.h"
#include "core/Runtime.h"
#include "core/ShiftJis.h"
#include "platform/TextCodec.h"
#include "sound/SoundState.h"

#include <cstring>
#include <string>

namespace velox::sound {
namespace {

// Stopping a record runs the pump this often, so that a notice already posted
// is taken before the next piece starts.
constexpr int kStopPumpPasses = 5;

MusicRecord* FindMusic(int32_t handle) {
    return core::ValidateHandleAs<MusicRecord>(Sound().music, handle);
}

void CloseSequencer(SoundSystem& s) {
    if (s.sequencer) {
        platform::CloseMidiSequencer(s.sequencer);
        s.sequencer = nullptr;
    }
}

void LogSoundFontPlaces() {
    std::string places;
    for (const std::string& path : platform::MidiSoundFontCandidates()) {
        places += places.empty() ? "" : ", ";
        places += platform::Utf8ToShiftJis(path);
    }
    LogWriteFormat(SJIS("ＭＩＤＩ演奏用の SoundFont が見つかりませんでした 探した場所：%s"),
                   places.c_str());
}

void StopMusicRecord(int32_t handle) {
    SoundSystem& s = Sound();
    s.loopFlag = 0;
    MidiCompletion();
    for (int i = 0; i < kStopPumpPasses; ++i) {
        core::ProcessMessage();
    }
    if (MusicRecord* r = FindMusic(handle)) {
        r->playing = 0;
        r->secondFlag = 0;
    }
}

int PlayMusicRecord(int32_t handle, int32_t playType) {
    SoundSystem& s = Sound();
    MusicRecord* r = FindMusic(handle);
    if (!r) {
        return -1;
    }
    if (s.sequencerMusic != 0 && FindMusic(s.sequencerMusic)) {
        StopMusicRecord(s.sequencerMusic);
    }
    CloseSequencer(s);
    platform::MidiOpenResult opened = platform::MidiOpenResult::SynthFailure;
    s.sequencer = platform::OpenMidiSequencer(s.device, r->data, size_t(r->size), opened);
    if (!s.sequencer) {
        if (opened == platform::MidiOpenResult::NoSoundFont) {
            LogSoundFontPlaces();
        }
        return -1;
    }
    if (platform::PlayMidiSequencer(s.sequencer, true) != 0) {
        CloseSequencer(s);
        return LogWrite(SJIS("ＭＩＤＩ演奏に失敗しました\n"));
    }
    s.sequencerPlaying = 1;
    s.sequencerMusic = handle;
    s.loopFlag = playType == kPlayLooped ? 1 : 0;
    r->playing = 1;
    r->secondFlag = 0;
    if (playType == kPlayWait) {
        // Waits for the sequencer: the record's own flag stays set after a natural end.
        while (s.sequencerPlaying && s.sequencerMusic == handle && PumpWhileWaiting()) {
        }
    }
    return 0;
}

} // namespace

int32_t LoadMusicMem(const char* path) {
    SoundSystem& s = Sound();
    if (!s.initialised) {
        return -1;
    }
    uint8_t* image = nullptr;
    int32_t size = 0;
    const int read = ReadWholeFile(path, image, size);
    if (read == -1) {
        return LogWriteFormat(
            SJIS("ミュージックファイル %s の読み込みに失敗しました in LoadMusicMem"), path);
    }
    if (read != 0) {
        return LogWriteFormat(
            SJIS(
                "ミュージックファイル %s を読み込むメモリ領域の確保に失敗しました in LoadMusicMem"),
            path);
    }
    const int32_t handle = core::AllocateHandle(s.music);
    if (handle == core::kNoHandle) {
        MemFree(image);
        return -1;
    }
    MusicRecord* r = FindMusic(handle);
    r->data = static_cast<uint8_t*>(MemAlloc(size > 0 ? size : 1, nullptr, 0));
    if (!r->data) {
        MemFree(image);
        DeleteMusic(handle);
        return LogWrite(
            SJIS("ミュージックデータを一時的に保存しておくメモリ領域の確保に失敗しました\n"));
    }
    std::memcpy(r->data, image, size_t(size));
    r->size = size;
    r->playing = 0;
    MemFree(image);
    return handle;
}

int DeleteMusic(int32_t handle) {
    SoundSystem& s = Sound();
    MusicRecord* r = FindMusic(handle);
    if (!s.initialised || !r) {
        return -1;
    }
    if (r->playing) {
        StopMusicRecord(handle);
        r = FindMusic(handle);
        if (!r) {
            return 0; // the pump passes of the stop deleted it already
        }
    }
    if (s.sequencerMusic == handle) {
        s.sequencerMusic = 0;
    }
    if (r->data) {
        std::memset(r->data, 0, size_t(r->size));
        MemFree(r->data);
        r->data = nullptr;
    }
    return core::ReleaseHandle(s.music, handle);
}

void DeleteAllMusic() {
    SoundSystem& s = Sound();
    if (!s.initialised) {
        return;
    }
    core::WalkHandles(s.music, [](int32_t handle) { DeleteMusic(handle); });
    CloseSequencer(s);
    s.sequencerPlaying = 0;
    s.loopFlag = 0;
}

void MidiCompletion() {
    SoundSystem& s = Sound();
    if (s.loopFlag && s.sequencer) {
        platform::PlayMidiSequencer(s.sequencer, true);
        s.sequencerPlaying = 1;
    } else if (s.sequencerPlaying) {
        CloseSequencer(s);
        s.sequencerPlaying = 0;
    }
}

int PlayMusicFileInner(const char* path, int32_t playType) {
    SoundSystem& s = Sound();
    if (!s.initialised || !path) {
        return -1;
    }
    if (s.currentMusic != 0) {
        const int32_t previous = s.currentMusic;
        const bool wasSound = s.musicIsSound != 0;
        s.currentMusic = 0;
        s.musicIsSound = 0;
        if (wasSound) {
            DeleteSoundInner(previous);
        } else {
            DeleteMusic(previous);
        }
    }
    const int32_t music = LoadMusicMem(path);
    if (music == -1) {
        return -1;
    }
    s.currentMusic = music;
    s.musicIsSound = 0;
    if (PlayMusicRecord(music, playType) == 0) {
        return 0;
    }
    s.currentMusic = 0;
    DeleteMusic(music);

    const int32_t previousMode = s.loadMode;
    s.loadMode = kStreamFileInMemory;
    const int32_t sound = LoadSoundInner(path, 1, -1);
    s.loadMode = previousMode;
    if (sound == -1) {
        return -1;
    }
    s.currentMusic = sound;
    s.musicIsSound = 1;
    PlaySoundInner(sound, playType, 1);
    return 0;
}

int StopMusicPlaybackInner() {
    SoundSystem& s = Sound();
    if (!s.initialised || s.currentMusic == 0) {
        return 0;
    }
    const int32_t current = s.currentMusic;
    const bool isSound = s.musicIsSound != 0;
    s.currentMusic = 0;
    s.musicIsSound = 0;
    if (isSound) {
        StopSoundInner(current);
        DeleteSoundInner(current);
    } else {
        DeleteMusic(current);
    }
    return 0;
}

int IsMusicPlayingInner() {
    SoundSystem& s = Sound();
    if (!s.initialised || s.currentMusic == 0) {
        return 0;
    }
    if (s.musicIsSound) {
        return IsSoundPlayingInner(s.currentMusic);
    }
    return s.sequencerPlaying;
}

int SetMusicVolumeInner(int32_t volume) {
    SoundSystem& s = Sound();
    if (!s.initialised) {
        return -1;
    }
    // The sequencer's volume is not the runtime's to change.
    if (s.currentMusic != 0 && s.musicIsSound) {
        SetSoundVolumeInner(volume, s.currentMusic);
    }
    return 0;
}

} // namespace velox::sound
