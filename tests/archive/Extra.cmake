# The archive tests pack their archives with the vla tool's library, and run the tool itself.
target_link_libraries(velox_archive_tests PRIVATE velox_vla)
add_dependencies(velox_archive_tests vla)
target_compile_definitions(velox_archive_tests PRIVATE VLA_PROGRAM="$<TARGET_FILE:vla>")
