# mingw-w64-i686.cmake: cross-compiles for 32-bit Windows with MinGW-w64
# (its POSIX thread model, which std::thread needs) and runs what it builds
# under Wine: the build's own tools (the stamp after each link, the listing
# of the tests) and, through CTest, the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

find_program(CMAKE_CXX_COMPILER NAMES i686-w64-mingw32-g++-posix i686-w64-mingw32-g++
             REQUIRED)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program links the C and C++ runtimes and the thread library in, so
# that it runs wherever it is copied, with no MinGW DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Each build tree has a Wine prefix of its own, so that building and testing
# never touch the user's ~/.wine, and a drive letter that the tests map
# stays inside this build.
find_program(VORLA_WINE NAMES wine wine64 REQUIRED)
set(VORLA_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
set(VORLA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
# A prefix of 32-bit Windows, where a program built for it must run.
set(VORLA_WINE_RUN_COMMAND env WINEARCH=win32 sh ${VORLA_WINE_RUN})
set(CMAKE_CROSSCOMPILING_EMULATOR ${VORLA_WINE_RUN_COMMAND} ${VORLA_WINE_PREFIX})
