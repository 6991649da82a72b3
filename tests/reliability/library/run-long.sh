#!/usr/bin/env bash
# The library's long reliability run, under each Wine this host can run:
# the export fuzzer for QUORLANE_FUZZ_CALLS calls (default 1,000,000: four
# fuzzers side by side, a quarter each, two in code page 936 / language 2052
# and two in 1252; the first holds the update peer on port 9568 for all; each
# prints a progress line every 10,000 calls), and every case of the
# server-fault test,
# the slow ones included. Prints the figures and writes <outdir>/library.txt;
# the logs stay beside it.
#
#   tests/reliability/library/run-long.sh <outdir>     (scripts/reliability library)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../../.." && pwd)
out=${1:?usage: run-long.sh <outdir>}
mkdir -p "$out"
out=$(cd "$out" && pwd)
cd "$repo"
export CCACHE_BASEDIR="$repo" CCACHE_NOHASHDIR=true
calls=${QUORLANE_FUZZ_CALLS:-1000000}
quarter=$(( (calls + 3) / 4 ))
# seed:locale of each fuzzer; the first one runs the update peer.
fuzzers=(1001:zh_CN 1002:C 1003:zh_CN 1004:C)
report=$out/library.txt
targets=(Quorlane export_fuzzer library_server_faults_test quorlane_server service_double)

{
  echo "library reliability run, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(/usr/lib/wine/wine64 --version 2>/dev/null || echo 'wine ?')"
} >"$report"

status=0
ran=0
for config in windows windows64; do
  case $config in windows) arch=win32 ;; windows64) arch=win64 ;; esac
  if ! scripts/wine-env "--$arch" usable; then
    echo "$config: not run, $arch Wine cannot run on this host" | tee -a "$report"
    continue
  fi
  ran=1
  cmake --preset "$config" >/dev/null
  cmake --build --preset "$config" --target "${targets[@]}" >/dev/null
  scripts/wine-env "--$arch" ensure
  bin=build/$config/bin
  echo "== $config under $arch Wine: $calls fuzz calls, all server-fault cases"
  start=$SECONDS
  pids=()
  left=$calls
  for entry in "${fuzzers[@]}"; do
    seed=${entry%%:*} locale=${entry#*:}
    share=$(( left < quarter ? left : quarter ))
    left=$(( left - share ))
    peer=()
    [ ${#pids[@]} = 0 ] || peer=(--update-peer off)
    LC_ALL=$locale.UTF-8 scripts/wine-run "--$arch" "$bin/export_fuzzer.exe" --seed "$seed" --calls "$share" \
      "${peer[@]}" --report "$out/fuzz-$arch-$seed.txt" >"$out/fuzz-$arch-$seed.log" 2>&1 &
    pids+=($!)
    # The first fuzzer takes port 9568 for its update peer before the others look for it.
    [ ${#pids[@]} -gt 1 ] || sleep 5
  done
  faults=0
  QUORLANE_RELIABILITY_LONG=1 scripts/wine-run "--$arch" "$bin/library_server_faults_test.exe" \
    >"$out/faults-$arch.log" 2>&1 || faults=1
  fuzz=0
  for pid in "${pids[@]}"; do wait "$pid" || fuzz=1; done
  [ $faults = 0 ] && [ $fuzz = 0 ] || status=1
  {
    echo
    echo "== $config ($arch Wine), $((SECONDS - start)) s"
    for entry in "${fuzzers[@]}"; do
      seed=${entry%%:*} locale=${entry#*:}
      echo "-- export fuzzer, seed $seed, LC_ALL=$locale.UTF-8"
      cat "$out/fuzz-$arch-$seed.txt" 2>/dev/null || { echo "(no report: see fuzz-$arch-$seed.log)"; tail -5 "$out/fuzz-$arch-$seed.log"; }
    done
    echo "-- server faults ($( [ $faults = 0 ] && echo 'all passed' || echo 'FAILURES, see faults-'$arch'.log'))"
    grep -E '^\[timing\]|^\[  (PASSED|FAILED|SKIPPED) ' "$out/faults-$arch.log" || true
  } >>"$report"
done
[ $ran = 1 ] || status=1
cat "$report"
exit $status
