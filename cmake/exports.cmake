# Everything about the exports comes from src/exports/exports.list: the public header, the rows the
# entry points are declared and guarded from, the Linux version script, the Windows .def and the
# plain name list the symbol checks compare with. A declaration can then never disagree with its
# definition, nor a decoration with its argument bytes.
set(MOVAR_EXPORT_LIST ${PROJECT_SOURCE_DIR}/src/exports/exports.list)
set(MOVAR_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${MOVAR_EXPORT_LIST}
                                                               ${PROJECT_SOURCE_DIR}/src/exports/movar.h.in)

file(STRINGS ${MOVAR_EXPORT_LIST} MOVAR_EXPORT_LINES REGEX "^([A-Za-z]|## )")
set(MOVAR_EXPORT_NAMES "")
set(MOVAR_MAP_BODY "")
set(MOVAR_DEF_BODY "")
set(MOVAR_IMPLIB_DEF_BODY "")
set(MOVAR_HEADER_DECLARATIONS "")
set(MOVAR_ROWS_BODY "")
set(MOVAR_EXTENSION_ROWS_BODY "")
set(comment "")
foreach(line IN LISTS MOVAR_EXPORT_LINES)
  if(line MATCHES "^## (.*)$")
    string(APPEND comment "${CMAKE_MATCH_1}\n")
    continue()
  endif()
  if(NOT line MATCHES "^([A-Za-z0-9_]+)[ \t]+([^ \t]+)[ \t]+([^(]*[^( \t])[ \t]*\\((.*)\\)[ \t]*$")
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
  # The 72 are exported as _NAME, an extension by its own movar_ name; on Windows both bind the
  # stdcall function NAME.
  if(name MATCHES "^movar_")
    set(symbol ${name})
    string(APPEND MOVAR_EXTENSION_ROWS_BODY "  X(${result}, ${name}, ${failure}, (${parameters})) \\\n")
  else()
    set(symbol _${name})
    string(APPEND MOVAR_ROWS_BODY "  X(${result}, ${name}, ${failure}, (${parameters})) \\\n")
  endif()
  string(APPEND MOVAR_HEADER_DECLARATIONS "${result} MOVAR_IMPORT_CALL ${symbol}(${parameters});\n")
  list(APPEND MOVAR_EXPORT_NAMES "${symbol}")
  string(APPEND MOVAR_MAP_BODY "    ${symbol};\n")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    string(APPEND MOVAR_DEF_BODY "  ${symbol}=${name}@${bytes}\n")
    string(APPEND MOVAR_IMPLIB_DEF_BODY "  ${symbol}@${bytes}\n")
  else()
    # x64 has one calling convention and no size decoration.
    if(symbol STREQUAL name)
      string(APPEND MOVAR_DEF_BODY "  ${symbol}\n")
    else()
      string(APPEND MOVAR_DEF_BODY "  ${symbol}=${name}\n")
    endif()
    string(APPEND MOVAR_IMPLIB_DEF_BODY "  ${symbol}\n")
  endif()
endforeach()

configure_file(${PROJECT_SOURCE_DIR}/src/exports/movar.h.in ${MOVAR_GENERATED_DIR}/exports/movar.h @ONLY)
file(CONFIGURE OUTPUT ${MOVAR_GENERATED_DIR}/exports/export_rows.h CONTENT
"/* Generated from src/exports/exports.list: X(result type, NAME, failure result, (parameters)). */
#pragma once

#define MOVAR_EXPORT_ROWS(X) \\
${MOVAR_ROWS_BODY}
#define MOVAR_EXTENSION_ROWS(X) \\
${MOVAR_EXTENSION_ROWS_BODY}
" @ONLY)

set(MOVAR_MAP_FILE ${CMAKE_BINARY_DIR}/w_movar.map)
set(MOVAR_DEF_FILE ${CMAKE_BINARY_DIR}/w_movar.def)
file(CONFIGURE OUTPUT ${MOVAR_MAP_FILE} CONTENT "{\n  global:\n${MOVAR_MAP_BODY}    movar_set_progress_hook;\n  local: *;\n};\n")
file(CONFIGURE OUTPUT ${MOVAR_DEF_FILE} CONTENT "LIBRARY w_movar.dll\nEXPORTS\n${MOVAR_DEF_BODY}")
# For the import library: a host's stdcall call of _NAME (movar_name) is the symbol _NAME@bytes
# (movar_name@bytes), bound to the undecorated export.
set(MOVAR_IMPLIB_DEF_FILE ${CMAKE_BINARY_DIR}/w_movar.implib.def)
file(CONFIGURE OUTPUT ${MOVAR_IMPLIB_DEF_FILE} CONTENT "LIBRARY w_movar.dll\nEXPORTS\n${MOVAR_IMPLIB_DEF_BODY}")
# Every name the product exports: the list's, and on Linux the progress hook, which has no row
# because Windows has no use for it.
if(NOT WIN32)
  list(APPEND MOVAR_EXPORT_NAMES movar_set_progress_hook)
endif()
string(JOIN "\n" MOVAR_EXPORT_NAMES_TEXT ${MOVAR_EXPORT_NAMES})
file(WRITE ${CMAKE_BINARY_DIR}/exports.txt "${MOVAR_EXPORT_NAMES_TEXT}\n")
