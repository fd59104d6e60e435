# windows.cmake: the Windows side of the tests, cross-built with MinGW-w64
# and run under Wine (the toolchain's emulator). The unit test programs are
# the same as everywhere; what differs is set up here: GoogleTest built from
# its sources, a main that leaves out the few tests of POSIX-only behaviour
# (gtest_main_win.cpp says which and why), and end-to-end tests that drive
# vorla.exe the Windows way, with drive letters and cmd.exe.

include(${CMAKE_CURRENT_LIST_DIR}/../gtest_from_source.cmake)
# Regular expressions in death tests and matchers as on POSIX (see regex.h).
target_include_directories(vorla_gtest SYSTEM PUBLIC ${CMAKE_CURRENT_LIST_DIR}/posix_regex)
target_compile_definitions(vorla_gtest PUBLIC GTEST_HAS_POSIX_RE=1)
add_library(vorla_gtest_main STATIC ${CMAKE_CURRENT_LIST_DIR}/gtest_main_win.cpp)
target_link_libraries(vorla_gtest_main PUBLIC vorla_gtest PRIVATE vorla_warnings)
add_library(GTest::gtest_main ALIAS vorla_gtest_main)
include(GoogleTest)

# The platform layer where the runtime does what POSIX code does itself.
add_executable(platform_win_test ${CMAKE_CURRENT_LIST_DIR}/platform_win_test.cpp)
target_link_libraries(platform_win_test PRIVATE platform GTest::gtest_main vorla_warnings)
gtest_discover_tests(platform_win_test DISCOVERY_TIMEOUT 60)

# vorla.exe end to end, typed into cmd.exe with paths on a drive D: that a
# fixture maps to a fresh directory for the run and removes afterwards. The
# program's clock starts at a fixed moment in every process.
if(VORLA_WINE_PREFIX)
  add_executable(vorla_win_e2e_test ${CMAKE_CURRENT_LIST_DIR}/e2e_win_test.cpp)
  target_link_libraries(vorla_win_e2e_test PRIVATE test_support GTest::gtest_main vorla_warnings)
  target_compile_definitions(vorla_win_e2e_test PRIVATE VORLA_BINARY="$<TARGET_FILE:vorla>")
  add_dependencies(vorla_win_e2e_test vorla)
  set_target_properties(vorla_win_e2e_test PROPERTIES CROSSCOMPILING_EMULATOR
    "env;VORLA_CLOCK_PRELOAD=${VORLA_CLOCK_PRELOAD};${VORLA_WINE_RUN_COMMAND};--clock;2026-12-06T01:38:00;${VORLA_WINE_PREFIX}")
  set(drive_script ${CMAKE_CURRENT_LIST_DIR}/drive.sh)
  add_test(NAME win_drive_map COMMAND sh ${drive_script} map ${VORLA_WINE_PREFIX} d)
  add_test(NAME win_drive_unmap COMMAND sh ${drive_script} unmap ${VORLA_WINE_PREFIX} d)
  set_tests_properties(win_drive_map PROPERTIES FIXTURES_SETUP win_drive)
  set_tests_properties(win_drive_unmap PROPERTIES FIXTURES_CLEANUP win_drive)
  gtest_discover_tests(vorla_win_e2e_test DISCOVERY_TIMEOUT 60
                       PROPERTIES FIXTURES_REQUIRED win_drive TIMEOUT 300)
  if(TARGET vorla_clock)
    add_dependencies(vorla_win_e2e_test vorla_clock)
  endif()
else()
  message(STATUS "Not under Wine: the Windows end-to-end tests are left out")
endif()
