#!/usr/bin/env bash
# Request-to-redirect time of the modelers through lighttpd on loopback, FastCGI workers and plain
# CGI side by side, against OpenSCAD building the same solid to a mesh file.
#
# For each primitive and for a six-section shaft (through hole, half cut; without and with edge
# treatments) it measures, alternately within each round so that load changes hit all three
# alike: one request to the FastCGI site, one to the CGI site (the time curl takes from sending
# the request to receiving the redirect), and one whole `openscad -o FILE.stl` run of the same
# solid at $fn=64. It prints the medians of RUNS rounds and the ratios to OpenSCAD, then
# throughput and median latency with CLIENTS (default 8) clients at once sending REQUESTS
# (default 200) requests in all for the cylinder and for the torus, through FastCGI and through CGI.
#
# OpenSCAD (Debian `openscad`) is installed when missing and apt-get can; without it its columns
# show "-".
#
# Usage: bench/modelers.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR: a build tree or install prefix holding Bolmar and Arvend (default build/release,
#   whose modelers are brought up to date first); RUNS default 25. WORKERS sets the FastCGI
#   workers per modeler (default: one per core).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-}
runs=${2:-25}
clients=${CLIENTS:-8}
requests=${REQUESTS:-200}

if [[ -z $build ]]; then
    (cd "$root" && cmake --preset release >/dev/null &&
        cmake --build --preset release --target Bolmar Arvend >/dev/null)
    build="$root/build/release"
fi

if ! command -v openscad >/dev/null && command -v apt-get >/dev/null && ((EUID == 0)); then
    echo "bench: installing openscad" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends openscad \
        >/dev/null 2>&1 || echo "bench: openscad could not be installed" >&2
fi
openscad=$(command -v openscad || true)

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
work=$(mktemp -d)
fcgi_port=$(free_port)
cgi_port=$(free_port)
cleanup() {
    "$root/scripts/serve" stop --prefix "$work/fcgi" >/dev/null 2>&1 || true
    "$root/scripts/serve" stop --prefix "$work/cgi" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
workers=()
[[ -n ${WORKERS:-} ]] && workers=(--workers "$WORKERS")
"$root/scripts/serve" start --port "$fcgi_port" --prefix "$work/fcgi" --build "$build" \
    "${workers[@]}" >/dev/null
"$root/scripts/serve" start --port "$cgi_port" --prefix "$work/cgi" --build "$build" --cgi >/dev/null

shaft='numsol=6&comp=10-15-20-10-25-10-&diam_e=20-30-40-36-30-20-&diam_d=20-30-40-30-30-20-'
shaft+='&codfuros=4&dfuro=8&seccao=2'
blends='&blend_e=1-2-2-0-0-0-&vblend_e=1-1-1.5-0-0-0-&blend_d=0-0-1-0-2-1-&vblend_d=0-0-1-0-1-1-'
# The shaft's outline for OpenSCAD: (radius, z) of each section's ends, then the axis.
profile='[[0,0],[10,0],[10,10],[15,10],[15,25],[20,25],[20,45],[18,45],[15,55],[15,80],[10,80],[10,90],[0,90]]'
shaft_scad="difference() { rotate_extrude() polygon($profile); translate([0,0,-1]) cylinder(h=92, r=4); translate([-50,-50,-1]) cube([50,100,92]); }"

# label | program and form | the same solid in OpenSCAD
cases=(
    "box|Bolmar?tipo=0&larg_s=30&comp_s=20&altu_s=10|cube([30,20,10], center=true);"
    "cylinder|Bolmar?tipo=1&diam_s=10&altu_s=20|cylinder(h=20, d=10, center=true);"
    "cone|Bolmar?tipo=2&dmai_s=16&dmen_s=6&altu_s=12|cylinder(h=12, d1=16, d2=6, center=true);"
    "sphere|Bolmar?tipo=3&diam_s=10|sphere(d=10);"
    "torus|Bolmar?tipo=4&dmai_s=20&dmen_s=6|rotate_extrude() translate([10,0]) circle(r=3);"
    "prism|Bolmar?tipo=5&altu_s=10&rmai_s=6&rmen_s=4&nlados_s=6|linear_extrude(10) scale([6,4]) circle(r=1, \$fn=6);"
    "pyramid|Bolmar?tipo=6&altu_s=12&rmai_s=6&rmen_s=6&rtop_s=2&nlados_s=5|linear_extrude(12, scale=1/3) scale([6,6]) circle(r=1, \$fn=5);"
    "cross|Bolmar?tipo=7&dcin1_s=6&ccin1_s=40&dcin2_s=8&ccin2_s=30|union() { rotate([90,0,0]) cylinder(h=40, d=6, center=true); cylinder(h=30, d=8, center=true); }"
    "wedge|Bolmar?tipo=8&larg_s=30&comp_s=20&altu_s=15|rotate([90,0,0]) linear_extrude(20, center=true) polygon([[-15,-7.5],[15,-7.5],[15,7.5]]);"
    "shaft|Arvend?$shaft|$shaft_scad"
    "shaft, blends|Arvend?$shaft$blends|$shaft_scad"
)

# One request's time in seconds; fails unless the answer is the redirect.
request_s() { # port path
    local answer
    answer=$(curl -s -o /dev/null -w '%{http_code} %{time_total}' "http://127.0.0.1:$1/cgi-bin/$2")
    [[ ${answer%% *} == 302 ]] || { echo "bench: $2 answered ${answer%% *}" >&2; return 1; }
    echo "${answer#* }"
}
# One whole OpenSCAD run's time in seconds.
openscad_s() { # scad file
    local start end
    start=$(date +%s.%N)
    "$openscad" -q -o "$work/out.stl" "$1" >/dev/null 2>&1 || { echo "bench: openscad failed on $1" >&2; return 1; }
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", e - s }'
}
median_ms() { # the times in seconds on standard input
    sort -g | awk '{ t[NR] = $1 } END { if (NR == 0) { print "-"; exit } printf "%.1f", 1000 * (NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2) }'
}
ratio() { [[ $1 == - || $2 == - ]] && echo - || awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf '| Request | FastCGI ms | CGI ms | OpenSCAD ms | FastCGI / OpenSCAD | CGI / OpenSCAD |\n'
printf '|---|---|---|---|---|---|\n'
for entry in "${cases[@]}"; do
    IFS='|' read -r label path scad <<<"$entry"
    printf '$fn = 64;\n%s\n' "$scad" >"$work/solid.scad"
    : >"$work/fcgi.t" && : >"$work/cgi.t" && : >"$work/scad.t"
    for ((i = 0; i < runs; i++)); do
        request_s "$fcgi_port" "$path" >>"$work/fcgi.t"
        request_s "$cgi_port" "$path" >>"$work/cgi.t"
        [[ -n $openscad ]] && openscad_s "$work/solid.scad" >>"$work/scad.t"
    done
    f=$(median_ms <"$work/fcgi.t") c=$(median_ms <"$work/cgi.t") o=$(median_ms <"$work/scad.t")
    printf '| %s | %s | %s | %s | %s | %s |\n' "$label" "$f" "$c" "$o" "$(ratio "$f" "$o")" "$(ratio "$c" "$o")"
done

# Throughput: CLIENTS clients at once, each on its own kept-alive connection, REQUESTS requests
# in all; every answer must be the redirect. Requests for one shape wait for its lock in turn.
# Latency is from sending a request to reading its whole answer.
throughput() { # label port path
    python3 - "$1" "$2" "$3" "$clients" "$requests" <<'PY'
import http.client, statistics, sys, threading, time
label, port, path, clients, requests = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
latencies, failures, lock = [], [], threading.Lock()
counter = iter(range(requests))
def client():
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    while True:
        with lock:
            if next(counter, None) is None:
                break
        start = time.perf_counter()
        conn.request("GET", "/cgi-bin/" + path)
        answer = conn.getresponse()
        answer.read()
        took = time.perf_counter() - start
        with lock:
            latencies.append(took)
            if answer.status != 302:
                failures.append(answer.status)
    conn.close()
begin = time.perf_counter()
threads = [threading.Thread(target=client) for _ in range(clients)]
for t in threads: t.start()
for t in threads: t.join()
elapsed = time.perf_counter() - begin
if failures:
    sys.exit(f"bench: {label}: {len(failures)} answers were not the redirect ({failures[0]})")
print(f"| {label} | {requests / elapsed:.0f} | {1000 * statistics.median(latencies):.1f} |")
PY
}
echo
printf '| %d clients, %d requests | Requests/s | Median latency ms |\n|---|---|---|\n' "$clients" "$requests"
throughput "cylinder, FastCGI" "$fcgi_port" "Bolmar?tipo=1&diam_s=10&altu_s=20"
throughput "cylinder, CGI" "$cgi_port" "Bolmar?tipo=1&diam_s=10&altu_s=20"
throughput "torus, FastCGI" "$fcgi_port" "Bolmar?tipo=4&dmai_s=20&dmen_s=6"
throughput "torus, CGI" "$cgi_port" "Bolmar?tipo=4&dmai_s=20&dmen_s=6"
