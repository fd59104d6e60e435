# package_generator.cmake: read by cpack once per generator. A Debian
# package carries its licence in /usr/share/doc/vorla/copyright, and a
# second copy draws lintian's extra-license-file: it installs only the
# default component, which leaves out the LICENSE file (install.cmake).
if(CPACK_GENERATOR STREQUAL "DEB")
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 vorla_build_dir)
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 1 vorla_project)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${vorla_build_dir};${vorla_project};Unspecified;/")
endif()
