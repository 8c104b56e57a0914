# The Debian package: `cpack -G DEB` in the build folder makes
# tarvel-update-utility_<version>_<arch>.deb from the install rules in cmake/Packaging.cmake,
# installed under /usr. packaging/test-deb.sh builds, installs, checks and removes it.

# Maintainer scripts, made with the image folder and the permissions Debian wants whatever the
# checkout did.
set(_scripts)
foreach(_script postinst postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${_script}
    ${PROJECT_BINARY_DIR}/packaging/${_script} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
  list(APPEND _scripts ${PROJECT_BINARY_DIR}/packaging/${_script})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TARVEL_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Tarvel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# A reserved domain (RFC 2606) until the package has a real address; lintian accepts it.
set(CPACK_PACKAGE_CONTACT "Tarvel developers <developers@tarvel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Firmware updater for the plug-in modules of a TV head-end")
set(CPACK_PACKAGE_DESCRIPTION
"Tarvel Update Utility writes new firmware into the plug-in modules of a
digital TV head-end, one module at a time, over a serial port (115200
baud, 8N1). It checks the module's setup switch, identifies the module,
picks the newest matching firmware image (*.bin) from
${TARVEL_IMAGE_FOLDER} and flashes it, with English/German status
texts, a progress bar and an activity indicator.
.
The package holds the window program tarvel-update-utility, the command
line program tarvel-update for production lines and scripts, and the
module simulator tarvel-module-sim. Members of the group dialout may add
firmware images to ${TARVEL_IMAGE_FOLDER}.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (libqt6core6, libqt6gui6, libqt6widgets6, libqt6serialport6,
# libstdc++6, libc6, ...) with their versions come from dpkg-shlibdeps, which appends them to
# the list below. Listed by hand is what is loaded at run time as a plug-in and so is invisible
# to dpkg-shlibdeps: libqt6svg6, whose SVG image and icon-engine plug-ins draw the toolbar icons
# (the window links Qt6::Svg, but the linker drops the unused library from its NEEDED list), and
# libqt6sql6-sqlite, Qt SQL's SQLite driver, which keeps the history of updates. Qt SQL's
# PostgreSQL driver (libqt6sql6-psql) is recommended: only a station that forwards its rows to a
# line's history in PostgreSQL ([History] Database=) loads it.
# The platform plug-ins (xcb, offscreen, ...) are part of libqt6gui6 in Debian 12;
# qt6-qpa-plugins only adds vnc and is not needed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6 (>= 6.4), libqt6sql6-sqlite (>= 6.4)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql (>= 6.4)")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_scripts})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
