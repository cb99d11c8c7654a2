# Test programs need to be right, not fast: at -Og their sources compile in half the time of -O2,
# and the code they check is the libraries', built as shipped. Debug builds keep -O0, which under
# the sanitizers compiles faster than -Og.
function(movar_test_code target)
  if(NOT MSVC)
    target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-Og>)
  endif()
endfunction()
