# The sound sync benchmark names the SDL audio driver it measured.
target_link_libraries(bench_sound_sync PRIVATE PkgConfig::VX_SDL2)
