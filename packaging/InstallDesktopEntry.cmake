# Run by `cmake --install` (and by cpack) after the programs are in place; see
# cmake/Packaging.cmake. Installs the desktop entry and the icon and, for an installation into
# /opt, makes the programs reachable on PATH.
#
# Decided at install time from the prefix really used (`cmake --install --prefix ...` included):
#   - prefix under /opt/ (the package: /opt/tarvel-update-utility): the desktop entry and the
#     icon go to /usr/share, where desktops look for them, and /usr/bin gets symbolic links to
#     the three programs. The links resolve to the programs' own folder, so the window still
#     finds its firmware images there (QCoreApplication::applicationDirPath() follows the link).
#   - any other prefix: the desktop entry and the icon go to <prefix>/share, and no links.
# DESTDIR is honoured, which is how cpack collects these files into the .deb (dpkg owns them).
#
# Expects TARVEL_PACKAGING_DIR (this folder), TARVEL_PACKAGING_BINARY_DIR and TARVEL_PROGRAMS.

set(_prefix "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/+$" "" _prefix "${_prefix}")
if(_prefix MATCHES "^/opt/")
  set(_datadir "/usr/share")
  set(_link_dir "/usr/bin")
else()
  set(_datadir "${_prefix}/share")
  set(_link_dir "")
endif()

# The desktop entry names the window program by its absolute path; the file in the source tree
# holds the package's path, which is rewritten here for any other prefix.
set(_package_dir "/opt/tarvel-update-utility")
file(READ "${TARVEL_PACKAGING_DIR}/tarvel-update-utility.desktop" _entry)
string(REPLACE "=${_package_dir}/" "=${_prefix}/" _entry "${_entry}")
set(_entry_file "${TARVEL_PACKAGING_BINARY_DIR}/tarvel-update-utility.desktop")
file(WRITE "${_entry_file}" "${_entry}")

file(INSTALL DESTINATION "${_datadir}/applications" TYPE FILE
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  FILES "${_entry_file}")
file(INSTALL DESTINATION "${_datadir}/icons/hicolor/scalable/apps" TYPE FILE
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  FILES "${TARVEL_PACKAGING_DIR}/tarvel-update-utility.svg")

if(_link_dir)
  foreach(_program IN LISTS TARVEL_PROGRAMS)
    set(_link "$ENV{DESTDIR}${_link_dir}/${_program}")
    message(STATUS "Installing: ${_link} -> ${_prefix}/${_program}")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${_link_dir}")
    file(REMOVE "${_link}")
    file(CREATE_LINK "${_prefix}/${_program}" "${_link}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_link_dir}/${_program}")
  endforeach()
endif()
