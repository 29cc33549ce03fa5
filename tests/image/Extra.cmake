# The image tests write their PNG and JPEG files with the libraries' encoders.
pkg_check_modules(IMAGE_TEST_CODECS REQUIRED IMPORTED_TARGET libpng libjpeg zlib)
target_link_libraries(velox_image_tests PRIVATE PkgConfig::IMAGE_TEST_CODECS)
