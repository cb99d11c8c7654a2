# 64-bit twin of the Windows build, for running the Wine tests where the kernel runs no 32-bit
# code (Wine's 32-bit loader then fails with "Exec format error"). The product is the i686 DLL.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MOVAR_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
