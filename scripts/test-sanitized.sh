#!/usr/bin/env bash
# Builds into build-sanitize/ with AddressSanitizer and UBSan and runs the test
# suite there. Every process, the worker included (whose standard error the
# program keeps to itself), writes what the sanitizers find into
# build-sanitize/sanitizer-reports/; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize --parallel "$(nproc)"

reports=$PWD/build-sanitize/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="log_path=$reports/asan"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitize/lsan.supp:print_suppressions=0"

# The preset leaves out the fuzzers, which carry both sanitizers in every
# build, and the package test, which packs the plain build's programs.
status=0
(cd build-sanitize && ctest --output-on-failure --parallel "$(nproc)" --timeout 600) \
    || status=$?

if [ -n "$(ls -A "$reports")" ]; then
    cat "$reports"/*
    echo "The sanitizers reported faults: see above." >&2
    exit 1
fi
exit "$status"
