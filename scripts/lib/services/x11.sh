# A test service (see scripts/test): one virtual X display for the whole test run, with openbox
# as its window manager (window frames, client lists and stacking as on a desktop).
# x11_session_start exports DISPLAY (and BRINDLECAST_TEST_XVFB=1); x11_session_stop ends both.

x11_session_start() {
    local n
    for n in $(seq 90 130); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp +extension Composite +extension RANDR \
            +extension MIT-SHM -noreset >/tmp/brindlecast-xvfb-$n.log 2>&1 &
        BRINDLECAST_XVFB_PID=$!
        local tries
        for tries in $(seq 1 100); do
            if [[ -e /tmp/.X11-unix/X$n ]] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
                export DISPLAY=":$n" BRINDLECAST_TEST_XVFB=1
                unset WAYLAND_DISPLAY
                x11_window_manager_start
                return 0
            fi
            kill -0 "$BRINDLECAST_XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill "$BRINDLECAST_XVFB_PID" 2>/dev/null || true
    done
    echo "scripts/test: could not start Xvfb; X11 tests will be skipped" >&2
    unset DISPLAY
    return 1
}

# Starts openbox and waits until it announces itself; without it the tests that need a window
# manager skip.
x11_window_manager_start() {
    command -v openbox >/dev/null 2>&1 || return 0
    openbox --sm-disable >/tmp/brindlecast-openbox-${DISPLAY#:}.log 2>&1 &
    BRINDLECAST_OPENBOX_PID=$!
    local tries
    for tries in $(seq 1 50); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        kill -0 "$BRINDLECAST_OPENBOX_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "scripts/test: openbox did not start; window-manager tests will be skipped" >&2
}

x11_session_stop() {
    if [[ -n "${BRINDLECAST_OPENBOX_PID:-}" ]]; then
        kill "$BRINDLECAST_OPENBOX_PID" 2>/dev/null || true
        wait "$BRINDLECAST_OPENBOX_PID" 2>/dev/null || true
        unset BRINDLECAST_OPENBOX_PID
    fi
    if [[ -n "${BRINDLECAST_XVFB_PID:-}" ]]; then
        kill "$BRINDLECAST_XVFB_PID" 2>/dev/null || true
        wait "$BRINDLECAST_XVFB_PID" 2>/dev/null || true
        unset BRINDLECAST_XVFB_PID
    fi
}

test_service_starts+=(x11_session_start)
test_service_stops+=(x11_session_stop)
