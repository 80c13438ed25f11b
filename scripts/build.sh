#!/usr/bin/env bash
# Builds Kestrelwatch (program, helper, kestrelwatch-reg and their data) and nothing else: no tests, no
# benchmarks, nothing started. Installs what running and building need first (Debian 12).
# The tree is build/ (KW_BUILD_DIR to change it); the programs land in build/bin.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh run build
build=${KW_BUILD_DIR:-build}
# One compile per few sources of a folder (unity build): Qt's headers are read a third as often, which halves a
# first build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON -DKW_BUILD_TESTS=OFF \
    -DKW_BUILD_BENCH=OFF
cmake --build "$build" --parallel
