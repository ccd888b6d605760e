#!/usr/bin/env bash
# Builds the benchmarks (release build) and runs them against a throw-away
# slapd they start themselves: the driver beside the raw OpenLDAP client
# library, the log messages it writes and the cost of one log write.  Prints
# a Markdown table at the end; `scripts/run-bench.sh FILE` also writes it to
# FILE.  Extra arguments after FILE go to Google Benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."

table_file="${1:-}"
[ $# -gt 0 ] && shift

scripts/install-deps.sh

cmake --preset bench >/dev/null
cmake --build build/bench -j "$(nproc)" --target veldldap_bench

# Medians of five runs: the machine is small and shared, single runs are noisy.
arguments=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
[ -n "$table_file" ] && arguments+=("--table=$(realpath -m "$table_file")")
exec build/bench/bench/veldldap_bench "${arguments[@]}" "$@"
