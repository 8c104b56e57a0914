# Installation, the manual pages and the Debian package.
#
# Installed the way Debian installs programs, in the GNU folders under the prefix (the
# package's prefix is /usr; `cmake --install build --prefix DIR` works the same for any DIR):
#   <prefix>/bin/                      tarvel-update-utility, tarvel-update, tarvel-module-sim
#   <prefix>/share/man/man1/           their manual pages (cmake/ManualPages.cmake)
#   <prefix>/share/doc/tarvel-update-utility/   README.md, copyright, changelog.gz, and docs/:
#                                      the guides the README links to, with their pictures
#   <prefix>/share/applications/, icons/hicolor/scalable/apps/, metainfo/
#                                      the desktop entry, its icon and its AppStream metainfo
#   <prefix>/share/bash-completion/completions/tarvel-update
#                                      the bash completion (where bash-completion's pkg-config
#                                      file says, when that is installed)
#   TARVEL_IMAGE_FOLDER                the firmware images, for a prefix below /usr
#                                      (packaging/InstallImageFolder.cmake)
# A program installed below /usr looks for its firmware images in TARVEL_IMAGE_FOLDER,
# one installed anywhere else in its own folder.

include(GNUInstallDirs)
set(TARVEL_PACKAGE_NAME tarvel-update-utility)
set(TARVEL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${TARVEL_PACKAGE_NAME})

set(TARVEL_PROGRAMS tarvel-update-utility tarvel-update)
if(TARGET tarvel-module-sim)
  list(APPEND TARVEL_PROGRAMS tarvel-module-sim)
endif()

install(TARGETS ${TARVEL_PROGRAMS}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
              WORLD_READ WORLD_EXECUTE)

find_program(TARVEL_GZIP gzip)
install(FILES README.md packaging/copyright DESTINATION ${TARVEL_DOCDIR})
# The guides beside the README, in the folder its links name.
install(DIRECTORY docs/ DESTINATION ${TARVEL_DOCDIR}/docs
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE
  FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
if(TARVEL_GZIP)
  # Debian's changelog of the package, compressed as Debian wants it (-n: no name, no time).
  set(_changelog ${PROJECT_BINARY_DIR}/packaging/changelog)
  add_custom_command(OUTPUT ${_changelog}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog ${_changelog}
    COMMAND ${TARVEL_GZIP} -9nf ${_changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
  add_custom_target(package_changelog ALL DEPENDS ${_changelog}.gz)
  install(FILES ${_changelog}.gz DESTINATION ${TARVEL_DOCDIR})
endif()

# bash-completion loads a command's completion on demand from its completions folder, which its
# pkg-config file names; a folder below the same prefix as bash-completion's is taken relative to
# ours, so that `--prefix DIR` keeps it under DIR.
set(TARVEL_COMPLETIONSDIR ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_get_variable(_completions bash-completion completionsdir)
  pkg_get_variable(_completions_prefix bash-completion prefix)
  if(_completions AND _completions_prefix)
    string(REGEX REPLACE "^${_completions_prefix}/" "" TARVEL_COMPLETIONSDIR "${_completions}")
  elseif(_completions)
    set(TARVEL_COMPLETIONSDIR ${_completions})
  endif()
endif()
install(FILES packaging/tarvel-update.bash-completion
  DESTINATION ${TARVEL_COMPLETIONSDIR} RENAME tarvel-update)

install(FILES packaging/tarvel-update-utility.svg
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(FILES packaging/example.tarvel.update_utility.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# The desktop entry and the image folder depend on the prefix really used at install time, so
# scripts decide them then.
install(CODE "
  set(TARVEL_PACKAGING_DIR \"${PROJECT_SOURCE_DIR}/packaging\")
  set(TARVEL_PACKAGING_BINARY_DIR \"${PROJECT_BINARY_DIR}/packaging\")
  set(TARVEL_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(TARVEL_DATAROOTDIR \"${CMAKE_INSTALL_DATAROOTDIR}\")
  set(TARVEL_IMAGE_FOLDER \"${TARVEL_IMAGE_FOLDER}\")
")
install(SCRIPT packaging/InstallDesktopEntry.cmake)
install(SCRIPT packaging/InstallImageFolder.cmake)

include(cmake/ManualPages.cmake)
include(cmake/DebianPackage.cmake)
