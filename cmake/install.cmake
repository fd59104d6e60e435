# install.cmake: where `cmake --install` puts Vorla.
# POSIX: the program in bin/, its manual page (gzipped) in share/man/man1/,
# the bash completion in share/bash-completion/completions/, and README.md,
# LICENSE, the Debian copyright and changelog and the scheduler examples in
# share/doc/vorla/. Windows: one flat folder, as the zip unpacks, with
# vorla.exe, README.txt, LICENSE.txt and schedule.cmd, the text files with
# CR LF line ends. Works for any prefix, with DESTDIR, and with --strip.

include(GNUInstallDirs)

set(vorla_docs ${PROJECT_SOURCE_DIR}/docs)
set(vorla_dist ${PROJECT_SOURCE_DIR}/dist)
set(vorla_staged ${PROJECT_BINARY_DIR}/ship)

if(WIN32)
  install(TARGETS vorla RUNTIME DESTINATION .)
  # Notepad and every other Windows tool read CR LF.
  configure_file(${PROJECT_SOURCE_DIR}/README.md ${vorla_staged}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${vorla_staged}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  # cmd.exe misreads labels in a batch file with LF line ends.
  configure_file(${vorla_docs}/examples/windows/schedule.cmd ${vorla_staged}/schedule.cmd @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES ${vorla_staged}/README.txt ${vorla_staged}/LICENSE.txt ${vorla_staged}/schedule.cmd
          DESTINATION .)
  set(vorla_bin_dir .)
else()
  install(TARGETS vorla RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(vorla_bin_dir ${CMAKE_INSTALL_BINDIR})

  # The page carries the project's version; man reads it gzipped, as Debian
  # asks. gzip -n leaves out the name and time, so that the same page gives
  # the same bytes in every build.
  find_program(VORLA_GZIP gzip REQUIRED)
  configure_file(${vorla_docs}/vorla.1 ${vorla_staged}/vorla.1 @ONLY)
  configure_file(${vorla_dist}/debian/changelog ${vorla_staged}/changelog COPYONLY)
  foreach(file vorla.1 changelog)
    execute_process(COMMAND ${VORLA_GZIP} -9nkf ${vorla_staged}/${file} COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  # A changelog whose latest entry is not this version would misdate the package.
  file(STRINGS ${vorla_dist}/debian/changelog vorla_changelog_head LIMIT_COUNT 1)
  if(NOT vorla_changelog_head MATCHES "^vorla \\(${PROJECT_VERSION}\\) ")
    message(WARNING "dist/debian/changelog has no entry for ${PROJECT_VERSION} on top")
  endif()

  install(FILES ${vorla_staged}/vorla.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${vorla_dist}/completion/vorla
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
  # Named after the program rather than the project, as the package is.
  set(vorla_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vorla)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${vorla_dist}/debian/copyright
                ${vorla_staged}/changelog.gz DESTINATION ${vorla_doc_dir})
  # The Debian package has the licence in copyright already; a second copy
  # is only for installs from the build tree (package.cmake leaves it out).
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${vorla_doc_dir} COMPONENT licence)
  install(DIRECTORY ${vorla_docs}/examples/ DESTINATION ${vorla_doc_dir}/examples)
endif()

# The program checks a CRC trailer on its own file at start-up. Stripping
# (--strip, or CPack's CPACK_STRIP_FILES) drops the trailer and install may
# rewrite the file in other ways, so the installed copy is stamped again
# here, after every change install makes to it. A program installed without
# a valid stamp would refuse every run, so a failed stamp fails the install.
string(CONFIGURE [[
  set(vorla_bin_dir "@vorla_bin_dir@")
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
