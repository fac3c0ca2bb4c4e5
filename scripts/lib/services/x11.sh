# A test service (see scripts/test): one virtual X display for the whole test run.
# x11_session_start exports DISPLAY (and BRINDLECAST_TEST_XVFB=1); x11_session_stop ends it.

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

x11_session_stop() {
    if [[ -n "${BRINDLECAST_XVFB_PID:-}" ]]; then
        kill "$BRINDLECAST_XVFB_PID" 2>/dev/null || true
        wait "$BRINDLECAST_XVFB_PID" 2>/dev/null || true
        unset BRINDLECAST_XVFB_PID
    fi
}

test_service_starts+=(x11_session_start)
test_service_stops+=(x11_session_stop)
