# The graphic tests write their PNG files with libpng and pack archives with the vla tool.
target_link_libraries(velox_graphic_tests PRIVATE PkgConfig::VX_PNG PkgConfig::VX_ZLIB velox_vla)
