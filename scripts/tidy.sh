#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy over every production source file (not tests/ or bench/), using
# the compile commands of a tree of its own that compiles one source at a time (build-tidy/; KW_BUILD_DIR to
# change it): a unity tree's commands name the combined files, not the sources. Prints the
# findings and fails when there are any. Extra arguments are path patterns narrowing the files, e.g.
# scripts/tidy.sh mqtt/ helper/. It takes minutes on two cores, so CI leaves it out.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KW_BUILD_DIR:-build-tidy}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=OFF >/dev/null
# The files moc generates must exist for the sources that include them: the tree is built first.
cmake --build "$build" --parallel "$(nproc)" >/dev/null
folders='platform|store|logging|vendor|notify|security|recognition|engine|mqtt|channels|metrics|devicefile|web|ctl|app|mainwindow|settings|tools|helper'
filter="^$PWD/($folders)/"
if (($#)); then
    filter="^$PWD/($(printf '%s|' "$@" | sed 's/|$//'))"
fi
log=$(mktemp)
trap 'rm -f "$log" "$log.found"' EXIT
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "$filter" 2>&1 | sed 's/\x1b\[[0-9;]*m//g' >"$log" || true
# Findings in our own files only: the analyzer also follows Qt's templates into its headers.
grep -E "^$PWD/.*: (warning|error):" "$log" | sort -u >"$log.found" || true
if [ -s "$log.found" ]; then
    grep -A3 -E "^$PWD/.*: (warning|error):" "$log" | grep -v '^--$' | head -400
    echo "tidy: $(wc -l <"$log.found") findings" >&2
    exit 1
fi
echo "tidy: no findings"
