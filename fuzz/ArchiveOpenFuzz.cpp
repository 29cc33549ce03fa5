// Opens a fuzzed archive and reads every member it lists, synchronously and
// asynchronously. The input is a descrambled archive: it is scrambled with the
// default key on its way into the in-memory file system, so that mutations hit
// the structure.
#include "MemoryFileSystem.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveHook.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace velox;

namespace {

velox::fuzz::MemoryFileSystem& Files() {
    static velox::fuzz::MemoryFileSystem* files = [] {
        auto* made = new velox::fuzz::MemoryFileSystem;
        velox::platform::SetFileSystem(made);
        return made;
    }();
    return *files;
}

void ReadMember(int archive, const std::string& path, int async) {
    archive::ArchiveMember* m = archive::OpenArchiveMember(archive, path.c_str(), async);
    if (!m) {
        return;
    }
    std::vector<uint8_t> buffer(4099);
    size_t total = 0;
    while (total < (1u << 22)) {
        size_t n = archive::ArchiveMemberRead(buffer.data(), 1, buffer.size(), m);
        while (archive::ArchiveMemberIdle(m) == 0) {
            std::this_thread::yield(); // the reading thread needs the core more
        }
        if (n == 0) {
            break;
        }
        total += n;
    }
    archive::ArchiveMemberAtEnd(m);
    archive::ArchiveMemberSeek(m, -7, 2);
    archive::ArchiveMemberRead(buffer.data(), 3, 5, m);
    archive::ArchiveMemberSeek(m, int64_t(archive::ArchiveMemberTell(m)) / 2, 0);
    archive::ArchiveMemberRead(buffer.data(), 1, 9, m);
    archive::CloseArchiveMember(m);
}

// Lists a folder and everything below it, a bounded number of entries.
void Explore(int archive, const std::string& prefix, int depth, int& budget) {
    archive::ArchiveFindEntry entry;
    archive::ArchiveFind* find = archive::ArchiveFindFirst(archive, (prefix + "*").c_str(), entry);
    if (!find) {
        return;
    }
    do {
        if (--budget < 0) {
            break;
        }
        std::string name = entry.name;
        if (name == "." || name == "..") {
            continue;
        }
        if (entry.isDirectory) {
            if (depth < 4) {
                Explore(archive, prefix + name + "\\", depth + 1, budget);
            }
        } else {
            ReadMember(archive, prefix + name, 0);
            ReadMember(archive, prefix + name, 1);
        }
    } while (archive::ArchiveFindNext(find, entry) == 0);
    archive::ArchiveFindClose(find);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    archive::ScrambleArchiveBytes(bytes.data(), bytes.size(), 0, archive::MakeArchiveKey(nullptr));
    Files().Put("FUZZ.VLA", bytes.data(), bytes.size());

    archive::ResetArchiveLayer(); // the file changed under the same name
    archive::ArchiveLookup lookup;
    if (archive::FindArchiveForPath("FUZZ\\any", lookup)) {
        int budget = 256;
        Explore(lookup.archiveIndex, "", 0, budget);
        ReadMember(lookup.archiveIndex, "A\\B.TXT", 0);
        archive::ReleaseArchiveReference(lookup.archiveIndex);
    }
    archive::EndArchiveLayer();
    return 0;
}
