# Sourced by the demo and the benchmarks: a movar-terminal that lives as long as the calling
# script (it ends when its standard input closes), in a temporary folder removed on exit.
#   simulator_folder PREFIX                  makes $work, removed on exit
#   simulator_start BUILD TCP_COUNT ARGS...  starts it; $work/ips: the addresses it listens on
sim_pid=
simulator_cleanup() {
  exec 9>&- || true
  [ -n "$sim_pid" ] && wait "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}

simulator_folder() {
  work=$(mktemp -d "/tmp/$1-XXXXXX")
  trap simulator_cleanup EXIT
}

simulator_start() {
  local build=$1 listeners=$2
  shift 2
  mkfifo "$work/sim.in"
  "$build/tools/terminal-sim/movar-terminal" "$@" <"$work/sim.in" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  exec 9>"$work/sim.in"  # the simulator lives while this is open
  for _ in $(seq 300); do
    [ "$(grep -c '^tcp ' "$work/sim.out")" -ge "$listeners" ] && break
    sleep 0.1
  done
  awk '$1 == "tcp" { sub(":1024", "", $2); print $2 }' "$work/sim.out" >"$work/ips"
  [ "$(wc -l <"$work/ips")" = "$listeners" ] || { cat "$work/sim.out"; exit 1; }
}
