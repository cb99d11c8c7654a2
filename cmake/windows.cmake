# The Windows product: w_movar.dll for 32-bit hosts, and the test host that Wine runs.

# Windows 7 API level (GetTickCount64); the runtime is linked in, so the DLL needs only system DLLs.
set(MOVAR_WIN32_DEFINITIONS _WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
set(MOVAR_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
set(MOVAR_SYSTEM_LIBRARIES kernel32 user32 gdi32 comctl32 wsock32 winmm)

file(GLOB MOVAR_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp)
add_library(movar_platform STATIC ${MOVAR_PLATFORM_SOURCES})
target_link_libraries(movar_platform PUBLIC movar_core ${MOVAR_SYSTEM_LIBRARIES})
target_compile_definitions(movar_platform PUBLIC ${MOVAR_WIN32_DEFINITIONS})
movar_warnings(movar_platform)
target_compile_definitions(movar_core PUBLIC ${MOVAR_WIN32_DEFINITIONS})

file(GLOB MOVAR_EXPORT_SOURCES CONFIGURE_DEPENDS src/exports/exports_*.cpp)
add_library(w_movar SHARED ${MOVAR_EXPORT_SOURCES} ${MOVAR_DEF_FILE})
target_link_libraries(w_movar PRIVATE movar_platform movar_core)
# Named exactly "w_movar.dll". No fuzzy stdcall matching: a .def entry with the wrong argument
# size must fail the link.
set_target_properties(w_movar PROPERTIES PREFIX "" LINK_DEPENDS ${MOVAR_DEF_FILE})
target_link_options(w_movar PRIVATE ${MOVAR_STATIC_RUNTIME} -Wl,--no-undefined
                                    -Wl,--disable-stdcall-fixup $<$<CONFIG:Release>:-s>)
movar_warnings(w_movar)

# What a host developer takes: the DLL, movar.h and w_movar.lib, the import library for hosts that
# link instead of calling GetProcAddress. Made from the list rather than by the linker, whose
# import library would name the exports without their stdcall argument bytes. --kill-at binds
# each symbol to the undecorated export.
configure_file(${MOVAR_GENERATED_DIR}/exports/movar.h ${CMAKE_BINARY_DIR}/movar.h COPYONLY)
find_program(MOVAR_DLLTOOL NAMES ${MOVAR_MINGW_TRIPLET}-dlltool dlltool REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/w_movar.lib
                   COMMAND ${MOVAR_DLLTOOL} --kill-at --input-def ${MOVAR_IMPLIB_DEF_FILE}
                           --dllname w_movar.dll --output-lib ${CMAKE_BINARY_DIR}/w_movar.lib
                   DEPENDS ${MOVAR_IMPLIB_DEF_FILE} VERBATIM)
add_custom_target(w_movar_import_library ALL DEPENDS ${CMAKE_BINARY_DIR}/w_movar.lib)

if(MOVAR_TESTS)
  add_subdirectory(tests/wine)
endif()
