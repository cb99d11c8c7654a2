#!/usr/bin/env bash
# The main job: a simulated terminal with 300 records on a pty and on a free 127.0.0.x:1024,
# driven by the movar command line as a shell user would drive a real one.
#   tools/demo/demo.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
movar=$build/tools/cli/movar
source "$(dirname "$0")/simulator.sh"
simulator_folder movar-demo
simulator_start "$build" 1 --address 7 --pty-link "$work/com1" --tcp auto \
  --records 300 --templates 3 --live 007B930E28C5 --live 01C8930E2906
ip=$(cat "$work/ips")
export MOVAR_COM1=$work/com1
for n in 2 3 4 5 6 7 8 9; do export MOVAR_COM$n=/nonexistent/movar-demo; done

# Each command as a shell would need it typed: a word with a space in it quoted.
show() {
  local typed="" word
  for word in "$@"; do
    [[ $word == *" "* ]] && word="\"$word\""
    typed+=" $word"
  done
  echo; echo "\$ movar${typed}"; "$movar" "$@"
}
echo "terminal 7 with 300 records on COM1 ($work/com1) and $ip:1024"
show test --com 1 --addr 7
show download --com 1 --addr 7 --dir "$work/serial"
echo "  movar.txt: $(wc -l <"$work/serial/movar.txt") lines; the first three:"
head -3 "$work/serial/movar.txt" | sed 's/^/    /'
show restore --all --ip "$ip"
show download --ip "$ip" --dir "$work/lan" --store "$work/facts.db"
echo; echo "\$ movar --json show $work/lan/movar.dat"
"$movar" --json show "$work/lan/movar.dat" >"$work/shown"
head -2 "$work/shown"
echo "  ... $(wc -l <"$work/shown") records in all"
show records --store "$work/facts.db" --person 7
show time set 0x26 0x12 0x09 0x08 0x15 0x30 0x03 --ip "$ip"
show name send 1 "Ann Lee" --ip "$ip"
show fp list --com 1 --addr 7 --dir "$work/serial"
sed 's/^/    /' "$work/serial/FINGERREC/IDLIST.TXT"
show realtime --watch --count 2 --ip "$ip"
