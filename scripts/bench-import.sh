#!/usr/bin/env bash
# Import speed and memory: 10,000 and 100,000 generated server entries
# imported into a throw-away slapd (127.0.0.1, a free port, a fresh database
# for every run) by veldir over one, two and four sessions (--jobs), by
# ldapadd, and by veldir with the driver's log dropped (what the log costs).  Each run is measured by /usr/bin/time: wall-clock seconds
# and peak resident memory; the machine is small and shared, so each run is
# repeated (VELDLDAP_BENCH_RUNS, default 3) and the median time and the
# largest memory are shown.  Prints a Markdown table; `scripts/bench-import.sh
# FILE` also writes it to FILE.  VELDLDAP_BENCH_SIZES overrides the sizes
# ("10000 100000").
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
table_file="${1:-}"
read -r -a sizes <<<"${VELDLDAP_BENCH_SIZES:-10000 100000}"
runs=${VELDLDAP_BENCH_RUNS:-3}

scripts/install-deps.sh >/dev/null
cmake --preset release >/dev/null
cmake --build build/release -j "$(nproc)" --target veldir >/dev/null
veldir="$root/build/release/dist/bin/veldir"

bench_root=$root
source scripts/lib/bench-slapd.sh
work=$(mktemp -d)
trap 'bench_slapd_cleanup; rm -rf "$work"' EXIT
port=$(bench_free_port)
url="ldap://127.0.0.1:$port"
admin=$bench_admin password=$bench_password base=$bench_base

generate() {
    awk -v count="$1" -v base="$base" 'BEGIN {
        for (i = 0; i < count; i++)
            printf "dn: velmorServername=srv%07d,%s\nobjectClass: velmorServer\nvelmorServername: srv%07d\n" \
                   "velmorVersion: %d\nvelmorService: inventory %d\nvelmorStatus: 0\n" \
                   "velmorAddress: tcp#0#host%d.example.net %d\n\n", i, base, i, i % 7, i % 13, i, 5000 + i % 1000
    }' >"$work/entries-$1.ldif"
}

# Runs one import and prints "seconds peak-kilobytes".
measure() {
    local log="$work/time.log"
    (cd "$work" && /usr/bin/time -o "$log" -f "%e %M" "$@" >"$work/run.out" 2>"$work/run.err") || {
        echo "failed: $*" >&2
        cat "$work/run.out" "$work/run.err" >&2
        exit 1
    }
    cat "$log"
}

count_entries() {
    ldapsearch -x -LLL -H "$url" -D "$admin" -w "$password" -b "$base" -s one -z 0 "(objectClass=velmorServer)" 1.1 |
        grep -c '^dn:'
}

# One import into a fresh server; prints "seconds peak-kilobytes".
import_once() {
    local tool=$1 size=$2 file=$3 init=$4 result stored
    bench_start_slapd "$work/slapd" "$port"
    rm -f "$work/libveldldap.log"
    case "$tool" in
        veldir) result=$(measure "$veldir" --log-dir "$work" --init "$init" --no-progress import "$file") ;;
        "veldir --jobs "*) result=$(measure "$veldir" --log-dir "$work" --init "$init" --no-progress --jobs "${tool##* }" import "$file") ;;
        "veldir, log dropped")
            # The driver leaves a symbolic link in the log's place alone and drops every message.
            ln -s /dev/null "$work/libveldldap.log"
            result=$(measure "$veldir" --log-dir "$work" --init "$init" --no-progress import "$file") ;;
        ldapadd) result=$(measure ldapadd -x -H "$url" -D "$admin" -w "$password" -f "$file") ;;
    esac
    rm -f "$work/libveldldap.log"
    stored=$(count_entries)
    bench_stop_last_slapd
    [ "$stored" = "$size" ] || { echo "$tool stored $stored of $size entries" >&2; exit 1; }
    echo "$result"
}

tools=("veldir" "veldir --jobs 2" "veldir --jobs 4" "ldapadd" "veldir, log dropped")
rows=()
for size in "${sizes[@]}"; do
    generate "$size"
    file="$work/entries-$size.ldif"
    init="$url/$base????bindname=$admin?$password"
    # Rounds of every importer in turn, so that a busy spell of the machine falls on all of them.
    declare -A samples=()
    for _ in $(seq "$runs"); do
        for tool in "${tools[@]}"; do
            samples[$tool]+="$(import_once "$tool" "$size" "$file" "$init")"$'\n'
        done
    done
    for tool in "${tools[@]}"; do
        rows+=("$(printf '%s' "${samples[$tool]}" | sort -n | awk -v size="$size" -v tool="$tool" '
            { seconds[NR] = $1; if ($2 > kilobytes) kilobytes = $2 }
            END { median = seconds[int((NR + 1) / 2)]
                  printf "| %d | %s | %.2f | %.0f | %.1f |", size, tool, median, size / median, kilobytes / 1024 }')")
    done
    unset samples
done

table="| entries | importer | seconds | entries per second | peak resident memory (MB) |
|---:|---|---:|---:|---:|"
for row in "${rows[@]}"; do table+=$'\n'"$row"; done
echo "$table"
[ -z "$table_file" ] || echo "$table" >"$table_file"
