# mingw-w64-x86_64.cmake: cross-compiles for 64-bit Windows (mingw-w64.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VORLA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
