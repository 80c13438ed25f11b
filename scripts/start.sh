#!/usr/bin/env bash
# Builds Kestrelwatch, lets it sweep the network without root (file capabilities), and starts it.
# Installs what is missing first (Debian 12). Arguments are passed to kestrelwatch (e.g. --headless).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build=${KW_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# Raw ICMP for the sweep and neighbour-table pruning, without running the whole program as root.
$SUDO setcap cap_net_raw,cap_net_admin+ep "$build/bin/kestrelwatch"
exec "$build/bin/kestrelwatch" "$@"
