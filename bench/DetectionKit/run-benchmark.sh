#!/usr/bin/env bash
# Measures personal-data detection against the tesseract command-line program as the reference,
# on the same image files: the preview screenshot and text-dense 1920x1080 and 2560x1440 screens
# (light and dark). Prints, per screen, detect()'s wall time (median of the benchmark's
# repetitions, engines warm), the command's wall time (median of three runs), their ratio, and
# how many planted items each finds; then cold and warm detection in one fresh process beside the
# command on the 1920x1080 screens, with the process's peak memory; then the face detectors on the
# face set (face-bench), personal data in hard surroundings (text-bench), and the screens where
# text was once lost (the tests' regression screens: planted items found, per screen).
# Usage: bench/DetectionKit/run-benchmark.sh [BUILD_FOLDER]   (default: build/bench, Release)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/bench}
here="$root/bench/DetectionKit"

"$root/scripts/deps"
command -v tesseract >/dev/null || { echo "run-benchmark: the tesseract program is not installed" >&2; exit 1; }
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLECAST_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target detection-bench detect-image render-bench-screens face-bench text-bench >&2
tools="$build/bench/DetectionKit"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export QT_QPA_PLATFORM=offscreen
"$tools/render-bench-screens" "$out" >/dev/null 2>&1

"$tools/detection-bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$out/bench.json" >/dev/null 2>&1

median_of_three() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

printf '%-24s %10s %8s %8s %10s %7s %8s %8s %10s\n' screen "detect ms" "text ms" "faces ms" "cli ms" ratio planted ours reference
for png in "$out"/*.png; do
    name=$(basename "$png" .png)
    runs=()
    for _ in 1 2 3; do
        start=$(date +%s%N)
        tesseract "$png" "$out/$name.reference" >/dev/null 2>&1
        runs+=($(( ($(date +%s%N) - start) / 1000000 )))
    done
    cli_ms=$(median_of_three "${runs[@]}")
    # detect() and, alone, its two halves (reading the text, searching for faces).
    read_ms() { python3 -c "
import json, sys
for b in json.load(open('$out/bench.json'))['benchmarks']:
    if b['name'].startswith('$1/$name/') and b.get('aggregate_name') == 'median':
        print(round(b['real_time']))"; }
    detect_ms=$(read_ms detect)
    text_ms=$(read_ms text)
    faces_ms=$(read_ms faces)
    "$tools/detect-image" "$png" > "$out/$name.ours.jsonl" 2>/dev/null
    judged=$(python3 "$here/judge.py" "$out/$name.planted.tsv" "$out/$name.ours.jsonl" "$out/$name.reference.txt")
    python3 - "$name" "$detect_ms" "$cli_ms" "$judged" "$text_ms" "$faces_ms" <<'PY'
import json, sys
name, detect_ms, cli_ms, judged = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), json.loads(sys.argv[4])
text_ms, faces_ms = float(sys.argv[5]), float(sys.argv[6])
print(f"{name:24} {detect_ms:10.0f} {text_ms:8.0f} {faces_ms:8.0f} {cli_ms:10.0f} {detect_ms / cli_ms:7.2f} {judged['planted']:8} "
      f"{judged['ours']:8} {judged['reference']:10}")
for key, label in (("missedByOurs", "missed by ours, found by the reference"), ("missedByBoth", "missed by both")):
    for item in judged.get(key, []):
        print(f"    {label}: {item}")
PY
done

# Cold and warm in one process: the first image starts the engines.
light="$out/dense-1920x1080-light.png"
dark="$out/dense-1920x1080-dark.png"
for png in "$light" "$dark"; do
    runs=()
    for _ in 1 2 3; do
        start=$(date +%s%N)
        tesseract "$png" "$out/cli" >/dev/null 2>&1
        runs+=($(( ($(date +%s%N) - start) / 1000000 )))
    done
    cli_ms=$(median_of_three "${runs[@]}")
    # Warm: every line read again; again: as the app runs, the lines read before remembered.
    "$tools/detect-image" --every-line "$png" "$png" "$png" "$png" > "$out/coldwarm.jsonl" 2>/dev/null
    "$tools/detect-image" "$png" "$png" "$png" "$png" > "$out/again.jsonl" 2>/dev/null
    python3 - "$(basename "$png" .png)" "$cli_ms" "$out/coldwarm.jsonl" "$out/again.jsonl" <<'PY'
import json, statistics, sys
name, cli_ms, path, again_path = sys.argv[1], float(sys.argv[2]), sys.argv[3], sys.argv[4]
def times_of(p):
    records = [json.loads(line) for line in open(p)]
    return [r["wallSeconds"] * 1000 for r in records if "wallSeconds" in r], records
times, records = times_of(path)
again = statistics.median(times_of(again_path)[0][1:])
peak = next(r["peakResidentMiB"] for r in records if "peakResidentMiB" in r)
warm = statistics.median(times[1:])
print(f"{name:24} cold {times[0]:5.0f} ms ({times[0] / cli_ms:.2f}x)  warm {warm:5.0f} ms ({warm / cli_ms:.2f}x)  "
      f"again {again:4.0f} ms  tesseract {cli_ms:5.0f} ms  peak memory {peak:.0f} MiB")
PY
done

echo
"$tools/face-bench" 2>/dev/null
echo
"$tools/text-bench" "$out/surroundings" 2>/dev/null
echo
python3 "$root/tests/DetectionKit/cases/regression/check.py" "$tools/detect-image" | grep -v '^    '
