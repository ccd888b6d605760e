#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. the debug build's whole suite;
#   2. the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the concurrency tests (the driver's, and veldir's import --jobs) under ThreadSanitizer;
#   4. every fuzz target for a bounded time (VELDLDAP_FUZZ_SECONDS, default 60).
# VELDLDAP_SKIP_SANITIZERS=1 stops after the first step (a quick local run).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

stage() { printf '\n==== %s (%s)\n' "$1" "$(date -u +%H:%M:%S)"; }
# As many jobs as the machine has cores, for the builds and the tests.
jobs=$(nproc)

stage "debug build, whole suite"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
ctest --preset debug -j "$jobs"

[ "${VELDLDAP_SKIP_SANITIZERS:-0}" = 1 ] && exit 0

stage "ASan + UBSan build, whole suite"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

stage "TSan build, concurrency tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target concurrency_tests tool_concurrency_tests
ctest --preset tsan -j "$jobs"

stage "fuzzers"
scripts/run-fuzzers.sh
stage "done"
