#!/usr/bin/env bash
# Builds Kestrelwatch (program, helper, kestrelwatch-reg and their data) and nothing else: no tests, no
# benchmarks, nothing started; the tree is configured as scripts/test.sh configures it, so that the tests
# built later reuse what this builds. Installs what running and building need first (Debian 12).
# The tree is build/ (KW_BUILD_DIR to change it); the programs land in build/bin.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh run build
source scripts/configure.sh
configure_main_tree
cmake --build "$build" --parallel --target kw_programs
