#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, -DKW_FUZZ=ON, with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each for KW_FUZZ_SECONDS (default 20), then prints executions and coverage per harness. A crash,
# a sanitizer report, a leak or a time-out fails; the input is left in the build tree (crash-*).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/clang-tree.sh # the tree shared with scripts/sanitize.sh
seconds=${KW_FUZZ_SECONDS:-20}
configure_clang_tree -DKW_FUZZ_SECONDS="$seconds"
mapfile -t harnesses < <(find tests -name CMakeLists.txt -exec sed -n 's/^kw_add_fuzzer(\([a-z0-9_]*\).*/\1/p' {} + | sort)
cmake --build "$build" --parallel "$(nproc)" --target "${harnesses[@]}"
status=0
pids=()
for h in "${harnesses[@]}"; do
    mkdir -p "$build/fuzz-corpus/$h"
    seeds=tests/fuzz/corpus/$h
    [ -d "$seeds" ] || seeds=
    (cd "$build" && LC_ALL=C.UTF-8 ./bin/"$h" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
        -print_final_stats=1 "fuzz-corpus/$h" ${seeds:+"../$seeds"}) >"$build/$h.log" 2>&1 &
    pids+=($!)
done
for i in "${!harnesses[@]}"; do
    h=${harnesses[$i]}
    if ! wait "${pids[$i]}"; then
        status=1
        echo "fuzz: $h FAILED:" >&2
        grep -E "ERROR|SUMMARY|runtime error|crash-|leak-|timeout-" "$build/$h.log" | head -20 >&2
    fi
    # libFuzzer's closing lines: "stat::number_of_executed_units: N" and "#N DONE cov: C ft: F ...".
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$h.log" | tail -n1)
    cov=$(sed -n 's/.*DONE *cov: \([0-9]*\) ft: \([0-9]*\).*/\1 edges, \2 features/p' "$build/$h.log" | tail -n1)
    echo "fuzz: $h ${seconds} s: ${execs:-?} executions, coverage ${cov:-?}"
done
exit $status
