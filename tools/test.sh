#!/usr/bin/env bash
# `make test`: every build and every check, on two lanes so that both cores stay busy. The builds
# run niced, one after another; the checks, which mostly wait on simulated terminals, run beside
# them at normal priority and so get a core whenever they need one. Each stage's output is printed
# whole when it ends (and kept in build-logs/); the stage times close the run.
set -uo pipefail
cd "$(dirname "$0")/.."
logs=build-logs
rm -rf "$logs" .stage-times
mkdir -p "$logs"
began=$(date +%s)

# Runs make TARGET into its log, then prints the log in one piece; a failure is noted.
stage() {
  local target=$1 status=0
  make --no-print-directory NODEPS=1 "$target" >"$logs/$target.log" 2>&1 || status=$?
  {
    flock 9
    echo "== $target ($(($(date +%s) - began)) s into the run)$([ $status = 0 ] || echo ": FAILED")"
    cat "$logs/$target.log"
    [ $status = 0 ] || echo "$target" >>"$logs/failed"
  } 9>>"$logs/print.lock"
  return $status
}
built() { touch "$logs/built-$1"; }
await() {  # waits for a build of the other lane; false when it failed or never came
  until [ -e "$logs/built-$1" ]; do
    [ -e "$logs/builds-over" ] && return 1
    sleep 1
  done
}

stage build || { echo "native build failed"; exit 1; }

# The checks one after another: integration tests take loopback addresses wherever they are free
# and Wine's run wants two fixed ones. Each starts once its build is there, not when the builds
# are over.
(
  stage run-native
  stage run-memcheck
  await dlls && { stage run-wine; stage run-package; }
  await asan && stage run-asan
  true
) &
checks=$!
# The ASan build is the longest and the fuzz build the shortest: the fuzzers, which keep both
# cores busy, close the run while the ASan+UBSan tests, which mostly wait, run beside them.
(
  trap 'touch "$logs/builds-over"' EXIT
  renice -n 19 $BASHPID >/dev/null
  stage dll && stage dll64 && built dlls
  stage build-asan && built asan
  stage fuzz-build && built fuzz
) &
builds=$!
(await fuzz && renice -n 19 $BASHPID >/dev/null && stage run-fuzz) &
fuzz=$!
wait $builds
wait $checks
wait $fuzz

echo
echo "stage times (the lanes overlap; the whole run took $(($(date +%s) - began)) s):"
cat .stage-times
if [ -s "$logs/failed" ]; then
  echo "FAILED: $(tr '\n' ' ' <"$logs/failed")"
  exit 1
fi
# Stages that never ran (a build they need failed) count as failures too.
for needed in run-native run-memcheck run-wine run-package run-asan run-fuzz; do
  [ -e "$logs/$needed.log" ] || { echo "FAILED: $needed did not run"; exit 1; }
done
echo "all stages passed"
