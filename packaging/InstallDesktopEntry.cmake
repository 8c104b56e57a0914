# Run by `cmake --install` (and by cpack) for the prefix really used; see cmake/Packaging.cmake.
# Installs the desktop entry of the window program into <prefix>/share/applications. The entry
# starts the program by its name when it lies in /usr/bin, which is on every PATH, and by its
# full path for any other prefix. DESTDIR is honoured, which is how cpack collects the file.
#
# Expects TARVEL_PACKAGING_DIR, TARVEL_PACKAGING_BINARY_DIR, TARVEL_BINDIR and TARVEL_DATAROOTDIR.

string(REGEX REPLACE "/+$" "" _prefix "${CMAKE_INSTALL_PREFIX}")
set(_program "${_prefix}/${TARVEL_BINDIR}/tarvel-update-utility")
file(READ "${TARVEL_PACKAGING_DIR}/tarvel-update-utility.desktop" _entry)
if(NOT _program STREQUAL "/usr/bin/tarvel-update-utility")
  string(REGEX REPLACE "(Exec|TryExec)=tarvel-update-utility" "\\1=${_program}" _entry "${_entry}")
endif()
set(_entry_file "${TARVEL_PACKAGING_BINARY_DIR}/tarvel-update-utility.desktop")
file(WRITE "${_entry_file}" "${_entry}")
file(INSTALL DESTINATION "${_prefix}/${TARVEL_DATAROOTDIR}/applications" TYPE FILE
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  FILES "${_entry_file}")
