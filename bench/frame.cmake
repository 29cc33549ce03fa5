# The frame benchmark draws the same picture with pixman and SDL2's software renderer.
pkg_check_modules(BENCH_FRAME REQUIRED IMPORTED_TARGET pixman-1 sdl2)
target_link_libraries(bench_frame PRIVATE PkgConfig::BENCH_FRAME)
