#!/usr/bin/env bash
# The unit tests built with clang, AddressSanitizer and UndefinedBehaviorSanitizer (-DKW_SANITIZE=ON): any
# report, a leak too, ends the test with a failing exit code. The window is left out (-DKW_BUILD_GUI=OFF) to
# keep the build short; its own unit tests run in the normal tree. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KW_SANITIZE_DIR:-build-asan}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKW_SANITIZE=ON \
    -DKW_BUILD_GUI=OFF -DKW_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error --parallel "$(nproc)" -L unit "$@"
