# A test service (see scripts/test): a systemd journal for the audit log's journal test.
# When no journal answers (a container without systemd), journal_service_start runs its own
# systemd-journald for the test run (root only); journal_service_stop ends it and removes the
# sockets it left. Without a journal the journal test skips.

journal_answers() {
    command -v systemd-cat >/dev/null 2>&1 && systemd-cat -t brindlecast-probe true 2>/dev/null
}

journal_service_start() {
    journal_answers && return 0
    local journald
    for journald in /lib/systemd/systemd-journald /usr/lib/systemd/systemd-journald; do
        [[ -x "$journald" ]] && break
    done
    if [[ ! -x "$journald" || $(id -u) -ne 0 ]]; then
        echo "scripts/test: no journal and none can be started here; the journal test will be skipped" >&2
        return 1
    fi
    setsid "$journald" >/tmp/brindlecast-journald.log 2>&1 &
    BRINDLECAST_JOURNALD_PID=$!
    local tries
    for tries in $(seq 1 50); do
        journal_answers && return 0
        kill -0 "$BRINDLECAST_JOURNALD_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "scripts/test: systemd-journald did not start; the journal test will be skipped" >&2
    journal_service_stop
    return 1
}

journal_service_stop() {
    if [[ -n "${BRINDLECAST_JOURNALD_PID:-}" ]]; then
        kill "$BRINDLECAST_JOURNALD_PID" 2>/dev/null || true
        wait "$BRINDLECAST_JOURNALD_PID" 2>/dev/null || true
        unset BRINDLECAST_JOURNALD_PID
        # Sockets nobody listens on would make clients believe a journal is there.
        rm -f /run/systemd/journal/socket /run/systemd/journal/stdout /run/systemd/journal/dev-log \
              /run/systemd/journal/io.systemd.journal
    fi
}

test_service_starts+=(journal_service_start)
test_service_stops+=(journal_service_stop)
