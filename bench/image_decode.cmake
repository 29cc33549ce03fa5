# The side-by-side runs call libpng and libjpeg directly, and encode the pictures.
target_link_libraries(bench_${name} PRIVATE PkgConfig::VX_PNG PkgConfig::VX_JPEG)
