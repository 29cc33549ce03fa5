// The demo's synthesised assets: each writer draws or synthesises its file and
// writes it to the given path; false when the file cannot be written.
#pragma once

#include <string>

namespace velox::demo {

bool WriteBackgroundJpeg(const std::string& path); // 800 x 600 evening sky over hills
bool WriteCharacterPng(const std::string& path);   // 256 x 256, RGBA with soft edges
bool WriteStarBmp(const std::string& path);        // 128 x 128, 24-bit, black is transparent
bool WriteCloudTga(const std::string& path);       // 192 x 96, 32-bit with alpha

bool WriteChimePcmWav(const std::string& path); // 16-bit PCM
bool WritePopAdpcmWav(const std::string& path); // IMA ADPCM, mono
bool WriteBellOgg(const std::string& path);
bool WriteWhooshMp3(const std::string& path);
bool WriteLoopOgg(const std::string& path); // an eight-second loop that joins seamlessly
bool WriteTuneMidi(const std::string& path);

} // namespace velox::demo
