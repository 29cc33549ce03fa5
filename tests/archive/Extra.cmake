# The archive tests pack their archives with the vla tool's library.
target_link_libraries(velox_archive_tests PRIVATE velox_vla)
