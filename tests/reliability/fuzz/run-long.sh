#!/usr/bin/env bash
# The long fuzzing run: builds the native configuration optimised (clang, ASan +
# UBSan, -O1: preset native-fuzz) and runs every fuzz target listed in
# build/native-fuzz/fuzz-targets.txt for ten million executions, one after the
# other, starting from its seed corpus in tests/reliability/fuzz/corpus/<target>.
#
#   tests/reliability/fuzz/run-long.sh OUTDIR [TARGET...]
#
# FUZZ_RUNS overrides the number of executions per target; FUZZ_MAX_SECONDS
# caps each target's time (a target stopped by it is marked so in the table,
# with the executions it made); FUZZ_JOBS=N runs each target in libFuzzer's
# fork mode with N worker processes sharing one corpus (the executions are
# theirs together, and the run may overshoot its count by one job's worth:
# on 2 cores the slowest target then takes half the time). What a run finds
# (new inputs, crash reproducers, logs) goes to OUTDIR/fuzz/<target>/; the
# table of figures is printed and written to OUTDIR/fuzz.txt. A target that
# crashes stops there; its reproducer is named in the table and the script
# exits non-zero after the remaining targets have run.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 OUTDIR [TARGET...]" >&2; exit 2; }
repo=$(cd "$(dirname "$0")/../../.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
runs=${FUZZ_RUNS:-10000000}
max_seconds=${FUZZ_MAX_SECONDS:-0}
jobs=${FUZZ_JOBS:-1}
# One process runs from a fixed seed, so its run can be repeated; fork-mode
# jobs would all repeat that seed's mutations, so each draws its own.
run_mode=(-seed=1)
[ "$jobs" -le 1 ] || run_mode=(-fork="$jobs")
cd "$repo"

cmake --preset native-fuzz >/dev/null
list=build/native-fuzz/fuzz-targets.txt
[ -s "$list" ] || { echo "fuzz: no fuzz targets in $list (is the native compiler clang?)" >&2; exit 2; }
mapfile -t entries <"$list"
names=()
for entry in "${entries[@]}"; do
  read -r name _ <<<"$entry"
  if [ $# -eq 0 ] || [[ " $* " == *" $name "* ]]; then names+=("$name"); fi
done
[ ${#names[@]} -gt 0 ] || { echo "fuzz: none of the named targets exists: $*" >&2; exit 2; }
cmake --build --preset native-fuzz --target "${names[@]}"

table="$out/fuzz.txt"
{
  echo "Fuzzing, $runs executions per target$([ "$max_seconds" = 0 ] || echo " or $max_seconds s")$([ "$jobs" -le 1 ] || echo ", $jobs workers each") ($(date -u '+%Y-%m-%d %H:%M UTC'))"
  echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
  printf '%-24s %10s %8s %8s %6s %7s %14s %s\n' target executions exec/s wall-s cov ft corpus crashes
} >"$table"
failed=0
for entry in "${entries[@]}"; do
  read -r name program max_len seeds <<<"$entry"
  [[ " ${names[*]} " == *" $name "* ]] || continue
  dir="$out/fuzz/$name"
  rm -rf "$dir"
  mkdir -p "$dir/corpus"
  log="$dir/log.txt"
  echo "fuzz: $name ($runs executions)" >&2
  start=$(date +%s.%N)
  status=0
  "$program" "${run_mode[@]}" -runs="$runs" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -max_total_time="$max_seconds" \
    -artifact_prefix="$dir/" "$dir/corpus" "$seeds" >"$log" 2>&1 || status=$?
  wall=$(echo "$(date +%s.%N) - $start" | bc)
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # Fork mode prints no final statistics; its progress lines count all workers.
  [ -n "$executions" ] || executions=$(sed -n 's/^#\([0-9]*\): cov: .*/\1/p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  # libFuzzer reports 0 for a run shorter than a second.
  if [ "${speed:-0}" = 0 ] && [ -n "$executions" ]; then speed=$(echo "$executions / $wall" | bc); fi
  last=$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$last")
  [ -n "$corpus" ] || corpus="$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last") inputs"
  crashes=$(find "$dir" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  note=$crashes
  if [ -n "$executions" ] && [ "$executions" -lt "$runs" ] && [ "$status" -eq 0 ]; then
    note="$crashes (stopped at ${max_seconds} s)"
  fi
  if [ "$status" -ne 0 ]; then
    failed=1
    note="$crashes (exit $status; see $log)"
  fi
  printf '%-24s %10s %8s %8.0f %6s %7s %14s %s\n' "$name" "${executions:-?}" "${speed:-?}" "$wall" \
    "${cov:-?}" "${ft:-?}" "${corpus:-?}" "$note" >>"$table"
done
cat "$table"
exit "$failed"
