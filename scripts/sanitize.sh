#!/usr/bin/env bash
# The unit tests built with clang, AddressSanitizer and UndefinedBehaviorSanitizer: any report, a leak too,
# ends the test with a failing exit code. It shares the clang tree of scripts/fuzz.sh (-DKW_FUZZ=ON brings
# the sanitizers); the window is left out (-DKW_BUILD_GUI=OFF) to keep the build short, its own unit tests
# run in the normal tree. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/clang-tree.sh
configure_clang_tree
cmake --build "$build" --parallel "$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error --parallel "$(nproc)" -L unit "$@"
