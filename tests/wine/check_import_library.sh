#!/bin/sh
# What a Windows host developer takes from CROSS_BUILD_DIR: w_movar.dll, movar.h and the import
# library w_movar.lib. A C host taking the address of every export through movar.h links against
# w_movar.lib alone (so each stdcall symbol NAME@bytes is there), its import table must name every
# export undecorated, and when Wine has a prefix there it calls _LANENABLEALL("") and gets 1.
#   check_import_library.sh CROSS_BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
work=$build/import-library-check
for file in w_movar.dll movar.h w_movar.lib exports.txt; do
  [ -f "$build/$file" ] || { echo "FAIL $build/$file is missing"; exit 1; }
done
if i686-w64-mingw32-objdump -f "$build/w_movar.dll" 2>/dev/null | grep -q 'pei-i386'; then
  triplet=i686-w64-mingw32 wine=wine
else
  triplet=x86_64-w64-mingw32 wine=/usr/lib/wine/wine64
fi
rm -rf "$work"
mkdir -p "$work"

{
  printf '#include <stdio.h>\n#include "movar.h"\n\nstatic void (*const every_export[])(void) = {\n'
  sed 's/.*/  (void (*)(void))&,/' "$build/exports.txt"
  printf '};\n\nint main(void) {\n'
  printf '  int32_t result = _LANENABLEALL("");\n'
  printf '  printf("%%d exports linked, _LANENABLEALL(\\"\\") = %%d\\n",\n'
  printf '         (int)(sizeof every_export / sizeof every_export[0]), (int)result);\n'
  printf '  return result == 1 ? 0 : 1;\n}\n'
} >"$work/linked_host.c"
"$triplet-gcc" -std=c11 -Wall -Wextra -Werror -Wno-cast-function-type -I"$build" \
  "$work/linked_host.c" "$build/w_movar.lib" -o "$work/linked_host.exe"

imported=$("$triplet-objdump" -p "$work/linked_host.exe" |
  awk '/DLL Name:/ { dll = tolower($3) } /^$/ { dll = "" }
       dll == "w_movar.dll" && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }' |
  sort)
wanted=$(sort "$build/exports.txt")
if [ "$imported" != "$wanted" ]; then
  echo "FAIL a host linked with w_movar.lib imports other names (< list, > host):"
  printf '%s\n' "$wanted" >"$work/wanted"
  printf '%s\n' "$imported" | diff "$work/wanted" - || true
  exit 1
fi
echo "ok   w_movar.lib: a host links every export and imports $(printf '%s\n' "$imported" | wc -l) undecorated names"

if [ -f "$build/wine/prefix/system.reg" ]; then
  cp "$build/w_movar.dll" "$work/"
  said=$(WINEPREFIX=$build/wine/prefix WINEDEBUG=-all timeout 60 "$wine" "$work/linked_host.exe" | tr -d '\r')
  echo "ok   under Wine: $said"
fi
