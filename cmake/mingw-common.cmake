# Shared by the mingw-w64 toolchain files; MOVAR_MINGW_TRIPLET names the target.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model needs no winpthread; the posix variant works too (linked statically).
find_program(CMAKE_C_COMPILER NAMES ${MOVAR_MINGW_TRIPLET}-gcc-win32 ${MOVAR_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MOVAR_MINGW_TRIPLET}-g++-win32 ${MOVAR_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MOVAR_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MOVAR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
