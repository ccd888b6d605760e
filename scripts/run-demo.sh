#!/usr/bin/env bash
# The main job: builds the driver and its host tool, then runs the whole
# lifecycle against a throw-away directory server the tool starts itself.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset release >/dev/null
# Only what the demo runs: the driver and the tools (the schema is copied into
# build/release/dist/ when configuring), not the test suite.
cmake --build --preset release -j "$(nproc)" --target dist
exec build/release/dist/bin/veldir demo "$@"
