# The same program as a 64-bit Windows executable, run under 64-bit Wine on
# machines whose kernel runs no 32-bit code or where 32-bit Wine cannot be
# installed.
set(HALOVANE_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
