#!/usr/bin/env bash
# Builds Kestrelwatch and runs every test in parallel, then prints the ten slowest tests, the wall time and
# the time per label (unit, netlab, gui, audio). Installs what is missing first (Debian 12). Tests labelled
# netlab build namespace LANs and need root: as another user they show as skipped, with the reason. With
# CI=true a skip fails. Extra arguments go to ctest (e.g. -L unit, -R tst_hive). A compiler warning fails the
# build (-DKW_WERROR=ON), and a C++ file that clang-format would change fails the run.
#   KW_SANITIZE=1  also build a clang tree with AddressSanitizer and UndefinedBehaviorSanitizer (while the
#                  tests run) and run the unit label there (scripts/sanitize.sh); KW_FUZZ=1 runs the
#                  fuzzers in the same tree (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

if [ "${KW_NO_DEPS:-0}" != 1 ]; then
    bash scripts/install-deps.sh
fi
status=0
# The tracked C++ files as .clang-format has them (a second or two).
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run -Werror; then
    echo "test.sh: clang-format would change the files above (run clang-format -i on them)" >&2
    status=1
fi
source scripts/configure.sh
jobs=$(nproc)
# The ten longest tests of a tree's last ctest run, one line each, from ctest's own log: where the time goes.
slowest_tests() {
    local log=$1/Testing/Temporary/LastTest.log
    [ -f "$log" ] || return 0
    echo "test.sh: the ten slowest tests in $1:"
    sed -n -e 's/^[0-9]*\/[0-9]* Test: \(.*\)/name \1/p' -e 's/^Test time = *\([0-9.]*\) sec.*/time \1/p' "$log" |
        awk '$1 == "name" { name = $2 } $1 == "time" && name != "" { printf "%8.1f s  %s\n", $2, name; name = "" }' |
        sort -rn | head -n 10 || true
}
configure_main_tree
cmake --build "$build" --parallel "$jobs"
built=$(date +%s)
# The sanitizer tree builds while the tests run: most test time is spent waiting on labs, servers and
# timers, not on the processors, and the tests must hold under load anyway.
clang_pid=
if [ "${KW_SANITIZE:-0}" = 1 ] || [ "${KW_FUZZ:-0}" = 1 ]; then
    (
        source scripts/clang-tree.sh
        configure_clang_tree
        nice -n 10 cmake --build "$build" --parallel "$jobs"
    ) >"$build/clang-tree.log" 2>&1 &
    clang_pid=$!
fi
# Namespaces left behind by an interrupted earlier run would clash with new ones.
if [ "$(id -u)" -eq 0 ] && [ -x scripts/netlab ]; then
    scripts/netlab gc || true
fi
# Four tests per processor, sharing the slots the tree's resources.json hands out (tests/CMakeLists.txt): no
# more busy tests than processors, no more lab sweeps than the kernel's neighbour table keeps.
ctest --test-dir "$build" --output-on-failure --no-tests=error --parallel $((4 * jobs)) "$@" || status=$?
tested=$(date +%s)
if [ -n "$clang_pid" ] && ! wait "$clang_pid"; then
    echo "test.sh: the sanitizer tree failed to build:" >&2
    tail -40 "$build/clang-tree.log" >&2
    status=1
fi

if [ "${KW_SANITIZE:-0}" = 1 ]; then
    bash scripts/sanitize.sh || status=1
fi
sanitized=$(date +%s)
if [ "${KW_FUZZ:-0}" = 1 ]; then
    bash scripts/fuzz.sh || status=1
fi
end=$(date +%s)
slowest_tests "$build"
if [ "${KW_SANITIZE:-0}" = 1 ]; then
    (source scripts/clang-tree.sh && slowest_tests "$build")
fi
echo "test.sh: build $((built - start)) s, tests $((tested - built)) s, sanitizer pass $((sanitized - tested)) s," \
    "fuzzers $((end - sanitized)) s, wall $((end - start)) s (per-label times: the Label Time Summary above)"
exit $status
