#!/usr/bin/env bash
# Builds everything and runs every test: the debug build's whole suite, then
# the suite again under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset debug >/dev/null
cmake --build --preset debug
ctest --preset debug

if [ "${VELDLDAP_SKIP_SANITIZERS:-0}" != 1 ]; then
  cmake --preset asan >/dev/null
  cmake --build --preset asan
  ctest --preset asan
fi
