# Sourced by the benchmark scripts: throw-away slapd servers on 127.0.0.1
# with the velmor schema, the suffix o=bench and its ou=servers, entries
# loaded with slapadd before the start.  bench_slapd_cleanup (set as the
# scripts' EXIT trap) stops every server started, also a suspended one.
bench_admin="cn=admin,o=bench"
bench_password="bench-secret"
bench_base="ou=servers,o=bench"
bench_pids=()

# A TCP port on 127.0.0.1 that nothing listens on right now.
bench_free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}

# bench_start_slapd DIR PORT [LDIF]: a fresh server in DIR on PORT with the
# base entries and LDIF (server entries below $bench_base); its pid is
# appended to bench_pids once it answers.
bench_start_slapd() {
    local dir=$1 port=$2 ldif=${3:-}
    rm -rf "$dir"
    mkdir -p "$dir/data"
    cat >"$dir/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include $bench_root/schema/velmor.schema
pidfile $dir/slapd.pid
modulepath /usr/lib/ldap
moduleload back_mdb
database mdb
maxsize 4294967296
dbnosync
suffix "o=bench"
rootdn "$bench_admin"
rootpw $bench_password
directory $dir/data
CONF
    { printf 'dn: o=bench\nobjectClass: organization\no: bench\n\ndn: %s\nobjectClass: organizationalUnit\nou: servers\n\n' \
        "$bench_base"; printf '%s' "$ldif"; } | slapadd -q -f "$dir/slapd.conf" >/dev/null
    slapd -d none -f "$dir/slapd.conf" -h "ldap://127.0.0.1:$port/" >"$dir/log" 2>&1 &
    bench_pids+=($!)
    for _ in $(seq 100); do
        ldapsearch -x -H "ldap://127.0.0.1:$port" -b "" -s base >/dev/null 2>&1 && return
        sleep 0.1
    done
    echo "slapd in $dir did not start; its log:" >&2
    cat "$dir/log" >&2
    exit 1
}

# Stops the last server started.
bench_stop_last_slapd() {
    local pid=${bench_pids[-1]}
    kill -CONT "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    unset 'bench_pids[-1]'
}

bench_slapd_cleanup() {
    while [ ${#bench_pids[@]} -gt 0 ]; do bench_stop_last_slapd; done
}
