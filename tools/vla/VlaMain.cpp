// vla: packs a folder into a VLA archive, lists one, or unpacks one.
#include "VlaArchive.h"
#include "platform/TextCodec.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace velox;
using namespace velox::vla;

int Usage() {
    std::fputs("usage: vla pack DIR [-k KEY] [--store]\n"
               "       vla unpack FILE.VLA [OUTDIR] [-k KEY]\n"
               "       vla list FILE.VLA [-k KEY]\n",
               stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "vla: %s\n", message.c_str());
    return 1;
}

struct Arguments {
    std::vector<std::string> positional;
    std::string key; // Shift-JIS, as the runtime's key string setting holds it
    bool store = false;
    bool ok = true;
};

Arguments Parse(int argc, char** argv) {
    Arguments a;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "-k") == 0 && i + 1 < argc) {
            a.key = platform::Utf8ToShiftJis(argv[++i]);
        } else if (std::strcmp(argv[i], "--store") == 0) {
            a.store = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            a.ok = false;
        } else {
            a.positional.emplace_back(argv[i]);
        }
    }
    return a;
}

int Pack(const Arguments& a) {
    if (a.positional.size() != 1) {
        return Usage();
    }
    PackOptions options;
    options.keyString = a.key;
    options.store = a.store;
    std::string archive = ArchivePathFor(a.positional[0]);
    std::string error;
    PackStats stats;
    if (!PackDirectory(a.positional[0], archive, options, error, &stats)) {
        return Fail(error);
    }
    std::printf("%s: %llu files, %llu folders, %llu -> %llu bytes\n", archive.c_str(),
                (unsigned long long)stats.files, (unsigned long long)stats.directories,
                (unsigned long long)stats.bytesIn, (unsigned long long)stats.bytesOut);
    return 0;
}

int List(const Arguments& a) {
    if (a.positional.size() != 1) {
        return Usage();
    }
    ArchiveFile archive;
    std::vector<ArchiveListing> items;
    std::string error;
    if (!archive.Open(a.positional[0], a.key, error) || !archive.List(items, error)) {
        return Fail(error);
    }
    std::printf("%12s %12s  %s\n", "size", "compressed", "name");
    for (const ArchiveListing& item : items) {
        std::string name = platform::ShiftJisToUtf8(item.path);
        for (char& c : name) {
            c = c == '\\' ? '/' : c;
        }
        if (item.isDirectory) {
            std::printf("%12s %12s  %s/\n", "", "", name.c_str());
        } else if (item.entry.IsCompressed()) {
            std::printf("%12u %12u  %s\n", item.entry.size, item.entry.compressedSize,
                        name.c_str());
        } else {
            std::printf("%12u %12s  %s\n", item.entry.size, "-", name.c_str());
        }
    }
    return 0;
}

int Unpack(const Arguments& a) {
    if (a.positional.empty() || a.positional.size() > 2) {
        return Usage();
    }
    const std::string& file = a.positional[0];
    fs::path outDir =
        a.positional.size() == 2 ? fs::path(a.positional[1]) : fs::path(file).replace_extension();
    ArchiveFile archive;
    std::vector<ArchiveListing> items;
    std::string error;
    if (!archive.Open(file, a.key, error) || !archive.List(items, error)) {
        return Fail(error);
    }
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec) {
        return Fail("cannot create " + outDir.string());
    }
    for (const ArchiveListing& item : items) {
        std::string relative;
        if (!MemberDiskPath(item.path, relative)) {
            return Fail("refusing unsafe member name: " + platform::ShiftJisToUtf8(item.path));
        }
        fs::path target = outDir / relative;
        if (item.isDirectory) {
            fs::create_directories(target, ec);
            if (ec) {
                return Fail("cannot create " + target.string());
            }
            continue;
        }
        std::vector<uint8_t> bytes;
        if (!archive.Extract(item.entry, bytes, error)) {
            return Fail(relative + ": " + error);
        }
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            return Fail("cannot write " + target.string());
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    Arguments a = Parse(argc, argv);
    if (!a.ok) {
        return Usage();
    }
    std::string command = argv[1];
    if (command == "pack") {
        return Pack(a);
    }
    if (command == "list") {
        return List(a);
    }
    if (command == "unpack") {
        return Unpack(a);
    }
    return Usage();
}
