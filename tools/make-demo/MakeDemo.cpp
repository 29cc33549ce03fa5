// make-demo OUTDIR: synthesises the example story into OUTDIR (examples/demo by
// default): pictures, sounds, music, a packed folder and story.txt in Shift-JIS.
#include "DemoAssets.h"
#include "VlaArchive.h"
#include "platform/TextCodec.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;
using namespace velox;

// About a minute (wait 10 is one second). Written here in UTF-8 with LF; stored in
// Shift-JIS with CR LF. The "pack" folder is read from pack.VLA: the folder itself
// is removed once packed.
constexpr const char* kStory = R"(playmusic 0,1,"music\loop.ogg"
fademusic 180,30
loadimage 0,"bg.jpg"
loadimage 1,"images\キャラ.png"
loadimage 2,"star.bmp"
loadimage 3,"PACK\cloud.tga"
loadsound 0,"se\chime.wav"
loadsound 1,"pack\pop.wav"
loadsound 2,"pack\bell.ogg"
loadsound 3,"se\whoosh.mp3"
drawbackimage 3,100,150,80,0,0,255,230,0,0
drawbackimage 3,60,600,140,0,0,255,180,0,0
wait 40
showimage 1,80,-140,420,128,128,255,255,0,0
playsound 3,200
moveimage 80,400,420,128,128,255,255,0,40
playsound 0,220
wait 20
playsound 1,255
moveimage 80,400,380,128,128,255,255,360,15
moveimage 120,400,360,128,128,255,255,360,20
wait 10
moveimage 120,400,360,128,128,90,255,360,20
moveimage 120,400,360,128,128,255,255,360,20
playsound 1,255
moveimage 50,620,300,128,128,255,255,380,25
moveimage 100,400,400,128,128,255,100,340,25
moveimage 100,400,400,128,128,255,255,360,15
wait 15
attachbg
showimage 2,25,250,200,64,64,255,255,0,1
playsound 2,255
moveimage 150,250,200,64,64,255,255,720,40
moveimage 50,650,120,64,64,255,200,1080,40
fademusic 60,20
wait 20
stopmusic
loadimage 0,"bg.jpg"
drawbackimage 3,100,150,80,0,0,255,230,0,0
drawbackimage 3,60,600,140,0,0,255,180,0,0
drawbackimage 2,50,650,120,64,64,255,200,0,1
playmusic 230,0,"pack\tune.mid"
showimage 1,100,400,380,128,128,255,0,0,0
moveimage 100,400,380,128,128,255,255,0,20
moveimage 100,330,360,128,128,255,255,-15,15
moveimage 100,470,360,128,128,255,255,15,15
moveimage 100,330,360,128,128,255,255,-15,15
moveimage 100,400,380,128,128,255,255,0,15
wait 45
playsound 0,200
stopsound 0
playsound 0,230
deletebg
showimage 1,100,400,300,128,128,255,255,0,0
wait 15
moveimage 30,400,300,128,128,0,0,720,30
stopmusic
wait 20
END
)";

std::string StoryBytes() {
    std::string crlf;
    for (char c : std::string(kStory)) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    return platform::Utf8ToShiftJis(crlf);
}

bool WriteText(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fputs("usage: make-demo [OUTDIR]\n", stderr);
        return 2;
    }
    const fs::path out = argc == 2 ? argv[1] : "examples/demo";
    std::error_code ec;
    for (const char* sub : {"images", "se", "music", "pack"}) {
        fs::create_directories(out / sub, ec);
        if (ec) {
            std::fprintf(stderr, "make-demo: cannot make %s: %s\n", (out / sub).c_str(),
                         ec.message().c_str());
            return 1;
        }
    }
    struct Asset {
        const char* name; // UTF-8, relative to OUTDIR
        bool (*write)(const std::string&);
    };
    const Asset assets[] = {
        {"bg.jpg", demo::WriteBackgroundJpeg},    {"images/キャラ.png", demo::WriteCharacterPng},
        {"star.bmp", demo::WriteStarBmp},         {"pack/cloud.tga", demo::WriteCloudTga},
        {"se/chime.wav", demo::WriteChimePcmWav}, {"pack/pop.wav", demo::WritePopAdpcmWav},
        {"pack/bell.ogg", demo::WriteBellOgg},    {"se/whoosh.mp3", demo::WriteWhooshMp3},
        {"music/loop.ogg", demo::WriteLoopOgg},   {"pack/tune.mid", demo::WriteTuneMidi},
    };
    for (const Asset& a : assets) {
        if (!a.write((out / a.name).string())) {
            std::fprintf(stderr, "make-demo: cannot write %s\n", (out / a.name).c_str());
            return 1;
        }
    }
    std::string error;
    const std::string packDir = (out / "pack").string();
    if (!vla::PackDirectory(packDir, vla::ArchivePathFor(packDir), vla::PackOptions{}, error)) {
        std::fprintf(stderr, "make-demo: cannot pack %s: %s\n", packDir.c_str(), error.c_str());
        return 1;
    }
    fs::remove_all(out / "pack", ec); // from now on only the archive answers for pack/
    if (!WriteText(out / "story.txt", StoryBytes())) {
        std::fprintf(stderr, "make-demo: cannot write %s\n", (out / "story.txt").c_str());
        return 1;
    }
    std::printf("make-demo: wrote %s\n", out.c_str());
    return 0;
}
