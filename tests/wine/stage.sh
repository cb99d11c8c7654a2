#!/usr/bin/env bash
# The Wine stage: both DLLs' tables and import libraries; the 64-bit DLL under wine64 on every
# machine; the 32-bit DLL under 32-bit Wine where that runs, else one line saying why not.
#   tests/wine/stage.sh WIN32_BUILD WIN64_BUILD SIMULATOR
set -uo pipefail
here=$(dirname "$0")
win32=$1 win64=$2 simulator=$3
status=0
"$here/check_dll_tables.sh" "$win32/w_movar.dll" "$win32/exports.txt" pei-i386 || status=1
"$here/check_dll_tables.sh" "$win64/w_movar.dll" "$win64/exports.txt" pei-x86-64 || status=1

# Why 32-bit Wine cannot run here, or nothing when it can.
why_no_wine32() {
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "32-bit Wine is not installed: /usr/lib/wine/wine is missing (package wine32:i386)"
    return
  fi
  local said
  said=$(timeout 20 /usr/lib/wine/wine --version 2>&1) && return
  if printf '%s' "$said" | grep -qi 'exec format error'; then
    echo "this kernel runs no 32-bit code: /usr/lib/wine/wine fails with \"Exec format error\""
  else
    echo "32-bit Wine is not installed: /usr/lib/wine/wine --version failed ($(printf '%s' "$said" | head -n 1))"
  fi
}

"$here/run.sh" "$win64" "$simulator" || status=1
"$here/check_import_library.sh" "$win64" || status=1
reason=$(why_no_wine32)
if [ -z "$reason" ]; then
  "$here/run.sh" "$win32" "$simulator" || status=1
else
  echo "$reason; the 32-bit DLL was built and its tables checked, the 64-bit one ran under wine64"
fi
"$here/check_import_library.sh" "$win32" || status=1
exit $status
