# Cross-compiling for 64-bit Windows (x86-64) with MinGW-w64: the same
# programs and tests for Wine's 64-bit loader, on hosts that cannot run
# 32-bit programs. setup.exe ships from the i686 build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
set(MINGW_WINE_WIDTH --64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
