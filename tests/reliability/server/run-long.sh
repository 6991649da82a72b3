#!/usr/bin/env bash
# The site server's long reliability run: 100 kill -9 cycles under 64
# clients, the full-disk and failed-sync runs, and the attack with 10,000
# idle connections and a 1 GiB frame without "[END]". The tests come from
# the native (sanitizer) build; the server they start is the release build
# (native-dist), whose memory and latency are what a site runs. Figures are
# printed and written to <outdir>/server.txt.
#
#   tests/reliability/server/run-long.sh <outdir>
set -euo pipefail
out=${1:?usage: run-long.sh <outdir>}
repo=$(cd "$(dirname "$0")/../../.." && pwd)
cd "$repo"
mkdir -p "$out"
out=$(cd "$out" && pwd)
export CCACHE_BASEDIR="$repo" CCACHE_NOHASHDIR=true

cmake --preset native >/dev/null
cmake --build --preset native --target server_reliability_test quorlane_server
cmake --preset native-dist >/dev/null
cmake --build --preset native-dist --target quorlane_server
server=$(find build/native-dist -name quorlane-server -type f -perm -u+x | head -n 1)
[ -n "$server" ] || { echo "run-long: no release quorlane-server in build/native-dist" >&2; exit 1; }

figures="$out/server.txt"
{
  echo "# Site server reliability, long run"
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(uname -sr)"
  echo "server: $server (release); tests: build/native (ASan+UBSan)"
} >"$figures"
status=0
QUORLANE_RELIABILITY_LONG=1 QUORLANE_RELIABILITY_FIGURES="$figures" QUORLANE_TEST_SERVER="$repo/$server" \
  build/native/bin/server_reliability_test 2>&1 | tee "$out/server-test.log" || status=$?
echo "result: $([ "$status" -eq 0 ] && echo passed || echo "FAILED (status $status)")" >>"$figures"
echo "== figures ($figures)"
cat "$figures"
exit "$status"
