#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each, two at a time, from the seeds in fuzz/corpus (never
# written to: new inputs go to BUILD/corpus). A crash, leak, hang or left-open resource fails
# the run; its input is kept as BUILD/artifacts/<target>-*.
#   fuzz/run.sh BUILD SECONDS
set -euo pipefail
build=$(realpath "$1")
seconds=$2
seeds=$(dirname "$(realpath "$0")")/corpus
mkdir -p "$build/artifacts"

run() {
  local target=$1 name=${1#fuzz_}
  mkdir -p "$build/corpus/$name"
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=0 -artifact_prefix="$build/artifacts/$name-" \
      "$build/corpus/$name" "$seeds/$name" >"$build/$name.log" 2>&1; then
    echo "ok   fuzz $name: $(grep -o 'cov: [0-9]*' "$build/$name.log" | tail -1), ${seconds}s"
  else
    echo "FAIL fuzz $name (see $build/$name.log):"
    grep -E 'ERROR|SUMMARY|left open|Test unit written' "$build/$name.log" | head -5
    return 1
  fi
}

targets=$(cd "$build/fuzz" && ls fuzz_* | sort)
failed=0
pids=()
for target in $targets; do
  run "$target" &
  pids+=($!)
  if [ ${#pids[@]} -eq 2 ]; then
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
    pids=()
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
exit $failed
