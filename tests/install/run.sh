#!/bin/sh
# Installs the built tree into a fresh prefix and builds a C host against it twice, with
# pkg-config and with find_package(movar); both hosts must run.
#   run.sh BUILD_DIR C_COMPILER CMAKE_GENERATOR
set -eu
build=$1
cc=$2
generator=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/movar-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

library=$(find "$prefix" -name 'libw_movar.so.*.*.*' -type f)
libdir=$(dirname "$library")
[ -n "$library" ] || { echo "FAIL no versioned libw_movar.so installed"; cat "$work/install.log"; exit 1; }
soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libw_movar.so.1 ] || { echo "FAIL SONAME is '$soname'"; exit 1; }
[ -L "$libdir/libw_movar.so.1" ] && [ -L "$libdir/libw_movar.so" ] ||
  { echo "FAIL the libw_movar.so links are missing"; exit 1; }
echo "ok   $library, SONAME $soname"

"$here/../check_exports.sh" "$library" "$build/exports.txt"
for name in $(cat "$build/exports.txt"); do
  grep -q " $name(" "$prefix/include/movar.h" || { echo "FAIL movar.h does not declare $name"; exit 1; }
done
echo "ok   movar.h declares every export"
for program in movar movar-terminal; do
  if find "$build/tools" -name "$program" -type f | grep -q .; then
    [ -x "$prefix/bin/$program" ] || { echo "FAIL bin/$program is not installed"; exit 1; }
    echo "ok   bin/$program"
  fi
done

PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
# shellcheck disable=SC2046 # the flags are words
"$cc" -std=c11 -Wall -Wextra -pedantic -Werror "$here/host.c" -o "$work/host-pkg-config" \
  $(pkg-config --cflags --libs movar)
said=$(LD_LIBRARY_PATH=$libdir "$work/host-pkg-config")
echo "ok   pkg-config movar $(pkg-config --modversion movar): $said"

cmake -S "$here/cmake-host" -B "$work/cmake-host" -G "$generator" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake-host.log" 2>&1 ||
  { cat "$work/cmake-host.log"; exit 1; }
cmake --build "$work/cmake-host" >>"$work/cmake-host.log" 2>&1 || { cat "$work/cmake-host.log"; exit 1; }
# The build tree's RPATH points at the prefix: no LD_LIBRARY_PATH here.
said=$("$work/cmake-host/host")
echo "ok   find_package(movar): $said"
