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
    cmake --build build/release -j 2 --target veldir >/dev/null
    VELDIR="$root/build/release/dist/bin/veldir"
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill -CONT "$pid" 2>/dev/null || true
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

admin="cn=admin,o=bench"
password="bench-secret"
base="ou=servers,o=bench"

# A server with one entry on `port`; its pid is appended to pids.
start_slapd() {
    local name=$1 port=$2 dir="$work/$1"
    mkdir -p "$dir/data"
    cat >"$dir/slapd.conf" <<EOF
include /etc/ldap/schema/core.schema
include $root/schema/velmor.schema
pidfile $dir/slapd.pid
modulepath /usr/lib/ldap
moduleload back_mdb
database mdb
maxsize 104857600
suffix "o=bench"
rootdn "$admin"
rootpw $password
directory $dir/data
EOF
    printf 'dn: o=bench\nobjectClass: organization\no: bench\n\ndn: %s\nobjectClass: organizationalUnit\nou: servers\n\ndn: velmorServername=srv1,%s\nobjectClass: velmorServer\nvelmorServername: srv1\n' \
        "$base" "$base" | slapadd -q -f "$dir/slapd.conf" >/dev/null
    slapd -d none -f "$dir/slapd.conf" -h "ldap://127.0.0.1:$port/" >"$dir/log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        ldapsearch -x -H "ldap://127.0.0.1:$port" -b "" -s base >/dev/null 2>&1 && return
        sleep 0.1
    done
    echo "slapd $name did not start; its log:" >&2
    cat "$dir/log" >&2
    exit 1
}

live_port=$(free_port)
start_slapd live "$live_port"
suspended_port=$(free_port)
start_slapd suspended "$suspended_port"
suspended_pid=${pids[-1]}
kill -STOP "$suspended_pid"
refused_port=$(free_port)  # nothing listens there

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
