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

constexpr const char* kUsage = "usage: vla pack DIR [-k KEY] [--store]\n"
                               "       vla unpack FILE.VLA [OUTDIR] [-k KEY] [-f]\n"
                               "       vla list FILE.VLA [-k KEY]\n"
                               "       vla --help | --version\n";

// A usage error: one line saying what was wrong and where to look.
int Usage(const std::string& problem) {
    std::fprintf(stderr, "vla: %s; try 'vla --help'\n", problem.c_str());
    return 2;
}

int Help() {
    std::fputs(kUsage, stdout);
    std::fputs("\n"
               "  -k KEY    the key string that scrambles the archive\n"
               "  --store   pack: keep every member uncompressed\n"
               "  -f        unpack: overwrite files that are already there\n",
               stdout);
    return 0;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "vla: %s\n", message.c_str());
    return 1;
}

struct Arguments {
    std::vector<std::string> positional;
    std::string key; // Shift-JIS, as the runtime's key string setting holds it
    bool store = false;
    bool force = false;
    std::string problem; // a usage error, empty when none
};

Arguments Parse(int argc, char** argv) {
    Arguments a;
    for (int i = 2; i < argc && a.problem.empty(); ++i) {
        if (std::strcmp(argv[i], "-k") == 0) {
            if (i + 1 >= argc) {
                a.problem = "-k needs a KEY";
            } else {
                a.key = platform::Utf8ToShiftJis(argv[++i]);
            }
        } else if (std::strcmp(argv[i], "--store") == 0) {
            a.store = true;
        } else if (std::strcmp(argv[i], "-f") == 0 || std::strcmp(argv[i], "--force") == 0) {
            a.force = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            a.problem = std::string("unknown option ") + argv[i];
        } else {
            a.positional.emplace_back(argv[i]);
        }
    }
    return a;
}

// The archive of a folder is written beside it under the folder's own name, also when
// the folder is given as "." or "..", whose names are no use.
std::string ArchivePathForFolder(const std::string& folder) {
    std::string normal = fs::path(folder).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    const std::string last = fs::path(normal).filename().string();
    if (last != "." && last != ".." && last != "/" && !last.empty()) {
        return ArchivePathFor(normal);
    }
    std::error_code error;
    fs::path real = fs::canonical(folder, error);
    if (error || real.filename().empty()) {
        return ""; // the root has no name to give
    }
    return real.string() + ".VLA";
}

int Pack(const Arguments& a) {
    if (a.positional.size() != 1) {
        return Usage("pack takes one folder");
    }
    PackOptions options;
    options.keyString = a.key;
    options.store = a.store;
    std::string archive = ArchivePathForFolder(a.positional[0]);
    if (archive.empty()) {
        return Fail("cannot name an archive after " + a.positional[0]);
    }
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
        return Usage("list takes one archive");
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

// Where each member goes; fails on a name that would lead outside the folder or,
// without force, on the first file already in the way, before anything is written.
bool PlanUnpack(const std::vector<ArchiveListing>& items, const fs::path& outDir, bool force,
                std::vector<fs::path>& targets, std::string& error) {
    std::error_code ec;
    fs::file_status outStatus = fs::symlink_status(outDir, ec);
    if (fs::exists(outStatus) && !fs::is_directory(fs::status(outDir, ec))) {
        error = outDir.string() + " is in the way: it is not a folder";
        return false;
    }
    for (const ArchiveListing& item : items) {
        std::string relative;
        if (!MemberDiskPath(item.path, relative)) {
            error = "refusing unsafe member name: " + platform::ShiftJisToUtf8(item.path);
            return false;
        }
        fs::path target = outDir / relative;
        fs::file_status status = fs::symlink_status(target, ec);
        const bool present = fs::exists(status);
        const bool inTheWay = item.isDirectory ? present && !fs::is_directory(status)
                                               : present && (!force || fs::is_directory(status));
        if (inTheWay) {
            error = target.string() + " already exists; nothing was unpacked" +
                    (item.isDirectory || fs::is_directory(status) ? "" : " (-f overwrites)");
            return false;
        }
        targets.push_back(target);
    }
    return true;
}

int Unpack(const Arguments& a) {
    if (a.positional.empty() || a.positional.size() > 2) {
        return Usage("unpack takes an archive and at most one folder");
    }
    const std::string& file = a.positional[0];
    fs::path outDir =
        a.positional.size() == 2 ? fs::path(a.positional[1]) : fs::path(file).replace_extension();
    ArchiveFile archive;
    std::vector<ArchiveListing> items;
    std::vector<fs::path> targets;
    std::string error;
    if (!archive.Open(file, a.key, error) || !archive.List(items, error) ||
        !PlanUnpack(items, outDir, a.force, targets, error)) {
        return Fail(error);
    }
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec) {
        return Fail("cannot create " + outDir.string());
    }
    for (size_t i = 0; i < items.size(); ++i) {
        const ArchiveListing& item = items[i];
        const fs::path& target = targets[i];
        if (item.isDirectory) {
            fs::create_directories(target, ec);
            if (ec) {
                return Fail("cannot create " + target.string());
            }
            continue;
        }
        std::vector<uint8_t> bytes;
        if (!archive.Extract(item.entry, bytes, error)) {
            return Fail(platform::ShiftJisToUtf8(item.path) + ": " + error);
        }
        // -f replaces what is there; a link is replaced itself, never written through to
        // a file outside the folder.
        if (fs::is_symlink(fs::symlink_status(target, ec))) {
            fs::remove(target, ec);
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
        return Usage("no command given");
    }
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        return Help();
    }
    if (command == "--version" || command == "-V") {
        std::printf("vla %s\n", VELOX_VERSION);
        return 0;
    }
    Arguments a = Parse(argc, argv);
    if (!a.problem.empty()) {
        return Usage(a.problem);
    }
    if (command == "pack") {
        return Pack(a);
    }
    if (command == "list") {
        return List(a);
    }
    if (command == "unpack") {
        return Unpack(a);
    }
    return Usage("unknown command " + command);
}
