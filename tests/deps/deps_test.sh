#!/usr/bin/env bash
# tools/deps.sh against stand-ins for apt-get, dpkg and sudo on PATH: a package list that fails
# to update, a package that will not install, and what each purpose asks for.
#   deps_test.sh PATH/TO/deps.sh
set -u
deps=$(realpath "$1")
work=$(mktemp -d /tmp/movar-deps-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

cat >"$work/bin/dpkg" <<'STUB'
#!/bin/sh
case "$1" in
  -s) grep -qx "$2" "$FAKE/installed" ;;
  --print-foreign-architectures) cat "$FAKE/arch" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$FAKE/arch" ;;
esac
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "apt-get $*" >>"$FAKE/calls"
if [ "$1" = update ]; then
  [ -e "$FAKE/update-fails" ] || exit 0
  echo "Err:4 http://mirror bookworm-security/main i386 Packages"
  echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size. Mirror sync in progress?"
  exit 100
fi
shift
for p in "$@"; do
  case "$p" in -*) continue ;; esac
  if grep -qx "$p" "$FAKE/broken" 2>/dev/null; then
    echo "E: Package '$p' has no installation candidate"
    exit 100
  fi
done
for p in "$@"; do case "$p" in -*) ;; *) echo "$p" >>"$FAKE/installed" ;; esac; done
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

passed=0 failed=0
check() {  # check NAME CONDITION...
  if eval "$2"; then passed=$((passed + 1)); echo "ok   $1"
  else failed=$((failed + 1)); echo "FAIL $1"; sed 's/^/     /' "$FAKE/out"; fi
}
# run PURPOSE [broken package...]: a fresh machine with nothing installed.
run() {
  export FAKE=$work/case-$RANDOM
  mkdir "$FAKE"
  : >"$FAKE/installed"
  local purpose=$1
  shift
  printf '%s\n' "$@" >"$FAKE/broken"
  [ -n "${UPDATE_FAILS:-}" ] && touch "$FAKE/update-fails"
  PATH=$work/bin:$PATH MOVAR_DEPS_RETRY_PAUSE=0 MOVAR_DEPS_STAMP=$FAKE/stamp \
    bash "$deps" "$purpose" >"$FAKE/out" 2>&1
  status=$?
}

UPDATE_FAILS=1 run demo
check "a failed update is reported and the demo's packages still install" \
  '[ $status = 0 ] && grep -q "i386 Packages" "$FAKE/out" && grep -qx cmake "$FAKE/installed" &&
   [ "$(grep -c "apt-get update" "$FAKE/calls")" = 2 ]'
check "the demo installs no Windows, Wine, fuzzing or memory-checking package" \
  '! grep -E "mingw|wine|clang|valgrind|xvfb|fonts|mono|pytest" "$FAKE/installed"'

UPDATE_FAILS=1 run test wine32:i386
check "a wine32 that cannot be installed leaves deps.sh test exiting 0 with one line" \
  '[ $status = 0 ] && [ "$(grep -c "^32-bit Wine is not installed: " "$FAKE/out")" = 1 ] &&
   grep -qx wine64 "$FAKE/installed" && grep -qx i386 "$FAKE/arch"'

run test wine32:i386
mv "$FAKE/calls" "$FAKE/first-calls"
PATH=$work/bin:$PATH MOVAR_DEPS_STAMP=$FAKE/stamp bash "$deps" test >"$FAKE/out" 2>&1
status=$?
check "a second run within the hour does not try wine32 again" \
  '[ $status = 0 ] && [ ! -e "$FAKE/calls" ] && grep -q "less than an hour ago" "$FAKE/out"'

run test wine32:i386
: >"$FAKE/calls"
rm "$FAKE/stamp"
sed -i '/^wine32:i386$/d' "$FAKE/broken"
PATH=$work/bin:$PATH MOVAR_DEPS_STAMP=$FAKE/stamp bash "$deps" test >"$FAKE/out" 2>&1
status=$?
check "with only wine32 missing, an hour later it is tried from the lists there, not refreshed" \
  '[ $status = 0 ] && ! grep -q "apt-get update" "$FAKE/calls" && grep -qx wine32:i386 "$FAKE/installed"'

run demo g++
check "a compiler that cannot be installed fails the set-up, naming it" \
  '[ $status = 1 ] && grep -q "cannot install what .demo. needs: g++ $" "$FAKE/out" &&
   grep -qx libcli11-dev "$FAKE/installed"'

run nonsense
check "an unknown purpose is refused before any apt call" '[ $status = 2 ] && [ ! -e "$FAKE/calls" ]'

echo "deps.sh: $passed passed, $failed failed"
[ $failed = 0 ]
