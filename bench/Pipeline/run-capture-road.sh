#!/usr/bin/env bash
# The capture road of the real app (display capture by hot key) against `flameshot full`, on a
# virtual display of its own with openbox and a text-dense application screen (a light window
# filling the screen, a dark one over it), interleaved, pinned to six cores and then to two.
# "default": the configuration users get (editor and floating thumbnail on), on the screen seen
# before and with about half its lines new before each capture: the working copy, the findings
# shown in the editor after it, CPU-seconds per capture, and the first capture of a fresh app
# under a mandatory pattern. "road": ratios, CPU-seconds per capture, the companion, the editor's
# window after the working copy, each with the policy as it comes (every finding suggested) and
# with a policy that makes a pattern mandatory. "memory": the resident memory and its peak through
# forty captures and a minute after them, with the first capture after the detection engines were
# let go. "large": a 3840x2160 capture's editor. Run it on a quiet machine; the load is printed
# with the figures.
# Usage: bench/Pipeline/run-capture-road.sh [BUILD_FOLDER] [WARM_CAPTURES] [PARTS]
#   (default build/bench, 20, "default road memory large"; PARTS names the parts to run)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/bench}
warm=${2:-20}
parts=${3:-default road memory large}

"$root/scripts/deps" >/dev/null
for tool in flameshot xdotool taskset Xvfb openbox; do
    command -v "$tool" >/dev/null || { echo "run-capture-road: $tool is not installed" >&2; exit 1; }
done
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLECAST_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target brindlecast pipeline-bench >&2
app="$build/src/Brindlecast/brindlecast"
bench="$build/bench/Pipeline/pipeline-bench"

screen_file=$(mktemp)
pids=()
stop_display() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    pids=()
}
trap 'stop_display; rm -f "$screen_file" "$screen_file".*' EXIT

# A display of the given size with openbox and the text-dense windows on it.
start_display() {
    local width=$1 height=$2 n
    for n in $(seq 160 199); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 "${width}x${height}x24" -nolisten tcp +extension Composite +extension RANDR \
            +extension MIT-SHM -noreset >/dev/null 2>&1 &
        pids+=($!)
        export DISPLAY=":$n"
        for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
        openbox --sm-disable >/dev/null 2>&1 &
        pids+=($!)
        for _ in $(seq 1 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
        echo 0 >"$screen_file"
        QT_QPA_PLATFORM=xcb "$bench" --window light 0 0 "$width" "$height" --changing "$screen_file" >/dev/null &
        pids+=($!)
        QT_QPA_PLATFORM=xcb "$bench" --window dark $((width * 7 / 24)) $((height * 6 / 25)) $((width * 5 / 8)) $((height * 2 / 3)) \
            --changing "$screen_file" >/dev/null &
        pids+=($!)
        sleep 3
        return 0
    done
    echo "run-capture-road: no free display" >&2
    exit 1
}

road="$root/bench/Pipeline/capture-road.py"
measure() { taskset -c 6,7 python3 "$road" --app "$app" --bench "$bench" "$@"; }
echo "uptime: $(uptime)"
start_display 1920 1080
if [[ " $parts " == *" default "* ]]; then
    for cores in six:0-5 two:0-1; do
        echo "== 1920x1080, ${cores%%:*} cores, default configuration"
        measure --cores "${cores#*:}" --warm "$warm" --default-road --screen-file "$screen_file"
    done
fi
if [[ " $parts " == *" road "* ]]; then
    for policy in default mandatory; do
        echo "== 1920x1080, six cores, policy $policy"
        measure --cores 0-5 --warm "$warm" --editor 5 --policy "$policy"
        echo "== 1920x1080, two cores, policy $policy"
        measure --cores 0-1 --warm "$warm" --editor 5 --policy "$policy"
    done
fi
if [[ " $parts " == *" memory "* ]]; then
    echo "== 1920x1080, six cores, memory, policy default, editor off"
    measure --cores 0-5 --memory-only
    echo "== 1920x1080, six cores, memory, policy default, editor and thumbnail on"
    measure --cores 0-5 --editor 1 --thumbnail --memory-only
    echo "== 1920x1080, six cores, memory, policy mandatory, editor off"
    measure --cores 0-5 --policy mandatory --memory-only
fi
stop_display

if [[ " $parts " == *" large "* ]]; then
    start_display 3840 2160
    for policy in default mandatory; do
        echo "== 3840x2160, six cores, editor on, policy $policy"
        measure --cores 0-5 --editor 5 --editor-only --policy "$policy"
    done
fi
echo "uptime: $(uptime)"
