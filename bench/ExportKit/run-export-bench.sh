#!/usr/bin/env bash
# Times our whole export of a 2560x1440 capture (crop, 20 redactions, 50 annotations, backdrop,
# watermark, PNG encode) against ImageMagick's convert encoding the same final pixels to PNG.
# Usage: bench/ExportKit/run-export-bench.sh [build folder]   (default: build/export-bench, Release)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/export-bench}
runs=${RUNS:-10}

if [[ ! -x "$build/bench/ExportKit/ExportKitBench" || -z "${1:-}" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLECAST_TESTS=OFF >/dev/null
    cmake --build "$build" --target ExportKitBench >&2
fi
bench="$build/bench/ExportKit/ExportKitBench"
# The real ImageMagick, not a wrapper that may stand earlier on PATH.
convert=/usr/bin/convert
[[ -x "$convert" ]] || convert=$(command -v convert)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bench" --benchmark_format=json --benchmark_out="$work/ours.json" --benchmark_out_format=json >/dev/null
read -r size our_bytes < <("$bench" --write-final-pixels "$work/final.rgba")

# Median wall time of convert reading the raw pixels and writing a PNG with its default settings.
times=()
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$convert" -size "$size" -depth 8 "rgba:$work/final.rgba" "$work/reference.png"
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
done
reference_us=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')

python3 - "$work/ours.json" "$reference_us" "$size" "$(stat -c %s "$work/reference.png")" "$our_bytes" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
ms = {b["name"].split("/")[0]: b["real_time"] for b in data["benchmarks"]}
reference = int(sys.argv[2]) / 1000.0
whole = ms["BM_WholeExport"]
print(f"final image {sys.argv[3]}: our PNG {int(sys.argv[5])} bytes, convert's PNG {int(sys.argv[4])} bytes")
print(f"our whole export      {whole:8.1f} ms")
print(f"  rendering only      {ms['BM_RenderOnly']:8.1f} ms")
print(f"  PNG encode only     {ms['BM_EncodeOnly']:8.1f} ms")
print(f"convert PNG encode    {reference:8.1f} ms (median)")
ratio = whole / reference
print(f"ratio                 {ratio:8.2f} (target at most 1.5)")
sys.exit(0 if ratio <= 1.5 else 1)
PY
