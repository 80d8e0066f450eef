# Cross-compiles the Windows program for 32-bit x86 with mingw-w64: the
# release build.
set(HALOVANE_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
