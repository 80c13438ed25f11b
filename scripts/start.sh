#!/usr/bin/env bash
# Builds Kestrelwatch, gives its helper (and nothing else) the capabilities to sweep, and starts it.
# Installs what is missing first (Debian 12). Arguments are passed to kestrelwatch (e.g. --headless).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build=${KW_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# Only the small helper that sends echo requests and prunes the neighbour table is privileged; the Qt
# program runs with no capability at all (Qt loads plugins from folders the environment names).
$SUDO setcap -r "$build/bin/kestrelwatch" 2>/dev/null || true
$SUDO setcap cap_net_raw,cap_net_admin=ep "$build/bin/kestrelwatch-helper"
exec "$build/bin/kestrelwatch" "$@"
