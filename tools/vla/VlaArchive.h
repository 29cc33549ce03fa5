// Writing and reading whole VLA archives for the vla tool: packing a folder,
// and listing or extracting an archive's members.
#pragma once

#include "archive/ArchiveFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velox::vla {

struct PackOptions {
    std::string keyString;       // Shift-JIS bytes; empty: no key string
    bool useFallbackKey = false; // scramble with the reader's fallback key instead
    bool store = false;          // never compress
};

struct PackStats {
    uint64_t files = 0;
    uint64_t directories = 0;
    uint64_t bytesIn = 0;  // member bytes before coding
    uint64_t bytesOut = 0; // member bytes in the data area
};

// Packs the folder into archivePath. False with a message in error on failure;
// a half-written archive is removed.
bool PackDirectory(const std::string& directory, const std::string& archivePath,
                   const PackOptions& options, std::string& error, PackStats* stats = nullptr);

// DIR (or DIR/) -> DIR.VLA beside it.
std::string ArchivePathFor(const std::string& directory);

struct ArchiveListing {
    std::string path; // Shift-JIS, components joined by '\'
    bool isDirectory = false;
    archive::ArchiveFileEntry entry;
};

class ArchiveFile {
public:
    // Reads header and directory, trying the key and then the fallback key.
    bool Open(const std::string& path, const std::string& keyString, std::string& error);
    // Every entry below the root, each directory before its contents.
    bool List(std::vector<ArchiveListing>& out, std::string& error) const;
    // The member's bytes, decompressed; false when they are outside the file or corrupt.
    bool Extract(const archive::ArchiveFileEntry& entry, std::vector<uint8_t>& out,
                 std::string& error) const;
    const archive::ArchiveHeader& Header() const { return header_; }

private:
    bool ReadAt(uint64_t position, void* dst, size_t size) const;

    std::string path_;
    uint64_t fileSize_ = 0;
    archive::ArchiveKey key_{};
    archive::ArchiveHeader header_{};
    std::vector<uint8_t> block_;
    archive::ArchiveDirectory directory_;
};

// A member's archive path as a relative path on disk (UTF-8, '/'). False for a
// name that could leave the output folder: empty, ".", ".." or holding '/'.
bool MemberDiskPath(const std::string& sjisPath, std::string& out);

} // namespace velox::vla
