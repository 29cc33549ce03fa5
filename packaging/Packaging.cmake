# Debian packages from the install components (`make package`):
#   velox-player   the player, vla, make-demo, manual pages, desktop entry, completion
#   libvelox0      the shared library
#   libvelox-dev   headers, static library, velox.pc, the CMake package, examples
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velox)
set(CPACK_PACKAGE_VENDOR "Velox developers")
set(CPACK_PACKAGE_CONTACT "Velox developers <velox@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "2D media runtime and script-driven scene player")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL player runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_PLAYER_PACKAGE_NAME velox-player)
set(CPACK_DEBIAN_PLAYER_PACKAGE_SECTION games)
set(CPACK_COMPONENT_PLAYER_DESCRIPTION
    "Scene player for Velox stories\n velox-player plays a folder's story.txt: pictures shown and moved over a\n background, sound effects and music, at 30 frames a second, in a window or\n headless into frames and a WAV file. vla packs story folders into archives.")
# The General MIDI SoundFont and the Japanese font the player looks for.
set(CPACK_DEBIAN_PLAYER_PACKAGE_RECOMMENDS "timgm6mb-soundfont, fonts-ipafont-gothic")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvelox${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "Velox 2D media runtime (shared library)\n Windowed or full-screen software graphics, text, sound and music, with a\n deterministic headless backend.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvelox-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "Velox 2D media runtime (development files)\n Headers, the static library, velox.pc, the Velox CMake package and examples.")

include(CPack)
