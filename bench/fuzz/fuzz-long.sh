#!/usr/bin/env bash
# Runs every libFuzzer harness long (KW_FUZZ_SECONDS, default 600 s each) and prints executions and coverage.
set -euo pipefail
cd "$(dirname "$0")/../.."
KW_FUZZ_SECONDS=${KW_FUZZ_SECONDS:-600} exec bash scripts/fuzz.sh
