# The sound sync benchmark names the SDL audio driver it measured.
pkg_check_modules(BENCH_SOUND_SYNC REQUIRED IMPORTED_TARGET sdl2)
target_link_libraries(bench_sound_sync PRIVATE PkgConfig::BENCH_SOUND_SYNC)
