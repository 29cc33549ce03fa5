// Plays `wait` on the SDL backend (a real window; run it under a display or Xvfb),
// once on an idle machine and once while two busy processes of its own hold both
// cores, and reports per run: the mean frame period and its spread, the drift of
// frame n against n x 33333 us after 300 and 3000 frames, and the share of one
// core the player used. Aim: mean within 10 us of 33333 us in both runs, drift
// under one frame after 3000 frames, CPU under 5 %.
//
//   bench_frame_pacing [--frames N] [--idle | --loaded]
#include "RunLoop.h"
#include "Scene.h"
#include "Script.h"

#include <velox/velox.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
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

// Busy processes, not threads: their CPU time must not count as the player's.
std::vector<pid_t> StartLoad(int count) {
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the bench
            volatile uint64_t spin = 0;
            for (;;) {
                spin = spin + 1;
            }
        }
        if (pid > 0) {
            children.push_back(pid);
        }
    }
    return children;
}

void StopLoad(const std::vector<pid_t>& children) {
    for (pid_t pid : children) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

struct Result {
    size_t frames = 0;
    double meanUs = 0, spreadUs = 0, worstUs = 0, cpuShare = 0;
    size_t stalls = 0; // periods more than 100 ms over: the machine held the player up
    bool drift300Known = false, drift3000Known = false;
    int64_t drift300 = 0, drift3000 = 0;
};

// Frame n's end against the first frame's end plus n periods.
int64_t DriftAt(size_t n) {
    return int64_t(gFrameEnds[n] - gFrameEnds[0]) - int64_t(n * velox::player::kFramePeriodUs);
}

bool PlayOnce(int frames, bool loaded, Result& out) {
    using namespace velox;
    // Frame n is measured against frame 0, so frame `frames` itself must be shown.
    std::ofstream(std::filesystem::path("story.txt"), std::ios::binary)
        << "wait " << frames / 3 + 1 << "\r\n";
    ChangeWindowMode(1);
    SetScreenMode(800, 600, 32, 60);
    SetLogOutput(0);
    if (StartRuntime() != 0) {
        std::fprintf(stderr, "frame_pacing: no window could be opened (needs a display)\n");
        return false;
    }
    player::ResetScript();
    player::ResetScene();
    player::ResetLoop();
    player::Loop().frameObserver = Observe;
    int32_t file = FileOpenRead("story.txt", 0);
    if (file == 0 || player::LoadScript(file) != 1) {
        std::fprintf(stderr, "frame_pacing: cannot load the story\n");
        ShutdownRuntime();
        return false;
    }
    gFrameEnds.clear();
    gFrameEnds.reserve(size_t(frames) + 8);
    std::vector<pid_t> load = loaded ? StartLoad(2) : std::vector<pid_t>{};
    double cpuStart = CpuSeconds();
    uint64_t wallStart = GetMicroCount(0);
    player::RunScript();
    double cpu = CpuSeconds() - cpuStart;
    double wall = double(GetMicroCount(0) - wallStart) * 1e-6;
    StopLoad(load);
    ShutdownRuntime();

    if (gFrameEnds.size() < 2) {
        std::fprintf(stderr, "frame_pacing: the story showed no frames\n");
        return false;
    }
    std::vector<double> periods;
    for (size_t i = 1; i < gFrameEnds.size(); ++i) {
        periods.push_back(double(gFrameEnds[i] - gFrameEnds[i - 1]));
    }
    double sum = 0, worst = 0;
    for (double p : periods) {
        sum += p;
        worst = std::max(worst, p);
        out.stalls += p > double(velox::player::kFramePeriodUs + 100000) ? 1 : 0;
    }
    out.frames = gFrameEnds.size();
    out.meanUs = sum / double(periods.size());
    double variance = 0;
    for (double p : periods) {
        variance += (p - out.meanUs) * (p - out.meanUs);
    }
    out.spreadUs = std::sqrt(variance / double(periods.size()));
    out.worstUs = worst;
    out.cpuShare = 100.0 * cpu / wall;
    if ((out.drift300Known = gFrameEnds.size() > 300)) {
        out.drift300 = DriftAt(300);
    }
    if ((out.drift3000Known = gFrameEnds.size() > 3000)) {
        out.drift3000 = DriftAt(3000);
    }
    return true;
}

std::string Drift(bool known, int64_t us) {
    return known ? std::to_string(us) + " us" : std::string("n/a");
}

} // namespace

int main(int argc, char** argv) {
    int frames = 3000;
    bool idle = true, loaded = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            frames = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--idle") == 0) {
            loaded = false;
        } else if (std::strcmp(argv[i], "--loaded") == 0) {
            idle = false;
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--idle | --loaded]\n", argv[0]);
            return 2;
        }
    }
    if (frames < 2) {
        std::fprintf(stderr, "frame_pacing: --frames needs at least 2\n");
        return 2;
    }
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("velox-frame-pacing-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);

    int status = 0;
    for (int pass = 0; pass < 2; ++pass) {
        bool withLoad = pass == 1;
        if ((withLoad && !loaded) || (!withLoad && !idle)) {
            continue;
        }
        Result r;
        if (!PlayOnce(frames, withLoad, r)) {
            status = 1;
            break;
        }
        std::printf("%-6s frames %zu  mean period %.1f us (target 33333)  spread %.1f us  "
                    "worst %.0f us  stalls %zu  drift@300 %s  drift@3000 %s  cpu %.1f %%\n",
                    withLoad ? "loaded" : "idle", r.frames, r.meanUs, r.spreadUs, r.worstUs,
                    r.stalls, Drift(r.drift300Known, r.drift300).c_str(),
                    Drift(r.drift3000Known, r.drift3000).c_str(), r.cpuShare);
        std::fflush(stdout);
    }
    fs::current_path(fs::temp_directory_path());
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return status;
}
