// hello: a picture turning in an 800 x 600 window, a line of text and a sound.
// Usage: hello [--log] PICTURE [SOUND]. Escape or closing the window quits. The runtime
// writes Log.txt into the current folder only with --log.
#include <velox/velox.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    bool log = argc > 1 && std::strcmp(argv[1], "--log") == 0;
    if (log) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: hello [--log] PICTURE [SOUND]\n");
        return 2;
    }
    velox::SetLogOutput(log ? 1 : 0);
    velox::ChangeWindowMode(1);
    velox::SetScreenMode(800, 600, 32, 60);
    if (velox::StartRuntime() == -1) {
        std::fprintf(stderr, "hello: the runtime did not start\n");
        return 1;
    }
    velox::SetDrawTarget(velox::kDrawBackBuffer);
    int picture = velox::LoadGraphic(argv[1], 0);
    if (picture == -1) {
        std::fprintf(stderr, "hello: cannot load %s\n", argv[1]);
        velox::ShutdownRuntime();
        return 1;
    }
    int width = 0;
    int height = 0;
    velox::GetGraphicSize(picture, &width, &height);
    if (argc > 2) {
        int sound = velox::LoadSound(argv[2], 1, -1);
        velox::PlaySoundHandle(sound, 1, 1); // once, in the background
    }
    uint32_t white = velox::GetColorValue(255, 255, 255);
    char keys[256] = {};
    for (double angle = 0; velox::ProcessMessage() != -1 && !keys[1]; angle += 0.02) {
        velox::ClearScreen();
        velox::DrawGraphicRotated(400, 300, width / 2, height / 2, 1.0, angle, picture, 1, 0);
        velox::PrintText(10, 10, "Hello from Velox. Escape quits.", white, 0);
        velox::FlipScreen();
        velox::GetAllKeyState(keys);
    }
    velox::ShutdownRuntime();
    return 0;
}
