// MIDI sequencer service: plays a standard MIDI file held in memory through a
// General MIDI SoundFont synthesiser that renders into the sound mixer, so the
// music is mixed (and, headless, captured) with every other voice at the pace
// the mixer pulls. The end of playback is posted as a completion notice that
// the runtime collects from its message pump.
#pragma once

#include "platform/SoundMixer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velox::platform {

struct MidiSequencer;

enum class MidiOpenResult {
    Opened,
    NotMidi,      // the data is not a standard MIDI file
    NoSoundFont,  // none of the SoundFont places holds a file the synthesiser loads
    SynthFailure, // the synthesiser could not be set up
};

// The SoundFont sequencers opened from now on load (an operating-system path,
// used as given); empty restores the search of the usual system places.
void SetMidiSoundFont(const std::string& path);
// The files a sequencer tries, in order: the one set, or the system places.
std::vector<std::string> MidiSoundFontCandidates();

// Caps on what one file may hold, so that a damaged or hostile file cannot make
// the synthesiser's parser build an unbounded sequence.
constexpr int kMaxMidiTracks = 256;
constexpr size_t kMaxMidiEvents = size_t(1) << 20;

// True for a complete, well-formed standard MIDI file: a 6-byte or longer "MThd"
// header of format 0, 1 or 2 with a non-zero division and at most
// kMaxMidiTracks tracks, followed by its track chunks within the data; in each,
// every event is whole (delta times and lengths of at most four bytes, data bytes
// below 0x80, running status only after a channel status, meta and SysEx
// payloads inside the chunk, a tempo of three non-zero bytes), and all of them
// together number at most kMaxMidiEvents.
bool IsStandardMidiFile(const uint8_t* data, size_t bytes);

// A stopped sequencer at position 0 over a copy of the data, joined to the
// device's mix; nullptr with the reason otherwise.
MidiSequencer* OpenMidiSequencer(SoundDevice* device, const uint8_t* data, size_t bytes,
                                 MidiOpenResult& result);
// Plays from the current position, or from the start; reaching the end posts
// one completion notice.
int PlayMidiSequencer(MidiSequencer* sequencer, bool fromStart);
// True once for every completion notice posted since the last call.
bool TakeMidiCompletion(MidiSequencer* sequencer);
// Leaves the mix and releases the synthesiser; pending notices are dropped.
void CloseMidiSequencer(MidiSequencer* sequencer);

} // namespace velox::platform
