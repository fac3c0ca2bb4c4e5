#!/usr/bin/env bash
# A profile of one warm display capture of the real app in the configuration users get (editor
# and floating thumbnail on), from the hot key until the editor shows the findings and the
# thumbnail has slid in, split into capture, text regions, recognition, face search, the
# companion, encoding, the editor's painting, the thumbnail and the rest of the rendering, on six
# cores and on two, on a virtual display with the capture road's text-dense screen.
# Usage: bench/Pipeline/profile-capture.sh [BUILD_FOLDER]   (default build/bench)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/bench}
here="$root/bench/Pipeline"
command -v perf >/dev/null || { echo "profile-capture: perf (linux-perf) is not installed" >&2; exit 1; }
cmake --build "$build" --target brindlecast pipeline-bench >&2
app="$build/src/Brindlecast/brindlecast"
bench="$build/bench/Pipeline/pipeline-bench"

work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 160 199); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp +extension Composite +extension RANDR +extension MIT-SHM \
        -noreset >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=":$n"
    break
done
for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1
QT_QPA_PLATFORM=xcb "$bench" --window light 0 0 1920 1080 >/dev/null &
pids+=($!)
QT_QPA_PLATFORM=xcb "$bench" --window dark 560 260 1200 720 >/dev/null &
pids+=($!)
sleep 3

home="$work/home"
mkdir -p "$home/config/app.brindlecast" "$home/runtime"
chmod 700 "$home/runtime"
echo '{"settings.showFloatingThumbnail": true, "settings.openEditorAfterCapture": true}' \
    >"$home/config/app.brindlecast/preferences.json"
library="$home/Pictures/Brindlecast"

# Waits until the editor has shown the findings of `count` captures (its canvas traces them), and
# the thumbnail has slid in.
wait_for_findings() {
    local count=$1
    for _ in $(seq 1 3000); do
        if (($(grep -c '^findings shown' "$work/stderr.log" 2>/dev/null || true) >= count)); then
            sleep 1
            return 0
        fi
        sleep 0.02
    done
    echo "profile-capture: the capture did not come" >&2
    exit 1
}

for cores in 0-5 0-1; do
    rm -rf "$library"
    : >"$work/stderr.log"
    env -u QT_QPA_PLATFORM BRINDLECAST_TRACE_FINDINGS=1 HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
        XDG_RUNTIME_DIR="$home/runtime" taskset -c "$cores" "$app" >/dev/null 2>>"$work/stderr.log" &
    app_pid=$!
    "$bench" --wait-hot-key
    xdotool key super+shift+9
    wait_for_findings 1
    perf record -q -F 999 --call-graph dwarf,16384 -o "$work/perf.data" -p "$app_pid" 2>/dev/null &
    perf_pid=$!
    sleep 0.5
    xdotool key super+shift+9
    wait_for_findings 2
    kill -INT "$perf_pid"
    wait "$perf_pid" || true
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    echo "== one warm capture, cores $cores; load $(cut -d' ' -f1-3 /proc/loadavg)"
    perf script -i "$work/perf.data" 2>/dev/null | python3 "$here/profile-split.py"
done
