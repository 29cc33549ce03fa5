// The sound layer's records and its one global state: sound handles (loaded and
// stream sounds) and music records, the mixer device they play on, and the
// current music. Callers hold the entry gate.
#pragma once

#include "core/HandleTable.h"
#include "file/Stream.h"
#include "platform/MidiSequencer.h"
#include "platform/SoundMixer.h"
#include "sound/SoundConverter.h"

#include <cstdint>

namespace velox::sound {

constexpr int32_t kMaxSoundBuffers = 10;
constexpr int32_t kMaxSounds = 4096;
constexpr int32_t kMaxMusic = 256;
constexpr int32_t kMaxStreamEntries = 3;
// Write position of a ring that holds nothing yet.
constexpr int32_t kRingNotFilled = -800;
// Where an entry change or a repeat begins in the ring; kept to find the
// position heard when a stopped stream sound has to be prepared again.
constexpr int32_t kRingMarks = 32;

// Buffer flags of a loaded sound (first and second try) and of a stream ring.
constexpr uint32_t kLoadedBufferFlags =
    platform::kSoundBufferStatic | platform::kSoundBufferCtrlVolume |
    platform::kSoundBufferCtrlPan | platform::kSoundBufferCtrlFrequency |
    platform::kSoundBufferGlobalFocus;
constexpr uint32_t kLoadedBufferFlagsRetry =
    platform::kSoundBufferStatic | platform::kSoundBufferCtrlVolume | platform::kSoundBufferCtrlPan;
constexpr uint32_t kStreamRingFlags = kLoadedBufferFlags | platform::kSoundBufferAccurateCursor;

enum PlayType : int32_t {
    kPlayWait = 0,
    kPlayBackground = 1,
    kPlayLooped = 3,
};

// Stream entry types; as a load mode, 0 instead decodes the whole file into
// platform buffers and 2 or 3 make a stream sound.
enum StreamType : int32_t {
    kStreamDecodedImage = 0, // decoded at once and read back as a WAVE image in memory
    kStreamFileInMemory = 2, // the file in memory, decoded while playing
    kStreamFromFile = 3,     // decoded from the open file while playing
};
constexpr int32_t kLoadModeFull = 0;

struct BufferSlot {
    int32_t valid;
    platform::SoundBuffer* buffer;
};

struct StreamEntry {
    int8_t loopCount; // -1 repeats endlessly
    int32_t type;
    uint8_t* data; // the file image or the WAVE image (tracked), nullptr for type 3
    int32_t dataSize;
    file::Stream stream;
    SoundConverter converter;
    int32_t ownsStream;
    int64_t pcmBytes; // what the converter said the whole entry yields
};

struct RingMark {
    int64_t ringByte; // bytes written since the ring was prepared
    int32_t entry;
    int32_t repeats;   // repeats of that entry done before this point
    int64_t entryByte; // PCM byte of the entry at this point
};

struct SoundRecord {
    int32_t serial;
    BufferSlot buffers[kMaxSoundBuffers];
    platform::WaveFormat format;
    int32_t stream;
    int32_t playType;
    uint32_t startTime;

    // Stream sounds: the ring and who uses it. A sound that shares another's ring
    // uses the ring state of that owner.
    int32_t sharedWith; // the owner's handle, -1 for an own ring
    int32_t sharerCount;
    int32_t ringUser;
    int32_t deletePending;
    int32_t ringSize;
    int32_t writePosition; // kRingNotFilled before the first fill
    int32_t protectedEnd;  // -1 for none
    int64_t ringWritten;   // bytes written since the ring was prepared
    int64_t ringPlayed;    // bytes played since then, from the play cursor
    uint32_t lastCursor;

    StreamEntry entries[kMaxStreamEntries];
    int32_t entryCount;
    int64_t totalPcmBytes;

    // Stream sounds: where decoding stands, and where playing resumes once the
    // ring has to be prepared again (the position heard at the last stop).
    int32_t currentEntry;
    int32_t entryRepeats; // repeats of the current entry done
    int64_t entryByte;    // PCM bytes of the current entry read so far
    int32_t resumeEntry;
    int32_t resumeRepeats;
    int64_t resumeByte;
    int32_t prepared;
    int32_t endReached;
    int64_t endRingByte; // ringWritten at the end of the audible data
    int32_t inStreamList;
    RingMark marks[kRingMarks];
    int32_t markCount;

    // Loaded sounds.
    uint8_t* pcm;
    int32_t pcmLength;
    int32_t bufferCount;
    int32_t lastBuffer;
};

struct MusicRecord {
    int32_t serial;
    int32_t playing;
    int32_t secondFlag;
    uint8_t* data;
    int32_t size;
};

struct SoundSystem {
    int32_t initialised;
    platform::SoundDevice* device;
    platform::WaveFormat primary;
    platform::SoundBuffer* silence;
    core::HandleTable sounds;
    core::HandleTable music;
    int32_t loadMode;

    // Current music: 0 for none, else a music handle or (music-is-sound) a sound handle.
    int32_t currentMusic;
    int32_t musicIsSound;
    int32_t sequencerMusic; // the record last started on the sequencer, 0 for none
    platform::MidiSequencer* sequencer;
    int32_t sequencerPlaying;
    int32_t loopFlag;
};

SoundSystem& Sound();

// Sound system (SoundSystem.cpp).
int StartSoundSystem();
void EndSoundSystem();
void SoundStreamingService();
void MusicService();
void StopMusicForShutdown();
int SetSoundLoadModeInner(int mode);
int SetMidiSoundFontPath(const char* path);
// Runs the message pump once after a 1 ms sleep; false once the window is gone.
bool PumpWhileWaiting();

// Loaded and stream sounds (SoundHandles.cpp, StreamSound.cpp).
SoundRecord* FindSound(int32_t handle);
int32_t LoadSoundInner(const char* path, int32_t bufferCount, int32_t sharedStream);
int DeleteSoundInner(int32_t handle);
int PlaySoundInner(int32_t handle, int32_t playType, int32_t fromStart);
int StopSoundInner(int32_t handle);
int IsSoundPlayingInner(int32_t handle);
int SetSoundVolumeInner(int32_t volume, int32_t handle);
// 1000 x log10(v / 255) hundredths of a decibel, truncated; -10000 for v <= 0.
int32_t VolumeToAttenuation(int32_t volume);
// Reads a whole file through the file layer into tracked memory; logs nothing.
// 0, -1 when it cannot be opened, -2 when the memory cannot be had.
int ReadWholeFile(const char* path, uint8_t*& data, int32_t& size);

int32_t LoadStreamSound(const char* path, int32_t type, int32_t sharedStream);
int AddStreamEntry(int32_t handle, const char* path, int32_t type, int32_t sharedStream);
int PrepareStream(SoundRecord& s, int32_t handle);
int PlayStreamSound(SoundRecord& s, int32_t handle, int32_t playType, int32_t fromStart);
int StopStreamSound(SoundRecord& s, int32_t handle);
int IsStreamPlaying(SoundRecord& s, int32_t handle);
void FillStream(SoundRecord& s, int32_t handle);
// Frees the entries and leaves the list; the caller releases the ring and the record.
void ReleaseStreamEntries(SoundRecord& s);
// The record whose ring a stream sound plays on (itself, or the owner it shares).
SoundRecord* RingOwner(SoundRecord& s);

// Music (Music.cpp).
int PlayMusicFileInner(const char* path, int32_t playType);
int StopMusicPlaybackInner();
int IsMusicPlayingInner();
int SetMusicVolumeInner(int32_t volume);
int32_t LoadMusicMem(const char* path);
int DeleteMusic(int32_t handle);
void DeleteAllMusic();
void MidiCompletion();

} // namespace velox::sound
