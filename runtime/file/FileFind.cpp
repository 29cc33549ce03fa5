#include "file/FileFind.h"

#include "core/MemoryTracker.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <fnmatch.h>
#include <new>
#include <string>
#include <vector>

namespace velox::file {
namespace {

struct FindRecord {
    std::vector<platform::FindEntry> entries;
    size_t next = 0;
};

void Fill(const platform::FindEntry& e, FileFindInfo* info) {
    std::snprintf(info->name, sizeof info->name, "%s", e.name.c_str());
    info->isDirectory = e.isDirectory ? 1 : 0;
    info->size = int64_t(e.size);
}

} // namespace

intptr_t FileFindFirst(const char* pattern, FileFindInfo* info) {
    std::string p = pattern ? pattern : "";
    for (char& c : p) {
        if (c == '\\') {
            c = '/';
        }
    }
    size_t slash = p.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".")
                      : slash == 0               ? std::string(1, '/')
                                                 : p.substr(0, slash);
    std::string wildcard = slash == std::string::npos ? p : p.substr(slash + 1);
    std::vector<platform::FindEntry> all;
    if (!platform::Files().ListDirectory(dir.c_str(), all)) {
        return -1;
    }
    void* memory = MemAlloc(int32_t(sizeof(FindRecord)), nullptr, 0);
    if (!memory) {
        return -1;
    }
    auto* find = new (memory) FindRecord;
    for (auto& e : all) {
        if (fnmatch(wildcard.c_str(), e.name.c_str(), FNM_CASEFOLD) == 0) {
            find->entries.push_back(std::move(e));
        }
    }
    if (find->entries.empty()) {
        find->~FindRecord();
        MemFree(memory);
        return -1;
    }
    Fill(find->entries[0], info);
    find->next = 1;
    return reinterpret_cast<intptr_t>(find);
}

int FileFindNext(intptr_t handle, FileFindInfo* info) {
    auto* find = reinterpret_cast<FindRecord*>(handle);
    if (handle == -1 || !find || find->next >= find->entries.size()) {
        return -1;
    }
    Fill(find->entries[find->next++], info);
    return 0;
}

int FileFindClose(intptr_t handle) {
    auto* find = reinterpret_cast<FindRecord*>(handle);
    if (handle == -1 || !find) {
        return 0;
    }
    find->~FindRecord();
    MemFree(find);
    return 0;
}

} // namespace velox::file
