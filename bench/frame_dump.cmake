# The yardstick is the earlier libpng writer, called directly.
pkg_check_modules(BENCH_FRAME_DUMP REQUIRED IMPORTED_TARGET libpng)
target_link_libraries(bench_${name} PRIVATE PkgConfig::BENCH_FRAME_DUMP)
