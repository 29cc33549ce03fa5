# The image tests write their PNG and JPEG files with the libraries' encoders.
target_link_libraries(velox_image_tests PRIVATE PkgConfig::VX_PNG PkgConfig::VX_JPEG PkgConfig::VX_ZLIB)
