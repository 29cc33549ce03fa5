# The sound tests write their own sound files: Ogg Vorbis with libvorbisenc and
# MP3 with libmp3lame, linked into the test program only.
target_sources(velox_sound_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SoundFiles.cpp)
target_include_directories(velox_sound_tests PRIVATE ${VELOX_MP3LAME_INCLUDE})
target_link_libraries(velox_sound_tests PRIVATE PkgConfig::VX_VORBISENC ${VELOX_MP3LAME_LIBRARY})
# The runtime-level sound tests share a headless fixture that captures the mix.
target_sources(velox_sound_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SoundRuntime.cpp)
