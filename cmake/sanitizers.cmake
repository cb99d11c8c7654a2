option(MOVAR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(MOVAR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# The libFuzzer build (clang): every target instrumented for coverage, ASan and UBSan; only the
# fuzz targets link the fuzzer's main.
option(MOVAR_FUZZ "Build the libFuzzer targets (clang) instead of the products" OFF)
if(MOVAR_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
