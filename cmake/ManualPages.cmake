# Manual pages, section 1, for the three programs, made at build time by help2man from each
# program's own --help and --version, so that a page cannot say other than its program. What
# --help does not say (exit status, port names, examples, files) comes from the checked-in
# packaging/man/<program>.h2m. Without help2man or gzip (Windows, a minimal build) the pages are
# left out and everything else builds as before.
#
# Expects TARVEL_PROGRAMS; installs <prefix>/share/man/man1/<program>.1.gz.

find_program(TARVEL_HELP2MAN help2man)
find_program(TARVEL_GZIP gzip)
if(NOT TARVEL_HELP2MAN OR NOT TARVEL_GZIP)
  message(STATUS "help2man or gzip not found: the manual pages are not made")
  return()
endif()

# The programs' help names the image folder they would use. For the pages that is the folder of
# the installed programs, not the build tree's, and never one from the builder's own settings: a
# settings file made for the pages names it.
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr(/|$)")
  set(_documented_folder ${TARVEL_IMAGE_FOLDER})
else()
  set(_documented_folder ${CMAKE_INSTALL_FULL_BINDIR})
endif()
set(_settings_home ${PROJECT_BINARY_DIR}/man/settings)
file(CONFIGURE OUTPUT ${_settings_home}/Tarvel_Update_Utility.ini
  CONTENT "[Paths]\nImageFolder=${_documented_folder}\n")

set(_pages)
foreach(_program IN LISTS TARVEL_PROGRAMS)
  set(_page ${PROJECT_BINARY_DIR}/man/${_program}.1)
  # The material names the image folder as the build defines it.
  set(_material ${PROJECT_BINARY_DIR}/man/${_program}.h2m)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/man/${_program}.h2m ${_material} @ONLY)
  # The program is started by its bare name from PATH, so that the page's usage line names it
  # as a user types it, not by its path in the build folder.
  add_custom_command(OUTPUT ${_page}.gz
    COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${_program}>:$ENV{PATH}"
            XDG_CONFIG_HOME=${_settings_home}
            ${TARVEL_HELP2MAN} --no-info --section=1
            --include=${_material} --output=${_page} ${_program}
    COMMAND ${TARVEL_GZIP} -9nf ${_page}
    DEPENDS ${_program} ${_material} ${_settings_home}/Tarvel_Update_Utility.ini
    COMMENT "Manual page ${_program}(1)"
    VERBATIM)
  list(APPEND _pages ${_page}.gz)
endforeach()
add_custom_target(manual_pages ALL DEPENDS ${_pages})
install(FILES ${_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
