#!/usr/bin/env bash
# The main job: builds the driver and its host tool, then runs the whole
# lifecycle against a throw-away directory server the tool starts itself.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exec build/release/dist/bin/veldir demo "$@"
