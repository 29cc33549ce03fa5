# The target drives the synthesiser's file player itself.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FUZZ_FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
target_link_libraries(MidiFuzz PRIVATE PkgConfig::FUZZ_FLUIDSYNTH)
