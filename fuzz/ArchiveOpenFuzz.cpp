// Opens a fuzzed archive, lists it and reads one member it lists. The input is
// a descrambled archive and a last byte that picks the member and whether it
// is read synchronously or asynchronously: one member an input keeps each run
// short, and the fuzzer reaches the others by changing that byte. The archive
// is scrambled with the default key on its way into the in-memory file
// system, so that mutations hit the structure.
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
        archive::ResetArchiveLayer();
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

// Lists a folder and everything below it, a bounded number of entries, and
// collects the members' paths.
void Explore(int archive, const std::string& prefix, int depth, int& budget,
             std::vector<std::string>& members) {
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
                Explore(archive, prefix + name + "\\", depth + 1, budget, members);
            }
        } else {
            members.push_back(prefix + name);
        }
    } while (archive::ArchiveFindNext(find, entry) == 0);
    archive::ArchiveFindClose(find);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t choice = data[size - 1];
    std::vector<uint8_t> bytes(data, data + size - 1);
    archive::ScrambleArchiveBytes(bytes.data(), bytes.size(), 0, archive::MakeArchiveKey(nullptr));
    Files().Put("FUZZ.VLA", bytes.data(), bytes.size());

    // The last run's EndArchiveLayer closed the archive and forgot where it
    // was, so the changed file is opened afresh.
    archive::ArchiveLookup lookup;
    if (archive::FindArchiveForPath("FUZZ\\any", lookup)) {
        int budget = 128; // as many as the choice byte can pick
        std::vector<std::string> members;
        Explore(lookup.archiveIndex, "", 0, budget, members);
        // Past the listed members, a path that may name a folder or nothing.
        const size_t pick = choice & 0x7F;
        ReadMember(lookup.archiveIndex, pick < members.size() ? members[pick] : "A\\B.TXT",
                   choice >> 7);
        archive::ReleaseArchiveReference(lookup.archiveIndex);
    }
    archive::EndArchiveLayer();
    return 0;
}
