# What developers of hosts install: the public headers, a pkg-config file and
# a CMake package.  Hosts load the driver with dlopen, so neither names a
# library to link; both name the installed driver file instead.
include(CMakePackageConfigHelpers)

set(VELDLDAP_DRIVER_FILE_NAME libveldldap64.so.15.5.0)
set(VELDLDAP_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/veldldap)
set(VELDLDAP_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set_target_properties(veldldap_interface PROPERTIES EXPORT_NAME interface)
install(TARGETS veldldap_interface EXPORT veldldap-targets
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT devel)
install(EXPORT veldldap-targets NAMESPACE veldldap:: DESTINATION ${VELDLDAP_CMAKE_DIR}
  COMPONENT devel)

# Both files find the installation from where they lie, so an installed tree
# can be moved.
set(VELDLDAP_DRIVER_PATH ${VELDLDAP_INSTALL_DRIVERDIR}/${VELDLDAP_DRIVER_FILE_NAME})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/veldldap-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/packaging/veldldap-config.cmake
  INSTALL_DESTINATION ${VELDLDAP_CMAKE_DIR}
  PATH_VARS VELDLDAP_DRIVER_PATH)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/packaging/veldldap-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/veldldap-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/packaging/veldldap-config-version.cmake
  DESTINATION ${VELDLDAP_CMAKE_DIR} COMPONENT devel)

file(RELATIVE_PATH VELDLDAP_PKGCONFIG_TO_PREFIX /prefix/${VELDLDAP_PKGCONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" VELDLDAP_PKGCONFIG_TO_PREFIX "${VELDLDAP_PKGCONFIG_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/veldldap.pc.in ${CMAKE_CURRENT_BINARY_DIR}/packaging/veldldap.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/veldldap.pc DESTINATION ${VELDLDAP_PKGCONFIG_DIR}
  COMPONENT devel)
