"""Terminal screens: a generated log shown by `cat` in a real xterm on a private Xvfb, captured
with ImageMagick's `import`. The planted texts' boxes come from the character grid (cell size
and origin measured from the xterm window), tightened to the ink."""
import os
import subprocess
import time

from common import Image, ink_box

# xterm colours per theme: background, foreground.
THEMES = {"light": ("white", "black"), "dark": ("#1e1e1e", "#d0d0d0"), "green": ("black", "#00ff00")}

SCREENS = [
    dict(name="term_dejavu_9_light", font="DejaVu Sans Mono", pt=9, theme="light", cols=150, screen=(1280, 800)),
    dict(name="term_liberation_9_dark", font="Liberation Mono", pt=9, theme="dark", cols=132, screen=(1280, 800)),
    dict(name="term_noto_9_green", font="Noto Sans Mono", pt=9, theme="green", cols=140, screen=(1440, 900)),
    dict(name="term_dejavu_9_green", font="DejaVu Sans Mono", pt=9, theme="green", cols=171, screen=(1280, 800)),
    dict(name="term_liberation_10_light", font="Liberation Mono", pt=10, theme="light", cols=150, screen=(1440, 900)),
    dict(name="term_noto_10_dark", font="Noto Sans Mono", pt=10, theme="dark", cols=118, screen=(1280, 1024)),
    dict(name="term_dejavu_10_dark", font="DejaVu Sans Mono", pt=10, theme="dark", cols=200, screen=(1920, 1080)),
]


class Mark:
    def __init__(self, kind, detector, text, shape=None, note=None):
        self.kind, self.detector, self.text, self.shape, self.note = kind, detector, text, shape, note


def stamp(d, n):
    return f"Dec  8 09:{14 + n // 60:02d}:{n % 60:02d}"


def fill(words, length):
    """Whole words of `words` making exactly `length` characters, the last gap closed with short
    words (two and three characters with their space) or a full stop."""
    text = ""
    for word in words.split():
        if len(text) + len(word) + 1 > length:
            break
        text = f"{text} {word}" if text else word
    shorts = {2: " a", 3: " to", 4: " the"}
    while length - len(text) > 4 or length - len(text) in shorts:
        rest = length - len(text)
        text += shorts[rest] if rest in shorts else " to"
    return text + "." * (length - len(text))


def log_lines(d, cols, count):
    """The log: lists of pieces (plain strings and Marks), some lines placed so an address is cut
    by the terminal's right edge."""
    item = lambda det, text, shape: Mark("item", det, text, shape)  # noqa: E731
    decoy = lambda det, text, note: Mark("decoy", det, text, note=note)  # noqa: E731
    hosts = ["mx1", "mx2", "gw", "app3", "web1"]
    kinds = ["cc", "wrap", "query", "to", "app", "for", "wrap2", "ssh", "asset", "cc", "query", "to"]
    lines = []
    for n in range(count):
        kind = kinds[n % len(kinds)]
        host = d.pick(hosts)
        pid = d.rng.randrange(300, 9999)
        if kind == "cc":
            lines.append([f"{stamp(d, n)} {host} notify[{pid}]: message {d.rng.randrange(10000, 99999)} cc: ",
                          item("email", d.email(), "cc address, first"), ", ",
                          item("email", d.one_letter_email() if n % 2 else d.email(), "cc address between two others"),
                          ", ", item("email", d.email(), "cc address, last")])
        elif kind == "query":
            lines.append([item("ipv4", d.ipv4(), "ipv4 in access log"),
                          f' - - [08/Dec/2026:09:{14 + n // 60:02d}:{n % 60:02d} +0000] "GET /api/v2/users/lookup?email=',
                          item("email", d.email(), "address in query string"),
                          f'&ref={d.rng.randrange(1, 9)} HTTP/1.1" 200 {d.rng.randrange(200, 4000)}'])
        elif kind == "asset":
            lines.append([item("ipv4", d.ipv4(), "ipv4 in access log"),
                          f' - - [08/Dec/2026:09:{14 + n // 60:02d}:{n % 60:02d} +0000] "GET /static/',
                          decoy("email", d.asset(), "asset name"), f' HTTP/1.1" 200 {d.rng.randrange(200, 40000)}'])
        elif kind == "to":
            lines.append([f"{stamp(d, n)} {host} postfix/smtp[{pid}]: {d.rng.randrange(0x10000, 0xfffff):X}: to=<",
                          item("email", d.email(), "address after to=<"), ">, relay=mx.example.org[",
                          item("ipv4", d.ipv4(), "ipv4 in brackets"), "]:25, status=sent"])
        elif kind == "app":
            lines.append([decoy("phone", "2026-12-08", "date"), f" 09:{14 + n // 60:02d}:{n % 60:02d} INFO order=",
                          str(d.rng.randrange(40000, 49999)), " user=", item("email", d.email(), "address after user="),
                          " phone=", item("phone", d.phone(d.pick(["bracket", "dash"])), "phone after phone="),
                          " ssn=", item("ssn", d.ssn(), "ssn after ssn=")])
        elif kind == "ssh":
            lines.append([f"{stamp(d, n)} {host} sshd[{pid}]: Failed password for ",
                          item("email", d.email(), "address after for"), " from ",
                          item("ipv4", d.ipv4(), "ipv4 after from"), f" port {d.rng.randrange(30000, 60000)} ssh2"])
        elif kind == "for":
            lines.append([f"{stamp(d, n)} {host} billing[{pid}]: reminder sent to ",
                          item("email", d.one_letter_email(), "one-letter part address in log"),
                          " tel ", item("phone", d.phone("bracket"), "bracketed phone in log")])
        else:
            # An address placed so the right edge cuts it `cut` characters in.
            first, last = d.name()
            address = f"{first}.{last}{d.rng.randrange(2, 9)}@{d.pick(['northwind-mail.com', 'contoso.net', 'fabrikam.com'])}"
            cut = d.rng.randrange(4, len(address) - 4)
            if kind == "wrap":
                head = f"{stamp(d, n)} {host} postfix/cleanup[{pid}]: {d.rng.randrange(0x10000, 0xfffff):X}: header Subject: "
                tail_in = "; from=<"
                after = ">, proto=ESMTP"
            else:
                head = f"{stamp(d, n)} {host} crm[{pid}]: contact updated by {d.pick(['ana', 'kai', 'leo'])}, note: "
                tail_in = " reply to <"
                after = "> before Friday"
            filler = ("Your November statement is ready and the revised payment schedule is attached for the "
                      "billing team to review before the end of the quarter, with the signed pages and the new "
                      "rates for the coming year as agreed in the last meeting of the committee")
            need = cols - cut - len(head) - len(tail_in)
            if need < 4 or need > len(filler):
                raise SystemExit(f"make-pages: {cols} columns leave no room to cut an address at the edge")
            text = fill(filler, need)
            lines.append([head + text + tail_in, Mark("item", "email", address, "wrapped address"), after])
    return lines


def place(lines, cols):
    """Where each mark lands in the grid: (mark, [(row, col, text, part, parts)]). A line longer
    than the terminal continues on the next row, as xterm wraps it."""
    placed = []
    row = 0
    for pieces in lines:
        offset = 0
        for piece in pieces:
            text = piece if isinstance(piece, str) else piece.text
            if isinstance(piece, Mark):
                spans = []
                start = offset
                while start < offset + len(text):
                    r, c = divmod(start, cols)
                    n = min(cols - c, offset + len(text) - start)
                    spans.append((row + r, c, text[start - offset:start - offset + n]))
                    start += n
                placed.append((piece, spans))
            offset += len(text)
        row += max(1, -(-offset // cols))
    return placed, row


def start_server(width, height):
    """A private Xvfb on the first free display from :140; another program may take a number
    between the look and the start, so the server is kept only when the display's lock is its own."""
    for n in range(140, 161):
        if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
            continue
        server = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", f"{width}x{height}x24", "-dpi", "96",
                                   "-nolisten", "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env = dict(os.environ, DISPLAY=f":{n}")
        end = time.time() + 60
        while server.poll() is None and time.time() < end:
            if subprocess.run(["xwininfo", "-root"], env=env, capture_output=True).returncode == 0:
                break
            time.sleep(0.1)
        try:
            with open(f"/tmp/.X{n}-lock") as f:
                own = int(f.read().strip() or 0) == server.pid
        except (OSError, ValueError):
            own = False
        if server.poll() is None and own:
            return server, env
        stop(server)
    raise SystemExit("make-pages: no free X display between :140 and :160")


def stop(process):
    process.terminate()
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def wait_for(what, check, seconds=60):
    end = time.time() + seconds
    while time.time() < end:
        if check():
            return
        time.sleep(0.1)
    raise RuntimeError(f"timed out waiting for {what}")


def window_of(env, title):
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True, text=True).stdout
    for line in tree.splitlines():
        if f'"{title}"' in line:
            return line.split()[0]
    return None


def window_info(env, wid):
    info = subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True, text=True, check=True).stdout
    values = {}
    for line in info.splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return values


def geometry(values):
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]), int(values["Width"]),
            int(values["Height"]))


def render(screen, d, out_dir, tmp):
    cols = screen["cols"]
    width, height = screen["screen"]
    lines = log_lines(d, cols, screen.get("lines", 10))
    placed, rows_used = place(lines, cols)
    rows = rows_used + 2  # the cursor's row after the last line, and one to spare, so nothing scrolls
    log = os.path.join(tmp, f"{screen['name']}.log")
    with open(log, "w", encoding="ascii") as f:
        for pieces in lines:
            f.write("".join(p if isinstance(p, str) else p.text for p in pieces) + "\n")

    server, env = start_server(width, height)
    procs = [server]
    try:
        subprocess.run(["xsetroot", "-solid", "#3b4252"], env=env, check=False)
        background, foreground = THEMES[screen["theme"]]
        border = 2
        title = f"make-pages-{screen['name']}"
        procs.append(subprocess.Popen(
            ["xterm", "-title", title, "-fa", screen["font"], "-fs", str(screen["pt"]),
             "-geometry", f"{cols}x{rows}+0+0", "-b", str(border), "+sb", "-bg", background, "-fg", foreground,
             "-xrm", "XTerm*cursorBlink: false", "-e", "sh", "-c", f"cat '{log}'; exec sleep 600"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE))

        def shown():
            if procs[-1].poll() is not None:
                raise RuntimeError(f"xterm stopped: {procs[-1].stderr.read().decode(errors='replace')[-2000:]}")
            # The window is named before it is sized and shown.
            wid = window_of(env, title)
            return wid is not None and window_info(env, wid).get("Map State") == "IsViewable"
        wait_for("the xterm window", shown)
        left, top, w, h = geometry(window_info(env, window_of(env, title)))
        if (w - 2 * border) % cols or (h - 2 * border) % rows:
            raise RuntimeError(f"{screen['name']}: a {w}x{h} window is no whole grid of {cols}x{rows} cells")
        cell_w, cell_h = (w - 2 * border) // cols, (h - 2 * border) // rows
        if left + w > width or top + h > height:
            raise SystemExit(f"make-pages: {screen['name']}: the terminal ({w}x{h}) does not fit {width}x{height}")
        shot = os.path.join(out_dir, f"{screen['name']}.png")
        raw = os.path.join(tmp, f"{screen['name']}-raw.png")

        # The log is drawn once cat has run: capture until two captures agree.
        def capture():
            subprocess.run(["import", "-window", "root", raw], env=env, check=True)
            with open(raw, "rb") as f:
                return f.read()
        previous = capture()
        for _ in range(50):
            time.sleep(0.3)
            current = capture()
            if current == previous:
                break
            previous = current
        # Without the time chunks the same screen gives the same file.
        subprocess.run(["convert", raw, "-type", "TrueColor", "-define", "png:exclude-chunks=date,time", f"PNG24:{shot}"],
                       check=True)
    finally:
        for p in reversed(procs):
            stop(p)

    image = Image(shot)
    origin_x, origin_y = left + border, top + border
    items, decoys = [], []
    for mark, spans in placed:
        for part, (row, col, text) in enumerate(spans):
            area = (origin_x + col * cell_w, origin_y + row * cell_h, origin_x + (col + len(text)) * cell_w,
                    origin_y + (row + 1) * cell_h)
            ink = ink_box(image, area, spill=True)
            if ink is None:
                raise RuntimeError(f"{screen['name']}: no ink for '{text}' at row {row}, column {col}")
            label = mark.text if len(spans) == 1 else f"{mark.text} (part {part + 1}/{len(spans)})"
            entry = {"detector": mark.detector, "text": label, "box": ink}
            if mark.kind == "item":
                entry["shape"] = mark.shape if len(spans) == 1 else f"{mark.shape}, part {part + 1}/{len(spans)}"
                items.append(entry)
            else:
                entry["note"] = mark.note
                decoys.append(entry)
    meta = {"width": width, "height": height, "device_scale_factor": 1, "theme": screen["theme"],
            "font": f"{screen['font']} {screen['pt']} pt in xterm ({cell_w}x{cell_h} px cells, {cols} columns)",
            "description": "a log shown by cat in xterm: cc: lines of three addresses, addresses in query strings, "
                           "after to=<, user= and for, addresses cut by the right edge, asset names as decoys"}
    return meta, items, decoys
