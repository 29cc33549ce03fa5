# What `cmake --install` puts under the prefix: libvelox (shared and static, each with the
# platform layer inside), velox/velox.h, velox.pc, the Velox CMake package, the two
# programs and their manual pages. The package files find the prefix from where they
# lie, so the tree can be moved (or installed with --prefix) after it was configured.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELOX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Velox)
set(VELOX_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS velox_shared velox_static velox-player vla
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/runtime/include/velox/velox.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velox)
install(FILES ${PROJECT_SOURCE_DIR}/man/velox-player.1 ${PROJECT_SOURCE_DIR}/man/vla.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Paths from each package file's folder back to the prefix.
file(RELATIVE_PATH VELOX_PC_TO_PREFIX /root/${VELOX_PKGCONFIG_DIR} /root)
file(RELATIVE_PATH VELOX_CONFIG_TO_PREFIX /root/${VELOX_CMAKE_DIR} /root)
list(JOIN VELOX_PKG_MODULES " " VELOX_PC_REQUIRES)
set(VELOX_PC_MODULES ${VELOX_PKG_MODULES})
list(REMOVE_ITEM VELOX_PC_MODULES ${VELOX_PC_DIRECT_MODULES})
list(JOIN VELOX_PC_MODULES " " VELOX_PC_REQUIRES_PRIVATE)

configure_file(${CMAKE_CURRENT_LIST_DIR}/velox.pc.in ${PROJECT_BINARY_DIR}/velox.pc @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/VeloxConfig.cmake.in
    ${PROJECT_BINARY_DIR}/VeloxConfig.cmake @ONLY)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VeloxConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velox.pc DESTINATION ${VELOX_PKGCONFIG_DIR})
install(FILES ${PROJECT_BINARY_DIR}/VeloxConfig.cmake ${PROJECT_BINARY_DIR}/VeloxConfigVersion.cmake
    DESTINATION ${VELOX_CMAKE_DIR})
