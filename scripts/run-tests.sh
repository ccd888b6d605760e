#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. the debug build's whole suite;
#   2. the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the concurrency tests (the driver's, and veldir's import --jobs) under ThreadSanitizer;
#   4. every fuzz target for a bounded time (VELDLDAP_FUZZ_SECONDS, default 60);
#   5. the Debian packages: release build of what is shipped, cpack -G DEB,
#      and the tests of the unpacked packages.
# VELDLDAP_SKIP_SANITIZERS=1 stops after the first step (a quick local run).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# install-deps.sh installed slapd and 389 Directory Server: a directory test
# that finds either missing fails instead of skipping.
export VELDLDAP_REQUIRE_SERVERS=1

stage() { printf '\n==== %s (%s)\n' "$1" "$(date -u +%H:%M:%S)"; }
# As many jobs as the machine has cores, for the builds and the tests.
jobs=$(nproc)

# A test preset's whole run, then how many of its tests were skipped and how
# many cases the suites of each kind of directory server hold.
run_tests() {
  local log="build/$1/ctest.log" kind program cases
  ctest --preset "$1" -j "$jobs" | tee "$log"
  echo "skipped: $(grep -c '(Skipped)$' "$log" || true) of $(ctest --preset "$1" -N | grep -c '^ *Test *#')"
  [ -x "build/$1/tests/directory_tests" ] || return 0
  for kind in slapd ds389; do
    cases=0
    for program in "build/$1/tests/directory_tests" "build/$1/tests/tool_tests"; do
      [ -x "$program" ] || continue
      cases=$((cases + $("$program" --gtest_list_tests --gtest_filter="$kind/*" | grep -c '^  ' || true)))
    done
    echo "cases against $kind: $cases"
  done
}

stage "debug build, whole suite"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
run_tests debug

[ "${VELDLDAP_SKIP_SANITIZERS:-0}" = 1 ] && exit 0

stage "ASan + UBSan build, whole suite"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
run_tests asan

stage "TSan build, concurrency tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target concurrency_tests tool_concurrency_tests
run_tests tsan

stage "fuzzers"
scripts/run-fuzzers.sh

stage "release build, Debian packages"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target dist install_tests
(cd build/release && rm -f ./*.deb && cpack -G DEB)
ctest --preset package
stage "done"
