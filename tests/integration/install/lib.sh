# Helpers of the install tests, sourced by each script. The test's CMakeLists passes
# ROVAK_SOURCE (the repository), ROVAK_BUILD (the build tree) and ROVAK_PREFIX (the prefix the
# install fixture fills).
set -euo pipefail
: "${ROVAK_SOURCE:?}" "${ROVAK_BUILD:?}" "${ROVAK_PREFIX:?}"

passed=0
failed=0
tmp=$(mktemp -d)
cleanups=()
on_exit() {
    local status=$?
    for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do
        eval "${cleanups[i]}" >/dev/null 2>&1 || true
    done
    rm -rf "$tmp"
    echo "$passed passed, $failed failed"
    ((failed == 0 && status == 0)) || exit 1
}
trap on_exit EXIT
# Runs later commands at exit, newest first (a started process, a running site).
at_exit() { cleanups+=("$1"); }

# check NAME COMMAND...: runs the command quietly; its output is shown when it fails.
check() {
    local name=$1 log="$tmp/check.log"
    shift
    if "$@" >"$log" 2>&1; then
        passed=$((passed + 1))
        echo "ok - $name"
    else
        failed=$((failed + 1))
        echo "not ok - $name"
        sed 's/^/    /' "$log" | tail -40
    fi
}

# A TCP port nobody listens on now.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts the installed simulator on free ports in $tmp; sets sim_port. Extra arguments are passed
# on. Waits for its "ready" line (at most 10 s).
start_sim() {
    sim_port=$(free_port)
    mkdir -p "$tmp/sim"
    "$ROVAK_PREFIX/bin/rovak-sim" --port "$sim_port" --robot-port 0 --socket-dir "$tmp/sim" \
        --speedup 10 --log "$tmp/sim/log" "$@" >"$tmp/sim/out" 2>&1 &
    local pid=$!
    at_exit "kill $pid; wait $pid"
    for _ in $(seq 200); do
        grep -q "rovak-sim: ready" "$tmp/sim/out" && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    cat "$tmp/sim/out" >&2
    return 1
}

# True when TCP port on host accepts a connection within 2 s.
reachable() { # host port
    timeout 2 bash -c 'exec 3<>"/dev/tcp/$1/$2"' _ "$1" "$2" 2>/dev/null
}
