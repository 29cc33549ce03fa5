// headless: renders a few frames without a window or a sound device and writes each as a
// PNG file. The run is on a virtual clock, so it gives the same files on every machine.
// Usage: headless FOLDER [FRAMES]; FOLDER/000001.png ... and FOLDER/frames.ffconcat.
#include <velox/headless.h>
#include <velox/velox.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: headless FOLDER [FRAMES]\n");
        return 2;
    }
    const int frames = argc > 2 ? std::atoi(argv[2]) : 5;
    if (frames < 1 || frames > 1000) {
        std::fprintf(stderr, "headless: FRAMES is 1 to 1000\n");
        return 2;
    }
    // Escape is held from virtual second 10 on: a program that waits for it always ends.
    const velox::HeadlessKey keys[] = {{1, 10000, UINT32_MAX}};
    velox::HeadlessOptions options;
    options.frameFolder = argv[1];
    options.keys = keys;
    options.keyCount = 1;
    if (velox::SelectHeadlessBackend(&options) == -1) {
        std::fprintf(stderr, "headless: cannot write frames into %s\n", argv[1]);
        return 1;
    }
    velox::SetLogOutput(0);
    velox::ChangeWindowMode(1);
    velox::SetScreenMode(800, 600, 32, 60);
    if (velox::StartRuntime() == -1) {
        std::fprintf(stderr, "headless: the runtime did not start\n");
        return 1;
    }
    velox::SetDrawTarget(velox::kDrawBackBuffer);
    const uint64_t first = velox::GetPresentedFrameCount();
    const uint32_t white = velox::GetColorValue(255, 255, 255);
    char down[256] = {};
    for (int frame = 0; frame < frames && !down[1]; ++frame) {
        velox::ClearScreen();
        velox::PrintTextFormat(20 + 30 * (frame % 20), 40 + 20 * (frame % 25), white,
                               "frame %d at %llu ms", frame + 1,
                               static_cast<unsigned long long>(velox::GetHeadlessTime() / 1000));
        velox::FlipScreen();
        velox::SleepMicros(20000); // 50 frames a second of virtual time
        velox::GetAllKeyState(down);
    }
    const uint64_t presented = velox::GetPresentedFrameCount() - first;
    velox::ShutdownRuntime();
    if (velox::FinishHeadlessFrames() == -1) {
        std::fprintf(stderr, "headless: some frames could not be written to %s\n", argv[1]);
        return 1;
    }
    std::printf("frames=%llu time_us=%llu\n", static_cast<unsigned long long>(presented),
                static_cast<unsigned long long>(velox::GetHeadlessTime()));
    return 0;
}
