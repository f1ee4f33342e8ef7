# cmake --install: the library with its SONAME link, the static archive
# libtavo.a, the public headers, a pkg-config file and a CMake package
# (find_package(tavo) -> tavo::tavo, tavo::tavo_static).
# The simulator module installs only as its own component:
#   cmake --install <build> --component simulator
include(CMakePackageConfigHelpers)

install(TARGETS tavo EXPORT tavoTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(TARGETS tavo_static EXPORT tavoTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tavo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development)
install(EXPORT tavoTargets NAMESPACE tavo:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tavo
        COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tavoConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/tavoConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tavo)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tavoConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tavoConfig.cmake ${PROJECT_BINARY_DIR}/tavoConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tavo COMPONENT development)
# The .pc file finds the prefix from its own place, so an install moved
# with --prefix or DESTDIR stays usable.
string(REGEX REPLACE "[^/]+" ".." TAVO_PC_UP "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tavo.pc.in ${PROJECT_BINARY_DIR}/tavo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tavo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

install(TARGETS tavo-sim LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT simulator EXCLUDE_FROM_ALL)
