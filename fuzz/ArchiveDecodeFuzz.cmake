# The round-trip half of the target needs the packer's encoder.
target_link_libraries(ArchiveDecodeFuzz PRIVATE velox_vla)
