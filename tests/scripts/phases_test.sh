#!/usr/bin/env bash
# The quiet set-up phases (scripts/lib/phases.bash): a phase that succeeds
# prints its one line and nothing of its output; one that fails prints its own
# output (the last 200 lines) and the log's path and passes its exit status on;
# every line reaches the log; a caller's log wins; a phase reads no terminal.
#
#   phases_test.sh SOURCE-DIR
set -uo pipefail
src=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/ql-phases.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
# run NAME SCRIPT: the script after sourcing the library, its stdout, stderr
# and status kept in $work/NAME.{out,err,status}; bounded in time. Its input
# is a pipe that stays open and silent, like a terminal nobody types into.
run() {
  (unset QUORLANE_SETUP_LOG
   cd "$work" && timeout 10 bash -c "source '$src/scripts/lib/phases.bash'; $2" \
     >"$work/$1.out" 2>"$work/$1.err" < <(exec sleep 12 2>/dev/null)
   echo $? >"$work/$1.status")
}

run quiet 'phase_log logs/a.log; phase t "counting" seq 1 500'
check "a phase that succeeds prints one line" \
  grep -qxE 't: counting \.\.\. done, [0-9]+ s' "$work/quiet.err"
check "... and nothing else" bash -c "[ \$(wc -l <'$work/quiet.err') -eq 1 ] && [ ! -s '$work/quiet.out' ]"
check "... with its status" [ "$(cat "$work/quiet.status")" = 0 ]
check "its output goes to the log" grep -qx 500 "$work/logs/a.log"

run failing 'phase_log a.log; phase t "before" echo first-phase-line
  many() { seq 1 300; echo "the error" >&2; return 3; }
  phase t "failing" many; echo "status $?"'
check "a phase that fails says so with its exit status" \
  grep -qE '^t: failing \.\.\. FAILED after [0-9]+ s \(exit status 3\)$' "$work/failing.err"
check "... returns that status" grep -qx 'status 3' "$work/failing.out"
check "... shows the last 200 lines of its own output" \
  bash -c "grep -qx 'the error' '$work/failing.err' && grep -qx 102 '$work/failing.err' && ! grep -qx 101 '$work/failing.err'"
check "... and none of an earlier phase's" bash -c "! grep -q first-phase-line '$work/failing.err'"
check "... and where the whole log is" grep -qF "the whole log: a.log" "$work/failing.err"
check "the log keeps every phase" \
  bash -c "grep -qx first-phase-line '$work/a.log' && grep -qx 1 '$work/a.log' && grep -qx 'the error' '$work/a.log'"

run short 'phase_log a.log; few() { echo only-line; return 1; }; phase t "short" few'
check "a short failing output is shown whole" \
  bash -c "grep -qx -- '---- its output ----' '$work/short.err' && grep -qx only-line '$work/short.err'"

run again 'phase_log logs/a.log; phase t "again" echo second-run'
check "a run of its own starts its log afresh" bash -c "grep -qx second-run '$work/logs/a.log' && ! grep -qx 500 '$work/logs/a.log'"

run caller 'export QUORLANE_SETUP_LOG=$PWD/caller.log; phase_log own.log; phase t "x" echo to-the-caller'
check "the caller's log wins" bash -c "grep -qx to-the-caller '$work/caller.log' && [ ! -e '$work/own.log' ]"

run stdin 'phase_log a.log; phase t "reading" cat'
check "a phase reads no terminal (ends at once)" [ "$(cat "$work/stdin.status")" = 0 ]

echo "$failures failed"
[ $failures -eq 0 ]
