#include "platform/SystemInfo.h"

#include <cstdio>
#include <cstring>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace velox::platform {

OperatingSystemInfo QueryOperatingSystem() {
    OperatingSystemInfo info;
    utsname u{};
    if (uname(&u) != 0) {
        info.name = "Unknown";
        return info;
    }
    info.release = u.release;
    int major = 0, minor = 0, patch = 0;
    const int fields = std::sscanf(u.release, "%d.%d.%d", &major, &minor, &patch);
    info.name = u.sysname;
    if (fields >= 2) {
        info.name += " " + std::to_string(major) + "." + std::to_string(minor);
    } else if (fields == 1) {
        info.name += " " + std::to_string(major);
    }
    info.build = fields >= 3 ? patch : 0;
    return info;
}

ProcessorInfo QueryProcessor() {
    ProcessorInfo info;
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0, &a, &b, &c, &d)) {
        return info;
    }
    info.hasIdentification = true;
    std::memcpy(info.vendor + 0, &b, 4);
    std::memcpy(info.vendor + 4, &d, 4);
    std::memcpy(info.vendor + 8, &c, 4);
    if (a >= 1 && __get_cpuid(1, &a, &b, &c, &d)) {
        info.hasMmx = (d & (1u << 23)) != 0;
    }
    if (__get_cpuid(0x80000000u, &a, &b, &c, &d) && a >= 0x80000004u) {
        unsigned words[12] = {};
        for (unsigned leaf = 0; leaf < 3; ++leaf) {
            __get_cpuid(0x80000002u + leaf, &words[leaf * 4], &words[leaf * 4 + 1],
                        &words[leaf * 4 + 2], &words[leaf * 4 + 3]);
        }
        std::memcpy(info.brand, words, 48);
        info.brand[48] = '\0';
    }
#endif
    return info;
}

MemoryInfo QueryMemory() {
    MemoryInfo info;
    // MemAvailable counts the page cache that can be given back, as "free" should.
    if (FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kb = 0;
        while (std::fgets(line, sizeof line, f)) {
            if (std::sscanf(line, "MemTotal: %llu kB", &kb) == 1) {
                info.totalBytes = kb * 1024ull;
            } else if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
                info.freeBytes = kb * 1024ull;
            }
        }
        std::fclose(f);
    }
    if (info.totalBytes == 0) {
        struct sysinfo si {};
        if (sysinfo(&si) == 0) {
            info.totalBytes = uint64_t(si.totalram) * si.mem_unit;
            info.freeBytes = uint64_t(si.freeram) * si.mem_unit;
        }
    }
    return info;
}

} // namespace velox::platform
