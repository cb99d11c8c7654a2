# Cross build of w_movar.dll for 32-bit Windows hosts with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MOVAR_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
