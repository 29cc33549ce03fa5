# The graphic tests write their PNG files with libpng and pack archives with the vla tool.
pkg_check_modules(GRAPHIC_TEST_CODECS REQUIRED IMPORTED_TARGET libpng zlib)
target_link_libraries(velox_graphic_tests PRIVATE PkgConfig::GRAPHIC_TEST_CODECS velox_vla)
