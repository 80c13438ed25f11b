#!/usr/bin/env bash
# The installed program as an unprivileged user in a namespace LAN: it admits the LAN's devices while the
# monitor holds no capability, whatever QT_PLUGIN_PATH says, and leaves its files private under umask 022; the
# helper is 0750 root:kestrelwatch, so a user outside that group cannot run it and the monitor says how to join;
# without the helper's capabilities it says so.
# Usage: privilege_lan.sh BUILD_DIR SOURCE_DIR (root; exits 77 to skip, which fails under CI=true).
set -euo pipefail
build=$1 src=$2
skip() { echo "SKIP: $*"; [ "${CI:-}" = true ] && exit 1; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root for namespaces and file capabilities"
lab=kwp$$ work=$(mktemp -d /tmp/kwpriv.XXXXXX)
netlab="$src/scripts/netlab"
cleanup() { [ -n "${mon:-}" ] && kill "$mon" 2>/dev/null; "$netlab" down $lab >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- monitor stderr"; cat "$work/err" 2>/dev/null; exit 1; }

chmod 755 "$work"
cmake --install "$build" --prefix "$work/inst" >"$work/install.log"
grep -q "Capabilities: cap_net_raw,cap_net_admin=ep set on" "$work/install.log" || fail "install set no capability"
helper="$work/inst/libexec/kestrelwatch/kestrelwatch-helper"
getcap "$helper" | grep -q "cap_net_admin,cap_net_raw=ep" || fail "helper has no file capabilities"
[ -z "$(getcap "$work/inst/bin/kestrelwatch")" ] || fail "the monitor itself carries capabilities"
[ "$(stat -c %a:%U:%G "$helper")" = 750:root:kestrelwatch ] || fail "helper is $(stat -c %a:%U:%G "$helper")"
group=$(getent group kestrelwatch | cut -d: -f3)
# (Through sh: setpriv itself still holds root's capabilities at its own exec.)
if setpriv --reuid=65534 --regid=65534 --clear-groups sh -c 'exec "$0" </dev/null' "$helper" 2>"$work/denied"; then
    fail "a user outside the group kestrelwatch ran the helper"
fi
grep -q "Permission denied" "$work/denied" || fail "the helper failed otherwise: $(cat "$work/denied")"
mkdir -p "$work/home" "$work/plugins/platforms" && chown -R 65534:65534 "$work/home" "$work/plugins"

"$netlab" up $lab >/dev/null && "$netlab" add $lab dev1 198.18.0.10 >/dev/null && "$netlab" add $lab dev2 198.18.0.11 >/dev/null

run_monitor() { # as nobody (in the groups given), with a plugin folder of the user's own, under umask 022
    : >"$work/out"; : >"$work/err"
    umask 022
    ip netns exec $lab-monitor setpriv --reuid=65534 --regid=65534 "$@" --inh-caps=-all \
        env -i HOME="$work/home" QT_PLUGIN_PATH="$work/plugins" PATH=/usr/bin:/bin \
        "$work/inst/bin/kestrelwatch" --headless --home "$work/home" >"$work/out" 2>"$work/err" &
    mon=$!
}
wait_for() { # FILE PATTERN SECONDS
    for _ in $(seq $(($3 * 10))); do grep -q "$2" "$1" && return 0; sleep 0.1; done
    fail "no '$2' in $1 within $3 s"
}
caps() { awk -v f="$2:" '$1 == f { print $2 }' /proc/$1/status; }

run_monitor --groups="$group"
wait_for "$work/err" "kestrelwatch: watching 198.18.0.0 to 198.18.0.255 on eth0" 10
wait_for "$work/out" "	02-00-C6-12-00-0A	.*NEW DEVICE" 30
wait_for "$work/out" "	02-00-C6-12-00-0B	.*NEW DEVICE" 30
grep -q "NetPlatform - listening for ARP on the swept interfaces" "$work/err" || fail "the helper does not listen for ARP"
monitor=$(pgrep -P "$mon" -x kestrelwatch || echo "$mon")
[ "$(caps "$monitor" CapEff)$(caps "$monitor" CapPrm)" = 00000000000000000000000000000000 ] || fail "monitor has capabilities"
echo "monitor $monitor: CapEff $(caps "$monitor" CapEff), CapPrm $(caps "$monitor" CapPrm)"
# Of the monitor and its children, only the helper holds a capability, and it got none of the user's environment.
for pid in "$monitor" $(pgrep -P "$monitor"); do
    exe=$(readlink /proc/$pid/exe || true)
    if [ "$(caps "$pid" CapPrm)" != 0000000000000000 ] && [ "$exe" != "$helper" ]; then
        fail "$exe ($pid) holds capabilities"
    fi
done
hpid=$(pgrep -P "$monitor" -x kestrelwatch-he) || fail "no helper process"
[ "$(caps "$hpid" CapEff)" = 0000000000000000 ] || fail "helper keeps effective capabilities"
[ ! -s /proc/$hpid/environ ] || fail "the helper was given an environment"
kill "$mon"; wait "$mon" || true; mon=
loose=$(find "$work/home" \( -type d ! -perm 700 \) -o \( -type f ! -perm 600 \))
[ -z "$loose" ] || fail "files that others may read: $loose"

# A user outside the group: nothing is swept, and the monitor says how to join.
run_monitor --clear-groups
wait_for "$work/err" "kestrelwatch: watching nothing: .*fix it with: sudo usermod -aG kestrelwatch nobody, then log in again" 10
kill "$mon"; wait "$mon" || true; mon=

# A new user's install without capabilities: nothing is swept, and the monitor says so with the fix.
setcap -r "$helper"
run_monitor --groups="$group"
wait_for "$work/err" "kestrelwatch: watching nothing: .*fix it with: sudo setcap cap_net_raw,cap_net_admin=ep $helper" 10
wait_for "$work/err" "passive ARP listening is off: the helper $helper cannot open its ARP socket" 10
echo "PASS"
