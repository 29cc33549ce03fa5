# The target drives the synthesiser's file player itself.
target_link_libraries(MidiFuzz PRIVATE PkgConfig::VX_FLUIDSYNTH)
