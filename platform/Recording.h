// Recording service: the show's pictures and its mixed sound encoded into one video
// file at a constant 30 frames a second. The show's timeline is the recording's: on the
// headless backend the virtual clock, otherwise real time since the recording started.
// Tick k covers [k/30 s, (k+1)/30 s) and carries the last picture presented before the
// tick ended (the ticks before the first picture carry that one); sound sample n belongs to time n
// / 44100 s. Encoding runs on a thread of its own; the hooks only copy.
#pragma once

#include <cstdint>
#include <string>

namespace velox::platform {

struct RecordingOptions {
    std::string path; // .mp4 (H.264, AAC), .webm (VP9, Opus) or .mkv (H.264, AAC)
    int quality = 18; // 0 (best) .. 51 (smallest): H.264's CRF, scaled for VP9
    int width = 800;
    int height = 600;
};

constexpr int kRecordingQualityMax = 51;

// True when the path names a container the recorder writes.
bool IsRecordingPathSupported(const std::string& path);

// Opens the file and starts the encoders; false with a message when it cannot.
bool StartRecording(const RecordingOptions& options, std::string& error);
bool RecordingActive();

// Backend hooks; nothing happens unless a recording runs. Any thread.
void RecordPresentedPicture(const uint32_t* pixels, int width, int height, int pitchBytes);
// Interleaved 16-bit stereo at 44100 Hz, in the order the mixer produced it. In real
// time each chunk belongs to the moment it was mixed.
void RecordMixedSound(const int16_t* frames, uint32_t count);

// Ends the video at the given show time (fills the ticks up to it with the last
// picture), drains the encoders and closes the file. False with a message when any
// part of the recording failed.
bool FinishRecording(uint64_t endNanos, std::string& error);
// The show time now on the recording's clock.
uint64_t RecordingClockNanos();
// Video frames handed to the encoder so far.
uint64_t RecordedVideoFrames();

} // namespace velox::platform
