# The sound tests write their own sound files: Ogg Vorbis with libvorbisenc and
# MP3 with libmp3lame, linked into the test program only.
pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
find_library(VELOX_MP3LAME_LIBRARY mp3lame REQUIRED)
find_path(VELOX_MP3LAME_INCLUDE lame/lame.h REQUIRED)
target_sources(velox_sound_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SoundFiles.cpp)
target_include_directories(velox_sound_tests PRIVATE ${VELOX_MP3LAME_INCLUDE})
target_link_libraries(velox_sound_tests PRIVATE PkgConfig::VORBISENC ${VELOX_MP3LAME_LIBRARY})
# The runtime-level sound tests share a headless fixture that captures the mix.
target_sources(velox_sound_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SoundRuntime.cpp)
