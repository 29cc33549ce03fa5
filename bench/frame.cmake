# The frame benchmark draws the same picture with pixman and SDL2's software renderer.
target_link_libraries(bench_frame PRIVATE PkgConfig::VX_PIXMAN PkgConfig::VX_SDL2)
