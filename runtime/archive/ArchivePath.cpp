#include "archive/ArchiveHook.h"
#include "archive/ArchiveInternal.h"
#include "core/ShiftJis.h"
#include "platform/FileSystem.h"

#include <cstring>
#include <string>

namespace velox::archive {
namespace {

constexpr char kVlaSuffix[] = ".VLA";

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// Builds the normalised path; a component that would not fit fails the whole path.
class FullPathBuilder {
public:
    FullPathBuilder(char* out, size_t size) : out_(out), size_(size) {}

    // Appends the components of a path; either separator splits them.
    void Append(const char* path) {
        size_t i = 0;
        while (path[i] != '\0') {
            while (IsSeparator(path[i])) {
                ++i;
            }
            size_t start = i;
            while (path[i] != '\0' && !IsSeparator(path[i])) {
                i += (core::IsLeadByte(uint8_t(path[i])) && path[i + 1] != '\0') ? 2 : 1;
            }
            AddComponent(path + start, i - start);
        }
    }
    int Finish() {
        if (!ok_) {
            return -1;
        }
        out_[length_] = '\0';
        return int(length_);
    }

private:
    void AddComponent(const char* c, size_t n) {
        if (n == 0 || (n == 1 && c[0] == '.')) {
            return;
        }
        if (n == 2 && c[0] == '.' && c[1] == '.') {
            length_ = LastSeparator(); // the root stays
            return;
        }
        if (length_ + 1 + n >= size_) {
            ok_ = false;
            return;
        }
        out_[length_++] = '\\';
        for (size_t i = 0; i < n; ++i) {
            uint8_t b = uint8_t(c[i]);
            if (core::IsLeadByte(b) && i + 1 < n) {
                out_[length_++] = char(b);
                out_[length_++] = c[++i]; // the second byte is never upper-cased
            } else {
                out_[length_++] = (b >= 'a' && b <= 'z') ? char(b - 'a' + 'A') : char(b);
            }
        }
    }
    // Start of the last component's separator; a trail byte 0x5C is not one.
    size_t LastSeparator() const {
        size_t last = 0;
        for (size_t i = 0; i < length_;) {
            if (out_[i] == '\\') {
                last = i;
                ++i;
            } else {
                i += (core::IsLeadByte(uint8_t(out_[i])) && i + 1 < length_) ? 2 : 1;
            }
        }
        return last;
    }

    char* out_;
    size_t size_;
    size_t length_ = 0;
    bool ok_ = true;
};

void FillLookup(ArchiveLookup& lookup, int slot, const char* rest) {
    lookup.archiveIndex = slot;
    size_t n = std::strlen(rest);
    // A path too long for the member name cannot name a member, and must not
    // fall through to the file system either: an empty name fails the open.
    if (n >= sizeof lookup.memberPath) {
        n = 0;
    }
    std::memcpy(lookup.memberPath, rest, n);
    lookup.memberPath[n] = '\0';
}

bool UseCachedArchive(const char* full, ArchiveLookup& lookup) {
    ArchiveLayerState& state = ArchiveState();
    size_t prefix = size_t(state.cachePrefixLength);
    if (prefix == 0 || std::strncmp(full, state.cachePath, prefix) != 0 || full[prefix] != '\\') {
        return false;
    }
    int slot = -1;
    ArchiveReader* cached = ArchiveAt(state.cacheSlot);
    if (cached && std::strcmp(state.slots[state.cacheSlot].path, state.cachePath) == 0) {
        ++state.slots[state.cacheSlot].refCount;
        slot = state.cacheSlot;
    } else {
        slot = TakeArchiveReference(state.cachePath); // reopens a released archive
    }
    if (slot < 0) {
        state.cachePrefixLength = 0; // gone from disk: search again
        return false;
    }
    state.cacheSlot = slot;
    FillLookup(lookup, slot, full + prefix + 1);
    return true;
}

} // namespace

int BuildFullPath(const char* path, char* out, size_t outSize) {
    if (!path || outSize == 0) {
        return -1;
    }
    FullPathBuilder builder(out, outSize);
    bool hasDrive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                    path[1] == ':';
    if (hasDrive) {
        path += 2; // one file system, one root: every drive maps onto it
    } else if (!IsSeparator(path[0])) {
        std::string current = platform::Files().CurrentDirectory();
        if (current.empty()) {
            return -1;
        }
        builder.Append(current.c_str());
    }
    builder.Append(path);
    return builder.Finish();
}

bool FindArchiveForPath(const char* path, ArchiveLookup& lookup) {
    lookup = ArchiveLookup{};
    char full[kFullPathSize];
    int length = BuildFullPath(path, full, sizeof full);
    if (length <= 0) {
        return false;
    }
    if (UseCachedArchive(full, lookup)) {
        return true;
    }
    // Every directory on the way, shortest first: DIR\NAME is looked for in DIR.VLA.
    char candidate[kArchivePathSize];
    for (int i = 1; i < length;) {
        if (full[i] != '\\') {
            i += core::IsLeadByte(uint8_t(full[i])) ? 2 : 1;
            continue;
        }
        if (size_t(i) + sizeof kVlaSuffix <= sizeof candidate) {
            std::memcpy(candidate, full, size_t(i));
            std::memcpy(candidate + i, kVlaSuffix, sizeof kVlaSuffix);
            int slot = TakeArchiveReference(candidate);
            if (slot >= 0) {
                ArchiveLayerState& state = ArchiveState();
                std::memcpy(state.cachePath, candidate, size_t(i) + sizeof kVlaSuffix);
                state.cachePrefixLength = i;
                state.cacheSlot = slot;
                FillLookup(lookup, slot, full + i + 1);
                return true;
            }
        }
        ++i;
    }
    return false;
}

} // namespace velox::archive
