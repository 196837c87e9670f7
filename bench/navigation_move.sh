#!/usr/bin/env bash
# Times one whole move in the simulator's default world through the Java front end: start,
# a 1.5 m move and finish, at --speedup 1 and at a high speed-up. The JVM start and the
# navigator's 1.5 s thread start-up are included; the move line shows the move alone.
# Usage: bench/navigation_move.sh BUILD_DIR [HIGH_SPEEDUP]
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR [HIGH_SPEEDUP]}" && pwd)
high=${2:-20}
sim="$build/sim/rovak-sim"
lib="$build/navigation/libtrelvo.so"
jar="$build/navigation/java/trelvo.jar"
for f in "$sim" "$lib" "$jar"; do
    [[ -e $f ]] || { echo "build rovak-sim, trelvo and trelvo_jar first: missing $f" >&2; exit 1; }
done
dir=$(mktemp -d)
sim_pid=
trap '[[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null; rm -rf "$dir"' EXIT
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
for speedup in 1 "$high"; do
    "$sim" --port "$port" --robot-port 0 --socket-dir "$dir" --speedup "$speedup" \
        --log "$dir/sim.log" >"$dir/sim.out" &
    sim_pid=$!
    until grep -q ready "$dir/sim.out" 2>/dev/null; do sleep 0.05; done
    start=$(date +%s%N)
    ROVAK_SCHEDULER_PORT=$port java -Djava.awt.headless=true -Dtrelvo.library="$lib" \
        -jar "$jar" 165,150 | while IFS= read -r line; do
        case $line in
        "Goal "*) echo "$(date +%s%N)" >"$dir/goal" ;;
        "Demo: move"*) echo "$(date +%s%N)" >"$dir/moved"; echo "  $line" ;;
        esac
    done
    end=$(date +%s%N)
    kill "$sim_pid"
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
    printf 'speedup %-5s whole run %6.2f s, move %6.2f s\n' "$speedup" \
        "$(((end - start) / 1000000))e-3" "$((($(cat "$dir/moved") - $(cat "$dir/goal")) / 1000000))e-3"
done
