#!/usr/bin/env bash
# Builds Kestrelwatch and runs every test in parallel, then prints the wall time and the time per label
# (unit, netlab, gui, audio). Installs what is missing first (Debian 12). Tests labelled netlab build
# namespace LANs and need root: as another user they show as skipped, with the reason. With CI=true a skip
# fails. Extra arguments go to ctest (e.g. -L unit, -R tst_hive).
#   KW_SANITIZE=1  also build a clang tree with AddressSanitizer and UndefinedBehaviorSanitizer and run the
#                  unit label there (scripts/sanitize.sh); KW_FUZZ=1 then runs the fuzzers (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

if [ "${KW_NO_DEPS:-0}" != 1 ]; then
    bash scripts/install-deps.sh
fi
build=${KW_BUILD_DIR:-build}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$jobs"
built=$(date +%s)
# Namespaces left behind by an interrupted earlier run would clash with new ones.
if [ "$(id -u)" -eq 0 ] && [ -x scripts/netlab ]; then
    scripts/netlab gc || true
fi
status=0
ctest --test-dir "$build" --output-on-failure --no-tests=error --parallel "$jobs" "$@" || status=$?
tested=$(date +%s)

if [ "${KW_SANITIZE:-0}" = 1 ]; then
    bash scripts/sanitize.sh || status=1
fi
if [ "${KW_FUZZ:-0}" = 1 ]; then
    bash scripts/fuzz.sh || status=1
fi
end=$(date +%s)
echo "test.sh: build $((built - start)) s, tests $((tested - built)) s, sanitizers and fuzzers $((end - tested)) s," \
    "wall $((end - start)) s (per-label times: the Label Time Summary above)"
exit $status
