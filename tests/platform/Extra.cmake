# The headless frame files are read back with libpng.
pkg_check_modules(VELOX_TEST_PNG REQUIRED IMPORTED_TARGET libpng)
target_link_libraries(velox_platform_tests PRIVATE PkgConfig::VELOX_TEST_PNG)
