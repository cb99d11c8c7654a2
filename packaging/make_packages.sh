#!/usr/bin/env bash
# `make package`: the Debian packages of the native build (CPack) and movar-VERSION-windows.zip
# of both DLLs, into BUILD/packages.
#   packaging/make_packages.sh BUILD WIN32_BUILD WIN64_BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd) win32=$2 win64=$3
out=$build/packages
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
rm -rf "$out"
mkdir -p "$out"

cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log"; exit 1; }
rm -rf "$out/_CPack_Packages"

# Both DLLs are built from one export list, so they share one header; two that differ are from
# two different sources and must not be shipped as one.
cmp -s "$win32/movar.h" "$win64/movar.h" ||
  { echo "FAIL $win32/movar.h and $win64/movar.h differ: the DLLs are from different sources"; exit 1; }
dotnet=$build/bindings/dotnet
[ -f "$dotnet/Movar.dll" ] || { echo "FAIL $dotnet/Movar.dll is missing (mcs, the native build)"; exit 1; }

stage=$(mktemp -d "${TMPDIR:-/tmp}/movar-windows.XXXXXX")
trap 'rm -rf "$stage"' EXIT
for pair in win-x86:$win32 win-x64:$win64; do
  native=$stage/runtimes/${pair%%:*}/native
  mkdir -p "$native"
  cp "${pair#*:}/w_movar.dll" "${pair#*:}/w_movar.lib" "$native/"
done
mkdir -p "$stage/include" "$stage/lib/net45" "$stage/src/dotnet"
cp "$win32/movar.h" "$stage/include/"
cp "$dotnet/Movar.dll" "$stage/lib/net45/"
cp "$here/../bindings/dotnet/Movar.cs" "$dotnet/Native.g.cs" "$stage/src/dotnet/"
sed "s/@VERSION@/$version/" "$here/windows/README.txt" | sed 's/$/\r/' >"$stage/README.txt"
zip="$out/movar-$version-windows.zip"
(cd "$stage" && zip -q -X -r -D "$zip" .)
ls "$out"/*.deb "$zip"
