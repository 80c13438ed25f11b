#!/usr/bin/env bash
# Builds Kestrelwatch (scripts/build.sh), then either
#   scripts/start.sh [ARGS...]   gives its helper (and nothing else) the capabilities to sweep and starts it on
#                                this machine's networks; ARGS go to kestrelwatch (e.g. --headless)
#   scripts/start.sh --demo      starts it on a made-up LAN of network namespaces instead (scripts/netlab
#                                demo: a router and five devices on 198.18.0.0/24); nothing is sent on
#                                this machine's own networks, and Ctrl+C removes everything it made
# Installs what is missing first (Debian 12). Root runs everything directly; another account is asked for
# sudo where root is needed (setcap, the namespaces).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh
build=${KW_BUILD_DIR:-build}
SUDO=()
[ "$(id -u)" -eq 0 ] || SUDO=(sudo)

if [ "${1:-}" = "--demo" ]; then
    shift
    # The lab keeps DISPLAY and XAUTHORITY, so the window opens on this desktop.
    xauth=${XAUTHORITY:-${HOME:-/nonexistent}/.Xauthority}
    [ -f "$xauth" ] || xauth=""
    exec "${SUDO[@]}" env DISPLAY="${DISPLAY:-}" ${xauth:+XAUTHORITY="$xauth"} \
        scripts/netlab demo --binary "$build/bin/kestrelwatch" "$@"
fi

# Only the small helper that sends echo requests and prunes the neighbour table is privileged; the Qt
# program runs with no capability at all (Qt loads plugins from folders the environment names).
"${SUDO[@]}" setcap -r "$build/bin/kestrelwatch" 2>/dev/null || true
"${SUDO[@]}" setcap cap_net_raw,cap_net_admin=ep "$build/bin/kestrelwatch-helper"
exec "$build/bin/kestrelwatch" "$@"
