#!/usr/bin/env bash
# The real w_movar.dll under Wine: the Windows test host calls its exports against the simulator
# (COM3 is the simulator's pty, COM4 the pty of its twin behind a modem, the other COM ports do not
# open; TCP on 127.0.0.7:1024) and the movar_ extensions by their plain names, then
# shows the progress windows under Xvfb and saves their pictures into the build folder.
#
#   tests/wine/run.sh CROSS_BUILD_DIR SIMULATOR
#
# CROSS_BUILD_DIR holds w_movar.dll and movar-wine-host.exe, 32- or 64-bit; the matching Wine
# runs them. Every wine call has a time limit; the prefix lives in CROSS_BUILD_DIR/wine, reused.
set -euo pipefail

build=$(realpath "$1")
simulator=$(realpath "$2")
work=$build/wine
com=3
modem_com=4
ip=127.0.0.7
# The machine field of the DLL's PE header: 014c is i386.
pe_offset=$(od -An -tu4 -j60 -N4 "$build/w_movar.dll" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$build/w_movar.dll" | tr -d ' ')
if [ "$machine" = 014c ]; then
  wine=wine
  export WINEARCH=win32
else
  wine=/usr/lib/wine/wine64
  export WINEARCH=win64
fi
export WINEPREFIX=$work/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono/Gecko installer dialogs
mkdir -p "$work" "$work/no-port"
# An existing empty directory: a COM port mapped to it fails to open.
no_port=$work/no-port

began=$(date +%s)
step() { echo "wine [$(($(date +%s) - began))s] $*"; }

sim_pid=
cleanup() {
  exec 9>&- || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  timeout 30 wineserver -k 9>&- 2>/dev/null || true
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  step "creating the prefix $WINEPREFIX"
  timeout 300 "$wine" wineboot -i >"$work/wineboot.log" 2>&1 9>&-
  timeout 60 wineserver -w 9>&- || true
fi

# The simulator lives as long as this script holds the write end of its stdin.
rm -f "$work/sim.in"
mkfifo "$work/sim.in"
"$simulator" --address 1 --pty --speed 19200 --tcp "$ip" --live 007B930E28C5 --records 30 --backup 2000 --modem-pty --fingerprint 300:2:2 --log-bytes <"$work/sim.in" >"$work/sim.out" 2>&1 &
sim_pid=$!
exec 9>"$work/sim.in"
for _ in $(seq 50); do
  grep -q '^tcp ' "$work/sim.out" && break
  sleep 0.1
done
pty=$(awk '$1 == "pty" { print $2 }' "$work/sim.out")
modem_pty=$(awk '$1 == "modem-pty" { print $2 }' "$work/sim.out")
[ -n "$pty" ] && [ -n "$modem_pty" ] || { echo "simulator did not start:"; cat "$work/sim.out"; exit 1; }
step "simulator on $pty, its modem on $modem_pty and $ip:1024; $WINEARCH build in $build"

# Wine maps COM ports from the registry (the dosdevices links are recreated at start); ports
# left unset would be mapped to /dev/ttyS* by Wine itself. Without a window manager Wine draws
# the frames itself only when told to; the GB2312 face of "LAN DOWNLOAD" is mapped to the CJK
# font the deps install. UTF-16 because of that face name.
{
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  for n in 1 2 3 4 5 6 7 8 9; do
    target=$no_port
    [ "$n" = "$com" ] && target=$pty
    [ "$n" = "$modem_com" ] && target=$modem_pty
    printf '"COM%s"="%s"\n' "$n" "$target"
  done
  printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="N"\n'
  printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n"\xe9\xbb\x91\xe4\xbd\x93"="WenQuanYi Micro Hei"\n'
} | iconv -f UTF-8 -t UTF-16 >"$work/settings.reg"
timeout 60 "$wine" reg import "$work/settings.reg" >"$work/reg.log" 2>&1 9>&-
timeout 30 wineserver -k 9>&- || true
timeout 30 wineserver -w 9>&- || true
step "COM$com and COM$modem_com mapped"

# Wine's own output goes to files: its service processes keep pipes open long after a call.
windows_dir="Z:${build//\//\\}\\"
rm -rf "$build/record-dir" && mkdir -p "$build/record-dir"
rm -f "$build"/down-loading.png "$build"/lan-download.png "$build"/movar*.dat "$build"/movar*.txt "$build"/FINGERREC/* \
  "$build"/zwbak.txt
status=0
timeout -k 5 240 xvfb-run -a -s "-screen 0 1024x768x24" \
  timeout -k 5 180 "$wine" "$build/movar-wine-host.exe" exports "$ip" "$com" \
  extensions "$ip" "${windows_dir}record-dir\\" network "$ip" windows "$windows_dir" \
  >"$work/host.out" 2>"$work/host.err" 9>&- || status=$?
tr -d '\r' <"$work/host.out" >"$work/results"
step "test host finished with status $status"
[ "$status" = 0 ] || { echo "--- host stderr"; tail -20 "$work/host.err"; }

# What the simulator heard: the search's preamble at both speeds, and the TCP preamble.
heard() { awk -v baud="$1" '$2 == baud { for (i = 3; i <= NF; ++i) printf " %s", $i }' "$work/sim.out"; }
header="4E 4F 52 56 41 4C 45 43 4A 53"
expect_heard() {
  if heard "$1" | grep -q " $header $2"; then echo "ok   wire: $3"; else echo "FAIL wire: $3"; fi
}
{
  expect_heard 57600 "01 FE 00 FF" "_TESTCOM preamble at 57600"
  expect_heard 19200 "01 FE 00 FF" "_TESTCOM preamble at 19200"
  if grep -qx 'dialled 0123456789' "$work/sim.out"; then echo "ok   wire: the modem dialled 0123456789"
  else echo "FAIL wire: the modem dialled no 0123456789"; fi
  if grep -q '^ok   landelete' "$work/results"; then
    expect_heard 0 "FA 05 0D F2" "_LANDELETE preamble over TCP"
  fi
  # 30 records of 23-byte lines, from the LAN and from the serial download.
  for txt in movar5.txt movar.txt; do
    size=$(stat -c %s "$build/$txt" 2>/dev/null || echo 0)
    if [ "$size" = 690 ]; then echo "ok   file $txt: 30 lines"; else echo "FAIL file $txt: $size bytes"; fi
  done
  # The ID list and the template the fingerprint cases fetched.
  if [ "$(od -An -c "$build/FINGERREC/IDLIST.TXT" 2>/dev/null | tr -d ' ')" = '0003000202\r\n' ]; then
    echo "ok   file FINGERREC/IDLIST.TXT: 0003000202"
  else echo "FAIL file FINGERREC/IDLIST.TXT"; fi
  size=$(stat -c %s "$build/FINGERREC/FP0300_2.TXT" 2>/dev/null || echo 0)
  if [ "$size" = 816 ]; then echo "ok   file FINGERREC/FP0300_2.TXT: 816 bytes"; else echo "FAIL file FP0300_2.TXT: $size bytes"; fi
  # The device's backup bytes (k * 13 + 5) with the first three rewritten to 01 36 02.
  mark=$(od -An -tx1 -N4 "$build/zwbak.txt" 2>/dev/null | tr -d ' ')
  size=$(stat -c %s "$build/zwbak.txt" 2>/dev/null || echo 0)
  if [ "$size" = 2000 ] && [ "$mark" = 0136022c ]; then echo "ok   file zwbak.txt: marked"; else echo "FAIL file zwbak.txt: $size bytes, $mark"; fi
  for png in down-loading.png lan-download.png; do
    if [ -s "$build/$png" ]; then echo "ok   picture $build/$png"; else echo "FAIL picture $png missing"; fi
  done
} >>"$work/results"
cat "$work/results"
passed=$(grep -c '^ok' "$work/results" || true)
failed=$(grep -c '^FAIL' "$work/results" || true)
skipped=$(grep -c '^skip' "$work/results" || true)
[ "$status" = 0 ] || [ "$failed" != 0 ] || failed=1  # the host died before reporting
step "done"
echo "wine: $passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ]
