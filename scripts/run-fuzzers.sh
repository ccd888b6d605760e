#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset: clang, ASan + UBSan) and
# runs each for a bounded time on a scratch copy of its seed corpus (and with
# its dictionary, where it has one).  Prints
# the executions per target and exits non-zero on any crash, time-out, memory
# blow-up or sanitizer report; the input that caused it is kept.
#
#   scripts/run-fuzzers.sh [target...]      default: every target
#   VELDLDAP_FUZZ_SECONDS     seconds per target (default 60)
#   VELDLDAP_FUZZ_BUILD_DIR   build directory (default: the preset's)
#   VELDLDAP_FUZZ_ARTIFACTS   where failing inputs and logs are kept
#                             (default: <build>/fuzz-artifacts)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=${VELDLDAP_FUZZ_SECONDS:-60}
# Absolute: each target runs in a scratch directory of its own.
build_dir=$(realpath -m "${VELDLDAP_FUZZ_BUILD_DIR:-$root/build/fuzz}")
artifacts=$(realpath -m "${VELDLDAP_FUZZ_ARTIFACTS:-$build_dir/fuzz-artifacts}")
all_targets=(fuzz_init_string fuzz_mask_init_string fuzz_tranaddr_read fuzz_tranaddr_write fuzz_hex_password fuzz_dn)
if [ $# -gt 0 ]; then targets=("$@"); else targets=("${all_targets[@]}"); fi

if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "VELDLDAP_FUZZ_SECONDS must be a positive number of seconds" >&2
  exit 2
fi

scripts/install-deps.sh
cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target fuzzers -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"

# Executions of one run, from libFuzzer's final statistics or its DONE line.
executions() {
  local log=$1 count
  count=$(sed -n 's/^stat::number_of_executed_units: *\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
  [ -z "$count" ] && count=$(sed -n 's/^#\([0-9][0-9]*\)[[:space:]]*DONE.*/\1/p' "$log" | tail -n 1)
  echo "${count:-?}"
}

sanitizer_report() {
  grep -E -q 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|SUMMARY: ' "$1"
}

declare -A result count
failed=0
for target in "${targets[@]}"; do
  binary=$build_dir/fuzz/$target
  if [ ! -x "$binary" ]; then
    echo "no such fuzz target: $target" >&2
    exit 2
  fi
  corpus=$work/corpus/$target
  mkdir -p "$corpus" "$work/tmp/$target"
  cp -R "$root/fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
  log=$work/$target.log
  options=()
  [ -f "$root/fuzz/dict/$target.dict" ] && options+=(-dict="$root/fuzz/dict/$target.dict")
  echo "== $target: ${seconds} s"
  status=0
  # The driver writes its log into the working directory: a scratch one
  # inside the work directory, which is removed at the end.
  (cd "$work/tmp/$target" && "$binary" "$corpus" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$target-" "${options[@]}") >"$log" 2>&1 || status=$?
  count[$target]=$(executions "$log")
  if [ "$status" -ne 0 ] || sanitizer_report "$log"; then
    result[$target]="FAILED (exit $status)"
    failed=1
    cp "$log" "$artifacts/$target.log"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written|assertion failed' "$log" | head -n 20 >&2 || true
    echo "   log kept in $artifacts/$target.log" >&2
  else
    result[$target]=ok
  fi
done

echo
printf '%-22s %14s  %s\n' target executions result
for target in "${targets[@]}"; do
  printf '%-22s %14s  %s\n' "$target" "${count[$target]}" "${result[$target]}"
done
if [ "$failed" -ne 0 ]; then
  echo "fuzz: failures found; inputs in $artifacts" >&2
  exit 1
fi
echo "fuzz: ${#targets[@]} targets, ${seconds} s each, no findings"
