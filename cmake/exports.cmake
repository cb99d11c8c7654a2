# Everything about the exports comes from src/exports/exports.list: the public header, the rows the
# entry points are declared and guarded from, the Linux version script, the Windows .def and the
# plain name list the symbol checks compare with. A declaration can then never disagree with its
# definition, nor a decoration with its argument bytes.
set(MOVAR_EXPORT_LIST ${PROJECT_SOURCE_DIR}/src/exports/exports.list)
set(MOVAR_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${MOVAR_EXPORT_LIST}
                                                               ${PROJECT_SOURCE_DIR}/src/exports/movar.h.in)

file(STRINGS ${MOVAR_EXPORT_LIST} MOVAR_EXPORT_LINES REGEX "^([A-Z]|## )")
set(MOVAR_EXPORT_NAMES "")
set(MOVAR_MAP_BODY "")
set(MOVAR_DEF_BODY "")
set(MOVAR_IMPLIB_DEF_BODY "")
set(MOVAR_HEADER_DECLARATIONS "")
set(MOVAR_ROWS_BODY "")
set(comment "")
foreach(line IN LISTS MOVAR_EXPORT_LINES)
  if(line MATCHES "^## (.*)$")
    string(APPEND comment "${CMAKE_MATCH_1}\n")
    continue()
  endif()
  if(NOT line MATCHES "^([A-Z0-9]+)[ \t]+([^ \t]+)[ \t]+([^(]*[^( \t])[ \t]*\\((.*)\\)[ \t]*$")
    message(FATAL_ERROR "exports.list: cannot read the line '${line}'")
  endif()
  set(name ${CMAKE_MATCH_1})
  set(failure ${CMAKE_MATCH_2})
  set(result ${CMAKE_MATCH_3})
  set(parameters ${CMAKE_MATCH_4})
  string(REPLACE "," ";" parameter_list "${parameters}")
  list(LENGTH parameter_list count)
  if(parameters STREQUAL "" OR parameters STREQUAL "void")
    set(count 0)
  endif()
  math(EXPR bytes "${count} * 4")

  if(NOT comment STREQUAL "")
    string(STRIP "${comment}" comment)
    string(REPLACE "\n" "\n * " comment "${comment}")
    string(APPEND MOVAR_HEADER_DECLARATIONS "\n/* ${comment} */\n")
    set(comment "")
  endif()
  string(APPEND MOVAR_HEADER_DECLARATIONS "${result} MOVAR_IMPORT_CALL _${name}(${parameters});\n")
  string(APPEND MOVAR_ROWS_BODY "  X(${result}, ${name}, ${failure}, (${parameters})) \\\n")
  list(APPEND MOVAR_EXPORT_NAMES "_${name}")
  string(APPEND MOVAR_MAP_BODY "    _${name};\n")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    string(APPEND MOVAR_DEF_BODY "  _${name}=${name}@${bytes}\n")
    string(APPEND MOVAR_IMPLIB_DEF_BODY "  _${name}@${bytes}\n")
  else()
    # x64 has one calling convention and no size decoration (the Wine test build).
    string(APPEND MOVAR_DEF_BODY "  _${name}=${name}\n")
    string(APPEND MOVAR_IMPLIB_DEF_BODY "  _${name}\n")
  endif()
endforeach()

configure_file(${PROJECT_SOURCE_DIR}/src/exports/movar.h.in ${MOVAR_GENERATED_DIR}/exports/movar.h @ONLY)
file(CONFIGURE OUTPUT ${MOVAR_GENERATED_DIR}/exports/export_rows.h CONTENT
"/* Generated from src/exports/exports.list: X(result type, NAME, failure result, (parameters)). */
#pragma once

#define MOVAR_EXPORT_ROWS(X) \\
${MOVAR_ROWS_BODY}
" @ONLY)

set(MOVAR_MAP_FILE ${CMAKE_BINARY_DIR}/w_movar.map)
set(MOVAR_DEF_FILE ${CMAKE_BINARY_DIR}/w_movar.def)
file(CONFIGURE OUTPUT ${MOVAR_MAP_FILE} CONTENT "{\n  global:\n${MOVAR_MAP_BODY}    movar_*;\n  local: *;\n};\n")
file(CONFIGURE OUTPUT ${MOVAR_DEF_FILE} CONTENT "LIBRARY w_movar.dll\nEXPORTS\n${MOVAR_DEF_BODY}")
# For the import library: a host's stdcall call of _NAME is the symbol _NAME@bytes, bound to the
# undecorated export _NAME.
set(MOVAR_IMPLIB_DEF_FILE ${CMAKE_BINARY_DIR}/w_movar.implib.def)
file(CONFIGURE OUTPUT ${MOVAR_IMPLIB_DEF_FILE} CONTENT "LIBRARY w_movar.dll\nEXPORTS\n${MOVAR_IMPLIB_DEF_BODY}")
string(JOIN "\n" MOVAR_EXPORT_NAMES_TEXT ${MOVAR_EXPORT_NAMES})
file(WRITE ${CMAKE_BINARY_DIR}/exports.txt "${MOVAR_EXPORT_NAMES_TEXT}\n")
