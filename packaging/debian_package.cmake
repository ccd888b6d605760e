# Debian packages made by CPack from this build: `cpack -G DEB` in the build
# directory, after building the target "dist".
#   veldldap      the driver with its lib3p64 link, veldir, velenc, the
#                 schema and the man pages
#   veldldap-dev  the host interface: headers, pkg-config file, CMake package
# Installed under /usr; the driver and its lib3p64 directory in the private
# directory /usr/lib/<multiarch>/veldldap/, where veldir finds them relative
# to its own binary.

# Library dependencies are computed by dpkg-shlibdeps from the packaged
# binaries.  It cannot see the driver's need of the OpenLDAP client library:
# the driver links none, it loads the library through the lib3p64 link at run
# time.  veldir, in the same package, links that very library (for
# ldap_err2string), so the dependency on the library's package comes from
# shlibdeps all the same, with the version its symbols need.  Stop here if
# that ever changes rather than build a package whose driver can find no
# client library: then the dependency has to be named here.
file(REAL_PATH ${OPENLDAP_CLIENT_SONAME_LINK} openldap_client_file)
get_target_property(veldir_libraries veldir LINK_LIBRARIES)
set(veldir_links_openldap_client OFF)
foreach(library IN LISTS veldir_libraries)
  if(IS_ABSOLUTE "${library}" AND EXISTS "${library}")
    file(REAL_PATH ${library} library_file)
    if(library_file STREQUAL openldap_client_file)
      set(veldir_links_openldap_client ON)
    endif()
  endif()
endforeach()
if(NOT veldir_links_openldap_client)
  message(FATAL_ERROR "veldir no longer links ${openldap_client_file}: the package must name the "
    "client library's package as a dependency of the driver (see packaging/debian_package.cmake)")
endif()

set(VELDLDAP_PACKAGE_MAINTAINER "veldldap maintainers <veldldap@example.org>"
  CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_PACKAGE_NAME veldldap)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELDLDAP_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime devel)
set(CPACK_COMPONENT_DEVEL_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME veldldap)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION net)
# veldir demo starts its own slapd and makes a CA with openssl.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "slapd, openssl")
# The first line of a description is the package's summary.
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "LDAP directory driver for server entries
The driver libveldldap64.so.15.5.0 is loaded by a host client library to keep
and look up server entries (named network services with their transport
addresses, version, status and retry settings) in an LDAP v3 directory. It
loads the OpenLDAP client library at run time.
.
This package holds the driver, veldir (a command-line host: search, read,
add, modify, delete, import, check, demo), velenc (enciphers a bind password)
and the directory schema for OpenLDAP and 389 Directory Server.")

set(CPACK_DEBIAN_DEVEL_PACKAGE_NAME veldldap-dev)
set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVEL_DESCRIPTION "LDAP directory driver for server entries: host interface
Headers of the host records, failure codes and vocabulary of the veldldap
driver, with a pkg-config file and a CMake package that name the installed
driver. Hosts load the driver with dlopen; nothing is linked.")

# Debian's own rules on the staged files: compressed man pages, relative
# links, copyright and changelog.
set(CPACK_VELDLDAP_DEBIAN_DIR ${CMAKE_CURRENT_LIST_DIR}/debian)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian/prepare_staging.cmake)

include(CPack)
