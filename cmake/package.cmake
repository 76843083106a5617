# The Debian package: `cpack -G DEB` in the build folder makes
# vexo_VERSION_ARCH.deb with the window, vexo-cli, the desktop entry, the
# icons and the manual pages. Its dependencies are read off the programs
# (dpkg-shlibdeps), so they name the Qt 6 runtime packages the window uses.
set(VEXO_PACKAGE_MAINTAINER "VEXO developers <vexo@example.org>" CACHE STRING "Maintainer of the Debian package")

set(CPACK_PACKAGE_NAME vexo)
set(CPACK_PACKAGE_VENDOR "VEXO developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split a file into floppy-sized pieces and join them again")
set(CPACK_PACKAGE_DESCRIPTION
    "VEXO splits a file into numbered pieces of a chosen size (1.44 MB and\n\
1.2 MB floppies, mail attachments, CDs, or any size) and joins a set of\n\
pieces back into the file, checking the set against the record of its\n\
length and CRC-32 that the split writes beside the pieces.\n\
.\n\
The package holds the window (vexo, Qt 6) and the command-line program\n\
vexo-cli, which also checks a set without joining it.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VEXO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Files 0644 and folders 0755 whatever the builder's umask.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Documents Debian wants beside every package: the copyright, and the
# changelog compressed without a time stamp.
include(GNUInstallDirs)
set(vexo_doc ${CMAKE_INSTALL_DATADIR}/doc/vexo)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${vexo_doc})
find_program(GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(vexo_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${vexo_doc})

include(CPack)
