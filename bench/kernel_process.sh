#!/usr/bin/env bash
# Times whole export processes (start-up, build, SAT save, VRML conversion) per body.
# Usage: bench/kernel_process.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [RUNS]}
runs=${2:-20}
exe="$build/bench/kernel_export_once"
[[ -x $exe ]] || { echo "build kernel_export_once first: ninja -C $build kernel_export_once" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for body in box torus shaft; do
    triangles=$("$exe" "$body" "$dir")
    start=$(date +%s%N)
    for ((i = 0; i < runs; i++)); do "$exe" "$body" "$dir" > /dev/null; done
    end=$(date +%s%N)
    printf '%-6s %8.1f ms per process  (%s)\n' "$body" "$(((end - start) / runs / 1000))e-3" "$triangles"
done
