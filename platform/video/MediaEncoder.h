// One output file with a video and a sound stream, encoded through libavcodec and
// written through libavformat. Not thread-safe: the recording's worker owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velox::platform::video {

struct EncoderSettings {
    std::string path;
    int width = 800;
    int height = 600;
    int quality = 18; // 0..51, H.264 CRF scale
};

// True when the path's extension names a container written here.
bool IsRecordingContainer(const std::string& path);

class MediaEncoder {
public:
    ~MediaEncoder();
    // nullptr with a message when the container, a codec or the file cannot be set up.
    static std::unique_ptr<MediaEncoder> Open(const EncoderSettings& settings, std::string& error);

    // Appends one video frame (0x00RRGGBB rows). `same` says the pixels equal the
    // previous frame's, which then need no conversion.
    bool AddVideoFrame(const uint32_t* pixels, int width, int height, int pitchBytes, bool same);
    // Appends interleaved 16-bit stereo at 44100 Hz.
    bool AddSound(const int16_t* frames, uint32_t count);
    // Drains both encoders and writes the trailer; false when anything was lost.
    bool Finish(std::string& error);

    uint64_t VideoFrames() const;

    struct State;

private:
    MediaEncoder();
    std::unique_ptr<State> state_;
};

} // namespace velox::platform::video
