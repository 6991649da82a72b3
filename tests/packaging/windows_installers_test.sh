#!/usr/bin/env bash
# The Windows installers, built from the build folders and run silently under
# Wine in a prefix of their own: files land, the uninstall entries exist, the
# services are registered with their recovery actions and run under Wine's
# service manager (the servers answer on loopback), a second installation
# keeps an edited configuration, and the uninstallers remove what was
# installed and keep the data.
#
#   windows_installers_test.sh [--x86] SOURCE-DIR BUILD32-DIR BUILD64-DIR
#
# By default the 64-bit installers run under 64-bit Wine in a 64-bit prefix.
# --x86 runs the workstation installer built as a 32-bit program
# (QuorlaneWorkstationSetup-x86.exe) under 32-bit Wine in a 32-bit prefix, as
# on 32-bit Windows; only hosts that execute 32-bit code can.
set -uo pipefail
width=win64
[ "${1:-}" = --x86 ] && { width=win32; shift; }
src=$1 b32=$2 b64=$3
if [ $width = win32 ] && ! "$src/scripts/wine-env" --win32 usable; then
  if "$src/scripts/host-runs-32bit"; then
    echo "skipped: 32-bit Wine (wine32:i386) is not installed here; the x86 installer cannot run here"
  else
    echo "skipped: this host does not execute 32-bit code; the x86 installer cannot run here"
  fi
  exit 77
fi
# Without a 64-bit build the 32-bit files take the place of x64\: enough to
# check what the installer does with them.
[ -f "$b64/bin/Quorlane.dll" ] || b64=$b32
work=$(mktemp -d "${TMPDIR:-/tmp}/ql-installers.XXXXXX")
export WINE_ROOT=$work/wine
failures=0
check() {  # DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    echo "ok: $what"
  else
    echo "FAIL: $what"
    failures=$((failures + 1))
  fi
}
finish() {
  "$src/scripts/wine-env" "--$width" stop >/dev/null 2>&1
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap finish EXIT

"$src/packaging/windows/stage-dist" "$src" "$b32" "$b64" "$work/dist" || exit 1
if [ $width = win32 ]; then
  setup=QuorlaneWorkstationSetup-x86.exe
  makensis -V1 -DDIST="$work/dist" -DTARGET=x86-unicode -DOUTFILE="$work/$setup" \
    "$src/packaging/windows/workstation.nsi" || exit 1
  check "workstation: $setup is a 32-bit program" \
    bash -c "i686-w64-mingw32-objdump -f '$work/$setup' | grep -q 'file format pei-i386'"
else
  setup=QuorlaneWorkstationSetup.exe
  makensis -V1 -DDIST="$work/dist" -DOUTFILE="$work/$setup" "$src/packaging/windows/workstation.nsi" || exit 1
  makensis -V1 -DDIST="$work/dist" -DOUTFILE="$work/QuorlaneServersSetup.exe" "$src/packaging/windows/servers.nsi" || exit 1
fi

"$src/scripts/wine-env" "--$width" ensure >/dev/null || exit 1
eval "$("$src/scripts/wine-env" "--$width" print)"
wine() { timeout 120 "$QUORLANE_WINE" "$@" </dev/null 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
drive=$WINEPREFIX/drive_c
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
has_value() { wine reg query "$1" /v "$2" | grep -qF -- "$3"; }
same() { cmp -s "$1" "$2"; }
running() { wine sc query "$1" | grep -q RUNNING; }
absent() { [ ! -e "$1" ]; }
[ $width = win32 ] && check "the prefix is 32-bit Windows" grep -qx '#arch=win32' "$WINEPREFIX/system.reg"

# --- workstation ----------------------------------------------------------
# 32-bit programs go to "Program Files (x86)" on 64-bit Windows, to "Program
# Files" on 32-bit Windows.
if [ $width = win32 ]; then
  ws="$drive/Program Files/Quorlane" ws_win='C:\Program Files\Quorlane'
else
  ws="$drive/Program Files (x86)/Quorlane" ws_win='C:\Program Files (x86)\Quorlane'
fi
wine "$work/$setup" /S
check "workstation: silent install ends with status 0" [ $? -eq 0 ]
for f in Talvora.exe Quorlane.dll qlcall.exe x64/Quorlane.dll x64/qlcall.exe; do
  check "workstation: $f installed byte for byte" same "$work/dist/$f" "$ws/$f"
done
check "workstation: the host kit is optional (not installed by default)" absent "$ws/hostkit"
check "workstation: uninstall entry" has_value "$key\\QuorlaneWorkstation" DisplayName "Quorlane Workstation"
check "workstation: silent uninstall command" has_value "$key\\QuorlaneWorkstation" QuietUninstallString 'Uninstall.exe" /S'
wine "$work/$setup" /S /HOSTKIT=1
for f in hostkit/quorlane.h hostkit/Quorlane.dll.a hostkit/Quorlane.pas hostkit/Quorlane.cs x64/hostkit/Quorlane.dll.a; do
  check "workstation: /HOSTKIT=1 installs $f" same "$work/dist/$f" "$ws/$f"
done
printf '[Session]\r\nPort=4000\r\n' >"$ws/Quorlane.ini"
wine "$ws/Uninstall.exe" /S "_?=$ws_win"
for f in Talvora.exe Quorlane.dll qlcall.exe x64 hostkit; do
  check "workstation: uninstall removes $f" absent "$ws/$f"
done
check "workstation: uninstall keeps the site's Quorlane.ini" [ -f "$ws/Quorlane.ini" ]
check "workstation: uninstall removes the entry" bash -c "$(declare -f wine); ! wine reg query '$key\\QuorlaneWorkstation'"

if [ $width = win32 ]; then
  echo "$failures failed"
  [ $failures -eq 0 ]
  exit
fi

# --- servers ----------------------------------------------------------------
srv="$drive/Program Files/Quorlane Servers"
data="$drive/ProgramData/Quorlane"
wine "$work/QuorlaneServersSetup.exe" /S /UPDATESERVER=1
check "servers: silent install ends with status 0" [ $? -eq 0 ]
check "servers: site server installed" same "$work/dist/x64/server/windows/quorlane-server.exe" "$srv/quorlane-server.exe"
check "servers: update server installed" same "$work/dist/x64/update-server/windows/quorlane-update-server.exe" "$srv/quorlane-update-server.exe"
check "servers: uninstall entry" has_value "$key\\QuorlaneServers" DisplayName "Quorlane Servers"
svc='HKLM\System\CurrentControlSet\Services'
check "servers: QuorlaneServer registered to run 'service run --config' from ProgramData" \
  has_value "$svc\\QuorlaneServer" ImagePath 'quorlane-server.exe" service run --config C:\ProgramData\Quorlane\Server\quorlane-server.ini'
check "servers: QuorlaneServer starts with Windows" has_value "$svc\\QuorlaneServer" Start 0x2
# (Wine's service manager accepts recovery actions but keeps none, so they
# cannot be read back here; installing fails if the manager refuses them.)
check "servers: QuorlaneUpdateServer runs as LocalService" has_value "$svc\\QuorlaneUpdateServer" ObjectName LocalService
check "servers: the site server service runs" running QuorlaneServer
check "servers: the update server service runs" running QuorlaneUpdateServer
answer=
for _ in $(seq 1 50); do
  answer=$(wine "$srv/quorlane-probe.exe" --connect 127.0.0.1:4000 '[CHECKDBLOCK]SALES;ann;PC1;')
  [ -n "$answer" ] && break
  sleep 0.2
done
check "servers: the site server answers on 127.0.0.1:4000 ($answer)" [ "$answer" = "[CHECKDBLOCK]N;;;" ]
check "servers: the update server answers on port 9568" wine "$srv/quorlane-update-server.exe" lookup SALES
check "servers: default configuration written to ProgramData" grep -q '^data = data' "$data/Server/quorlane-server.ini"
check "servers: the site server keeps its data there" [ -f "$data/Server/data/locks.journal" ]
check "servers: default mapping written to ProgramData" grep -q 'IDENTIFIER = ADDRESS' "$data/UpdateServer/update-map.txt"

# An update over a running installation keeps what the administrator edited.
printf '# edited by the administrator\r\n' >>"$data/Server/quorlane-server.ini"
wine "$work/QuorlaneServersSetup.exe" /S /UPDATESERVER=1
check "servers: reinstalling keeps an edited configuration" grep -q 'edited by the administrator' "$data/Server/quorlane-server.ini"
check "servers: the site server runs again after the update" running QuorlaneServer

wine "$srv/Uninstall.exe" /S '_?=C:\Program Files\Quorlane Servers'
check "servers: uninstall removes the site server service" bash -c "$(declare -f wine); ! wine reg query '$svc\\QuorlaneServer'"
check "servers: uninstall removes the update server service" bash -c "$(declare -f wine); ! wine reg query '$svc\\QuorlaneUpdateServer'"
for f in quorlane-server.exe quorlane-update-server.exe quorlane-probe.exe quorlane-taxkey.exe update-map.example; do
  check "servers: uninstall removes $f" absent "$srv/$f"
done
check "servers: uninstall removes the entry" bash -c "$(declare -f wine); ! wine reg query '$key\\QuorlaneServers'"
check "servers: uninstall keeps the configuration" grep -q 'edited by the administrator' "$data/Server/quorlane-server.ini"
check "servers: uninstall keeps the lock journal" [ -f "$data/Server/data/locks.journal" ]
check "servers: uninstall keeps the mapping" [ -f "$data/UpdateServer/update-map.txt" ]

echo "$failures failed"
[ $failures -eq 0 ]
