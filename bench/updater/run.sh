#!/usr/bin/env bash
# Update-server benchmark on loopback: look-ups per second and p50/p99 at 1,
# 16 and 256 concurrent clients, each look-up done as the library does it
# (connect, one request line, one reply line, close). The server runs as
# shipped (release build, one log line per look-up, to a file) with a mapping
# of 10,000 identifiers. For comparison the same load runs against the
# cheapest server the kernel allows (bench/updater/minimal_server.cpp: accept,
# read, fixed answer, close), in alternating rounds. Builds the release
# configuration first.
#
#   bench/updater/run.sh [seconds-per-run] [rounds]     (defaults 5 and 2)
# Results: printed, and kept in bench/results/updater-<time>.txt.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
cd "$repo"
secs=${1:-5}
rounds=${2:-2}

cmake --preset native-dist >/dev/null
cmake --build --preset native-dist --target quorlane_update_server quorlane_lookup_bench \
  quorlane_minimal_lookup_server >/dev/null
bin=build/native-dist/bin
work=$(mktemp -d)
mkdir -p bench/results
out=bench/results/updater-$(date -u +%Y%m%dT%H%M%SZ).txt
server_pid= minimal_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -n "$minimal_pid" ] && kill "$minimal_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ulimit -n "$(ulimit -Hn)"

for i in $(seq 0 9999); do echo "APP$i = https://updates.example/app$i/setup.exe"; done > "$work/map.txt"

{
  echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
  echo "# kernel $(uname -r); load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee "$out"

"$bin/quorlane-update-server" --listen 127.0.0.1:0 --port-file "$work/port" --map "$work/map.txt" \
  --log "$work/server.log" --quiet --max-connections 4096 --max-per-address 4096 &
server_pid=$!
for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")

minimal_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$bin/quorlane-minimal-lookup-server" "$minimal_port" &
minimal_pid=$!
sleep 0.3

cpu_of() { awk '{print $14 + $15}' "/proc/$1/stat"; }  # user + system ticks
for round in $(seq "$rounds"); do
  for target in ours minimal; do
    if [ "$target" = ours ]; then p=$port; pid=$server_pid; else p=$minimal_port; pid=$minimal_pid; fi
    for clients in 1 16 256; do
      before=$(cpu_of "$pid")
      result=$("$bin/quorlane-lookup-bench" --connect "127.0.0.1:$p" --clients "$clients" --seconds "$secs" || true)
      cpu=$(( $(cpu_of "$pid") - before ))
      echo "round=$round server=$target $result server_cpu_s=$(awk "BEGIN{print $cpu/$(getconf CLK_TCK)}") load=$(cut -d' ' -f1 /proc/loadavg)" | tee -a "$out"
    done
  done
done
echo "# server log: $(wc -l < "$work/server.log") lines, $(grep -c ' lookup ' "$work/server.log") look-ups" | tee -a "$out"
