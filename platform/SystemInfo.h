// What the runtime reports about the machine at start-up.
#pragma once

#include <cstdint>
#include <string>

namespace velox::platform {

struct OperatingSystemInfo {
    std::string name;    // "Linux 6.1": kernel name and major.minor release
    int build = 0;       // the third number of the release, 0 when there is none
    std::string release; // the full release text, "6.1.0-18-amd64"
};
OperatingSystemInfo QueryOperatingSystem();

struct ProcessorInfo {
    bool hasIdentification = false; // the cpuid instruction exists
    bool hasMmx = false;
    char vendor[13] = {};
    char brand[49] = {}; // empty when the processor reports none
};
ProcessorInfo QueryProcessor();

struct MemoryInfo {
    uint64_t totalBytes = 0;
    uint64_t freeBytes = 0; // what programs can still obtain without swapping
};
MemoryInfo QueryMemory();

} // namespace velox::platform
