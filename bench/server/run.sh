#!/usr/bin/env bash
# Site-server benchmarks, side by side with Redis on loopback:
#   lock+unlock pairs per second and p50/p99 at 1, 16 and 256 connections
#   (ours; Redis SET NX + DEL with appendfsync always; Redis without persistence),
#   CHECKDBLOCK p99 at 16 connections (and Redis's GET), the servers' CPU and context switches
#   per request, and our memory with 10,000 idle connections held open.
# Before each set the disk's current sync time is probed (a small durable
# write appended and fdatasync'ed, and one in place with RWF_DSYNC): on a
# shared virtual disk it varies more than anything the servers do.
# At each concurrency the three servers run back to back (each started fresh
# on an empty data folder), so a change of machine load hits all three alike;
# the whole set is repeated and the medians are reported with the load average.
#
#   bench/server/run.sh [seconds-per-run] [repeats]     (defaults 5 and 3)
#   OURS_EXTRA="name=/path/to/quorlane-server ..." bench/server/run.sh
#       also runs other builds of our server, interleaved with the rest
#   BENCH_CONSOLE=1 bench/server/run.sh
#       the cost of the web console instead: our server alone, runs without and
#       with an administrator's browser (bench/server/console_fetch.py) that
#       fetches the lock page and /metrics every second, interleaved
#   BENCH_NICE=-10 bench/server/run.sh
#       runs the servers and the generator at that niceness (root only), so
#       that other work on a shared machine disturbs the comparison less
# Results: printed, and kept in bench/results/server-<time>.txt.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
cd "$repo"
secs=${1:-5}
repeats=${2:-3}

cmake --preset native-dist >/dev/null
cmake --build --preset native-dist --target quorlane_server quorlane_loadgen >/dev/null
bin=$repo/build/native-dist/bin
work=$(mktemp -d)
mkdir -p bench/results
out=bench/results/server-$(date -u +%Y%m%dT%H%M%SZ).txt
server_pid=
gen_pid=
cleanup() {
  [ -n "$gen_pid" ] && kill "$gen_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ulimit -n "$(ulimit -Hn)"
niceness=${BENCH_NICE:-0}
nice_run=(nice -n "$niceness")

servers=("ours=$bin/quorlane-server")
console=${BENCH_CONSOLE:-}
if [ -n "$console" ]; then
  # The same server, once idle on its console and once with a browser on it.
  servers+=("console=$bin/quorlane-server")
else
  for extra in ${OURS_EXTRA:-}; do servers+=("$extra"); done
  servers+=(redis-always redis-none)
fi

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port() { for _ in $(seq 200); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0; sleep 0.05; done; return 1; }
loadavg() { cut -d' ' -f1 /proc/loadavg; }

{
  echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
  echo "# kernel $(uname -r), storage of $work: $(df -T "$work" | awk 'NR==2{print $2}'), redis $(redis-server --version | awk '{print $3}')"
  echo "# ${secs} s per run after 1 s of warm-up, ${repeats} repeats, niceness $niceness"
} | tee "$out"

start_server() {  # name=path | redis-always | redis-none
  rm -rf "$work/data" "$work/port" "$work/redis"
  case $1 in
    redis-*)
      port=$(free_port)
      mkdir -p "$work/redis"
      if [ "$1" = redis-always ]; then persist=(--appendonly yes --appendfsync always); else persist=(--appendonly no); fi
      "${nice_run[@]}" redis-server --port "$port" --bind 127.0.0.1 --dir "$work/redis" --save '' "${persist[@]}" \
        --daemonize no --logfile "$work/redis/log" &
      server_pid=$!
      wait_port "$port"
      ;;
    *)
      printf '[server]\nlog_to_console = no\nmax_connections = 12000\n' > "$work/server.ini"
      local web=()
      [ -n "$console" ] && web=(--web-listen 127.0.0.1:0 --web-port-file "$work/web-port")
      rm -f "$work/web-port"
      "${nice_run[@]}" "${1#*=}" --config "$work/server.ini" --data "$work/data" --listen 127.0.0.1:0 \
        --port-file "$work/port" "${web[@]}" 2>>"$work/server.err" &
      server_pid=$!
      for _ in $(seq 200); do [ -s "$work/port" ] && { [ -z "$console" ] || [ -s "$work/web-port" ]; } && break; sleep 0.05; done
      port=$(cat "$work/port")
      ;;
  esac
}
stop_server() { kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=; }

# CPU time (clock ticks, every thread) and context switches of the server.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$server_pid/stat"; }
switches() { cat /proc/"$server_pid"/task/*/status | awk '/ctxt_switches/{n += $2} END{print n}'; }

run() {  # server mode connections repeat
  local name=${1%%=*} target=quorlane line c0 c1 s0 s1 load
  case $1 in redis-*) target=redis ;; esac
  start_server "$1"
  local fetched=
  if [ "$name" = console ]; then
    "$bin/quorlane-server" web-token --data "$work/data" >"$work/token"
    python3 bench/server/console_fetch.py "127.0.0.1:$(cat "$work/web-port")" "$(cat "$work/token")" >"$work/fetched" &
    gen_pid=$!
  fi
  load=$(loadavg)
  c0=$(cpu_ticks) s0=$(switches)
  line=$("${nice_run[@]}" "$bin/quorlane-loadgen" --target "$target" --mode "$2" --connections "$3" --seconds "$secs" \
    --connect "127.0.0.1:$port") || true
  c1=$(cpu_ticks) s1=$(switches)
  if [ "$name" = console ]; then
    kill -TERM "$gen_pid" 2>/dev/null || true
    wait "$gen_pid" 2>/dev/null || true
    gen_pid=
    fetched=" $(tr ' ' '\n' <"$work/fetched" | sed 's/^/console_/' | paste -sd' ')"
  fi
  stop_server
  local requests=${line##*requests=}
  requests=${requests%% *}
  local tick=$(getconf CLK_TCK)
  echo "$name $line server_cpu_us_per_request=$(awk -v c=$((c1 - c0)) -v t="$tick" -v r="$requests" \
    'BEGIN{printf "%.1f", r ? c * 1e6 / t / r : 0}') server_switches_per_request=$(awk -v s=$((s1 - s0)) \
    -v r="$requests" 'BEGIN{printf "%.2f", r ? s / r : 0}') $probe repeat=$4 load=$load$fetched" | tee -a "$out"
}

probe=
for r in $(seq "$repeats"); do
  for c in 1 16 256; do
    probe=$("${nice_run[@]}" "$bin/quorlane-loadgen" --mode syncprobe --dir "$work")
    for s in "${servers[@]}"; do run "$s" pairs "$c" "$r"; done
  done
  # Checks touch no disk: compared with Redis's GET of a key nobody set.
  for s in "${servers[@]}"; do
    case $s in redis-always) ;; *) run "$s" check 16 "$r" ;; esac
  done
done

# Memory: 10,000 connections held open while the resident set is read; the
# server must hold every one of them (its descriptor count) at that moment.
idle() {  # name=path
  start_server "$1"
  local before rss fds
  before=$(awk '/VmRSS/{print $2}' "/proc/$server_pid/status")
  coproc GEN { "${nice_run[@]}" "$bin/quorlane-loadgen" --mode idle --connections 10000 --seconds 60 --connect "127.0.0.1:$port"; }
  gen_pid=$GEN_PID
  read -r opened <&"${GEN[0]}"
  for _ in $(seq 200); do
    fds=$(ls "/proc/$server_pid/fd" | wc -l)
    [ "$fds" -ge 10000 ] && break
    sleep 0.05
  done
  sleep 1
  fds=$(ls "/proc/$server_pid/fd" | wc -l)
  rss=$(awk '/VmRSS/{print $2}' "/proc/$server_pid/status")
  exec {GEN[1]}>&-
  local kept
  read -r kept <&"${GEN[0]}"
  wait "$gen_pid" || true
  gen_pid=
  stop_server
  echo "${1%%=*} idle-10000 ($opened, $kept) server_descriptors=$fds rss_before_kib=$before" \
    "rss_with_10000_idle_kib=$rss load=$(loadavg)" | tee -a "$out"
}
[ -z "$console" ] && for s in "${servers[@]}"; do
  case $s in redis-*) ;; *) idle "$s" ;; esac
done

# Medians over the repeats.
echo "# medians" | tee -a "$out"
python3 - "$out" <<'EOF' | tee -a "$out"
import re, statistics, sys
rows = {}
for line in open(sys.argv[1]):
    m = re.match(r"(\S+) target=\S+ mode=(\S+) connections=(\d+) (.*)", line)
    if not m:
        continue
    f = dict(kv.split("=") for kv in m.group(4).split())
    rows.setdefault((m.group(1), m.group(2), int(m.group(3))), []).append(f)
for (name, mode, c), runs in sorted(rows.items(), key=lambda kv: (kv[0][1], kv[0][2], kv[0][0])):
    med = lambda k: statistics.median(float(r[k]) for r in runs)
    print(f"{name:8} {mode:5} c={c:<3} ops/s={med('ops_per_s'):8.0f} p50_ms={med('p50_us')/1000:6.2f} "
          f"p99_ms={med('p99_us')/1000:6.2f} server_cpu_us/req={med('server_cpu_us_per_request'):6.1f} "
          f"switches/req={med('server_switches_per_request'):5.2f} failures={sum(int(r['failures']) for r in runs)} "
          f"load={'/'.join(r['load'] for r in runs)} "
          f"sync_us(append/in-place)={'/'.join(r.get('sync_append_fdatasync_p50_us', '-') for r in runs)}"
          f"|{'/'.join(r.get('sync_inplace_rwf_dsync_p50_us', '-') for r in runs)}")
EOF
