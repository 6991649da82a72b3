#!/usr/bin/env bash
# The library's long reliability run, under each Wine this host can run:
# the export fuzzer for QUORLANE_FUZZ_CALLS calls (default 1,000,000: two
# fuzzers side by side, half each, one in code page 936 / language 2052 with
# the update peer, one in 1252), and every case of the server-fault test,
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
half=$(( (calls + 1) / 2 ))
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
  LC_ALL=zh_CN.UTF-8 scripts/wine-run "--$arch" "$bin/export_fuzzer.exe" --seed 1001 --calls "$half" \
    --report "$out/fuzz-$arch-zh_CN.txt" >"$out/fuzz-$arch-zh_CN.log" 2>&1 &
  first=$!
  sleep 5  # the first fuzzer takes port 9568 for its update peer; the second uses it too
  LC_ALL=C.UTF-8 scripts/wine-run "--$arch" "$bin/export_fuzzer.exe" --seed 1002 --calls "$((calls - half))" \
    --update-peer off --report "$out/fuzz-$arch-C.txt" >"$out/fuzz-$arch-C.log" 2>&1 &
  second=$!
  faults=0
  QUORLANE_RELIABILITY_LONG=1 scripts/wine-run "--$arch" "$bin/library_server_faults_test.exe" \
    >"$out/faults-$arch.log" 2>&1 || faults=1
  fuzz=0
  wait "$first" || fuzz=1
  wait "$second" || fuzz=1
  [ $faults = 0 ] && [ $fuzz = 0 ] || status=1
  {
    echo
    echo "== $config ($arch Wine), $((SECONDS - start)) s"
    for locale in zh_CN C; do
      echo "-- export fuzzer, LC_ALL=$locale.UTF-8"
      cat "$out/fuzz-$arch-$locale.txt" 2>/dev/null || { echo "(no report: see fuzz-$arch-$locale.log)"; tail -5 "$out/fuzz-$arch-$locale.log"; }
    done
    echo "-- server faults ($( [ $faults = 0 ] && echo 'all passed' || echo 'FAILURES, see faults-'$arch'.log'))"
    grep -E '^\[timing\]|^\[  (PASSED|FAILED|SKIPPED) ' "$out/faults-$arch.log" || true
  } >>"$report"
done
[ $ran = 1 ] || status=1
cat "$report"
exit $status
