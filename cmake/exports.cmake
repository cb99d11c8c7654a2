# Everything about the exports comes from src/exports/exports.list and failures.list: the public
# header, the rows the entry points are declared and guarded from, the Linux version script, the
# Windows .def and the plain name list the symbol checks compare with. A declaration can then
# never disagree with its definition, nor a decoration with its argument bytes. The lists have one
# reader, the Python binding's, which cmake/generate_exports.py runs at configure time.
set(MOVAR_EXPORT_LIST ${PROJECT_SOURCE_DIR}/src/exports/exports.list)
set(MOVAR_FAILURE_LIST ${PROJECT_SOURCE_DIR}/src/exports/failures.list)
set(MOVAR_LIST_READER ${PROJECT_SOURCE_DIR}/bindings/python/movar/_exportlist.py)
set(MOVAR_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${MOVAR_EXPORT_LIST} ${MOVAR_FAILURE_LIST} ${MOVAR_LIST_READER}
             ${PROJECT_SOURCE_DIR}/src/exports/movar.h.in ${PROJECT_SOURCE_DIR}/cmake/generate_exports.py)

# The build machine's interpreter, also when cross-compiling.
find_program(MOVAR_PYTHON3 python3 HINTS /usr/bin NO_DEFAULT_PATH)
find_program(MOVAR_PYTHON3 python3 REQUIRED)
if(NOT WIN32)
  set(target linux)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(target win32)
else()
  set(target win64)
endif()
execute_process(COMMAND ${MOVAR_PYTHON3} ${PROJECT_SOURCE_DIR}/cmake/generate_exports.py
                        ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${target}
                RESULT_VARIABLE status ERROR_VARIABLE failure)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "generating from exports.list failed: ${failure}")
endif()

set(MOVAR_MAP_FILE ${CMAKE_BINARY_DIR}/w_movar.map)
set(MOVAR_DEF_FILE ${CMAKE_BINARY_DIR}/w_movar.def)
set(MOVAR_IMPLIB_DEF_FILE ${CMAKE_BINARY_DIR}/w_movar.implib.def)
