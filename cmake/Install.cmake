# What `cmake --install` puts under the prefix, in three components that become the
# Debian packages (packaging/Packaging.cmake):
#   player   velox-player, vla, make-demo, manual pages, desktop entry, icon, completion
#   runtime  libvelox.so.MAJOR
#   dev      velox/*.h, libvelox.a, the .so link, velox.pc, the Velox CMake package, examples
# The package files find the prefix from where they lie, so the tree can be moved (or
# installed with --prefix) after it was configured.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELOX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Velox)
set(VELOX_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS velox-player vla make-demo
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT player)
install(TARGETS velox_shared
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(TARGETS velox_static
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/runtime/include/velox
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libvelox-dev/examples COMPONENT dev
    PATTERN demo EXCLUDE)

install(FILES ${PROJECT_SOURCE_DIR}/man/velox-player.1 ${PROJECT_SOURCE_DIR}/man/vla.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT player)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/velox-player.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT player)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/velox-player.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT player)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/completion/velox-player
    ${PROJECT_SOURCE_DIR}/packaging/completion/vla
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT player)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velox-player COMPONENT player)

# Paths from each package file's folder back to the prefix.
file(RELATIVE_PATH VELOX_PC_TO_PREFIX /root/${VELOX_PKGCONFIG_DIR} /root)
file(RELATIVE_PATH VELOX_CONFIG_TO_PREFIX /root/${VELOX_CMAKE_DIR} /root)
list(JOIN VELOX_STATIC_LINK_FLAGS " " VELOX_PC_LIBS_PRIVATE)

configure_file(${CMAKE_CURRENT_LIST_DIR}/velox.pc.in ${PROJECT_BINARY_DIR}/velox.pc @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/VeloxConfig.cmake.in
    ${PROJECT_BINARY_DIR}/VeloxConfig.cmake @ONLY)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VeloxConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velox.pc DESTINATION ${VELOX_PKGCONFIG_DIR} COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/VeloxConfig.cmake ${PROJECT_BINARY_DIR}/VeloxConfigVersion.cmake
    DESTINATION ${VELOX_CMAKE_DIR} COMPONENT dev)
