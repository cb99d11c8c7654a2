#!/usr/bin/env bash
# Installs what one purpose needs from Debian, and nothing more.
#   tools/deps.sh demo   the native library, the command line and the simulator
#   tools/deps.sh test   everything `make test` runs
# A package index that fails to update is reported and the install goes on with the lists that
# are there; the script fails only when a package the purpose cannot do without will not install,
# and names it. 32-bit Wine is optional: without it the Wine stage tests the 64-bit DLL.
set -uo pipefail

purpose=${1:-}
demo_packages=(cmake ninja-build g++ make pkg-config python3 libcli11-dev nlohmann-json3-dev libsqlite3-dev
               libpq-dev libcpp-httplib-dev libtomlplusplus-dev)
test_packages=("${demo_packages[@]}" libgtest-dev libgmock-dev libbenchmark-dev binutils
               g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64
               binutils-mingw-w64-x86-64 wine wine64 xvfb xauth fonts-wqy-microhei clang
               libclang-rt-14-dev valgrind python3-pytest python3-setuptools python3-pip mypy
               mono-mcs mono-runtime postgresql chromium chromium-driver python3-selenium python3-psycopg2
               lintian help2man dpkg-dev zip unzip systemd)
optional_packages=()
case "$purpose" in
  demo) required=("${demo_packages[@]}") ;;
  test) required=("${test_packages[@]}"); optional_packages=(wine32:i386) ;;
  *) echo "usage: tools/deps.sh demo|test" >&2; exit 2 ;;
esac

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp /tmp/movar-deps-XXXXXX)
trap 'rm -f "$log"' EXIT

installed() { dpkg -s "$1" >/dev/null 2>&1; }
missing_of() { local p; for p in "$@"; do installed "$p" || printf '%s\n' "$p"; done; }

mapfile -t missing < <(missing_of "${required[@]}")
mapfile -t missing_optional < <(missing_of "${optional_packages[@]}")
# An optional package that would not install is tried again only after an hour: every stage of
# `make test` calls this script, and a mirror mid-sync stays so for a while.
optional_stamp=${MOVAR_DEPS_STAMP:-/var/tmp/movar-deps-optional-failed}
if [ ${#missing_optional[@]} -gt 0 ] && [ -n "$(find "$optional_stamp" -mmin -60 2>/dev/null)" ]; then
  echo "$(cat "$optional_stamp") (tried less than an hour ago)"
  missing_optional=()
fi
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

# The lists are refreshed only for a required package, or for an architecture just added (its
# lists are not there yet): an optional package that would not install from the lists there
# seldom would after a refresh, which costs a minute on every run of a machine without it.
refresh=0
[ ${#missing[@]} -gt 0 ] && refresh=1
if [[ " ${missing_optional[*]} " == *":i386 "* ]] &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  refresh=1
fi

# A mirror being re-synced fails one list for a while: say which, and go on with the rest.
update() { $sudo apt-get update -q >"$log" 2>&1; }
if [ $refresh = 1 ] && ! update; then
  sleep "${MOVAR_DEPS_RETRY_PAUSE:-5}"
  if ! update; then
    echo "deps: apt-get update failed for some package lists; going on with the lists that are there:"
    grep -E '^(E|W|Err):' "$log" | sed 's/^/  /' | head -n 10
  fi
fi

apt_install() { $sudo apt-get install -y -q --no-install-recommends "$@" </dev/null >"$log" 2>&1; }
# One install for all; on failure once more, then package by package to name the ones that fail.
install_all() {
  [ $# -eq 0 ] && return 0
  echo "deps: installing $*"
  apt_install "$@" && return 0
  apt_install "$@" && return 0
  local p failed=()
  for p in "$@"; do
    installed "$p" || apt_install "$p" || failed+=("$p")
  done
  [ ${#failed[@]} -eq 0 ] && return 0
  printf '%s\n' "${failed[@]}" >"$log.failed"
  return 1
}

status=0
if ! install_all "${missing[@]}"; then
  echo "deps: cannot install what '$purpose' needs: $(tr '\n' ' ' <"$log.failed")" >&2
  grep -E '^E:' "$log" | sed 's/^/  /' >&2
  status=1
fi
rm -f "$log.failed"
for p in "${missing_optional[@]}"; do
  if ! install_all "$p"; then
    reason=$(grep -m1 -E '^E:' "$log" | sed 's/^E: //')
    echo "32-bit Wine is not installed: $p could not be installed (${reason:-apt-get failed}); the Wine stage tests the 64-bit DLL" |
      tee "$optional_stamp"
  fi
  rm -f "$log.failed"
done
exit $status
