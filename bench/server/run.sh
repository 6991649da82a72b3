#!/usr/bin/env bash
# Site-server benchmarks, side by side with Redis on loopback:
#   lock+unlock pairs per second and p50/p99 at 1, 16 and 256 connections
#   (ours; Redis SET NX + DEL with appendfsync always; Redis without persistence),
#   CHECKDBLOCK p99 at 16 connections, and the server's memory with 10,000
#   idle connections. Builds a release build (no sanitizers) first.
#
#   bench/server/run.sh [seconds-per-run]     (default 5)
# Results: printed, and kept in bench/results/server-<time>.txt.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
cd "$repo"
secs=${1:-5}

cmake --preset native-dist >/dev/null
cmake --build --preset native-dist --target quorlane_server quorlane_loadgen >/dev/null
bin=build/native-dist/bin
work=$(mktemp -d)
mkdir -p bench/results
out=bench/results/server-$(date -u +%Y%m%dT%H%M%SZ).txt
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ulimit -n "$(ulimit -Hn)"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port() { for _ in $(seq 200); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0; sleep 0.05; done; return 1; }

{
  echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
  echo "# kernel $(uname -r), storage of $work: $(df -T "$work" | awk 'NR==2{print $2}'), redis $(redis-server --version | awk '{print $3}')"
} | tee "$out"

start_ours() {
  printf '[server]\nlog_to_console = no\nmax_connections = 12000\n' > "$work/server.ini"
  rm -rf "$work/data" "$work/port"
  "$bin/quorlane-server" --config "$work/server.ini" --data "$work/data" --listen 127.0.0.1:0 \
    --port-file "$work/port" 2>>"$work/server.err" &
  server_pid=$!
  pids+=("$server_pid")
  for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
  port=$(cat "$work/port")
}

start_redis() {  # $1: always | none
  port=$(free_port)
  rm -rf "$work/redis"; mkdir -p "$work/redis"
  if [ "$1" = always ]; then persist=(--appendonly yes --appendfsync always); else persist=(--appendonly no); fi
  redis-server --port "$port" --bind 127.0.0.1 --dir "$work/redis" --save '' "${persist[@]}" \
    --daemonize no --logfile "$work/redis/log" &
  server_pid=$!
  pids+=("$server_pid")
  wait_port "$port"
}

stop_server() { kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; }

run() {  # label target mode connections
  local line
  line=$("$bin/quorlane-loadgen" --target "$2" --mode "$3" --connections "$4" --seconds "$secs" \
    --connect "127.0.0.1:$port") || true
  echo "$1 $line" | tee -a "$out"
}

start_ours
for c in 1 16 256; do run "ours(fsync)" quorlane pairs "$c"; done
run "ours(fsync)" quorlane check 16
stop_server

start_redis always
for c in 1 16 256; do run "redis(appendfsync-always)" redis pairs "$c"; done
stop_server

start_redis none
for c in 1 16 256; do run "redis(no-persistence)" redis pairs "$c"; done
stop_server

start_ours
before=$(awk '/VmRSS/{print $2}' "/proc/$server_pid/status")
"$bin/quorlane-loadgen" --mode idle --connections 10000 --seconds 3 --warmup 2 --connect "127.0.0.1:$port" &
gen=$!
sleep 4
rss=$(awk '/VmRSS/{print $2}' "/proc/$server_pid/status")
wait "$gen" || true
echo "ours idle-10000 rss_before_kib=$before rss_with_10000_idle_kib=$rss" | tee -a "$out"
stop_server
