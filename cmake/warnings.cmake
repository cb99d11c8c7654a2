# On in the project's own runs (make test, CI); a user's build never fails on a warning.
option(MOVAR_WERROR "Treat warnings as errors" OFF)

function(movar_warnings target)
  if(MSVC)
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wconversion -Wno-sign-conversion -Wshadow
                                           $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports false out-of-bounds copies inside std::vector::insert at -O2, and false
    # overlapping copies inside `"text" + std::string` at -O3 (-Wrestrict, GCC bug 105329).
    target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow
                                             -Wno-stringop-overread -Wno-restrict)
  endif()
  if(MOVAR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
