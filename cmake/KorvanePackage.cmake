# Install rules and packages, in two components:
#   Runtime      the user package korvane-s: the two programs, the private library, the data,
#                desktop integration (desktop entry, icons, AppStream metainfo, MIME type for
#                *.min), man pages and the CLI's bash completion;
#   Development  korvane-s-dev: the simulated processor and the stand-in firmware, which an
#                installed program never looks at.
# `cpack --config build/CPackConfig.cmake` makes korvane-s_<version>_<arch>.deb (dependencies
# from dpkg-shlibdeps), korvane-s-dev_..., and portable .tar.gz folders of the same layout.
set(pkg ${CMAKE_SOURCE_DIR}/packaging)
set(gen ${CMAKE_BINARY_DIR}/packaging)
set(korvane_app_id org.korvane.KorvaneS)

install(TARGETS korvane-s korvane-s-cli RUNTIME DESTINATION bin COMPONENT Runtime)
# The library needs nothing beside itself: no RUNPATH.
set_target_properties(korvanes PROPERTIES INSTALL_RPATH "")
install(TARGETS korvanes LIBRARY DESTINATION ${KORVANE_INSTALL_PRIVLIBDIR} COMPONENT Runtime
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${KORVANE_PROGRAM_DIR}/20Band ${KORVANE_PROGRAM_DIR}/korvane-s-help.html
  DESTINATION ${KORVANE_INSTALL_DATADIR} COMPONENT Runtime)
install(FILES ${pkg}/${korvane_app_id}.desktop DESTINATION share/applications COMPONENT Runtime)
install(FILES ${pkg}/${korvane_app_id}.metainfo.xml DESTINATION share/metainfo COMPONENT Runtime)
install(FILES ${pkg}/korvane-s-mime.xml DESTINATION share/mime/packages RENAME korvane-s.xml COMPONENT Runtime)
install(FILES ${pkg}/icons/korvane-s.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT Runtime)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${pkg}/icons/korvane-s-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
    RENAME korvane-s.png COMPONENT Runtime)
endforeach()
install(FILES ${pkg}/korvane-s-cli.bash-completion DESTINATION share/bash-completion/completions
  RENAME korvane-s-cli COMPONENT Runtime)

# Man pages and the Debian changelog go in compressed, without time stamps (gzip -n), so a
# rebuild gives the same bytes.
set(gz_files)
foreach(src korvane-s.1 korvane-s-cli.1 changelog)
  add_custom_command(OUTPUT ${gen}/${src}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${gen}
    COMMAND gzip -9n -c ${pkg}/${src} > ${gen}/${src}.gz
    DEPENDS ${pkg}/${src} VERBATIM)
  list(APPEND gz_files ${gen}/${src}.gz)
endforeach()
add_custom_target(korvane_package_files ALL DEPENDS ${gz_files})
install(FILES ${gen}/korvane-s.1.gz ${gen}/korvane-s-cli.1.gz DESTINATION share/man/man1 COMPONENT Runtime)
foreach(comp Runtime Development)
  set(docdir share/doc/korvane-s)
  if(comp STREQUAL Development)
    set(docdir share/doc/korvane-s-dev)
  endif()
  install(FILES ${pkg}/copyright DESTINATION ${docdir} COMPONENT ${comp})
  install(FILES ${gen}/changelog.gz DESTINATION ${docdir} RENAME changelog.gz COMPONENT ${comp})
endforeach()

install(TARGETS korvane-s-sim RUNTIME DESTINATION bin COMPONENT Development)
install(FILES ${KORVANE_PROGRAM_DIR}/korvanes.fwr DESTINATION share/korvane-s-dev RENAME korvanes-standin.fwr
  COMPONENT Development)
install(FILES ${CMAKE_SOURCE_DIR}/tools/sim/README.md DESTINATION share/doc/korvane-s-dev
  RENAME README.sim.md COMPONENT Development)

set(CPACK_PACKAGE_NAME korvane-s)
set(CPACK_PACKAGE_VENDOR "Korvane-S developers")
set(CPACK_PACKAGE_CONTACT "Korvane-S maintainers <maintainers@users.noreply.c-seed-2b7e7a7e.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
# The first line of each is the package synopsis (CPACK_PACKAGE_DESCRIPTION_SUMMARY is left
# unset: CPack would put it in front of both).
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "configuration utility for the Korvane-S audio filter processor
The Korvane-S is a stand-alone audio filter processor on an RS-232 line. This
package edits its 16 filter sets, keeps them in settings files (*.min) and
programs the processor: the program korvane-s with its windows, and the
command-line tool korvane-s-cli.
.
The processor firmware (korvanes.fwr) comes from the maker and is not part of
this package; put it in ~/.local/share/korvane-s.")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "developer tools of the Korvane-S configuration utility
The simulated Korvane-S processor korvane-s-sim (on a pseudo-terminal) and the
stand-in firmware image written by the build, for testing the utility without
the hardware. Not needed to use a real processor.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME korvane-s)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME korvane-s-dev)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_ARCHIVE_RUNTIME_FILE_NAME korvane-s-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_ARCHIVE_DEVELOPMENT_FILE_NAME korvane-s-dev-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)
