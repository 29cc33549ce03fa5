# Packs with the vla tool's library and compares against zlib on the same bytes.
pkg_check_modules(BENCH_ZLIB REQUIRED IMPORTED_TARGET zlib)
target_link_libraries(bench_archive PRIVATE velox_vla PkgConfig::BENCH_ZLIB)
