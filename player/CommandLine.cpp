#include "CommandLine.h"

#include <charconv>

namespace velox::player {
namespace {

bool ParseNumber(const std::string& text, uint64_t& out) {
    if (text.empty()) {
        return false;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseKeyName(const std::string& name, int& code) {
    if (name == "escape") {
        code = 1;
        return true;
    }
    if (name == "space") {
        code = 57;
        return true;
    }
    if (name == "f12") {
        code = 88;
        return true;
    }
    if (name == "ctrl") {
        code = 29;
        return true;
    }
    uint64_t value = 0;
    if (!ParseNumber(name, value) || value > 255) {
        return false;
    }
    code = int(value);
    return true;
}

// NAME@T0-T1
bool ParseKey(const std::string& text, ScriptedKey& key) {
    size_t at = text.find('@');
    size_t dash = text.find('-', at == std::string::npos ? 0 : at);
    if (at == std::string::npos || dash == std::string::npos) {
        return false;
    }
    return ParseKeyName(text.substr(0, at), key.keyCode) &&
           ParseNumber(text.substr(at + 1, dash - at - 1), key.downMs) &&
           ParseNumber(text.substr(dash + 1), key.upMs) && key.upMs >= key.downMs;
}

} // namespace

bool ParseCommandLine(const std::vector<std::string>& args, PlayerOptions& out,
                      std::string& error) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        // "--name=value" carries its value; "--name value" takes the next argument.
        std::string attached;
        bool hasAttached = false;
        if (!optionsEnded && a.rfind("--", 0) == 0) {
            size_t equals = a.find('=');
            if (equals != std::string::npos) {
                attached = a.substr(equals + 1);
                a.resize(equals);
                hasAttached = true;
            }
        }
        auto value = [&](std::string& into) {
            if (hasAttached) {
                into = attached;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        auto flag = [&](bool& into) {
            if (hasAttached) {
                error = a + " takes no value";
                return false;
            }
            into = true;
            return true;
        };
        std::string v;
        bool ok = true;
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            if (!out.directory.empty()) {
                error = "only one story folder can be given";
                return false;
            }
            out.directory = a;
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--windowed") {
            ok = flag(out.windowed);
        } else if (a == "--log") {
            ok = flag(out.log);
        } else if (a == "--headless") {
            ok = flag(out.headless);
        } else if (a == "--check") {
            ok = flag(out.check);
        } else if (a == "--trace") {
            ok = flag(out.trace);
        } else if (a == "--watch") {
            ok = flag(out.watch);
        } else if (a == "--help" || a == "-h") {
            ok = flag(out.help);
        } else if (a == "--version" || a == "-V") {
            ok = flag(out.version);
        } else if (a == "--key") {
            ScriptedKey key{};
            if (!value(v)) {
                return false;
            }
            if (!ParseKey(v, key)) {
                error =
                    "--key wants NAME@T0-T1 (escape, space, ctrl, f12 or 0..255; milliseconds): " +
                    v;
                return false;
            }
            out.keys.push_back(key);
        } else if (a == "--dump-frames") {
            ok = value(out.dumpFramesDir);
        } else if (a == "--audio-out") {
            ok = value(out.audioOut);
        } else if (a == "--soundfont") {
            ok = value(out.soundFont);
        } else if (a == "--record") {
            ok = value(out.recordFile);
        } else if (a == "--record-quality") {
            uint64_t quality = 0;
            if (!value(v)) {
                return false;
            }
            if (!ParseNumber(v, quality) || quality > 51) {
                error = "--record-quality wants a number from 0 (best) to 51: " + v;
                return false;
            }
            out.recordQuality = int(quality);
        } else if (a == "--force") {
            ok = flag(out.force);
        } else if (a == "--start-line") {
            if (!value(v)) {
                return false;
            }
            if (!ParseNumber(v, out.startLine) || out.startLine == 0) {
                error = "--start-line wants a line number from 1: " + v;
                return false;
            }
        } else if (a == "--max-ms") {
            if (!value(v)) {
                return false;
            }
            if (!ParseNumber(v, out.maxMs)) {
                error = "--max-ms wants a number of milliseconds: " + v;
                return false;
            }
        } else {
            error = "unknown option " + a;
            return false;
        }
        if (!ok) {
            return false;
        }
    }
    bool headlessOnly = !out.keys.empty() || !out.dumpFramesDir.empty() || !out.audioOut.empty();
    if (headlessOnly && !out.headless) {
        error = "--key, --dump-frames and --audio-out need --headless";
        return false;
    }
    if (out.watch && out.check) {
        error = "--watch plays the story; it cannot be combined with --check";
        return false;
    }
    return true;
}

std::string UsageText() {
    return "usage: velox-player [DIR] [options]\n"
           "Plays story.txt from DIR (default: the current folder).\n"
           "\n"
           "  --windowed          an 800 x 600 window instead of full screen\n"
           "  --log               write Log.txt\n"
           "  --headless          no window and no sound device; a virtual clock\n"
           "  --key NAME@T0-T1    headless: key NAME (escape, space, ctrl, f12,\n"
           "                      or a key code 0..255)\n"
           "                      is down from virtual millisecond T0 to T1; repeatable\n"
           "  --dump-frames DIR   headless: write every presented picture as DIR/000001.png, ...\n"
           "  --audio-out FILE    headless: write the mixed sound as a 44100 Hz stereo WAV\n"
           "  --record FILE       record the show as a video: .mp4 (H.264, AAC), .webm (VP9,\n"
           "                      Opus) or .mkv (H.264, AAC); headless at 30 frames a second\n"
           "                      of the show's time, windowed what was shown and heard\n"
           "  --record-quality Q  0 (best) .. 51 (smallest), default 18\n"
           "  --force             overwrite a --record file or a --dump-frames folder that\n"
           "                      already holds numbered pictures\n"
           "  --max-ms N          headless: hold Escape from virtual millisecond N (600000)\n"
           "  --soundfont FILE    the General MIDI SoundFont for MIDI music\n"
           "  --check             report what in story.txt would fail; opens no window\n"
           "  --start-line N      run lines before N at once, showing and waiting for\n"
           "                      nothing, then play from line N\n"
           "  --watch             when story.txt is saved, check it and play it again from\n"
           "                      its first changed line; at the end keep the window and\n"
           "                      watch on (headless: until --max-ms)\n"
           "  --trace             print each line as it runs to standard error, with its\n"
           "                      frame and time\n"
           "  --help, --version (-h, -V)\n"
           "Options also take their value as --option=VALUE; -- ends the options.\n"
           "Relative paths are taken from the folder the player was started in.\n";
}

} // namespace velox::player
