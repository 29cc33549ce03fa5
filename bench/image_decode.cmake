# The side-by-side runs call libpng and libjpeg directly, and encode the pictures.
pkg_check_modules(BENCH_IMAGE_CODECS REQUIRED IMPORTED_TARGET libpng libjpeg)
target_link_libraries(bench_${name} PRIVATE PkgConfig::BENCH_IMAGE_CODECS)
