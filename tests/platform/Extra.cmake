# The headless frame files are read back with libpng; the SDL test asks a window to close
# the way a window manager does, through Xlib.
pkg_check_modules(VELOX_TEST_PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(VELOX_TEST_X11 REQUIRED IMPORTED_TARGET x11)
target_link_libraries(velox_platform_tests PRIVATE PkgConfig::VELOX_TEST_PNG
    PkgConfig::VELOX_TEST_X11)
