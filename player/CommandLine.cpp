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
    auto value = [&](size_t& i, std::string& into) {
        if (i + 1 >= args.size()) {
            error = args[i] + " needs a value";
            return false;
        }
        into = args[++i];
        return true;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        if (a == "--windowed") {
            out.windowed = true;
        } else if (a == "--log") {
            out.log = true;
        } else if (a == "--headless") {
            out.headless = true;
        } else if (a == "--check") {
            out.check = true;
        } else if (a == "--trace") {
            out.trace = true;
        } else if (a == "--help" || a == "-h") {
            out.help = true;
        } else if (a == "--version") {
            out.version = true;
        } else if (a == "--key") {
            ScriptedKey key{};
            if (!value(i, v)) {
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
            if (!value(i, out.dumpFramesDir)) {
                return false;
            }
        } else if (a == "--audio-out") {
            if (!value(i, out.audioOut)) {
                return false;
            }
        } else if (a == "--soundfont") {
            if (!value(i, out.soundFont)) {
                return false;
            }
        } else if (a == "--start-line") {
            if (!value(i, v)) {
                return false;
            }
            if (!ParseNumber(v, out.startLine) || out.startLine == 0) {
                error = "--start-line wants a line number from 1: " + v;
                return false;
            }
        } else if (a == "--max-ms") {
            if (!value(i, v)) {
                return false;
            }
            if (!ParseNumber(v, out.maxMs)) {
                error = "--max-ms wants a number of milliseconds: " + v;
                return false;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else if (out.directory.empty()) {
            out.directory = a;
        } else {
            error = "only one story folder can be given";
            return false;
        }
    }
    bool headlessOnly = !out.keys.empty() || !out.dumpFramesDir.empty() || !out.audioOut.empty();
    if (headlessOnly && !out.headless) {
        error = "--key, --dump-frames and --audio-out need --headless";
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
           "  --max-ms N          headless: hold Escape from virtual millisecond N (600000)\n"
           "  --soundfont FILE    the General MIDI SoundFont for MIDI music\n"
           "  --check             report what in story.txt would fail; opens no window\n"
           "  --start-line N      run lines before N at once, showing and waiting for\n"
           "                      nothing, then play from line N\n"
           "  --trace             print each line as it runs to standard error, with its\n"
           "                      frame and time\n"
           "  --help, --version\n";
}

} // namespace velox::player
