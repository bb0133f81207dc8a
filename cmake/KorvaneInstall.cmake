# The installed layout, set before the targets are made (the file-locations module and the
# executables' RUNPATH are built from it). The rules themselves are in KorvanePackage.cmake.
#
#   <prefix>/bin/korvane-s, korvane-s-cli
#   <prefix>/lib/<multiarch>/korvane-s/libkorvanes.so   private library
#   <prefix>/share/korvane-s/20Band, korvane-s-help.html
#
# The program finds the last two relative to its own folder, so a package unpacked anywhere
# works, not only one under /usr.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(KORVANE_INSTALL_PRIVLIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/korvane-s)
else()
  set(KORVANE_INSTALL_PRIVLIBDIR lib/korvane-s)
endif()
set(KORVANE_INSTALL_DATADIR share/korvane-s)
# Installed binaries carry only this relative RUNPATH (never the build tree's folder): the
# private library folder beside bin/.
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${KORVANE_INSTALL_PRIVLIBDIR}")
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
