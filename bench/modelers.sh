#!/usr/bin/env bash
# Request-to-redirect time of the modelers through lighttpd on loopback: each primitive and a
# six-section shaft with edge treatments, a hole and one quarter kept. Prints the median of
# RUNS requests per shape (the time curl takes from sending the request to receiving the redirect),
# then requests per second with CLIENTS (default 8) clients sending REQUESTS (default 8 x RUNS).
# Usage: bench/modelers.sh [BUILD_DIR] [RUNS]   (default build/release, built when missing; 25 runs)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-}
runs=${2:-25}
port=$(node -e 'const s = require("net").createServer().listen(0, "127.0.0.1", () => { console.log(s.address().port); s.close(); })')
prefix=$(mktemp -d)
serve_args=(--port "$port" --prefix "$prefix")
[[ -n $build ]] && serve_args+=(--build "$build")
trap '"$root/scripts/serve" stop --prefix "$prefix" >/dev/null; rm -rf "$prefix"' EXIT
"$root/scripts/serve" start "${serve_args[@]}" >/dev/null
base="http://127.0.0.1:$port/cgi-bin"

median_ms() { # url [curl args...]: median request time in milliseconds
    local url=$1
    shift
    for ((i = 0; i < runs; i++)); do
        curl -s -o /dev/null -w '%{http_code} %{time_total}\n' "$@" "$url"
    done | awk -v url="$url" '$1 != 302 { print "bench: " url " answered " $1 > "/dev/stderr"; exit 1 } { print $2 }' |
        sort -n | awk '{ t[NR] = $1 } END { printf "%.1f", 1000 * (NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2) }'
}

printf '%-16s %10s   (%d requests each)\n' shape "median ms" "$runs"
shapes=(
    "paralelepipedo tipo=0&larg_s=30&comp_s=20&altu_s=10"
    "cilindro tipo=1&diam_s=10&altu_s=20"
    "cone tipo=2&dmai_s=16&dmen_s=6&altu_s=12"
    "esfera tipo=3&diam_s=10"
    "torus tipo=4&dmai_s=20&dmen_s=6"
    "prisma tipo=5&altu_s=10&rmai_s=6&rmen_s=4&nlados_s=6"
    "piramide tipo=6&altu_s=12&rmai_s=6&rmen_s=6&rtop_s=2&nlados_s=5"
    "cruz tipo=7&dcin1_s=6&ccin1_s=40&dcin2_s=8&ccin2_s=30"
    "cunha tipo=8&larg_s=30&comp_s=20&altu_s=15"
)
for shape in "${shapes[@]}"; do
    printf '%-16s %10s\n' "${shape%% *}" "$(median_ms "$base/Bolmar?${shape#* }")"
done
shaft='numsol=6&comp=10-15-20-10-25-10-&diam_e=20-30-40-36-30-20-&diam_d=20-30-40-30-30-20-'
shaft+='&blend_e=1-2-2-0-0-0-&vblend_e=1-1-1.5-0-0-0-&blend_d=0-0-1-0-2-1-&vblend_d=0-0-1-0-1-1-'
shaft+='&codfuros=3&dfuro=8&profuro=20&seccao=3'
printf '%-16s %10s\n' "eixo (shaft)" "$(median_ms "$base/Arvend" --data "$shaft")"

# Requests per second with CLIENTS clients at once, each sending its share of REQUESTS; every
# answer must be the redirect. One shape (all requests wait for its lock in turn) and all nine
# primitives spread over the clients (locks of different shapes do not wait for each other).
clients=${CLIENTS:-8}
requests=${REQUESTS:-$((runs * 8))}
throughput() { # label, then the URLs to cycle through
    local label=$1
    shift
    local urls=("$@") start end
    start=$(date +%s.%N)
    for ((i = 0; i < requests; i++)); do echo "${urls[i % ${#urls[@]}]}"; done |
        xargs -P "$clients" -n 1 curl -s -o /dev/null -w '%{http_code}\n' |
        awk -v label="$label" '$1 != 302 { print "bench: " label " answered " $1 > "/dev/stderr"; exit 1 }'
    end=$(date +%s.%N)
    awk -v label="$label" -v n="$requests" -v c="$clients" -v s="$start" -v e="$end" \
        'BEGIN { printf "%-24s %8.1f requests/s   (%d requests, %d clients)\n", label, n / (e - s), n, c }' 
}
primitives=()
for shape in "${shapes[@]}"; do primitives+=("$base/Bolmar?${shape#* }"); done
throughput "box, one shape" "$base/Bolmar?${shapes[0]#* }"
throughput "nine primitives" "${primitives[@]}"
