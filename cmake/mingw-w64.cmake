# mingw-w64.cmake: what both Windows toolchain files share. Each sets
# VORLA_MINGW_TRIPLE (the compiler's prefix) and, for a 32-bit build,
# VORLA_WINE_ARCH, then includes this. It cross-compiles with MinGW-w64 (its
# POSIX thread model, which std::thread needs) and runs what it builds under
# Wine: the build's own tools (the stamp after each link, the listing of
# the tests) and, through CTest, the tests.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_CXX_COMPILER NAMES ${VORLA_MINGW_TRIPLE}-g++-posix ${VORLA_MINGW_TRIPLE}-g++
             REQUIRED)
set(CMAKE_FIND_ROOT_PATH /usr/${VORLA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program links the C and C++ runtimes and the thread library in, so
# that it runs wherever it is copied, with no MinGW DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Each build tree has a Wine prefix of its own, so that building and testing
# never touch the user's ~/.wine, and a drive letter that the tests map
# stays inside this build. A 32-bit program runs in a prefix of 32-bit
# Windows.
find_program(VORLA_WINE NAMES wine wine64 REQUIRED)
set(VORLA_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
set(VORLA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
if(VORLA_WINE_ARCH)
  set(VORLA_WINE_RUN_COMMAND env WINEARCH=${VORLA_WINE_ARCH} sh ${VORLA_WINE_RUN})
else()
  set(VORLA_WINE_RUN_COMMAND sh ${VORLA_WINE_RUN})
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${VORLA_WINE_RUN_COMMAND} ${VORLA_WINE_PREFIX})
