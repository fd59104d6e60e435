# mingw-w64-i686.cmake: cross-compiles for 32-bit Windows (mingw-w64.cmake).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VORLA_MINGW_TRIPLE i686-w64-mingw32)
set(VORLA_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
