# install.cmake: where `cmake --install` puts Vorla: the program in bin/,
# its manual page in share/man/man1/, README.md and LICENSE in
# share/doc/vorla/. Works for any prefix, with DESTDIR, and with --strip.

include(GNUInstallDirs)

install(TARGETS vorla RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/vorla.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Named after the program rather than the project, as the package is.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vorla)

# The program checks a CRC trailer on its own file at start-up. Stripping
# (--strip, or CPack's CPACK_STRIP_FILES) drops the trailer and install may
# rewrite the file in other ways, so the installed copy is stamped again
# here, after every change install makes to it. A program installed without
# a valid stamp would refuse every run, so a failed stamp fails the install.
string(CONFIGURE [[
  set(vorla_bin_dir "@CMAKE_INSTALL_BINDIR@")
  if(NOT IS_ABSOLUTE "${vorla_bin_dir}")
    set(vorla_bin_dir "${CMAKE_INSTALL_PREFIX}/${vorla_bin_dir}")
  endif()
  set(vorla_installed "$ENV{DESTDIR}${vorla_bin_dir}/$<TARGET_FILE_NAME:vorla>")
  # Empty unless the tool is cross-built and needs an emulator to run.
  set(vorla_stamp_command
      $<TARGET_PROPERTY:vorla_stamp,CROSSCOMPILING_EMULATOR> "$<TARGET_FILE:vorla_stamp>")
  message(STATUS "Stamping: ${vorla_installed}")
  execute_process(COMMAND ${vorla_stamp_command} "${vorla_installed}"
                  RESULT_VARIABLE vorla_stamp_result)
  if(NOT vorla_stamp_result EQUAL 0)
    message(FATAL_ERROR "vorla_stamp failed on ${vorla_installed}: ${vorla_stamp_result}")
  endif()
]] vorla_stamp_code @ONLY)
install(CODE "${vorla_stamp_code}")
