#!/bin/sh
# The shared library must export exactly the listed names: the 72 and the movar_ extensions.
set -eu
lib=$1
expected=$2
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
wanted=$(sort "$expected")
if [ "$actual" != "$wanted" ]; then
  echo "exported symbols differ from the export list:"
  printf '%s\n' "$actual" > /tmp/movar-exports-actual.$$
  printf '%s\n' "$wanted" | diff - /tmp/movar-exports-actual.$$ || true
  rm -f /tmp/movar-exports-actual.$$
  exit 1
fi
echo "$(printf '%s\n' "$actual" | wc -l) exports match the list"
