# Installed like any desktop program: the binary, a menu entry and its icon,
# the software-centre metadata, a manual page, the changelog and the licence.
# Debian puts games in /usr/games: scripts/package_deb.sh sets
# CMAKE_INSTALL_BINDIR=games.
include(GNUInstallDirs)
set(VELDRATH_MAINTAINER "Veldrath developers <veldrath@example.org>" CACHE STRING
  "Maintainer of the Debian package and signer of its changelog, as Name <address>")
set(app_id io.github.veldrath.Veldrath)
install(TARGETS veldrath RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Debian's machine-readable copyright file, from LICENSE: its copyright line,
# and the permission text as a field of indented lines, "." for blank ones.
file(READ LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" unused "${licence}")
set(VELDRATH_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*\n\n(Permission)" "\\1" licence "${licence}")
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " VELDRATH_LICENCE_TEXT " ${licence}")
configure_file(data/copyright.in copyright @ONLY)
configure_file(data/changelog.in changelog @ONLY)

# Manual pages and changelogs are installed compressed, without a time stamp.
find_program(GZIP gzip REQUIRED)
foreach(file ${CMAKE_CURRENT_SOURCE_DIR}/data/veldrath.6 ${CMAKE_CURRENT_BINARY_DIR}/changelog)
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${name}.gz
    COMMAND ${GZIP} -9nc ${file} > ${name}.gz
    DEPENDS ${file} VERBATIM)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS veldrath.6.gz changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/veldrath.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${CMAKE_CURRENT_BINARY_DIR}/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# `cpack` in the build directory makes the Debian package (scripts/package.sh
# runs it); dpkg-shlibdeps works out the library dependencies from the binary.
# Directories are 755 whatever the umask of the user who builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "${VELDRATH_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Veldrath is a falling-particle sandbox for the desktop. In one window you
paint walls, sand, water and fire into a grid with a square brush and
watch sand and water fall, slide and flow, and fire rise.")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
