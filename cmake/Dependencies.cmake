# Every outside package the tree uses, found once. The targets are global, so each
# folder links what it needs by name (PkgConfig::VX_PNG, ...).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)

macro(velox_find_modules name)
    pkg_check_modules(${name} REQUIRED IMPORTED_TARGET GLOBAL ${ARGN})
endmacro()

# The runtime's data decoders (called directly, not through the platform layer).
velox_find_modules(VX_PNG libpng)
velox_find_modules(VX_JPEG libjpeg)
velox_find_modules(VX_VORBIS vorbisfile vorbis ogg)
# The platform layer's services.
velox_find_modules(VX_SDL2 sdl2)
velox_find_modules(VX_MPG123 libmpg123)
velox_find_modules(VX_FLUIDSYNTH fluidsynth)
velox_find_modules(VX_FONTS freetype2 fontconfig)
velox_find_modules(VX_DEFLATE libdeflate)
velox_find_modules(VX_FFMPEG libavformat libavcodec libswscale libswresample libavutil)

set(VELOX_RUNTIME_PACKAGES PkgConfig::VX_PNG PkgConfig::VX_JPEG PkgConfig::VX_VORBIS)
set(VELOX_PLATFORM_PACKAGES PkgConfig::VX_SDL2 PkgConfig::VX_MPG123
    PkgConfig::VX_FLUIDSYNTH PkgConfig::VX_FONTS PkgConfig::VX_DEFLATE PkgConfig::VX_FFMPEG)

# What a program linking libvelox.a statically needs besides it: the libraries alone,
# so velox.pc and the CMake package ask for no other package's files.
set(VELOX_STATIC_LINK_FLAGS)
foreach(name VX_SDL2 VX_PNG VX_JPEG VX_VORBIS VX_MPG123 VX_FLUIDSYNTH VX_FONTS VX_DEFLATE
        VX_FFMPEG)
    foreach(flag ${${name}_LDFLAGS})
        if(flag MATCHES "^-l" AND NOT flag IN_LIST VELOX_STATIC_LINK_FLAGS)
            list(APPEND VELOX_STATIC_LINK_FLAGS ${flag})
        endif()
    endforeach()
endforeach()

# make-demo and the tests encode their own pictures and sounds.
velox_find_modules(VX_VORBISENC vorbisenc vorbis ogg)
find_library(VELOX_MP3LAME_LIBRARY mp3lame REQUIRED)
find_path(VELOX_MP3LAME_INCLUDE lame/lame.h REQUIRED)
# Only the tests and benches use zlib and X11.
if(VELOX_TESTS OR VELOX_BENCH)
    velox_find_modules(VX_ZLIB zlib)
endif()
if(VELOX_TESTS)
    velox_find_modules(VX_X11 x11)
endif()
if(VELOX_BENCH)
    velox_find_modules(VX_PIXMAN pixman-1)
endif()
