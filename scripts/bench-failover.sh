#!/usr/bin/env bash
# Failover time: what listing a failed server first adds to a run of
# "veldir search".  Two throw-away slapd servers on 127.0.0.1 (free ports,
# one server entry each): one answers, the other is suspended (SIGSTOP: the
# kernel accepts the connection, nobody answers); a third free port has no
# server at all (a stopped server: the connection is refused).  Each run
# lists the failed server first and the live one second; the same run with
# the live server alone is the baseline.  The wall-clock time of each run
# is taken around the process; the machine is small and shared, so each is
# repeated (VELDLDAP_BENCH_RUNS, default 5) and the medians are compared.
# The bounds the runs are held to: a refused connection adds at most 1 s, a
# suspended server at most the time limit plus 1 s.  Prints a Markdown
# table; `scripts/bench-failover.sh FILE` also writes it to FILE.
# VELDIR=path uses that veldir instead of building the release one.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
table_file="${1:-}"
runs=${VELDLDAP_BENCH_RUNS:-5}

if [ -z "${VELDIR:-}" ]; then
    scripts/install-deps.sh >/dev/null
    cmake --preset release >/dev/null
    cmake --build build/release -j "$(nproc)" --target veldir >/dev/null
    VELDIR="$root/build/release/dist/bin/veldir"
fi
VELDIR=$(realpath "$VELDIR")

bench_root=$root
source scripts/lib/bench-slapd.sh
work=$(mktemp -d)
trap 'bench_slapd_cleanup; rm -rf "$work"' EXIT
admin=$bench_admin password=$bench_password base=$bench_base
one_entry="dn: velmorServername=srv1,$base
objectClass: velmorServer
velmorServername: srv1
"

live_port=$(bench_free_port)
bench_start_slapd "$work/live" "$live_port" "$one_entry"
suspended_port=$(bench_free_port)
bench_start_slapd "$work/suspended" "$suspended_port" "$one_entry"
kill -STOP "${bench_pids[-1]}"
refused_port=$(bench_free_port)  # nothing listens there

string() { echo "ldap://127.0.0.1:$1/$base????bindname=$admin?$password"; }

# One run of veldir search over the servers (ports) given, in this order,
# with the time limit; prints its wall-clock seconds.
search_once() {
    local timelimit=$1
    shift
    : >"$work/servers.init"
    for port in "$@"; do string "$port" >>"$work/servers.init"; done
    local start end
    start=$(date +%s%N)
    (cd "$work" && "$VELDIR" --init-file servers.init --timelimit "$timelimit" search >"$work/run.out" 2>"$work/run.err") || {
        echo "failed: servers $* (time limit $timelimit)" >&2
        cat "$work/run.out" "$work/run.err" >&2
        exit 1
    }
    end=$(date +%s%N)
    grep -q srv1 "$work/run.out" || { echo "no entry listed" >&2; exit 1; }
    awk -v start="$start" -v end="$end" 'BEGIN { printf "%.3f\n", (end - start) / 1e9 }'
}

median() { sort -n | awk '{ value[NR] = $1 } END { print value[int((NR + 1) / 2)] }'; }

# first server, its port, the time limit, the bound on the added time
scenarios=(
    "stopped (connection refused)|$refused_port|5|1"
    "suspended (SIGSTOP)|$suspended_port|1|2"
    "suspended (SIGSTOP)|$suspended_port|2|3"
)
table="| first server listed | --timelimit | alone: live server (s) | failed server first (s) | added (s) | bound (s) | within |
|---|---:|---:|---:|---:|---:|---|"
for scenario in "${scenarios[@]}"; do
    IFS='|' read -r what port timelimit bound <<<"$scenario"
    alone="" failover=""
    # In turn, so that a busy spell of the machine falls on both.
    for _ in $(seq "$runs"); do
        alone+="$(search_once "$timelimit" "$live_port")"$'\n'
        failover+="$(search_once "$timelimit" "$port" "$live_port")"$'\n'
    done
    alone_median=$(printf '%s' "$alone" | median)
    failover_median=$(printf '%s' "$failover" | median)
    table+=$'\n'"$(awk -v what="$what" -v limit="$timelimit" -v alone="$alone_median" -v failover="$failover_median" \
        -v bound="$bound" 'BEGIN { added = failover - alone
            printf "| %s | %s | %.3f | %.3f | %.3f | %s | %s |", what, limit, alone, failover, added, bound,
                   added <= bound ? "yes" : "NO" }')"
done
echo "$table"
[ -z "$table_file" ] || echo "$table" >"$table_file"
