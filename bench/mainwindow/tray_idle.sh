#!/bin/bash
# The monitor's cost while it sits hidden in the tray: a namespace LAN (198.18.0.0/24) with a router and 20
# devices, all of them already on the safe list, the windowed monitor on a private X display with trayer as
# its notification area. After a warm-up it prints the CPU share of one core averaged over the measuring
# time, beside the wake-ups per second (voluntary context switches, /proc/PID/status).
#
#   tray_idle.sh [--bin DIR] [--seconds N] [--warmup N]
# Needs root (network namespaces), Xvfb, trayer and xdotool.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
bin=${KW_BIN_DIR:-$src/build/bin}
seconds=60
warmup=20
while [ $# -gt 0 ]; do
    case $1 in
    --bin) bin=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --warmup) warmup=$2; shift 2 ;;
    *) echo "usage: $0 [--bin DIR] [--seconds N] [--warmup N]" >&2; exit 2 ;;
    esac
done
[ "$(id -u)" = 0 ] || { echo "tray_idle: needs root for the namespace LAN" >&2; exit 1; }
for tool in Xvfb trayer xdotool; do
    command -v $tool > /dev/null || { echo "tray_idle: $tool is not installed" >&2; exit 1; }
done

netlab=$src/scripts/netlab
lab=kwidle$$
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    sleep 1
    "$netlab" down "$lab" > /dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

"$netlab" up "$lab" --router-mac 02:4b:57:00:00:01 --owner $$ > /dev/null
mkdir -p "$work/home"
reg() { "$bin/kestrelwatch-reg" --home "$work/home" "$@"; }
product='Software\Brackmoor\Kestrelwatch'
safe() { # MAC-with-dashes IP
    local key="$product\\DetectedDevices\\$1"
    reg set "$key" IP_Address "$2"
    reg set "$key" Host_Name "Unknown Device"
    reg set "$key" Intruder False
    reg set "$key" New_Device False
}
safe 02-4B-57-00-00-01 198.18.0.1
for i in $(seq 10 29); do
    mac=$(printf '02:4b:57:00:01:%02x' "$i")
    "$netlab" add "$lab" "dev$i" "198.18.0.$i" "$mac" > /dev/null
    safe "$(echo "$mac" | tr 'a-f:' 'A-F-')" "198.18.0.$i"
done
reg set "$product\\GENERAL" Installed Yes

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2> /dev/null)
pids+=($!)
read -r -t 10 display <&3
export DISPLAY=:$display
trayer --edge top --align right --widthtype request --height 24 > /dev/null 2>&1 &
pids+=($!)
sleep 1

ip netns exec "$("$netlab" ns "$lab")" env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=xcb BROWSER=true \
    XDG_CONFIG_HOME="$work/config" "$bin/kestrelwatch" --home "$work/home" > "$work/out" 2>&1 &
pid=$!
pids+=($pid)
sleep "$warmup"
kill -0 "$pid" || { echo "tray_idle: the monitor ended early" >&2; cat "$work/out" >&2; exit 1; }
# A window that was never shown has no X window yet; once shown, its caption tells the look.
title=$(xdotool search --name '^Kestrelwatch v' getwindowname 2> /dev/null | head -1 || true)
title=${title:-window never shown}

sample() { # utime+stime ticks, voluntary switches
    local stat
    stat=$(cut -d')' -f2 "/proc/$pid/stat")
    echo "$(echo "$stat" | awk '{print $12 + $13}') $(awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$pid/status")"
}
read -r cpu0 sw0 < <(sample)
t0=$(date +%s.%N)
sleep "$seconds"
read -r cpu1 sw1 < <(sample)
t1=$(date +%s.%N)
hz=$(getconf CLK_TCK)
devices=$(reg keys "$product\\DetectedDevices" | wc -l)
intruders=0
for key in $(reg keys "$product\\DetectedDevices"); do
    if [ "$(reg get "$product\\DetectedDevices\\$key" Intruder)" = True ]; then intruders=$((intruders + 1)); fi
done

awk -v c="$((cpu1 - cpu0))" -v s="$((sw1 - sw0))" -v t0="$t0" -v t1="$t1" -v hz="$hz" -v title="$title" -v devices="$devices" -v intruders="$intruders" 'BEGIN {
    t = t1 - t0
    printf "tray_idle: %d stored devices (%d intruders) on a /24, window hidden (%s)\n", devices, intruders, title
    printf "tray_idle: CPU %.2f %% of one core over %.0f s, %.1f wake-ups/s (voluntary context switches)\n",
        100 * c / hz / t, t, s / t
}'
