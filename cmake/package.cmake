# package.cmake: what CPack makes from a release build. On POSIX the
# Debian package (`cpack -G DEB` in the build directory), holding what
# install.cmake installs under /usr, less the second copy of the licence.
# In a Windows build the zip (`cpack -G ZIP`), vorla-<version>-win32.zip or
# -win64.zip after the build's pointer size, one folder of that name inside.

set(CPACK_PACKAGE_NAME vorla)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quendil)
set(CPACK_PACKAGE_CONTACT "Quendil <vorla@quendil.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "housekeeping of dated files, run from cron")
set(CPACK_PACKAGE_HOMEPAGE_URL https://quendil.example/vorla/)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
# Stripping happens inside the install rules, before the program is
# stamped again (install.cmake); a strip after that would break the stamp.
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  math(EXPR vorla_bits "${CMAKE_SIZEOF_VOID_P} * 8")
  set(CPACK_PACKAGE_FILE_NAME vorla-${PROJECT_VERSION}-win${vorla_bits})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
# Read by cpack for each generator it runs: the package leaves out what the
# generator's format provides another way.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_generator.cmake)

set(CPACK_DEBIAN_PACKAGE_NAME vorla)
# The version exactly as the program reports it, with no Debian revision.
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quendil <vorla@quendil.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quendil.example/vorla/)
# The first line of the control file's Description is the summary above.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vorla works the date into its option values (templates such as
{Time.Year4} and ex{Time.Year2}{Time.MonthPad}{Time.DayPad}*.log, shifted
by an offset such as -1d for yesterday), creates the target directory and
hands the resulting command line to the shell, which archives, moves or
removes the dated files. Its exit status follows the command's, so that
a scheduler can report failures.")
# Depends is read off the program itself by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The architecture is left to CPack, which asks dpkg for the machine's own.

include(CPack)
