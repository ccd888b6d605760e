# Run by CPack on the staged files of each package before it packs them:
# what Debian asks of a package and a plain `cmake --install` need not do.
#   - man pages compressed with gzip -9n;
#   - links within /usr relative (the lib3p64 link to the OpenLDAP client
#     library is absolute in a plain install, whose prefix may be anywhere);
#   - /usr/share/doc/<package>/ with copyright and changelog.Debian.gz;
#   - the pkg-config file with the fixed prefix instead of the one found
#     from its own location.

function(compress_man_pages root)
  file(GLOB_RECURSE pages LIST_DIRECTORIES false "${root}/usr/share/man/*")
  foreach(page IN LISTS pages)
    if(NOT page MATCHES "\\.gz$")
      execute_process(COMMAND gzip -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endforeach()
endfunction()

function(make_links_relative root)
  file(GLOB_RECURSE entries LIST_DIRECTORIES false "${root}/*")
  foreach(entry IN LISTS entries)
    if(NOT IS_SYMLINK ${entry})
      continue()
    endif()
    file(READ_SYMLINK ${entry} target)
    if(NOT IS_ABSOLUTE ${target})
      continue()
    endif()
    file(RELATIVE_PATH packaged ${root} ${entry})
    get_filename_component(packaged_dir /${packaged} DIRECTORY)
    file(RELATIVE_PATH relative_target ${packaged_dir} ${target})
    file(REMOVE ${entry})
    file(CREATE_LINK ${relative_target} ${entry} SYMBOLIC)
  endforeach()
endfunction()

function(add_package_documents root package)
  set(doc ${root}/usr/share/doc/${package})
  file(MAKE_DIRECTORY ${doc})
  file(COPY_FILE ${CPACK_VELDLDAP_DEBIAN_DIR}/copyright ${doc}/copyright)
  # The date of the sources when SOURCE_DATE_EPOCH says it, so that the
  # package can be rebuilt byte for byte.
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(version ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
  set(maintainer "${CPACK_PACKAGE_CONTACT}")
  configure_file(${CPACK_VELDLDAP_DEBIAN_DIR}/changelog.in ${doc}/changelog.Debian @ONLY)
  execute_process(COMMAND gzip -9nf ${doc}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
endfunction()

function(fix_pkgconfig_prefix root)
  file(GLOB files "${root}/usr/lib/*/pkgconfig/*.pc")
  foreach(file IN LISTS files)
    file(READ ${file} text)
    string(REGEX REPLACE "\nprefix=[^\n]*" "\nprefix=${CPACK_PACKAGING_INSTALL_PREFIX}" text "${text}")
    file(WRITE ${file} "${text}")
  endforeach()
endfunction()

foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  set(root ${CPACK_TEMPORARY_DIRECTORY}/${component})
  compress_man_pages(${root})
  make_links_relative(${root})
  add_package_documents(${root} ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  fix_pkgconfig_prefix(${root})
endforeach()
