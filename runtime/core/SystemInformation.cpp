#include "core/Log.h"
#include "core/Runtime.h"
#include "core/ShiftJis.h"
#include "core/Timing.h"
#include "platform/DebugOutput.h"
#include "platform/SystemInfo.h"

#include <cstdio>
#include <string>

namespace velox::core {
namespace {

constexpr const char* kVersion = "2.24c";
constexpr double kBytesToMegabytes = 9.5367431640625e-07;

} // namespace

void LogSystemInformation() {
    LogWrite(SJIS("システムの情報を出力します\n"));
    LogWriteFormat(SJIS("Ｖｅｌｏｘライブラリ Ver%s\n"), kVersion);

    LogWrite(SJIS("ＯＳ  "));
    const platform::OperatingSystemInfo os = platform::QueryOperatingSystem();
    LogWriteFormat("%s ( Build %d %s )", os.name.c_str(), os.build, os.release.c_str());

    MeasureCpuClock();

    const platform::ProcessorInfo cpu = platform::QueryProcessor();
    if (!cpu.hasIdentification) {
        LogWrite(SJIS("ＣＰＵＩＤ命令は使えません\n"));
        return;
    }
    LogWrite(cpu.hasMmx ? SJIS("ＭＭＸ命令を使用します\n") : SJIS("ＭＭＸは使えません\n"));
    std::string vendor = std::string(SJIS("ＣＰＵベンダ：")) + cpu.vendor + "\n";
    LogWrite(vendor.c_str());
    if (cpu.brand[0] != '\0') {
        LogWriteFormat(SJIS("ＣＰＵ名：%s"), cpu.brand);
    }
}

void LogMemoryStatus() {
    const platform::MemoryInfo memory = platform::QueryMemory();
    const double total = double(memory.totalBytes) * kBytesToMegabytes;
    const double free = double(memory.freeBytes) * kBytesToMegabytes;
    LogWriteFormat(SJIS("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB "), total, free);
    // The debugger output carries the log; with the log off it stays quiet too.
    if (log_detail::State().enabled) {
        char line[64];
        std::snprintf(line, sizeof line, "%.2fMB\n", free);
        platform::DebugOutput(line);
    }
}

} // namespace velox::core
