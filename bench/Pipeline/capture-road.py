#!/usr/bin/env python3
"""The capture road of the real app against a plain screenshot tool, on the current X display.

The app (started with a home of its own) captures the display by its hot key (Super+Shift+9);
`flameshot full` captures the same screen. The two take turns, pinned to the same cores, and the
figures are printed side by side:

  app: hot key -> working copy written, -> companion written, CPU-seconds and page faults per capture
  flameshot: start -> its PNG written and the process gone, CPU-seconds per capture
  with --editor: working copy -> the editor's window on screen (its title is the file's name)
  with --default-road: the configuration users get (editor and floating thumbnail on), the screen
  as it was and with about half its lines new before each capture (--screen-file, which the
  screen's windows watch): working copy, the findings shown in the editor (the first frame of its
  canvas that shows them, which the app traces), CPU-seconds; then the first capture of a fresh
  app under a mandatory pattern against flameshot
  with --memory: resident memory at start, after one capture, after forty and a minute after the
  last (how much of it anonymous, mapped files and shared memory), then the first capture after
  the detection engines were let go

  capture-road.py --app BIN --bench BIN --cores 0-5 [--warm 20] [--editor N] [--editor-only]
                  [--policy default|mandatory] [--auto-copy] [--thumbnail] [--memory] [--memory-only]
                  [--default-road --screen-file FILE]

--policy mandatory gives the app a policy that makes e-mail addresses mandatory (every capture is
searched before its working copy is written); default leaves the policy as it comes, whose
findings are all suggested. --auto-copy turns on the automatic copy to the clipboard.

--bench is pipeline-bench, which tells when the app holds its hot key. The screen (text-dense
windows) is the caller's (run-capture-road.sh).
"""
import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import tempfile
import time

TICKS = os.sysconf("SC_CLK_TCK")


def png_complete(path):
    """A PNG that has been written to its end (the app writes without a temporary file)."""
    try:
        with open(path, "rb") as f:
            f.seek(-12, os.SEEK_END)
            return f.read(12)[4:8] == b"IEND"
    except OSError:
        return False


def process_times(pid):
    """CPU-seconds (user + system, all threads, ended ones too) and minor page faults."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # fields[0] is the state (field 3); minflt is field 10, utime 14, stime 15.
    return (int(fields[11]) + int(fields[12])) / TICKS, int(fields[7])


def resident_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return -1


def visible_window(name):
    # xdotool takes the name as an extended regular expression: escaped, the "(1)" of a second
    # capture within the same second and the dots match only themselves.
    pattern = re.sub(r"([][.^$*+?(){}|\\])", r"\\\1", name)
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + pattern + "$"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return result.returncode == 0 and result.stdout.strip() != b""


def memory_mb(pid):
    """Resident memory in MB: in all, anonymous, mapped files and shared memory."""
    fields = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "RssAnon", "RssFile", "RssShmem"):
                fields[key] = int(value.split()[0]) / 1024
    return fields


def peak_mb(pid):
    """The most resident memory the process has held so far."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return -1


def memory_line(label, pid):
    m = memory_mb(pid)
    return (f"  {label:<28} resident {m['VmRSS']:5.0f} MB (anonymous {m['RssAnon']:.0f}, files {m['RssFile']:.0f}, "
            f"shared memory {m['RssShmem']:.1f}); peak so far {peak_mb(pid):.0f} MB")


MANDATORY_POLICY = [{"Name": "email", "Action": "blurMandatory"}]


class App:
    def __init__(self, binary, bench, cores, editor, policy="default", auto_copy=False, thumbnail=False):
        self.binary, self.bench, self.cores = binary, bench, cores
        self.home = tempfile.mkdtemp(prefix="capture-road-")
        self.library = os.path.join(self.home, "Pictures", "Brindlecast")
        config = os.path.join(self.home, "config", "app.brindlecast")
        os.makedirs(config)
        preferences = {"settings.showFloatingThumbnail": thumbnail, "settings.openEditorAfterCapture": editor,
                       "settings.copyToClipboardAutomatically": auto_copy}
        if policy == "mandatory":
            preferences["PIIPatterns"] = MANDATORY_POLICY
        with open(os.path.join(config, "preferences.json"), "w") as f:
            json.dump(preferences, f)
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.home + "/config",
                        XDG_DATA_HOME=self.home + "/data", XDG_CACHE_HOME=self.home + "/cache",
                        XDG_RUNTIME_DIR=self.home + "/runtime")
        os.makedirs(self.home + "/runtime", mode=0o700)
        self.env.pop("QT_QPA_PLATFORM", None)
        # The editor's canvas tells (on standard error) when it first shows a capture's findings.
        self.env["BRINDLECAST_TRACE_FINDINGS"] = "1"
        self.trace = os.path.join(self.home, "stderr.log")
        self.process = None

    def start(self):
        with open(self.trace, "ab") as trace:
            self.process = subprocess.Popen(["taskset", "-c", self.cores, self.binary], env=self.env,
                                            stdout=subprocess.DEVNULL, stderr=trace)
        if subprocess.run([self.bench, "--wait-hot-key"]).returncode != 0:
            raise SystemExit("the app did not take its hot keys")

    def stop(self):
        if self.process:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.home, ignore_errors=True)

    def copies(self):
        try:
            return {n for n in os.listdir(self.library) if n.endswith(".png") and not n.endswith(".content.png")}
        except FileNotFoundError:
            return set()

    def findings_shown(self, since):
        """The first time after `since` (the monotonic clock) the editor's canvas traced a capture's
        findings as shown, or None."""
        try:
            with open(self.trace) as f:
                for line in f:
                    if line.startswith("findings shown "):
                        at = float(line.split()[2])
                        if at > since:
                            return at
        except (OSError, ValueError, IndexError):
            pass
        return None

    def capture(self, editor=False, findings=False, timeout=120):
        """One display capture by hot key; seconds to the working copy, the companion, the
        editor's window and the findings shown in it (None when not asked), CPU-seconds and page
        faults."""
        before = self.copies()
        cpu0, faults0 = process_times(self.process.pid)
        start = time.monotonic()
        subprocess.run(["xdotool", "key", "super+shift+9"])
        copy = companion = window = shown = None
        name = None
        while time.monotonic() - start < timeout:
            now = time.monotonic() - start
            if name is None:
                new = self.copies() - before
                if new and png_complete(os.path.join(self.library, min(new))):
                    name, copy = min(new), now
            if name is not None and companion is None:
                if png_complete(os.path.join(self.library, name[:-4] + ".content.png")):
                    companion = now
            if name is not None and editor and window is None and visible_window(name):
                window = now
            if name is not None and findings and shown is None:
                at = self.findings_shown(start)
                if at is not None:
                    shown = at - start
            if (name is not None and companion is not None and (window is not None or not editor)
                    and (shown is not None or not findings)):
                break
            time.sleep(0.002)
        if name is None or companion is None:
            raise SystemExit("the capture did not come")
        # What the capture still does after its files (detection for the editor or the automatic
        # copy, the library) counts too: until the app is idle again.
        settled = self.settle()
        cpu1, faults1 = process_times(self.process.pid)
        return {"copy": copy, "companion": companion, "window": window, "shown": shown,
                "cpu": cpu1 - cpu0 - (settled - start) * idle_cpu_rate, "faults": faults1 - faults0}

    def settle(self, quiet=0.3, timeout=60):
        """Waits until the app has used no more than its idle rate (plus 10 ms) for `quiet`
        seconds, at least 0.6 s; returns the moment it was quiet."""
        time.sleep(0.3)
        deadline = time.monotonic() + timeout
        last, _ = process_times(self.process.pid)
        while time.monotonic() < deadline:
            time.sleep(quiet)
            now, _ = process_times(self.process.pid)
            if now - last <= quiet * idle_cpu_rate + 0.01:
                return time.monotonic()
            last = now
        return time.monotonic()


idle_cpu_rate = 0.0


def flameshot(cores, folder, index):
    path = os.path.join(folder, f"shot-{index}.png")
    start = time.monotonic()
    process = subprocess.Popen(["taskset", "-c", cores, "flameshot", "full", "-p", path],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.monotonic() - start
    if status != 0 or not png_complete(path):
        raise SystemExit("flameshot did not capture")
    os.unlink(path)
    return {"copy": elapsed, "cpu": usage.ru_utime + usage.ru_stime}


def p90(values):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(0.9 * (len(values) - 1))))]


def line(label, values, unit="s"):
    return f"{label:<34} median {statistics.median(values):6.3f} {unit}  p90 {p90(values):6.3f}  min {min(values):6.3f}"


def load():
    return open("/proc/loadavg").read().split()[:3]


def measure_idle_rate(app):
    """The idle app's own CPU rate, taken out of every capture's figure."""
    global idle_cpu_rate
    cpu0, _ = process_times(app.process.pid)
    time.sleep(2)
    idle_cpu_rate = (process_times(app.process.pid)[0] - cpu0) / 2


def settings_text(args, editor):
    return (f"policy {args.policy}, editor {'on' if editor else 'off'}, "
            f"thumbnail {'on' if args.thumbnail else 'off'}, automatic copy {'on' if args.auto_copy else 'off'}")


def road(args):
    app = App(args.app, args.bench, args.cores, editor=False, policy=args.policy, auto_copy=args.auto_copy)
    shots = tempfile.mkdtemp(prefix="capture-road-flameshot-")
    try:
        app.start()
        measure_idle_rate(app)
        print(f"cores {args.cores}; {settings_text(args, False)}; load {' '.join(load())}; "
              f"idle app {idle_cpu_rate * 1000:.1f} ms CPU/s; resident at start {resident_mb(app.process.pid):.0f} MB")
        first_flame = flameshot(args.cores, shots, 0)
        first_app = app.capture()
        ours, theirs = [], []
        for i in range(args.warm):
            # Interleaved, and each side goes first half of the time.
            if i % 2:
                ours.append(app.capture())
                theirs.append(flameshot(args.cores, shots, i + 1))
            else:
                theirs.append(flameshot(args.cores, shots, i + 1))
                ours.append(app.capture())
        print(f"  after {args.warm + 1} captures: resident {resident_mb(app.process.pid):.0f} MB; load {' '.join(load())}")
        ratio = statistics.median(o["copy"] for o in ours) / statistics.median(t["copy"] for t in theirs)
        print(line("app: hot key -> working copy", [o["copy"] for o in ours]))
        print(line("app: hot key -> companion", [o["companion"] for o in ours]))
        print(line("flameshot full", [t["copy"] for t in theirs]))
        print(line("app: CPU-seconds per capture", [o["cpu"] for o in ours]))
        print(line("flameshot: CPU-seconds per capture", [t["cpu"] for t in theirs]))
        print(f"{'app: page faults per capture':<34} median {statistics.median(o['faults'] for o in ours):.0f}")
        companion_ratio = statistics.median(o["companion"] for o in ours) / statistics.median(t["copy"] for t in theirs)
        print(f"RATIO warm {ratio:.2f}x flameshot (companion {companion_ratio:.2f}x); "
              f"first capture {first_app['copy']:.3f} s = {first_app['copy'] / statistics.median(t['copy'] for t in theirs):.2f}x "
              f"(flameshot's first {first_flame['copy']:.3f} s), companion {first_app['companion']:.3f} s, "
              f"first capture CPU {first_app['cpu']:.2f} s")
    finally:
        app.cleanup()
        shutil.rmtree(shots, ignore_errors=True)


def editor_road(args):
    """The editor's window after the working copy: a first capture, then warm ones."""
    app = App(args.app, args.bench, args.cores, editor=True, policy=args.policy, auto_copy=args.auto_copy)
    try:
        app.start()
        measure_idle_rate(app)
        print(f"cores {args.cores}; {settings_text(args, True)}; load {' '.join(load())}")
        results = [app.capture(editor=True) for _ in range(args.editor + 1)]
        first, warm = results[0], results[1:]
        print(f"  first capture: working copy {first['copy']:.3f} s, window {first['window']:.3f} s "
              f"({first['window'] - first['copy']:+.3f} s after the working copy)")
        print(line("editor: hot key -> window on screen", [r["window"] for r in warm]))
        print(line("editor: working copy -> window", [r["window"] - r["copy"] for r in warm]))
        print(line("editor: CPU-seconds per capture", [r["cpu"] for r in warm]))
    finally:
        app.cleanup()


def memory_road(args):
    """Resident memory through forty captures and a minute after, then the first capture after
    the detection engines were let go, against flameshot just before it."""
    editor = bool(args.editor)
    app = App(args.app, args.bench, args.cores, editor=editor, policy=args.policy, auto_copy=args.auto_copy,
              thumbnail=args.thumbnail)
    shots = tempfile.mkdtemp(prefix="capture-road-flameshot-")
    try:
        app.start()
        measure_idle_rate(app)
        pid = app.process.pid
        print(f"cores {args.cores}; {settings_text(args, editor)}; memory; load {' '.join(load())}")
        print(memory_line("at start", pid))
        app.capture(editor=editor)
        print(memory_line("after one capture", pid))
        for _ in range(39):
            app.capture(editor=editor)
        print(memory_line("after forty captures", pid))
        time.sleep(65)
        print(memory_line("a minute after the last", pid))
        print(f"  peak through forty captures and the minute after: {peak_mb(pid):.0f} MB")
        theirs = flameshot(args.cores, shots, 0)
        ours = app.capture(editor=editor)
        print(f"  first capture after the engines were let go: {ours['copy']:.3f} s = "
              f"{ours['copy'] / theirs['copy']:.2f}x flameshot's {theirs['copy']:.3f} s; CPU {ours['cpu']:.2f} s; "
              f"load {' '.join(load())}")
    finally:
        app.cleanup()
        shutil.rmtree(shots, ignore_errors=True)


class Screen:
    """The screen's text, which its windows (pipeline-bench --window ... --changing FILE) watch."""

    def __init__(self, path):
        self.path, self.variant = path, 0

    def change(self, timeout=20):
        """About half the screen's lines new: the next variant, once both windows show it."""
        self.variant += 1
        with open(self.path + ".tmp", "w") as f:
            f.write(str(self.variant))
        os.replace(self.path + ".tmp", self.path)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                if all(open(self.path + side).read().strip() == str(self.variant) for side in (".light", ".dark")):
                    return
            except OSError:
                pass
            time.sleep(0.01)
        raise SystemExit("the screen's windows did not change their text")


def default_road(args):
    """The configuration users get: the editor and the floating thumbnail on."""
    if not args.screen_file:
        raise SystemExit("--default-road needs --screen-file")
    screen = Screen(args.screen_file)
    app = App(args.app, args.bench, args.cores, editor=True, policy=args.policy, auto_copy=args.auto_copy,
              thumbnail=True)
    shots = tempfile.mkdtemp(prefix="capture-road-flameshot-")
    try:
        app.start()
        measure_idle_rate(app)
        print(f"cores {args.cores}; {settings_text(args, True)}; load {' '.join(load())}")
        app.capture(editor=True, findings=True)
        screen.change()
        app.capture(editor=True, findings=True)
        for label, changes in (("screen seen before", False), ("half the lines new", True)):
            ours, theirs = [], []
            for i in range(args.warm):
                if changes:
                    screen.change()
                if i % 2:
                    ours.append(app.capture(editor=True, findings=True))
                    theirs.append(flameshot(args.cores, shots, i))
                else:
                    theirs.append(flameshot(args.cores, shots, i))
                    ours.append(app.capture(editor=True, findings=True))
            print(f"  {label}: load {' '.join(load())}")
            print(line("    working copy", [o["copy"] for o in ours]))
            print(line("    working copy -> findings shown", [o["shown"] - o["copy"] for o in ours]))
            print(line("    CPU-seconds per capture", [o["cpu"] for o in ours]))
            print(line("    flameshot full", [t["copy"] for t in theirs]))
            print(f"RATIO {label}: working copy {statistics.median(o['copy'] for o in ours) / statistics.median(t['copy'] for t in theirs):.2f}x flameshot; "
                  f"findings shown {statistics.median(o['shown'] - o['copy'] for o in ours):.3f} s after it; "
                  f"CPU {statistics.median(o['cpu'] for o in ours):.2f} s")
        print(f"  resident {resident_mb(app.process.pid):.0f} MB, peak {peak_mb(app.process.pid):.0f} MB")
    finally:
        app.cleanup()
        shutil.rmtree(shots, ignore_errors=True)


def first_mandatory(args, starts=3):
    """The first capture of a freshly started app under a mandatory pattern (the engines load with
    it), editor and thumbnail on, against flameshot just before it."""
    ratios = []
    shots = tempfile.mkdtemp(prefix="capture-road-flameshot-")
    try:
        for i in range(starts):
            app = App(args.app, args.bench, args.cores, editor=True, policy="mandatory", thumbnail=True)
            try:
                app.start()
                measure_idle_rate(app)
                theirs = flameshot(args.cores, shots, i)
                ours = app.capture(editor=True, findings=True)
                ratios.append(ours["copy"] / theirs["copy"])
                print(f"  fresh app {i + 1}: first capture {ours['copy']:.3f} s = {ratios[-1]:.2f}x flameshot's "
                      f"{theirs['copy']:.3f} s; findings shown {ours['shown'] - ours['copy']:+.3f} s after it; "
                      f"CPU {ours['cpu']:.2f} s; peak {peak_mb(app.process.pid):.0f} MB")
            finally:
                app.cleanup()
    finally:
        shutil.rmtree(shots, ignore_errors=True)
    print(f"RATIO first capture under a mandatory pattern: median {statistics.median(ratios):.2f}x flameshot "
          f"(cores {args.cores}; load {' '.join(load())})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--bench", required=True)
    parser.add_argument("--cores", default="0-5")
    parser.add_argument("--warm", type=int, default=20)
    parser.add_argument("--editor", type=int, default=0, help="warm captures with the editor on")
    parser.add_argument("--editor-only", action="store_true")
    parser.add_argument("--policy", choices=["default", "mandatory"], default="default")
    parser.add_argument("--auto-copy", action="store_true")
    parser.add_argument("--thumbnail", action="store_true", help="the floating thumbnail on")
    parser.add_argument("--default-road", action="store_true",
                        help="editor and thumbnail on, the screen seen before and with new text; first mandatory capture")
    parser.add_argument("--screen-file", help="the file the screen's windows watch for new text")
    parser.add_argument("--memory", action="store_true", help="resident memory through forty captures and a minute")
    parser.add_argument("--memory-only", action="store_true")
    args = parser.parse_args()
    if args.default_road:
        args.thumbnail = True
        default_road(args)
        first_mandatory(args)
        return
    if args.memory_only:
        memory_road(args)
        return
    if not args.editor_only:
        road(args)
    if args.editor:
        editor_road(args)
    if args.memory:
        memory_road(args)


if __name__ == "__main__":
    main()
