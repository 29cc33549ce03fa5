# The yardstick is the earlier libpng writer, called directly.
target_link_libraries(bench_${name} PRIVATE PkgConfig::VX_PNG)
