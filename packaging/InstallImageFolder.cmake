# Run by `cmake --install` (and by cpack) for the prefix really used; see cmake/Packaging.cmake.
# A program installed below /usr keeps its firmware images in TARVEL_IMAGE_FOLDER,
# since /usr is read-only to the programs; installed anywhere else it uses its own folder and
# there is nothing to make here.
#
# In the package the folder belongs to root with mode 0755, and the package's postinst gives it
# to the group dialout with mode 2775, so that technicians may add images. Installed directly
# (no DESTDIR), this script does the same.
#
# The trusted keys' folder /etc/tarvel-update-utility/trusted-keys comes with it, empty, root's,
# mode 0755, so that a release team's key is installed into a folder the package owns. It holds
# no key: without one, lists need no signature.

if(CMAKE_INSTALL_PREFIX MATCHES "^/usr(/|$)")
  set(_folder "${TARVEL_IMAGE_FOLDER}")
  message(STATUS "Installing: $ENV{DESTDIR}${_folder}")
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${_folder}")
  if("$ENV{DESTDIR}" STREQUAL "")
    execute_process(COMMAND chgrp dialout "${_folder}" ERROR_QUIET)
    file(CHMOD "${_folder}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_WRITE GROUP_EXECUTE WORLD_READ WORLD_EXECUTE SETGID)
  endif()
  set(_keys "/etc/tarvel-update-utility/trusted-keys")
  message(STATUS "Installing: $ENV{DESTDIR}${_keys}")
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${_keys}")
  foreach(_made "$ENV{DESTDIR}/etc/tarvel-update-utility" "$ENV{DESTDIR}${_keys}")
    file(CHMOD "${_made}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
endif()
