#include "platform/FileSystem.h"

#include "platform/TextCodec.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace velox::platform {
namespace {

bool ExistsUtf8(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualFoldingAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Directory listings (UTF-8 names) used for case-insensitive matching. A miss
// re-reads the directory once, so files created after caching are still found.
class DirectoryCache {
public:
    bool FindFolded(const std::string& dir, const std::string& name, std::string& found) {
        std::lock_guard lock(mutex_);
        auto it = listings_.find(dir);
        if (it != listings_.end() && Match(it->second, name, found)) {
            return true;
        }
        std::vector<std::string>& names = listings_[dir];
        names.clear();
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                names.emplace_back(e->d_name);
            }
            ::closedir(d);
        }
        return Match(names, name, found);
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        listings_.clear();
    }

private:
    static bool Match(const std::vector<std::string>& names, const std::string& name,
                      std::string& found) {
        for (const std::string& n : names) {
            if (EqualFoldingAscii(n, name)) {
                found = n;
                return true;
            }
        }
        return false;
    }
    std::mutex mutex_;
    std::unordered_map<std::string, std::vector<std::string>> listings_;
};

DirectoryCache gDirectoryCache;

// Folders around the story keep the operating system's own bytes. A folder name with no
// Shift-JIS form (or a current folder too long for the runtime's 260-byte buffers) is
// handed to the runtime as a short alias, "\x01" and a number, which ResolvePath turns
// back into the real bytes. No script writes a control character into a path.
constexpr char kAliasMark = '\x01';
constexpr size_t kLongestPlainFolder = 200;

class FolderAliases {
public:
    std::string AliasFor(const std::string& real) {
        std::lock_guard lock(mutex_);
        size_t index = 0;
        while (index < real_.size() && real_[index] != real) {
            ++index;
        }
        if (index == real_.size()) {
            real_.push_back(real);
        }
        return std::string(1, kAliasMark) + std::to_string(index);
    }
    bool Lookup(const std::string& alias, std::string& real) {
        if (alias.size() < 2 || alias[0] != kAliasMark) {
            return false;
        }
        size_t index = 0;
        for (size_t i = 1; i < alias.size(); ++i) {
            if (alias[i] < '0' || alias[i] > '9') {
                return false;
            }
            index = index * 10 + size_t(alias[i] - '0');
        }
        std::lock_guard lock(mutex_);
        if (index >= real_.size()) {
            return false;
        }
        real = real_[index];
        return true;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> real_;
};

FolderAliases gFolderAliases;

bool HasShiftJisForm(const std::string& utf8Name) {
    if (utf8Name.find_first_of(std::string("\\") + kAliasMark) != std::string::npos) {
        return false;
    }
    return ShiftJisToUtf8(Utf8ToShiftJis(utf8Name)) == utf8Name;
}

// The runtime's form of an absolute UTF-8 folder: Shift-JIS where it round-trips.
std::string FolderForRuntime(const std::string& utf8) {
    std::string out;
    size_t pos = 0;
    while (pos < utf8.size()) {
        size_t slash = utf8.find('/', pos);
        if (slash == std::string::npos) {
            slash = utf8.size();
        }
        std::string component = utf8.substr(pos, slash - pos);
        pos = slash + 1;
        if (component.empty()) {
            continue;
        }
        out += '/';
        out += HasShiftJisForm(component) ? Utf8ToShiftJis(component)
                                          : gFolderAliases.AliasFor(component);
    }
    if (out.empty()) {
        return "/";
    }
    return out.size() > kLongestPlainFolder ? "/" + gFolderAliases.AliasFor(utf8) : out;
}

// Replaces alias components of a decoded path by the bytes they stand for; an alias of
// a whole absolute folder replaces everything before it.
std::string ExpandAliases(const std::string& path) {
    if (path.find(kAliasMark) == std::string::npos) {
        return path;
    }
    std::string out;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos) {
            slash = path.size();
        }
        std::string component = path.substr(pos, slash - pos);
        std::string real;
        if (gFolderAliases.Lookup(component, real)) {
            if (!real.empty() && real[0] == '/') {
                out = real;
            } else {
                out += real;
            }
        } else {
            out += component;
        }
        if (slash < path.size()) {
            out += '/';
        }
        pos = slash + 1;
    }
    return out;
}

class PosixFileSystem final : public FileSystem {
public:
    int OpenRead(const char* sjisPath) override {
        std::string path = ResolvePath(sjisPath);
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            struct stat st {};
            if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
                ::close(fd);
                return -1;
            }
        }
        return fd;
    }
    int OpenWrite(const char* sjisPath, bool exclusiveCreate, bool append) override {
        std::string path = ResolvePath(sjisPath);
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
        if (exclusiveCreate) {
            flags |= O_EXCL;
        }
        if (append) {
            flags |= O_APPEND;
        }
        return ::open(path.c_str(), flags, 0644);
    }
    int64_t Size(int fd) override {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? int64_t(st.st_size) : -1;
    }
    int64_t Read(int fd, void* dst, size_t bytes) override {
        size_t done = 0;
        while (done < bytes) {
            ssize_t r = ::read(fd, static_cast<char*>(dst) + done, bytes - done);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r < 0) {
                return done > 0 ? int64_t(done) : -1;
            }
            if (r == 0) {
                break;
            }
            done += size_t(r);
        }
        return int64_t(done);
    }
    int64_t Write(int fd, const void* src, size_t bytes) override {
        size_t done = 0;
        while (done < bytes) {
            ssize_t r = ::write(fd, static_cast<const char*>(src) + done, bytes - done);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r <= 0) {
                return done > 0 ? int64_t(done) : -1;
            }
            done += size_t(r);
        }
        return int64_t(done);
    }
    bool SeekTo(int fd, int64_t position) override {
        return position >= 0 && ::lseek(fd, off_t(position), SEEK_SET) == off_t(position);
    }
    void Close(int fd) override {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    bool Remove(const char* sjisPath) override {
        return ::unlink(ResolvePath(sjisPath).c_str()) == 0;
    }
    bool Exists(const char* sjisPath) override { return ExistsUtf8(ResolvePath(sjisPath)); }
    bool IsDirectory(const char* sjisPath) override {
        struct stat st {};
        return ::stat(ResolvePath(sjisPath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    std::string CurrentDirectory() override {
        char* cwd = ::getcwd(nullptr, 0); // any length
        if (!cwd) {
            return {};
        }
        std::string folder = FolderForRuntime(cwd);
        std::free(cwd);
        return folder;
    }
    bool SetCurrentDirectory(const char* sjisPath) override {
        return ::chdir(ResolvePath(sjisPath).c_str()) == 0;
    }
    bool ListDirectory(const char* sjisPath, std::vector<FindEntry>& out) override {
        std::string dir = ResolvePath(sjisPath);
        DIR* d = ::opendir(dir.c_str());
        if (!d) {
            return false;
        }
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            FindEntry entry;
            entry.name = Utf8ToShiftJis(name);
            struct stat st {};
            if (::stat((dir + "/" + name).c_str(), &st) == 0) {
                entry.size = uint64_t(st.st_size);
                entry.isDirectory = S_ISDIR(st.st_mode);
            }
            out.push_back(std::move(entry));
        }
        ::closedir(d);
        return true;
    }
};

PosixFileSystem gPosixFiles;
FileSystem* gFiles = &gPosixFiles;

} // namespace

FileSystem& PosixFiles() {
    return gPosixFiles;
}
FileSystem& Files() {
    return *gFiles;
}
void SetFileSystem(FileSystem* fs) {
    gFiles = fs ? fs : &gPosixFiles;
}
void ForgetDirectoryCache() {
    gDirectoryCache.Clear();
}

std::string ResolvePath(const char* sjisPath) {
    // Decode first: a Shift-JIS trail byte 0x5C must not be taken for '\'.
    std::string path = ShiftJisToUtf8(sjisPath ? sjisPath : "");
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    path = ExpandAliases(path);
    if (path.empty() || ExistsUtf8(path)) {
        return path;
    }
    bool absolute = path[0] == '/';
    std::string resolved = absolute ? "/" : "";
    size_t pos = absolute ? 1 : 0;
    bool lost = false; // once a component is missing, the rest is appended as given
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos) {
            slash = path.size();
        }
        std::string component = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (component.empty()) {
            continue;
        }
        std::string base = resolved.empty() ? "." : resolved;
        std::string candidate =
            resolved.empty() ? component
                             : (resolved.back() == '/' ? resolved : resolved + "/") + component;
        if (!lost && !ExistsUtf8(candidate) && component != "." && component != "..") {
            std::string found;
            if (gDirectoryCache.FindFolded(base, component, found)) {
                candidate =
                    (resolved.empty() ? "" : (resolved.back() == '/' ? resolved : resolved + "/")) +
                    found;
            } else {
                lost = true;
            }
        }
        resolved = candidate;
    }
    return resolved.empty() ? path : resolved;
}

} // namespace velox::platform
