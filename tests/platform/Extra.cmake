# The headless frame files are read back with libpng; the SDL test asks a window to close
# the way a window manager does, through Xlib.
target_link_libraries(velox_platform_tests PRIVATE PkgConfig::VX_PNG PkgConfig::VX_X11)
