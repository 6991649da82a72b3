# Quiet set-up phases, sourced by the scripts: each phase prints one line (what
# it does, then how long it took) and sends its output to a log file, which is
# shown only when the phase fails. Package managers, compilers and Wine talk a
# lot; a newcomer should see what is happening, not every unpacked file.
#
#   source scripts/lib/phases.bash
#   phase_log FILE               where the output goes, emptied first; QUORLANE_SETUP_LOG,
#                                when set by a calling script, wins and is appended to,
#                                so one run keeps one log
#   phase WHO "what" COMMAND...  runs COMMAND (a program or a function) as one phase
#
# A failed phase prints its own output (its last 200 lines) and the log's path,
# and returns the command's exit status.

phase_log() {
  if [ -z "${QUORLANE_SETUP_LOG:-}" ]; then
    mkdir -p "$(dirname "$1")"
    : >"$1"
    QUORLANE_SETUP_LOG=$1
  fi
  export QUORLANE_SETUP_LOG
  touch "$QUORLANE_SETUP_LOG"
}

phase() {
  local who=$1 what=$2 start=$SECONDS first status=0
  shift 2
  first=$(($(wc -l <"$QUORLANE_SETUP_LOG") + 1))
  printf '\n== %s: %s (%s)\n' "$who" "$what" "$(date '+%F %T')" >>"$QUORLANE_SETUP_LOG"
  printf '%s: %s ... ' "$who" "$what" >&2
  "$@" >>"$QUORLANE_SETUP_LOG" 2>&1 </dev/null || status=$?
  if [ $status -eq 0 ]; then
    printf 'done, %d s\n' $((SECONDS - start)) >&2
    return 0
  fi
  printf 'FAILED after %d s (exit status %d)\n' $((SECONDS - start)) $status >&2
  local lines
  lines=$(tail -n +"$first" "$QUORLANE_SETUP_LOG" | wc -l)
  if [ "$lines" -gt 200 ]; then
    printf -- '---- the last 200 of its %d lines of output ----\n' "$lines" >&2
  else
    printf -- '---- its output ----\n' >&2
  fi
  tail -n +"$first" "$QUORLANE_SETUP_LOG" | tail -n 200 >&2
  printf -- '---- the whole log: %s ----\n' "$QUORLANE_SETUP_LOG" >&2
  return $status
}
