# Installation and the Debian package.
#
# Layout: the installation prefix is the programs' own folder. The window program looks for its
# firmware images (*.bin) in the folder that holds it (QCoreApplication::applicationDirPath())
# and the expert's Add File copies images there, so the three programs live together in
# <prefix>/ itself, with the README.md beside them. The default prefix, and the package's, is
#   /opt/tarvel-update-utility/   tarvel-update-utility, tarvel-update, tarvel-module-sim, README.md
# and for a prefix under /opt the install also puts (see packaging/InstallDesktopIntegration.cmake)
#   /usr/share/applications/tarvel-update-utility.desktop
#   /usr/share/icons/hicolor/scalable/apps/tarvel-update-utility.svg
#   /usr/bin/{tarvel-update-utility,tarvel-update,tarvel-module-sim} -> /opt/tarvel-update-utility/...
# For any other prefix the desktop entry and the icon go to <prefix>/share and no links are made.
#
# The package: `cpack -G DEB` in the build folder makes tarvel-update-utility_<version>_<arch>.deb;
# packaging/test-deb.sh builds, installs, checks and removes it.

set(TARVEL_PACKAGE_NAME tarvel-update-utility)
set(TARVEL_PACKAGE_PREFIX /opt/${TARVEL_PACKAGE_NAME})
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "${TARVEL_PACKAGE_PREFIX}" CACHE PATH
    "Installation folder: the programs' own folder, where they also look for firmware images" FORCE)
endif()

set(TARVEL_PROGRAMS tarvel-update-utility tarvel-update)
if(TARGET tarvel-module-sim)
  list(APPEND TARVEL_PROGRAMS tarvel-module-sim)
endif()

install(TARGETS ${TARVEL_PROGRAMS}
  RUNTIME DESTINATION .
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
              WORLD_READ WORLD_EXECUTE)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)

# The desktop entry, the icon and the links on PATH; the paths depend on the prefix that is
# really used at install time, so a script decides them then.
install(CODE "
  set(TARVEL_PACKAGING_DIR \"${CMAKE_SOURCE_DIR}/packaging\")
  set(TARVEL_PACKAGING_BINARY_DIR \"${CMAKE_BINARY_DIR}/packaging\")
  set(TARVEL_PROGRAMS \"${TARVEL_PROGRAMS}\")
")
install(SCRIPT ${CMAKE_SOURCE_DIR}/packaging/InstallDesktopIntegration.cmake)

# Maintainer scripts, copied so they carry the permissions Debian wants whatever the checkout did.
file(COPY ${CMAKE_SOURCE_DIR}/packaging/postinst
  DESTINATION ${CMAKE_BINARY_DIR}/packaging
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                   WORLD_READ WORLD_EXECUTE)

# ---- CPack: the Debian package ------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TARVEL_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Tarvel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarvel developers <dev@tarvel.local>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Firmware updater for the plug-in modules of a TV head-end")
set(CPACK_PACKAGE_DESCRIPTION
"Tarvel Update Utility writes new firmware into the plug-in modules of a
digital TV head-end, one module at a time, over a serial port (115200
baud, 8N1). It checks the module's setup switch, identifies the module,
picks the newest matching firmware image (*.bin) from its own folder,
/opt/tarvel-update-utility, and flashes it, with English/German status
texts, a progress bar and an activity indicator.
.
The package holds the window program tarvel-update-utility, the command
line program tarvel-update for production lines and scripts, and the
module simulator tarvel-module-sim. Members of the group dialout may add
firmware images to /opt/tarvel-update-utility.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${TARVEL_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarvel developers <dev@tarvel.local>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (libqt6core6, libqt6gui6, libqt6widgets6, libqt6serialport6,
# libstdc++6, libc6, ...) with their versions come from dpkg-shlibdeps, which appends them to
# the list below. Listed by hand is what is loaded at run time as a plug-in and so is invisible
# to dpkg-shlibdeps: libqt6svg6, whose SVG image and icon-engine plug-ins draw the toolbar icons
# (the window links Qt6::Svg, but the linker drops the unused library from its NEEDED list).
# The platform plug-ins (xcb, offscreen, ...) are part of libqt6gui6 in Debian 12;
# qt6-qpa-plugins only adds vnc and is not needed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6 (>= 6.4)")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
