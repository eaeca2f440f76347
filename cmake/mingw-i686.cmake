# Cross-compiling setup.exe for 32-bit Windows with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
set(MINGW_WINE_WIDTH --32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
