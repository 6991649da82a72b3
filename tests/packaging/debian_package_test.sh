#!/usr/bin/env bash
# The Debian package of both servers, built with dpkg-deb from this build's
# programs: its fields, its files with owners and modes, the configuration
# files marked as such and accepted by the servers, the maintainer scripts,
# and the systemd units (systemd-analyze verify clean, hardening in place,
# offline exposure score).
#
#   debian_package_test.sh SOURCE-DIR BIN-DIR
set -uo pipefail
src=$1 bin=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/ql-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() {
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
deb=$work/quorlane-servers_1.0.0_amd64.deb
"$src/packaging/debian/build-deb" "$bin" "$deb" 1.0.0 >/dev/null || exit 1
field() { dpkg-deb -f "$deb" "$1"; }
check "package name, version and architecture" \
  test "$(field Package) $(field Version) $(field Architecture)" = "quorlane-servers 1.0.0 amd64"
check "depends on adduser for its accounts" grep -q adduser <<<"$(field Depends)"

listing=$(dpkg-deb -c "$deb" | awk '{print $1, $2, $6}')
for entry in "-rwxr-xr-x root/root ./usr/sbin/quorlane-server" "-rwxr-xr-x root/root ./usr/sbin/quorlane-update-server" \
             "-rwxr-xr-x root/root ./usr/bin/quorlane-probe" "-rwxr-xr-x root/root ./usr/bin/quorlane-taxkey" \
             "-rw-r--r-- root/root ./etc/quorlane/quorlane-server.ini" "-rw-r--r-- root/root ./etc/quorlane/update-map.txt" \
             "-rw-r--r-- root/root ./lib/systemd/system/quorlane-server.service" \
             "-rw-r--r-- root/root ./lib/systemd/system/quorlane-update-server.service" \
             "-rw-r--r-- root/root ./usr/share/doc/quorlane-servers/server-README.md" \
             "drwxr-xr-x root/root ./"; do
  check "contains $entry" grep -qxF -- "$entry" <<<"$listing"
done
check "holds nothing else" test "$(grep -c '^-' <<<"$listing")" -eq 11

mkdir -p "$work/root" "$work/control"
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
check "every file under /etc is a configuration file" \
  test "$(cd "$work/root" && find etc -type f | sed 's|^|/|' | sort)" = "$(sort "$work/control/conffiles")"
for s in postinst prerm postrm; do
  check "maintainer script $s is executable and parses" bash -c "test -x '$work/control/$s' && sh -n '$work/control/$s'"
done
check "postinst creates the accounts the units name" \
  bash -c "grep -q 'quorlane:/var/lib/quorlane-server' '$work/control/postinst' && grep -q 'quorlane-update:' '$work/control/postinst'"
check "the packaged site-server configuration is accepted, data in the state directory" \
  bash -c "'$work/root/usr/sbin/quorlane-server' check-config --config '$work/root/etc/quorlane/quorlane-server.ini' | grep -qx 'data = /var/lib/quorlane-server'"
check "the packaged mapping file is accepted" \
  "$work/root/usr/sbin/quorlane-update-server" check-map "$work/root/etc/quorlane/update-map.txt"

# The units as installed, their programs taken from the extracted package.
mkdir -p "$work/units"
for unit in quorlane-server quorlane-update-server; do
  file=$work/root/lib/systemd/system/$unit.service
  sed "s|/usr/sbin/|$work/root/usr/sbin/|" "$file" >"$work/units/$unit.service"
  check "$unit.service: systemd-analyze verify is clean" \
    bash -c "out=\$(systemd-analyze verify '$work/units/$unit.service' 2>&1) && [ -z \"\$out\" ]"
  for setting in "User=quorlane" "StateDirectory=$unit" "ProtectSystem=strict" "NoNewPrivileges=yes" \
                 "ProtectHome=yes" "PrivateTmp=yes" "CapabilityBoundingSet=" "SystemCallFilter=@system-service"; do
    check "$unit.service: $setting" grep -q "^$setting" "$file"
  done
  exposure=$(systemd-analyze security --offline=yes "$work/units/$unit.service" 2>/dev/null |
             sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
  check "$unit.service: exposure $exposure (below 2.0)" awk -v e="$exposure" 'BEGIN { exit !(e != "" && e < 2.0) }'
done
check "the two servers run under different accounts" \
  test "$(grep -h '^User=' "$work"/root/lib/systemd/system/*.service | sort -u | wc -l)" -eq 2

echo "$failures failed"
[ $failures -eq 0 ]
