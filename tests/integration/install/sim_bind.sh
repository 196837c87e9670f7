#!/usr/bin/env bash
# The installed simulator listens on loopback only unless --bind says otherwise. Connections go
# to this machine's own addresses only.
source "$(dirname "$0")/lib.sh"

# This machine's first IPv4 address outside 127.0.0.0/8, if it has one.
outside=$(hostname -I 2>/dev/null | tr ' ' '\n' | grep -E '^[0-9]+(\.[0-9]+){3}$' | grep -v '^127\.' | head -1 || true)

# The local addresses that listen on port, from /proc/net/tcp (hexadecimal, little-endian).
listen_addresses() { # port
    python3 - "$1" <<'PY'
import socket, struct, sys
port = int(sys.argv[1])
for line in open("/proc/net/tcp").readlines()[1:]:
    local, state = line.split()[1], line.split()[3]
    addr, p = local.split(":")
    if state == "0A" and int(p, 16) == port:
        print(socket.inet_ntoa(struct.pack("<I", int(addr, 16))))
PY
}

# The TCP ports of the last simulator started: the scheduler's and robot 1's (from its log).
sim_ports() { echo "$sim_port" "$(sed -n 's/.*robot 1 at .* port \([0-9]*\) and .*/\1/p' "$tmp/sim/log" | tail -1)"; }
loopback_only() {
    local port status=0
    for port in $(sim_ports); do
        [[ $(listen_addresses "$port") == 127.0.0.1 ]] || { echo "port $port: $(listen_addresses "$port")"; status=1; }
    done
    return $status
}
all_reachable() { # host
    local port
    for port in $(sim_ports); do reachable "$1" "$port" || { echo "port $port refused"; return 1; }; done
}
none_reachable() { # host
    local port
    for port in $(sim_ports); do ! reachable "$1" "$port" || { echo "port $port answered"; return 1; }; done
}
exits_2_on_bad_bind() {
    local status=0
    "$ROVAK_PREFIX/bin/rovak-sim" --port "$(free_port)" --socket-dir "$tmp" \
        --bind no.such.host.invalid || status=$?
    ((status == 2))
}

check "the simulator starts on its defaults" start_sim
check "scheduler and robot listen on 127.0.0.1 only" loopback_only
check "both are reachable on loopback" all_reachable 127.0.0.1
if [[ -n $outside ]]; then
    check "neither is reachable on $outside" none_reachable "$outside"
    check "--bind 0.0.0.0 starts it on every address" start_sim --bind 0.0.0.0
    check "then both are reachable on $outside" all_reachable "$outside"
else
    echo "# no address outside loopback on this machine: reachability from outside not tried"
fi
check "--bind with an address that does not resolve exits 2" exits_2_on_bad_bind
