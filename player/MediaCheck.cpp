#include "MediaCheck.h"

#include <velox/authoring.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace velox::player {
namespace {

// Enough for every header the descriptions below look at.
constexpr size_t kSniffBytes = 64 * 1024;

std::string NotFound(const char* name) {
    return "file " + Quoted(name) + " not found";
}

// Up to the first kSniffBytes of the file; empty when it cannot be read.
std::string Head(const char* name) {
    std::string bytes(kSniffBytes, '\0');
    const int got = ReadFileHead(name, bytes.data(), int(bytes.size()));
    bytes.resize(got < 0 ? 0 : size_t(got));
    return bytes;
}

uint16_t Le16At(const std::string& b, size_t at) {
    return at + 2 <= b.size() ? uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8) : 0;
}
uint32_t Le32At(const std::string& b, size_t at) {
    return at + 4 <= b.size() ? uint32_t(Le16At(b, at)) | uint32_t(Le16At(b, at + 2)) << 16 : 0;
}
uint32_t Be32At(const std::string& b, size_t at) {
    return at + 4 <= b.size()
               ? uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
                     uint32_t(uint8_t(b[at + 2])) << 8 | uint8_t(b[at + 3])
               : 0;
}
bool StartsWith(const std::string& b, const char* magic) {
    return b.compare(0, std::strlen(magic), magic) == 0;
}
bool EndsWithNoCase(const char* name, const char* suffix) {
    size_t n = std::strlen(name);
    size_t m = std::strlen(suffix);
    if (n < m) {
        return false;
    }
    for (size_t i = 0; i < m; ++i) {
        char c = name[n - m + i];
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
        if (c != suffix[i]) {
            return false;
        }
    }
    return true;
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string TooLarge(uint32_t width, uint32_t height) {
    const std::string size = ", " + std::to_string(width) + " x " + std::to_string(height);
    if (width > uint32_t(kMaxPictureSide) || height > uint32_t(kMaxPictureSide)) {
        return size + " is larger than the " + std::to_string(kMaxPictureSide) +
               " pixels a side Velox reads";
    }
    if (int64_t(width) * height > kMaxPicturePixels) {
        return size + " is more than the " + std::to_string(kMaxPicturePixels >> 20) +
               " Mi pixels Velox decodes";
    }
    return "";
}

// For a header the readers take: the size when that is what refused it, else damage.
std::string TooLargeOrDamaged(uint32_t width, uint32_t height) {
    const std::string size = TooLarge(width, height);
    return size.empty() ? "; the data may be damaged" : size;
}

std::string DescribeJpeg(const std::string& b) {
    // Walk the markers up to the frame header, which names the process and components.
    size_t at = 2;
    while (at + 4 <= b.size() && uint8_t(b[at]) == 0xFF) {
        const uint8_t marker = uint8_t(b[at + 1]);
        const size_t length = size_t(uint8_t(b[at + 2])) << 8 | uint8_t(b[at + 3]);
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && at + 10 <= b.size()) {
            const int components = uint8_t(b[at + 9]);
            if (components == 4) {
                return "JPEG with 4 color components (CMYK); only RGB and greyscale JPEG are read";
            }
            if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF) {
                return "lossless JPEG, which is not read";
            }
            const uint32_t height = uint32_t(uint8_t(b[at + 5])) << 8 | uint8_t(b[at + 6]);
            const uint32_t width = uint32_t(uint8_t(b[at + 7])) << 8 | uint8_t(b[at + 8]);
            return "JPEG with " + std::to_string(components) + " components" +
                   TooLargeOrDamaged(width, height);
        }
        at += 2 + length;
    }
    return "JPEG, damaged before its frame header";
}

// Why a picture the decoders refused was refused, from its header.
std::string DescribePicture(const char* name, const std::string& b) {
    if (StartsWith(b, "\x89PNG")) {
        const uint32_t width = Be32At(b, 16);
        const uint32_t height = Be32At(b, 20);
        return "PNG, " + std::to_string(width) + " x " + std::to_string(height) + ", bit depth " +
               std::to_string(b.size() > 24 ? uint8_t(b[24]) : 0) + ", color type " +
               std::to_string(b.size() > 25 ? uint8_t(b[25]) : 0) +
               TooLargeOrDamaged(width, height);
    }
    if (StartsWith(b, "\xFF\xD8")) {
        return DescribeJpeg(b);
    }
    if (StartsWith(b, "BM")) {
        static const char* const kCompression[] = {
            "none", "RLE8", "RLE4", "bit fields", "JPEG", "PNG", "alpha bit fields"};
        const uint32_t compression = Le32At(b, 30);
        return "BMP with " + std::to_string(Le16At(b, 28)) + " bits per pixel, compression " +
               (compression < 7 ? kCompression[compression] : std::to_string(compression)) +
               ", header of " + std::to_string(Le32At(b, 14)) + " bytes";
    }
    if (StartsWith(b, "DDS ")) {
        const uint32_t formatFlags = Le32At(b, 80);
        const std::string code = b.size() >= 88 ? b.substr(84, 4) : "";
        if ((formatFlags & 0x4) && code.size() == 4 && std::isalnum(uint8_t(code[0]))) {
            return "DDS compressed as " + code + "; only uncompressed DDS pictures are read";
        }
        return "DDS with format flags " + Hex(formatFlags, 2) + ", format code " +
               std::to_string(Le32At(b, 84)) + ", " + std::to_string(Le32At(b, 88)) +
               " bits per pixel";
    }
    if (StartsWith(b, "BGRA")) {
        return "BGRA with channel sizes " + Hex(Le32At(b, 4), 8) +
               " (0x08080808 and 0x10101010 are read)" + TooLarge(Le32At(b, 8), Le32At(b, 12));
    }
    if (StartsWith(b, "GIF8")) {
        return "a GIF picture; Velox reads BMP, JPEG, PNG, TGA, DDS and BGRA";
    }
    if (EndsWithNoCase(name, ".tga") && b.size() >= 18) {
        return "TGA of image type " + std::to_string(uint8_t(b[2])) + " with " +
               std::to_string(uint8_t(b[16])) + " bits per pixel";
    }
    return "not a picture format Velox reads (BMP, JPEG, PNG, TGA, DDS, BGRA)";
}

std::string WaveTagName(uint16_t tag) {
    switch (tag) {
    case 0x0001:
        return "PCM";
    case 0x0002:
        return "MS ADPCM";
    case 0x0003:
        return "IEEE float";
    case 0x0006:
        return "A-law";
    case 0x0007:
        return "mu-law";
    case 0x0011:
        return "IMA ADPCM";
    case 0x0055:
        return "MPEG layer 3";
    case 0xFFFE:
        return "extensible";
    default:
        return "unknown";
    }
}

// Why a sound the converter refused was refused, from its header.
std::string DescribeSound(const std::string& b) {
    if (StartsWith(b, "RIFF") && b.compare(8, 4, "WAVE") == 0) {
        for (size_t at = 12; at + 8 <= b.size();) {
            const uint32_t size = Le32At(b, at + 4);
            if (b.compare(at, 4, "fmt ") == 0) {
                const uint16_t tag = Le16At(b, at + 8);
                return "WAVE with format tag " + Hex(tag, 4) + " (" + WaveTagName(tag) + "), " +
                       std::to_string(Le16At(b, at + 10)) + " channel(s), " +
                       std::to_string(Le32At(b, at + 12)) + " Hz, " +
                       std::to_string(Le16At(b, at + 22)) +
                       " bits; Velox reads PCM, MS and IMA ADPCM, A-law, mu-law and MPEG";
            }
            at += 8 + uint64_t(size) + (size & 1); // 32 bits would wrap back onto `at`
        }
        return "WAVE without a readable format chunk";
    }
    if (StartsWith(b, "OggS")) {
        if (b.find("OpusHead") != std::string::npos) {
            return "Ogg Opus; only Ogg Vorbis is read";
        }
        if (b.find("\x7F"
                   "FLAC") != std::string::npos) {
            return "Ogg FLAC; only Ogg Vorbis is read";
        }
        if (b.find("\x01vorbis") != std::string::npos) {
            return "Ogg Vorbis, damaged";
        }
        return "an Ogg stream that is not Vorbis";
    }
    if (StartsWith(b, "fLaC")) {
        return "FLAC; Velox reads WAVE, Ogg Vorbis and MP3";
    }
    if (StartsWith(b, "MThd")) {
        return "a MIDI file, which plays only as music (playmusic)";
    }
    if (StartsWith(b, "ID3") ||
        (b.size() >= 2 && uint8_t(b[0]) == 0xFF && (uint8_t(b[1]) & 0xE0) == 0xE0)) {
        return "MPEG audio, damaged";
    }
    return "not a sound format Velox reads (WAVE, Ogg Vorbis, MP3)";
}

// Why the sound decoders refused the file, whole or its first block: empty when they
// did not.
std::string SoundDecodeProblem(const char* name, bool whole) {
    switch (CheckSoundFile(name, whole ? 1 : 0)) {
    case 0:
        return "";
    case -3:
        return "the data decodes to no sound at all";
    case -4:
        return "the sound is too long to hold in memory";
    default:
        return DescribeSound(Head(name));
    }
}

} // namespace

std::vector<MediaProblem> PictureProblems(const char* name) {
    int width = 0;
    int height = 0;
    const int result = CheckPictureFile(name, &width, &height);
    if (result == -1) {
        return {{false, NotFound(name)}};
    }
    if (result != 0) {
        return {
            {false, "cannot decode " + Quoted(name) + ": " + DescribePicture(name, Head(name))}};
    }
    std::vector<MediaProblem> problems;
    std::vector<char> companion(std::strlen(name) + 3);
    if (GetAlphaCompanionName(name, companion.data(), int(companion.size())) == 0) {
        int alphaWidth = 0;
        int alphaHeight = 0;
        const int alpha = CheckPictureFile(companion.data(), &alphaWidth, &alphaHeight);
        if (alpha == -1) {
            // No companion: the picture's own alpha, if any, is used.
        } else if (alpha != 0) {
            problems.push_back(
                {true, "alpha companion " + Quoted(companion.data()) +
                           " cannot be decoded and is ignored: " +
                           DescribePicture(companion.data(), Head(companion.data()))});
        } else if (alphaWidth != width || alphaHeight != height) {
            problems.push_back({false, "alpha companion " + Quoted(companion.data()) + " is " +
                                           std::to_string(alphaWidth) + " x " +
                                           std::to_string(alphaHeight) + " but " + Quoted(name) +
                                           " is " + std::to_string(width) + " x " +
                                           std::to_string(height) + "; the picture will not load"});
        }
    }
    return problems;
}

std::vector<MediaProblem> SoundProblems(const char* name) {
    if (ReadFileHead(name, nullptr, 0) < 0) {
        return {{false, NotFound(name)}};
    }
    std::string problem = SoundDecodeProblem(name, true);
    if (problem.empty()) {
        return {};
    }
    return {{false, "cannot decode " + Quoted(name) + ": " + problem}};
}

std::vector<MediaProblem> MusicProblems(const char* name) {
    char head[4];
    const int got = ReadFileHead(name, head, int(sizeof head));
    if (got < 0) {
        return {{false, NotFound(name)}};
    }
    if (got == 4 && std::memcmp(head, "MThd", 4) == 0) {
        if (CheckMidiFile(name) != 0) {
            return {{false, "cannot play " + Quoted(name) +
                                ": a MIDI file whose header or tracks are damaged"}};
        }
        return {};
    }
    std::string problem = SoundDecodeProblem(name, false);
    if (problem.empty()) {
        return {};
    }
    return {{false, "cannot play " + Quoted(name) + ": " + problem}};
}

} // namespace velox::player
