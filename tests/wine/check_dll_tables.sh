#!/bin/sh
# w_movar.dll exports exactly the listed names and imports only system DLLs.
#   check_dll_tables.sh DLL EXPORTS_TXT [pei-i386|pei-x86-64]
# msvcrt.dll is the C runtime that every Windows ships; mingw-built code always calls into it.
set -eu
dll=$1
expected=$2
format=${3:-pei-i386}
objdump=i686-w64-mingw32-objdump
[ "$format" = pei-x86-64 ] && objdump=x86_64-w64-mingw32-objdump
allowed="comctl32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll winmm.dll wsock32.dll"
failed=0

"$objdump" -f "$dll" | grep -q "$format" || { echo "FAIL $dll is not a $format DLL"; exit 1; }

actual=$("$objdump" -p "$dll" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^\t\[/ { print $NF }' | sort)
wanted=$(sort "$expected")
if [ "$actual" = "$wanted" ]; then
  echo "ok   exports: $(printf '%s\n' "$actual" | wc -l) names match the export list"
else
  echo "FAIL exports differ from the export list (< list, > DLL):"
  printf '%s\n' "$wanted" >"$dll.exports-wanted"
  printf '%s\n' "$actual" | diff "$dll.exports-wanted" - || true
  rm -f "$dll.exports-wanted"
  failed=1
fi

imports=$("$objdump" -p "$dll" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
for name in $imports; do
  case " $allowed " in
    *" $name "*) ;;
    *) echo "FAIL imports $name, not a system DLL"; failed=1 ;;
  esac
done
[ "$failed" = 1 ] || echo "ok   imports: $(echo $imports)"
exit $failed
