// A read-only file system held in memory for the fuzz targets: the file layer
// and the archive layer run unchanged over it, with no disk traffic per input.
// Names match without regard to ASCII case or to '\' versus '/'; the current
// directory is "/fuzz". The file layer's threads open and read their own
// handles, so every call takes the lock.
#pragma once

#include "platform/FileSystem.h"

#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velox::fuzz {

class MemoryFileSystem final : public platform::FileSystem {
public:
    // Puts (or replaces) a file; the path is relative to the current directory
    // or absolute.
    void Put(const std::string& path, const uint8_t* data, size_t size) {
        std::lock_guard<std::mutex> lock(mutex_);
        files_[Key(path.c_str())] = std::make_shared<std::vector<uint8_t>>(data, data + size);
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        files_.clear();
    }

    int OpenRead(const char* path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = files_.find(Key(path));
        if (found == files_.end()) {
            return -1;
        }
        for (size_t fd = 0; fd < open_.size(); ++fd) {
            if (!open_[fd].data) {
                open_[fd] = {found->second, 0};
                return int(fd);
            }
        }
        open_.push_back({found->second, 0});
        return int(open_.size() - 1);
    }
    int OpenWrite(const char*, bool, bool) override { return -1; }
    int64_t Size(int fd) override {
        std::lock_guard<std::mutex> lock(mutex_);
        Handle* h = At(fd);
        return h ? int64_t(h->data->size()) : -1;
    }
    int64_t Read(int fd, void* dst, size_t bytes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        Handle* h = At(fd);
        if (!h) {
            return -1;
        }
        const size_t size = h->data->size();
        const size_t n = h->position >= size ? 0 : std::min(bytes, size - h->position);
        if (n > 0) {
            std::memcpy(dst, h->data->data() + h->position, n);
        }
        h->position += n;
        return int64_t(n);
    }
    int64_t Write(int, const void*, size_t) override { return -1; }
    bool SeekTo(int fd, int64_t position) override {
        std::lock_guard<std::mutex> lock(mutex_);
        Handle* h = At(fd);
        if (!h || position < 0) {
            return false;
        }
        h->position = size_t(position);
        return true;
    }
    void Close(int fd) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (Handle* h = At(fd)) {
            h->data.reset();
        }
    }
    bool Remove(const char*) override { return false; }
    bool Exists(const char* path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return files_.count(Key(path)) != 0;
    }
    bool IsDirectory(const char* path) override {
        std::string key = Key(path);
        return key == "/" || key == "/FUZZ";
    }
    std::string CurrentDirectory() override { return "/fuzz"; }
    bool SetCurrentDirectory(const char*) override { return false; }
    bool ListDirectory(const char* path, std::vector<platform::FindEntry>& out) override {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string prefix = Key(path);
        if (prefix.empty() || prefix.back() != '/') {
            prefix += '/';
        }
        out.clear();
        for (const auto& [key, data] : files_) {
            if (key.compare(0, prefix.size(), prefix) == 0 &&
                key.find('/', prefix.size()) == std::string::npos) {
                platform::FindEntry entry{};
                entry.name = key.substr(prefix.size());
                entry.size = data->size();
                out.push_back(entry);
            }
        }
        return true;
    }

private:
    struct Handle {
        std::shared_ptr<std::vector<uint8_t>> data;
        size_t position;
    };

    Handle* At(int fd) {
        return fd >= 0 && size_t(fd) < open_.size() && open_[fd].data ? &open_[fd] : nullptr;
    }

    // Absolute, '/'-separated, upper case, without a drive letter.
    static std::string Key(const char* path) {
        std::string p = path ? path : "";
        if (p.size() >= 2 && std::isalpha(uint8_t(p[0])) && p[1] == ':') {
            p.erase(0, 2);
        }
        for (char& c : p) {
            c = c == '\\' ? '/' : char(std::toupper(uint8_t(c)));
        }
        if (p.empty() || p[0] != '/') {
            p = "/FUZZ/" + p;
        }
        return p;
    }

    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> files_;
    std::vector<Handle> open_;
};

} // namespace velox::fuzz
