#!/usr/bin/env bash
# A thousand simulated terminals of 1000 records each (one movar-terminal process on
# 127.0.1.1 and the 999 loopback addresses after it), collected into a record store with
# `movar collect --jobs 256`, against the same work one after another, estimated in the same run
# from a sample of terminals downloaded one at a time. Every record must be in the store once.
# Goal: all 1000 terminals in at most 60 s.
#   bench/thousand_terminals.sh BUILD [STORE]   STORE: a SQLite file (default) or postgresql://...
set -euo pipefail
build=$(realpath "$1")
terminals=${TERMINALS:-1000} records=${RECORDS:-1000} jobs=${JOBS:-256} sample=${SAMPLE:-4}
movar=$build/tools/cli/movar
source "$(dirname "$0")/../tools/demo/simulator.sh"
simulator_folder movar-thousand
simulator_start "$build" "$terminals" --tcp 127.0.1.1 --count "$terminals" \
  --records "$records"
store=${2:-$work/facts.db}

# One after another, from the last few terminals (restored after, so the collection gets them).
began=$(date +%s.%N)
for ip in $(tail -n "$sample" "$work/ips"); do
  "$movar" download --ip "$ip" --dir "$work/sample/$ip" >/dev/null
  "$movar" restore --all --ip "$ip" >/dev/null
done
calc() { awk "BEGIN { print $1 }"; }
each=$(calc "($(date +%s.%N) - $began) / $sample")

began=$(date +%s.%N)
"$movar" collect --ips "$work/ips" --dir "$work/site" --store "$store" --jobs "$jobs" >"$work/collect.out" || {
  tail -5 "$work/collect.out"; exit 1; }
seconds=$(calc "$(date +%s.%N) - $began")
stored=$("$movar" records --store "$store" --csv | tail -n +2 | wc -l)
distinct=$("$movar" records --store "$store" --csv | tail -n +2 | sort -u | wc -l)

printf 'terminals %d x %d records, --jobs %d\n' "$terminals" "$records" "$jobs"
printf 'at once:             %7.1f s\n' "$seconds"
printf 'one after another:   %7.1f s (estimated from %d terminals, %.2f s each)\n' \
  "$(calc "$each * $terminals")" "$sample" "$each"
printf 'speed-up:            %7.1f x\n' "$(calc "$each * $terminals / $seconds")"
printf 'facts in the store:  %d (%d distinct; expected %d)\n' "$stored" "$distinct" $((terminals * records))
[ "$stored" = $((terminals * records)) ] && [ "$distinct" = "$stored" ] || { echo "FAIL: facts missing or doubled"; exit 1; }
if [ "$(calc "$seconds <= 60")" = 1 ]; then echo "ok   within 60 s"; else echo "FAIL: over 60 s"; exit 1; fi
