#!/usr/bin/env bash
# Builds Kestrelwatch and runs every test. Installs what is missing first (Debian 12).
# Integration tests labelled netlab build namespace LANs and need root; as another user they skip.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build=${KW_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel
# Namespaces left behind by an interrupted earlier run would clash with new ones.
if [ "$(id -u)" -eq 0 ] && [ -x scripts/netlab ]; then
    scripts/netlab gc || true
fi
ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
