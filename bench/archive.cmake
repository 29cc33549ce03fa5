# Packs with the vla tool's library and compares against zlib on the same bytes.
target_link_libraries(bench_archive PRIVATE velox_vla PkgConfig::VX_ZLIB)
