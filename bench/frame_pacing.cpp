// Plays 300 frames of `wait` on the SDL backend (a real window; run it under a
// display or Xvfb) and reports the mean frame period, its spread and the CPU
// time the process used. Aim: mean within 0.1 ms of 33333 us, CPU under 10 %.
#include "RunLoop.h"
#include "Scene.h"
#include "Script.h"

#include <velox/velox.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

std::vector<uint64_t> gFrameEnds;

void Observe(uint64_t frameEndUs) {
    gFrameEnds.push_back(frameEndUs);
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace

int main() {
    using namespace velox;
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "velox-frame-pacing";
    fs::create_directories(dir);
    std::ofstream(dir / "story.txt", std::ios::binary) << "wait 100\r\n";
    fs::current_path(dir);

    ChangeWindowMode(1);
    SetScreenMode(800, 600, 32, 60);
    SetLogOutput(0);
    if (StartRuntime() != 0) {
        std::fprintf(stderr, "frame_pacing: no window could be opened (needs a display)\n");
        return 1;
    }
    player::ResetScript();
    player::ResetScene();
    player::ResetLoop();
    player::Loop().frameObserver = Observe;
    int32_t file = FileOpenRead("story.txt", 0);
    if (file == 0 || player::LoadScript(file) != 1) {
        std::fprintf(stderr, "frame_pacing: cannot load the story\n");
        ShutdownRuntime();
        return 1;
    }
    double cpuStart = CpuSeconds();
    uint64_t wallStart = GetMicroCount(0);
    player::RunScript();
    double cpu = CpuSeconds() - cpuStart;
    double wall = double(GetMicroCount(0) - wallStart) * 1e-6;
    ShutdownRuntime();

    std::vector<double> periods;
    for (size_t i = 1; i < gFrameEnds.size(); ++i) {
        periods.push_back(double(gFrameEnds[i] - gFrameEnds[i - 1]));
    }
    double mean = 0;
    for (double p : periods) {
        mean += p;
    }
    mean /= double(periods.size());
    double variance = 0;
    for (double p : periods) {
        variance += (p - mean) * (p - mean);
    }
    double spread = std::sqrt(variance / double(periods.size()));
    std::printf("frames %zu  mean period %.1f us (target 33333)  spread %.1f us  "
                "cpu %.3f s of %.3f s wall (%.1f %%)\n",
                gFrameEnds.size(), mean, spread, cpu, wall, 100.0 * cpu / wall);
    return 0;
}
