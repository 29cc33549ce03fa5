#include "VlaArchive.h"

#include "VlaEncoder.h"
#include "archive/ArchiveDecode.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace velox::vla {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMaxArchiveSize = 0xFFFFFFFFull;
constexpr uint64_t kMaxMemberSize = 0x7FFFFFFFull; // member positions are signed 32-bit
constexpr uint16_t kWriteVersion = 3;

struct Node {
    fs::path diskPath;
    std::string name; // Shift-JIS, as stored
    archive::NameKey key;
    bool isDirectory = false;
    struct stat info {};
    std::vector<size_t> children;
    uint32_t recordOffset = 0; // directories: offset in the directory table
    uint32_t firstEntry = 0;   // directories: offset of the first child's file entry
    uint32_t entryOffset = archive::kArchiveNoRecord;
    archive::ArchiveFileEntry entry;
};

// Windows file time: 100 ns units since 1601-01-01.
uint64_t FileTime(const struct timespec& t) {
    constexpr uint64_t kEpochDifference = 11644473600ull;
    if (t.tv_sec < 0) {
        return 0;
    }
    return (uint64_t(t.tv_sec) + kEpochDifference) * 10000000ull + uint64_t(t.tv_nsec) / 100;
}

bool KeyLess(const archive::NameKey& a, const archive::NameKey& b) {
    return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) < 0;
}

// A name the reader can find: converts to Shift-JIS and back unchanged, fits a
// name entry, and holds no '\', which the reader takes for a separator.
bool ToArchiveName(const std::string& utf8, std::string& sjis, std::string& error) {
    sjis = platform::Utf8ToShiftJis(utf8);
    if (platform::ShiftJisToUtf8(sjis) != utf8) {
        error = "name has no Shift-JIS form: " + utf8;
        return false;
    }
    if (sjis.size() > archive::kArchiveMaxName) {
        error = "name longer than 255 Shift-JIS bytes: " + utf8;
        return false;
    }
    for (size_t i = 0; i < sjis.size(); ++i) {
        uint8_t c = uint8_t(sjis[i]);
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
            ++i;
        } else if (c == '\\') {
            error = "name holds a backslash: " + utf8;
            return false;
        }
    }
    return true;
}

bool ReadWholeFile(const fs::path& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) {
        return false;
    }
    in.seekg(0);
    out.resize(size_t(size));
    return size == 0 || bool(in.read(reinterpret_cast<char*>(out.data()), size));
}

// Lists a folder into nodes, children sorted by their upper-case names.
bool CollectTree(std::vector<Node>& nodes, std::string& error) {
    for (size_t d = 0; d < nodes.size(); ++d) {
        if (!nodes[d].isDirectory) {
            continue;
        }
        std::error_code ec;
        std::vector<Node> found;
        for (const fs::directory_entry& e : fs::directory_iterator(nodes[d].diskPath, ec)) {
            Node node;
            node.diskPath = e.path();
            // Symbolic links to folders are not followed: they could loop.
            if (::lstat(e.path().c_str(), &node.info) != 0) {
                error = "cannot read " + e.path().string();
                return false;
            }
            if (S_ISLNK(node.info.st_mode) &&
                (::stat(e.path().c_str(), &node.info) != 0 || S_ISDIR(node.info.st_mode))) {
                continue;
            }
            if (!S_ISDIR(node.info.st_mode) && !S_ISREG(node.info.st_mode)) {
                continue;
            }
            node.isDirectory = S_ISDIR(node.info.st_mode);
            if (!ToArchiveName(e.path().filename().string(), node.name, error) ||
                !archive::MakeNameKey(node.name.data(), node.name.size(), node.key)) {
                return false;
            }
            if (!node.isDirectory && uint64_t(node.info.st_size) > kMaxMemberSize) {
                error = "file larger than 2 GiB: " + e.path().string();
                return false;
            }
            found.push_back(std::move(node));
        }
        if (ec) {
            error = "cannot list " + nodes[d].diskPath.string() + ": " + ec.message();
            return false;
        }
        std::sort(found.begin(), found.end(),
                  [](const Node& a, const Node& b) { return KeyLess(a.key, b.key); });
        for (size_t i = 1; i < found.size(); ++i) {
            if (std::memcmp(found[i - 1].key.bytes, found[i].key.bytes,
                            sizeof found[i].key.bytes) == 0) {
                error = "names differ only in case: " + found[i - 1].diskPath.string() + ", " +
                        found[i].diskPath.filename().string();
                return false;
            }
        }
        for (Node& n : found) {
            nodes[d].children.push_back(nodes.size());
            nodes.push_back(std::move(n));
        }
    }
    return true;
}

class ScrambledWriter {
public:
    ScrambledWriter(std::ofstream& out, const archive::ArchiveKey& key) : out_(out), key_(key) {}
    bool Write(uint64_t position, std::vector<uint8_t> bytes) {
        archive::ScrambleArchiveBytes(bytes.data(), bytes.size(), position, key_);
        out_.seekp(std::streamoff(position));
        out_.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return bool(out_);
    }

private:
    std::ofstream& out_;
    const archive::ArchiveKey& key_;
};

bool WriteArchive(std::vector<Node>& nodes, std::ofstream& out, const PackOptions& options,
                  std::string& error, PackStats& stats) {
    const size_t entrySize = archive::FileEntrySize(kWriteVersion);
    // Directory records and file-table groups in breadth-first order; the root first.
    uint32_t recordCursor = 0;
    uint64_t entryCursor = 0;
    uint64_t nameCursor = 0;
    for (Node& n : nodes) {
        if (&n != &nodes[0]) {
            n.entry.nameOffset = uint32_t(nameCursor);
            nameCursor += archive::NameEntrySize(n.key);
        }
        if (n.isDirectory) {
            n.recordOffset = recordCursor;
            recordCursor += archive::kArchiveDirRecordSize;
            n.firstEntry = uint32_t(entryCursor);
            for (size_t i = 0; i < n.children.size(); ++i) {
                nodes[n.children[i]].entryOffset = uint32_t(entryCursor + i * entrySize);
            }
            entryCursor += n.children.size() * entrySize;
        }
    }
    archive::ArchiveHeader header;
    header.version = kWriteVersion;
    header.dataPosition = archive::kArchiveHeaderSize;
    header.fileTableOffset = uint32_t(nameCursor);
    header.directoryTableOffset = uint32_t(nameCursor + entryCursor);
    uint64_t directorySize = nameCursor + entryCursor + recordCursor;

    archive::ArchiveKey key =
        options.useFallbackKey
            ? archive::FallbackArchiveKey()
            : archive::MakeArchiveKey(options.keyString.empty() ? nullptr
                                                                : options.keyString.c_str());
    ScrambledWriter writer(out, key);
    uint64_t dataCursor = 0;
    for (Node& n : nodes) {
        n.entry.creationTime = FileTime(n.info.st_mtim);
        n.entry.accessTime = FileTime(n.info.st_atim);
        n.entry.writeTime = FileTime(n.info.st_mtim);
        if (n.isDirectory) {
            n.entry.attributes = archive::kArchiveDirectoryAttribute;
            n.entry.dataOffset = n.recordOffset;
            n.entry.size = 0;
            n.entry.compressedSize = archive::kArchiveStored;
            stats.directories += &n == &nodes[0] ? 0 : 1;
            continue;
        }
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(n.diskPath, bytes) || bytes.size() > kMaxMemberSize) {
            error = "cannot read " + n.diskPath.string();
            return false;
        }
        std::vector<uint8_t> coded;
        if (!options.store) {
            coded = CompressMember(bytes.data(), bytes.size());
        }
        n.entry.attributes = archive::kArchiveFileAttribute;
        n.entry.dataOffset = uint32_t(dataCursor);
        n.entry.size = uint32_t(bytes.size());
        n.entry.compressedSize = coded.empty() ? archive::kArchiveStored : uint32_t(coded.size());
        std::vector<uint8_t>& stored = coded.empty() ? bytes : coded;
        if (archive::kArchiveHeaderSize + dataCursor + stored.size() + directorySize >
            kMaxArchiveSize) {
            error = "archive would exceed 4 GiB";
            return false;
        }
        stats.files += 1;
        stats.bytesIn += bytes.size();
        stats.bytesOut += stored.size();
        if (!writer.Write(archive::kArchiveHeaderSize + dataCursor, std::move(stored))) {
            error = "write failed";
            return false;
        }
        dataCursor += n.entry.StoredSize();
    }
    if (archive::kArchiveHeaderSize + dataCursor + directorySize > kMaxArchiveSize) {
        error = "archive would exceed 4 GiB";
        return false;
    }
    header.directoryPosition = uint32_t(archive::kArchiveHeaderSize + dataCursor);
    header.directorySize = uint32_t(directorySize);

    std::vector<uint8_t> block(directorySize);
    for (const Node& n : nodes) {
        if (&n != &nodes[0]) {
            archive::WriteNameEntry(n.key, n.name.data(), n.name.size(),
                                    &block[n.entry.nameOffset]);
            archive::WriteFileEntry(n.entry, kWriteVersion,
                                    &block[header.fileTableOffset + size_t(n.entryOffset)]);
        }
    }
    // Parents are listed before their children, so a child's parent record is known.
    std::vector<uint32_t> parentRecord(nodes.size(), archive::kArchiveNoRecord);
    for (const Node& n : nodes) {
        for (size_t c : n.children) {
            parentRecord[c] = n.recordOffset;
        }
    }
    for (size_t i = 0; i < nodes.size(); ++i) {
        const Node& n = nodes[i];
        if (!n.isDirectory) {
            continue;
        }
        archive::ArchiveDirRecord record;
        record.ownEntry = n.entryOffset;
        record.parent = parentRecord[i];
        record.entryCount = uint32_t(n.children.size());
        record.firstEntry = n.firstEntry;
        archive::WriteDirRecord(record,
                                &block[header.directoryTableOffset + size_t(n.recordOffset)]);
    }
    std::vector<uint8_t> headerBytes(archive::kArchiveHeaderSize);
    archive::WriteArchiveHeader(header, headerBytes.data());
    if (!writer.Write(header.directoryPosition, std::move(block)) ||
        !writer.Write(0, std::move(headerBytes))) {
        error = "write failed";
        return false;
    }
    out.flush();
    if (!out) {
        error = "write failed";
        return false;
    }
    return true;
}

} // namespace

std::string ArchivePathFor(const std::string& directory) {
    std::string d = directory;
    while (d.size() > 1 && d.back() == '/') {
        d.pop_back();
    }
    return d + ".VLA";
}

bool PackDirectory(const std::string& directory, const std::string& archivePath,
                   const PackOptions& options, std::string& error, PackStats* stats) {
    std::vector<Node> nodes(1);
    nodes[0].diskPath = directory;
    nodes[0].isDirectory = true;
    if (::stat(directory.c_str(), &nodes[0].info) != 0 || !S_ISDIR(nodes[0].info.st_mode)) {
        error = "not a folder: " + directory;
        return false;
    }
    if (!CollectTree(nodes, error)) {
        return false;
    }
    std::ofstream out(archivePath, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot create " + archivePath;
        return false;
    }
    PackStats local;
    bool ok = WriteArchive(nodes, out, options, error, local);
    out.close();
    if (!ok || !out) {
        std::error_code ec;
        fs::remove(archivePath, ec);
        if (ok) {
            error = "write failed";
        }
        return false;
    }
    if (stats) {
        *stats = local;
    }
    return true;
}

bool ArchiveFile::ReadAt(uint64_t position, void* dst, size_t size) const {
    if (position > fileSize_ || size > fileSize_ - position) {
        return false;
    }
    std::ifstream in(path_, std::ios::binary);
    in.seekg(std::streamoff(position));
    in.read(static_cast<char*>(dst), std::streamsize(size));
    if (!in) {
        return false;
    }
    archive::ScrambleArchiveBytes(dst, size, position, key_);
    return true;
}

bool ArchiveFile::Open(const std::string& path, const std::string& keyString, std::string& error) {
    path_ = path;
    std::error_code ec;
    fileSize_ = fs::file_size(path, ec);
    if (ec) {
        error = "cannot read " + path;
        return false;
    }
    uint8_t bytes[archive::kArchiveHeaderSize];
    key_ = archive::MakeArchiveKey(keyString.empty() ? nullptr : keyString.c_str());
    bool found = ReadAt(0, bytes, sizeof bytes) && archive::ReadArchiveHeader(bytes, header_);
    if (!found) {
        key_ = archive::FallbackArchiveKey();
        found = ReadAt(0, bytes, sizeof bytes) && archive::ReadArchiveHeader(bytes, header_);
    }
    if (!found) {
        error = "not a VLA archive, or a different key: " + path;
        return false;
    }
    if (!archive::CheckArchiveHeader(header_, fileSize_)) {
        error = "unsupported version or corrupt header: " + path;
        return false;
    }
    block_.resize(header_.directorySize);
    if (!ReadAt(header_.directoryPosition, block_.data(), block_.size())) {
        error = "cannot read the directory block";
        return false;
    }
    directory_ = archive::ArchiveDirectory(block_.data(), header_);
    return true;
}

bool ArchiveFile::List(std::vector<ArchiveListing>& out, std::string& error) const {
    struct Pending {
        uint32_t record;
        std::string prefix;
    };
    std::deque<Pending> queue{{0, ""}};
    std::set<uint32_t> visited{0};
    while (!queue.empty()) {
        Pending p = std::move(queue.front());
        queue.pop_front();
        archive::ArchiveDirRecord record;
        if (!directory_.DirRecordAt(p.record, record)) {
            error = "directory record outside the directory block";
            return false;
        }
        for (uint32_t i = 0; i < record.entryCount; ++i) {
            uint32_t offset = 0;
            ArchiveListing item;
            char name[archive::kArchiveMaxName + 5];
            if (!directory_.EntryOffset(record, i, offset) ||
                !directory_.FileEntryAt(offset, item.entry) ||
                !directory_.StoredName(item.entry, name, sizeof name)) {
                error = "file entry or name outside the directory block";
                return false;
            }
            item.isDirectory = item.entry.IsDirectory();
            item.path = p.prefix + name;
            if (item.isDirectory) {
                // Each directory is listed once, so a looping table cannot run forever.
                if (!visited.insert(item.entry.dataOffset).second) {
                    error = "directory table loops";
                    return false;
                }
                queue.push_back({item.entry.dataOffset, item.path + "\\"});
            }
            out.push_back(std::move(item));
        }
    }
    return true;
}

bool ArchiveFile::Extract(const archive::ArchiveFileEntry& entry, std::vector<uint8_t>& out,
                          std::string& error) const {
    if (!archive::MemberInsideFile(header_, entry, fileSize_)) {
        error = "member data outside the file";
        return false;
    }
    std::vector<uint8_t> stored(entry.StoredSize());
    uint64_t position = uint64_t(header_.dataPosition) + entry.dataOffset;
    if (!ReadAt(position, stored.data(), stored.size())) {
        error = "cannot read member data";
        return false;
    }
    if (!entry.IsCompressed()) {
        out = std::move(stored);
        return true;
    }
    if (!archive::CompressedSizesPlausible(entry.size, entry.compressedSize)) {
        error = "implausible compressed size";
        return false;
    }
    out.assign(entry.size, 0);
    if (!archive::DecompressArchiveMember(stored.data(), stored.size(), out.data(), out.size())) {
        error = "corrupt compressed data";
        return false;
    }
    return true;
}

bool MemberDiskPath(const std::string& sjisPath, std::string& out) {
    out.clear();
    size_t start = 0;
    size_t i = 0;
    while (true) {
        if (i < sjisPath.size() && sjisPath[i] != '\\') {
            uint8_t c = uint8_t(sjisPath[i]);
            i += ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 2 : 1;
            continue;
        }
        size_t end = i < sjisPath.size() ? i : sjisPath.size();
        std::string name = platform::ShiftJisToUtf8(sjisPath.substr(start, end - start));
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
            return false;
        }
        out += (out.empty() ? "" : "/") + name;
        if (i >= sjisPath.size()) {
            return true;
        }
        start = ++i;
    }
}

} // namespace velox::vla
