# The end-to-end tests run the built player (and the archive packer and the demo
# generator) on the story folders they write.
add_dependencies(velox_player_tests velox-player vla make-demo)
target_compile_definitions(velox_player_tests PRIVATE
    VELOX_PLAYER_BINARY="$<TARGET_FILE:velox-player>"
    VELOX_VLA_BINARY="$<TARGET_FILE:vla>"
    VELOX_MAKE_DEMO_BINARY="$<TARGET_FILE:make-demo>")
target_compile_definitions(velox_player_tests PRIVATE
    VELOX_README="${PROJECT_SOURCE_DIR}/README.md")
# The window cases send the window manager's close request through Xlib.
target_link_libraries(velox_player_tests PRIVATE PkgConfig::VX_X11)
