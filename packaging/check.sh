#!/usr/bin/env bash
# The packages stage of `make test`: the packages made, lintian over them, the programs and the
# Python binding run from them unpacked (never installed here), the unit verified and scored
# offline, the Windows zip's layout and both DLLs' tables.
#   packaging/check.sh BUILD WIN32_BUILD WIN64_BUILD
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd) win32=$2 win64=$3
out=$build/packages
status=0
fail() { echo "FAIL $*"; status=1; }

"$here/make_packages.sh" "$build" "$win32" "$win64" >/dev/null || exit 1
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

# lintian: no error, and no warning but those the packaging has reasons for (README, Packages):
# CPack's own postinst and postrm run ldconfig beside the trigger, and movar.pc is in /usr/lib,
# not in a multiarch folder, as the native build installs it.
explained="maintscript-calls-ldconfig pkg-config-unavailable-for-cross-compilation"
said=$(lintian "$out"/*.deb 2>&1 | grep -v '^running with root privileges')
[ -n "$said" ] && printf '%s\n' "$said" | sed 's/^/  lintian: /'
while read -r level tag; do
  case "$level" in
    E:) fail "lintian error $tag" ;;
    W:) case " $explained " in *" $tag "*) ;; *) fail "lintian warning $tag has no reason given" ;; esac ;;
  esac
done < <(printf '%s\n' "$said" | awk '$1 == "E:" || $1 == "W:" { print $1, $3 }')
[ $status = 0 ] && echo "ok   lintian: no errors, $(printf '%s\n' "$said" | grep -c '^W:') explained warnings"

root=$(mktemp -d "${TMPDIR:-/tmp}/movar-root.XXXXXX")
trap 'rm -rf "$root"' EXIT
for deb in "$out"/*.deb; do dpkg -x "$deb" "$root" || fail "dpkg -x $deb"; done
dpkg-deb --ctrl-tarfile "$out/movar_${version}_amd64.deb" | tar -xO ./conffiles | grep -qx /etc/movar/site.toml ||
  fail "/etc/movar/site.toml is not a conffile of movar"

# The packaged programs and binding, with nothing of the build on their paths.
packaged=$(env -i LD_LIBRARY_PATH="$root/usr/lib" "$root/usr/bin/movar" --version 2>&1)
case "$packaged" in
  "movar $version "*) echo "ok   movar --version from the package: $packaged" ;;
  *) fail "the packaged movar --version says '$packaged'" ;;
esac
python=$(env -i LD_LIBRARY_PATH="$root/usr/lib" PYTHONPATH="$root/usr/lib/python3/dist-packages" \
  PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c '
import os, movar
version = movar.library_version()
loaded = [line.split()[-1] for line in open("/proc/self/maps") if "libw_movar" in line]
print(version, os.path.dirname(movar.__file__), os.path.realpath(loaded[0]))' 2>&1)
[ "$python" = "$version $root/usr/lib/python3/dist-packages/movar $root/usr/lib/libw_movar.so.$version" ] &&
  echo "ok   python3 -c 'import movar; print(movar.library_version())' from the packages: $version" ||
  fail "the packaged Python binding: '$python' (version, package folder, library loaded)"

# The unit against the unpacked root: its programs and man page there, the system's own units
# (the targets it is ordered after) beside it.
unit=$root/usr/lib/systemd/system/movar.service
cp -an /usr/lib/systemd/system/. "$root/usr/lib/systemd/system/"
# ExecReload runs the shell, which every Debian system has (essential) and our packages don't.
mkdir -p "$root/bin" && cp -L /bin/sh "$root/bin/sh"
verified=$(MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" movar.service 2>&1) &&
  [ -z "$verified" ] && echo "ok   systemd-analyze verify movar.service" ||
  fail "systemd-analyze verify movar.service: $verified"
exposure=$(systemd-analyze security --offline=true --root="$root" --threshold=25 movar.service 2>&1)
security=$?
figure=$(printf '%s\n' "$exposure" | sed -n 's/.*Overall exposure level for movar.service: //p')
[ $security = 0 ] && echo "ok   systemd-analyze security: $figure (goal: 2.5 or below)" ||
  fail "systemd-analyze security: ${figure:-$exposure} (goal: 2.5 or below)"
# The service runs on the configuration the package ships, and keeps the store and the records
# where the unit lets it write.
grep -qx 'ExecStart=/usr/bin/movar serve --config /etc/movar/site.toml' "$unit" ||
  fail "movar.service does not run movar serve on /etc/movar/site.toml"
state=/var/lib/$(sed -n 's/^StateDirectory=//p' "$unit")
for key in store dir; do
  value=$(sed -n "s/^$key *= *\"\\(.*\\)\"/\\1/p" "$root/etc/movar/site.toml")
  case "$value" in
    "$state"/*) ;;
    *) fail "site.toml's $key '$value' is outside the unit's StateDirectory $state" ;;
  esac
done

# The zip: exactly the layout, and each DLL of its architecture with the export list's names.
zip=$out/movar-$version-windows.zip
listed=$(unzip -Z1 "$zip" | sort)
wanted=$(sort <<'LIST'
README.txt
include/movar.h
lib/net45/Movar.dll
runtimes/win-x64/native/w_movar.dll
runtimes/win-x64/native/w_movar.lib
runtimes/win-x86/native/w_movar.dll
runtimes/win-x86/native/w_movar.lib
src/dotnet/Movar.cs
src/dotnet/Native.g.cs
LIST
)
[ "$listed" = "$wanted" ] && echo "ok   $(basename "$zip"): $(printf '%s\n' "$listed" | wc -l) files as laid out" ||
  fail "$(basename "$zip") lists (< wanted, > listed):
$(diff <(printf '%s\n' "$wanted") <(printf '%s\n' "$listed"))"
unzip -q "$zip" -d "$root/windows"
"$here/../tests/wine/check_dll_tables.sh" "$root/windows/runtimes/win-x86/native/w_movar.dll" "$win32/exports.txt" pei-i386 || status=1
"$here/../tests/wine/check_dll_tables.sh" "$root/windows/runtimes/win-x64/native/w_movar.dll" "$win64/exports.txt" pei-x86-64 || status=1
exit $status
