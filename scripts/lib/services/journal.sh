# A test service (see scripts/test): a systemd journal for the audit log's journal test.
# When no journal answers (a container without systemd), journal_service_start runs its own
# systemd-journald for the test run (root only); journal_service_stop ends it and removes the
# sockets it left. Without a journal the journal test skips.
#
# Test runs of several clones on one machine share that journal: each run holds a shared lock
# while it may use it, and a journal started here is ended only by the last run to leave, so no
# run loses it in the middle of its journal test.

journal_lock_file=/tmp/brindlecast-journald.lock
journal_pid_file=/tmp/brindlecast-journald.pid

journal_answers() {
    command -v systemd-cat >/dev/null 2>&1 && systemd-cat -t brindlecast-probe true 2>/dev/null
}

journal_service_start() {
    exec {BRINDLECAST_JOURNAL_LOCK}>>"$journal_lock_file"
    flock -s "$BRINDLECAST_JOURNAL_LOCK"
    # One run at a time looks and starts, so two runs never start two journals.
    local starting status=0
    exec {starting}>>"$journal_lock_file.start"
    flock -x "$starting"
    journal_start_unless_answering || status=$?
    exec {starting}>&-
    return $status
}

journal_start_unless_answering() {
    journal_answers && return 0
    local journald
    for journald in /lib/systemd/systemd-journald /usr/lib/systemd/systemd-journald; do
        [[ -x "$journald" ]] && break
    done
    if [[ ! -x "$journald" || $(id -u) -ne 0 ]]; then
        echo "scripts/test: no journal and none can be started here; the journal test will be skipped" >&2
        return 1
    fi
    # Whichever run leaves last ends it; it holds none of the locks.
    setsid "$journald" >/tmp/brindlecast-journald.log 2>&1 {BRINDLECAST_JOURNAL_LOCK}>&- {starting}>&- &
    echo $! >"$journal_pid_file"
    local tries
    for tries in $(seq 1 100); do
        journal_answers && return 0
        kill -0 "$(cat "$journal_pid_file")" 2>/dev/null || break
        sleep 0.1
    done
    echo "scripts/test: systemd-journald did not start; the journal test will be skipped" >&2
    return 1
}

journal_service_stop() {
    [[ -n "${BRINDLECAST_JOURNAL_LOCK:-}" ]] || return 0
    # Another run still holding its shared lock keeps the journal going.
    if flock -n -x "$BRINDLECAST_JOURNAL_LOCK" && [[ -s "$journal_pid_file" ]]; then
        local pid
        pid=$(cat "$journal_pid_file")
        if [[ "$(cat "/proc/$pid/comm" 2>/dev/null)" == systemd-journal* ]]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true # when this run started it
            local tries
            for tries in $(seq 1 50); do
                [[ "$(cat "/proc/$pid/comm" 2>/dev/null)" == systemd-journal* ]] || break
                sleep 0.1
            done
        fi
        rm -f "$journal_pid_file"
        journal_remove_sockets
    fi
    exec {BRINDLECAST_JOURNAL_LOCK}>&-
    unset BRINDLECAST_JOURNAL_LOCK
}

# Sockets nobody listens on would make clients believe a journal is there.
journal_remove_sockets() {
    rm -f /run/systemd/journal/socket /run/systemd/journal/stdout /run/systemd/journal/dev-log \
          /run/systemd/journal/io.systemd.journal
}

test_service_starts+=(journal_service_start)
test_service_stops+=(journal_service_stop)
