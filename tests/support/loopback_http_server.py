#!/usr/bin/env python3
"""A scripted HTTP server on 127.0.0.1 for tests of code that posts to a web endpoint.

It listens on a port of its own choosing and prints "PORT <n>" on standard output once ready.
Each request is answered with the next status of the script (--status, repeatable), and with
the default status (--default, 204) once the script is used up; a redirect status sends the
client to "/redirected". Every request is recorded as one
JSON line in the --log file: arrival time (seconds, monotonic clock), method, path, headers in
the order received, body (UTF-8 text) and the status given.

With --drip SECONDS every answer is a 200 whose long body comes one byte every SECONDS, for as
long as the client listens: a server that holds its clients without ever finishing.

The command "default <status>" on standard input changes the default status while it runs
(answered with "OK"). It stops when standard input closes or on SIGTERM.
"""

import argparse
import http.server
import json
import sys
import threading
import time


class State:
    def __init__(self, script, default, log_path, drip):
        self.drip = drip
        self.lock = threading.Lock()
        self.script = list(script)
        self.default = default
        self.log = open(log_path, "a", encoding="utf-8")

    def next_status(self):
        with self.lock:
            return self.script.pop(0) if self.script else self.default

    def record(self, entry):
        with self.lock:
            self.log.write(json.dumps(entry, ensure_ascii=False) + "\n")
            self.log.flush()


def make_handler(state):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def handle_any(self):
            arrived = time.monotonic()
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length > 0 else b""
            status = 200 if state.drip else state.next_status()
            state.record({
                "time": arrived,
                "method": self.command,
                "path": self.path,
                "headers": [[name, value] for name, value in self.headers.items()],
                "body": body.decode("utf-8", errors="replace"),
                "status": status,
            })
            self.send_response_only(status)
            if state.drip:
                self.send_header("Content-Length", "1000000")
                self.end_headers()
                self.wfile.flush()
                try:
                    while True:
                        time.sleep(state.drip)
                        self.wfile.write(b"x")
                        self.wfile.flush()
                except OSError:
                    self.close_connection = True
                return
            if status < 200:
                # An informational status is never final: end the exchange there, as a broken
                # endpoint would.
                self.end_headers()
                self.close_connection = True
                return
            if status in (301, 302, 303, 307, 308):
                self.send_header("Location", "/redirected")
            self.send_header("Content-Length", "0")
            self.end_headers()

        do_POST = handle_any
        do_GET = handle_any
        do_PUT = handle_any

        def log_message(self, *args):
            pass

    return Handler


def read_commands(state, server):
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == "default" and len(words) == 2:
            with state.lock:
                state.default = int(words[1])
        print("OK", flush=True)
    server.shutdown()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--status", type=int, action="append", default=[])
    parser.add_argument("--default", type=int, default=204)
    parser.add_argument("--drip", type=float, default=0)
    args = parser.parse_args()

    state = State(args.status, args.default, args.log, args.drip)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), make_handler(state))
    server.daemon_threads = True
    threading.Thread(target=read_commands, args=(state, server), daemon=True).start()
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever(poll_interval=0.05)


if __name__ == "__main__":
    main()
