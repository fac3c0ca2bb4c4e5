"""Web pages drawn by headless Chromium: forms, tables, invoices, signatures, a document page,
chat and a file listing, each with its planted texts wrapped in elements of class "pi"."""
import html
import json
import os
import re
import subprocess
import tempfile

from common import Image, clip_box, dilate, font_present, ink_box

HERE = os.path.dirname(os.path.abspath(__file__))
CHROMIUM = "chromium"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync", "--hide-scrollbars"]


def esc(text):
    return html.escape(text, quote=True)


class Page:
    """Collects the planted texts (items, which a detector must find, and decoys, which none may
    report) in the order their elements carry in data-i."""

    def __init__(self):
        self.marks = []

    def _mark(self, kind, detector, text, shape, note, cls, tag):
        self.marks.append({"kind": kind, "detector": detector, "text": text, "shape": shape, "note": note})
        return f'<{tag} class="pi {cls}" data-i="{len(self.marks) - 1}">{esc(text)}</{tag}>'

    def item(self, detector, text, shape, cls="", tag="span"):
        return self._mark("item", detector, text, shape, None, cls, tag)

    def link(self, detector, text, shape):
        return self._mark("item", detector, text, shape, None, "", "a")

    def decoy(self, detector, text, note, cls="", tag="span"):
        return self._mark("decoy", detector, text, None, note, cls, tag)


# ---------------------------------------------------------------------------------------------
# Screens. Each builder returns (css, body, description) and plants through `page`.

def phone_item(page, d, shape, where):
    kind = {"bracket": "bracketed phone", "plus-bracket": "bracketed phone", "dash": "dashed phone",
            "dot": "dotted phone", "plus": "spaced phone"}[shape]
    return page.item("phone", d.phone(shape), f"{kind} {where}")


def form(page, d, p):
    rows = p.get("rows", 6)
    css = """
.card { background: var(--panel); margin: 1.4em; padding: 1.2em 1.8em 1.4em; border-radius: 8px;
        border: 1px solid var(--rule); display: inline-block; vertical-align: top; }
.row { display: flex; gap: 1.5em; margin-bottom: 0.75em; }
.f label { display: block; color: var(--muted); font-size: 0.86em; margin-bottom: 0.3em; }
.field { border: 1px solid var(--border); border-radius: 4px; background: var(--field); padding: 0.5em 0.65em;
         min-width: 13em; white-space: nowrap; }
.field.wide { min-width: 17em; }
"""
    labels = p.get("labels", [("Mobile phone", "bracket"), ("Office phone", "dash"), ("Recovery e-mail", "email")])
    body = []
    for card in range(p.get("cards", 1)):
        body.append(f'<div class="card"><h1>{esc(p.get("heading", "Contact details"))}</h1>')
        for r in range(rows):
            cells = []
            order = list(labels)
            if p.get("shuffle") and r % 2:
                order = order[1:] + order[:1]
            for label, shape in order:
                wide = ""
                if shape == "email":
                    value, wide = page.item("email", d.email(), "address in field"), " wide"
                elif shape == "ssn":
                    value = page.item("ssn", d.ssn(), "ssn in field")
                elif shape == "date":
                    value = page.decoy("phone", d.date(), "date")
                elif shape == "order":
                    value = page.decoy("phone", d.order(), "order number")
                else:
                    value = phone_item(page, d, shape, "in field")
                cells.append(f'<div class="f"><label>{label}</label><div class="field{wide}">{value}</div></div>')
            body.append(f'<div class="row">{"".join(cells)}</div>')
        body.append("</div>")
    return css, "\n".join(body), (f"a contact form: {rows} rows of bordered fields with "
                                  + ", ".join(l for l, _ in labels))


def address_table(page, d, p):
    rows = p.get("rows", 14)
    css = """
.wrap { margin: 1.2em; background: var(--panel); border: 1px solid var(--rule); border-radius: 6px; display: inline-block; }
table { border-collapse: collapse; }
th { text-align: left; background: var(--head); font-weight: 600; padding: 0.45em 0.9em; border-bottom: 1px solid var(--rule); }
td { padding: 0.4em 0.9em; border-bottom: 1px solid var(--rule); white-space: nowrap; }
tr:nth-child(even) td { background: var(--stripe); }
.avatar { font-family: monospace; }
"""
    head = "<tr><th>Name</th><th>E-mail</th><th>Phone</th><th>Joined</th><th>Picture</th></tr>"
    lines = []
    for r in range(rows):
        first, last = d.name()
        if r % 3 == 2:
            email = page.item("email", d.email(first, last), "ordinary address in table")
        else:
            email = page.item("email", d.one_letter_email(), "one-letter part address in table")
        if p.get("phones", True) and r % 2 == 0:
            phone = phone_item(page, d, d.pick(["bracket", "dash", "dot"]), "in table")
        else:
            phone = '<span class="muted">&mdash;</span>'
        joined = page.decoy("phone", d.date(), "date") if r % 4 == 1 else esc(d.date())
        asset = page.decoy("email", d.asset(), "asset name") if r % 3 == 0 else esc(f"{first}.jpg")
        lines.append(f"<tr><td>{esc(first.capitalize())} {esc(last.capitalize())}</td><td>{email}</td>"
                     f'<td>{phone}</td><td>{joined}</td><td class="avatar">{asset}</td></tr>')
    body = f'<div class="wrap"><table>{head}{"".join(lines)}</table></div>'
    return css, body, f"a table of {rows} addresses, two in three with a one-letter part (l, I, L, ll); asset names as decoys"


def invoice(page, d, p):
    blocks = p.get("blocks", 3)
    css = f"""
body {{ line-height: {p["line_px"]}px; }}
.sheet {{ background: var(--panel); margin: 16px; padding: 22px 26px; display: inline-block; vertical-align: top;
         width: {p.get("sheet_width", 34)}em; }}
.title {{ font-weight: bold; margin-bottom: 14px; }}
.block {{ margin: 0 0 6px; }}
.paid {{ margin-top: 6px; padding-bottom: 6px; border-bottom: 1px solid var(--border); margin-bottom: 8px; }}
.lines td {{ padding: 0 14px 0 0; }}
"""
    body = []
    for s in range(p.get("sheets", 1)):
        body.append(f'<div class="sheet"><div class="title">INVOICE {page.decoy("phone", d.order(), "invoice number")}'
                    f' &middot; issued {page.decoy("phone", d.date(), "date")}</div>')
        for b in range(blocks):
            first, last = d.name()
            lines = [f"<b>Bill to:</b> {esc(first.capitalize())} {esc(last.capitalize())}"]
            if p.get("street", True):
                lines.append(esc(f"{d.street()}, {d.city()}"))
            lines.append(page.item("email", d.email(first, last), "dense address"))
            lines.append(phone_item(page, d, d.pick(["bracket", "bracket", "dash"]), "dense"))
            lines.append(f"Tax ID (SSN): {page.item('ssn', d.ssn(), 'dense ssn')}")
            body.append(f'<div class="block">{"<br>".join(lines)}</div>')
            body.append(f'<div class="paid">Paid on {esc(d.date())} from {page.item("ipv4", d.ipv4(), "dense ipv4")}. '
                        f'Amount {esc(d.amount())}</div>')
        body.append('<table class="lines">')
        for _ in range(3):
            body.append(f"<tr><td>{d.rng.randrange(1, 9)}</td><td>Consulting, {esc(d.date())}</td>"
                        f"<td>{esc(d.amount())}</td></tr>")
        body.append("</table></div>")
    return css, "\n".join(body), (f"invoice 'Bill to' blocks of {p['size']} px text with lines {p['line_px']} px apart: "
                                  "address, phone, SSN, IPv4")


def signatures(page, d, p):
    css = f"""
body {{ line-height: {p["line_px"]}px; }}
.mail {{ background: var(--panel); margin: 14px; padding: 14px 20px; border: 1px solid var(--rule); width: 46em; }}
.hdr {{ color: var(--muted); margin-bottom: 8px; }}
.sig {{ margin-top: 8px; color: var(--fg); }}
.quote {{ border-left: 3px solid var(--rule); padding-left: 10px; margin-top: 8px; color: var(--muted); }}
"""
    body = []
    for m in range(p.get("mails", 4)):
        first, last = d.name()
        sender = d.email(first, last)
        body.append(f'<div class="mail"><div class="hdr">From: {esc(first.capitalize())} {esc(last.capitalize())} '
                    f'&lt;{page.item("email", sender, "address in mail header")}&gt; &middot; {esc(d.date())}</div>')
        body.append("<div>Thanks, the revised schedule works for us. I have attached the signed copy "
                    "and will send the remaining pages tomorrow.</div>")
        sig = ["--", f"{esc(first.capitalize())} {esc(last.capitalize())}",
               esc(d.pick(["Account Manager", "Operations Lead", "Paralegal", "Field Engineer"])) + " &middot; "
               + esc(d.pick(["Fabrikam Ltd.", "Contoso Partners", "Adatum Corp.", "Northwind Traders"])),
               f"T {phone_item(page, d, 'bracket', 'in signature')} &middot; M {phone_item(page, d, d.pick(['dash', 'dot']), 'in signature')}",
               page.item("email", d.email(first, last), "address in signature")]
        if m % 2 == 0:
            sig.append(f"VPN gateway {page.item('ipv4', d.ipv4(), 'ipv4 in signature')}")
        body.append(f'<div class="sig">{"<br>".join(sig)}</div>')
        if m % 2 == 1:
            f2, l2 = d.name()
            body.append(f'<div class="quote">On {esc(d.date())}, {esc(f2.capitalize())} {esc(l2.capitalize())} wrote:<br>'
                        f'Please call me on {phone_item(page, d, "bracket", "in quoted mail")} or write to '
                        f'{page.item("email", d.email(f2, l2), "address in quoted mail")}.</div>')
        body.append("</div>")
    return css, "\n".join(body), f"mail messages with dense {p['size']} px signatures ({p['line_px']} px lines)"


def document(page, d, p):
    css = f"""
body {{ background: var(--viewer); }}
.pdf {{ background: #fff; color: #111; margin: 24px auto; width: 620px; padding: 56px 64px; box-shadow: 0 2px 8px #0008;
        line-height: {p["line_px"]}px; text-align: justify; }}
.pdf h2 {{ text-align: center; font-size: 1.15em; }}
.foot {{ text-align: center; color: #555; margin-top: 18px; }}
"""
    paras = []
    for n in range(p.get("paras", 6)):
        first, last = d.name()
        who = f"{first.capitalize()} {last.capitalize()}"
        paras.append(
            f"<p>{n + 1}. The party named {esc(who)}, residing at {esc(d.street())}, {esc(d.city())}, reachable at "
            f"{page.item('email', d.email(first, last), 'address in document')} and by telephone at "
            f"{phone_item(page, d, d.pick(['bracket', 'dash', 'plus']), 'in document')}, with taxpayer number "
            f"{page.item('ssn', d.ssn(), 'ssn in document')}, agrees to the terms of schedule "
            f"{page.decoy('phone', d.order(), 'schedule number')} dated {page.decoy('phone', d.date(), 'date')}. "
            "Notices under this agreement are given in writing and take effect on receipt; remote access is "
            f"granted from {page.item('ipv4', d.ipv4(), 'ipv4 in document')} only.</p>")
    body = (f'<div class="pdf"><h2>LEASE AGREEMENT &mdash; SCHEDULE B</h2>{"".join(paras)}'
            f'<div class="foot">Page 2 of 7</div></div>')
    return css, body, f"a document page in a viewer at {p['size']} px with {p['line_px']} px lines, items inline in justified text"


def chat(page, d, p):
    css = """
.chat { margin: 1em auto; width: 52em; }
.msg { display: flex; gap: 0.8em; margin: 0.9em 0; }
.av { width: 2.4em; height: 2.4em; border-radius: 50%; background: var(--chip); flex: none; text-align: center;
      line-height: 2.4em; font-weight: 600; color: var(--accent); }
.who { font-weight: 600; } .when { color: var(--muted); font-size: 0.85em; margin-left: 0.5em; }
.bubble { background: var(--panel); border: 1px solid var(--rule); border-radius: 8px; padding: 0.5em 0.8em; }
code { font-family: inherit; background: var(--chip); padding: 0 0.2em; }
"""
    says = [
        lambda: f"Can you call me at {phone_item(page, d, 'bracket', 'inline')} after lunch? The other line is "
                f"{phone_item(page, d, 'dash', 'inline')}.",
        lambda: f"Copying {page.link('email', d.one_letter_email(), 'link address with one-letter part')} and "
                f"{page.item('email', d.email(), 'address inline')} on this one.",
        lambda: f"The retina icons are {page.decoy('email', d.asset(), 'asset name', tag='code')} and "
                f"{page.decoy('email', d.asset(), 'asset name', tag='code')}; the login came from "
                f"{page.item('ipv4', d.ipv4(), 'ipv4 inline')}.",
        lambda: f"Her SSN on the form reads {page.item('ssn', d.ssn(), 'ssn inline')}, order "
                f"{page.decoy('phone', d.order(), 'order number')} shipped on {page.decoy('phone', d.date(), 'date')}.",
        lambda: f"New address is {page.item('email', d.one_letter_email(), 'one-letter part address inline')}, "
                f"phone {page.link('phone', d.phone('bracket'), 'bracketed phone as link')}.",
        lambda: f"Replace {page.decoy('email', d.asset(), 'asset name')} with "
                f"{page.decoy('email', d.asset(), 'asset name')} before the release.",
    ]
    body = ['<div class="chat">']
    for n in range(p.get("messages", 9)):
        first, last = d.name()
        text = says[n % len(says)]()
        body.append(f'<div class="msg"><div class="av">{first[0].upper()}{last[0].upper()}</div><div>'
                    f'<span class="who">{esc(first.capitalize())} {esc(last.capitalize())}</span>'
                    f'<span class="when">{esc(d.date())} {d.rng.randrange(8, 18)}:{d.rng.randrange(0, 60):02d}</span>'
                    f'<div class="bubble">{text}</div></div></div>')
    body.append("</div>")
    return css, "\n".join(body), "chat messages with addresses, phones, SSNs and IPv4 inline (some as links); asset names as decoys"


def assets(page, d, p):
    rows = p.get("rows", 16)
    css = """
.pane { margin: 1em; background: var(--panel); border: 1px solid var(--rule); }
.bar { padding: 0.6em 1em; border-bottom: 1px solid var(--rule); color: var(--muted); }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; padding: 0.3em 1em; white-space: nowrap; }
th { color: var(--muted); font-weight: 600; border-bottom: 1px solid var(--rule); }
tr:nth-child(odd) td { background: var(--stripe); }
"""
    lines = []
    for r in range(rows):
        name = page.decoy("email", d.asset(), "asset name") if r % 4 != 3 else esc(f"release-notes-{r}.md")
        who = page.item("email", d.email() if r % 3 else d.one_letter_email(),
                        "address in listing" if r % 3 else "one-letter part address in listing")
        src = page.item("ipv4", d.ipv4(), "ipv4 in listing") if r % 2 == 0 else '<span class="muted">internal</span>'
        when = page.decoy("phone", d.date(), "date") if r % 5 == 0 else esc(d.date())
        lines.append(f"<tr><td>{name}</td><td>{d.rng.randrange(1, 900)} KB</td><td>{when}</td><td>{who}</td><td>{src}</td></tr>")
    body = (f'<div class="pane"><div class="bar">cdn / static / {esc(d.pick(["icons", "img", "ui"]))} &mdash; {rows} files</div>'
            f'<table><tr><th>Name</th><th>Size</th><th>Modified</th><th>Uploaded by</th><th>From</th></tr>{"".join(lines)}</table></div>')
    return css, body, "a file listing whose names are asset names (decoys) with uploader addresses and IPv4 addresses"


def profile(page, d, p):
    """The numbers of a form without the fields' borders: an account's summary, label and value."""
    rows = p.get("rows", 4)
    css = """
.card { background: var(--panel); margin: 1.4em; padding: 1.2em 1.8em; border-radius: 8px; border: 1px solid var(--rule);
        display: inline-block; }
dl { display: grid; grid-template-columns: max-content max-content; column-gap: 2.5em; row-gap: 0.55em; margin: 0; }
dt { color: var(--muted); } dd { margin: 0; }
h2 { margin-top: 1.4em; }
"""
    body = ['<div class="card"><h1>Your account</h1>']
    for r in range(rows):
        first, last = d.name()
        body.append(f"<h2>{esc(first.capitalize())} {esc(last.capitalize())}</h2><dl>"
                    f"<dt>Mobile</dt><dd>{phone_item(page, d, 'bracket', 'without border')}</dd>"
                    f"<dt>Office</dt><dd>{phone_item(page, d, 'dash', 'without border')}</dd>"
                    f"<dt>Home</dt><dd>{phone_item(page, d, 'plus-bracket', 'without border')}</dd>"
                    f"<dt>E-mail</dt><dd>{page.item('email', d.email(first, last), 'address without border')}</dd>"
                    f"<dt>Member since</dt><dd>{page.decoy('phone', d.date(), 'date')}</dd></dl>")
    body.append("</div>")
    return css, "\n".join(body), f"an account summary: {rows} people's phones and addresses as label and value, no field borders"


BUILDERS = {"form": form, "table": address_table, "invoice": invoice, "signatures": signatures,
            "document": document, "chat": chat, "assets": assets,
            "profile": profile}


# ---------------------------------------------------------------------------------------------
# Rendering and measuring.

def chromium(args, tmp):
    profile = tempfile.mkdtemp(prefix="profile-", dir=tmp)
    run = subprocess.run([CHROMIUM, *FLAGS, f"--user-data-dir={profile}", *args], capture_output=True, text=True,
                         timeout=120)
    if run.returncode != 0:
        raise RuntimeError(f"chromium failed ({run.returncode}): {run.stderr[-2000:]}")
    return run.stdout


def colour_groups(boxes, pad):
    """Gives each box a group so that no two boxes of one group come within `pad` of each other:
    the measuring pass draws each group in its own colour channel."""
    groups = []
    for i, b in enumerate(boxes):
        taken = {groups[j] for j in range(i) if
                 b[0] - pad < boxes[j][0] + boxes[j][2] + pad and boxes[j][0] - pad < b[0] + b[2] + pad and
                 b[1] - pad < boxes[j][1] + boxes[j][3] + pad and boxes[j][1] - pad < b[1] + b[3] + pad}
        g = 0
        while g in taken:
            g += 1
        groups.append(g)
    return groups


def render(screen, d, out_dir, tmp):
    page = Page()
    css, body, description = BUILDERS[screen["kind"]](page, d, screen)
    for family in screen["fonts"]:
        if not font_present(family):
            raise SystemExit(f"make-pages: font '{family}' is not installed (screen {screen['name']})")
    font_css = ", ".join(f"'{f}'" for f in screen["fonts"])
    with open(os.path.join(HERE, "page.html"), encoding="utf-8") as f:
        template = f.read()
    text = (template.replace("@THEME@", screen["theme"]).replace("@TITLE@", esc(screen["name"]))
            .replace("@FONT@", font_css).replace("@SIZE@", str(screen["size"]))
            .replace("@LEADING@", str(screen.get("leading", 1.25))).replace("@CSS@", css).replace("@BODY@", body))
    source = os.path.join(tmp, f"{screen['name']}.html")
    with open(source, "w", encoding="utf-8") as f:
        f.write(text)
    url = "file://" + source
    scale = screen["scale"]
    width, height = screen["screen"]
    css_w, css_h = round(width / scale), round(height / scale)
    if abs(css_w * scale - width) > 1e-6 or abs(css_h * scale - height) > 1e-6:
        raise SystemExit(f"make-pages: {width}x{height} is not a whole number of CSS pixels at {scale}")
    common = [f"--force-device-scale-factor={scale}", f"--window-size={css_w},{css_h}"]

    dom = chromium([*common, "--dump-dom", url], tmp)
    found = re.search(r'<pre id="layout"[^>]*>(.*?)</pre>', dom, re.S)
    if not found:
        raise RuntimeError(f"{screen['name']}: the page wrote no layout")
    layout = json.loads(html.unescape(found.group(1)))
    if layout["scrollHeight"] > max(css_h, layout["height"]) or layout["scrollWidth"] > max(css_w, layout["width"]):
        raise SystemExit(f"make-pages: {screen['name']} does not fit its screen: {layout['scrollWidth']}x"
                         f"{layout['scrollHeight']} CSS px in {css_w}x{css_h}")
    rects = {r[0]: r for r in layout["rects"]}
    boxes = []
    for i, mark in enumerate(page.marks):
        r = rects[i]
        if r[5] != 1:
            raise SystemExit(f"make-pages: '{mark['text']}' on {screen['name']} is laid out in {r[5]} pieces")
        x0, y0 = int(r[1] * scale), int(r[2] * scale)
        x1, y1 = int(-(-(r[1] + r[3]) * scale // 1)), int(-(-(r[2] + r[4]) * scale // 1))
        if x1 > width or y1 > height:
            raise SystemExit(f"make-pages: '{mark['text']}' lies outside {screen['name']}'s {width}x{height}")
        boxes.append([x0, y0, x1 - x0, y1 - y0])

    shot = os.path.join(out_dir, f"{screen['name']}.png")
    chromium([*common, f"--screenshot={shot}", url], tmp)
    image = Image(shot)
    if (image.width, image.height) != (width, height):
        raise RuntimeError(f"{screen['name']}: screenshot is {image.width}x{image.height}, not {width}x{height}")

    pad = 3
    groups = colour_groups(boxes, pad + 2)
    masks = {}
    for mask_pass in range(max(groups) // 3 + 1):
        colours = ",".join(str(g % 3) if g // 3 == mask_pass else "-" for g in groups)
        mask_png = os.path.join(tmp, f"{screen['name']}-mask{mask_pass}.png")
        chromium([*common, f"--screenshot={mask_png}", f"{url}#mask={colours}"], tmp)
        masks[mask_pass] = Image(mask_png)

    items, decoys = [], []
    for mark, box, g in zip(page.marks, boxes, groups):
        mask, channel = masks[g // 3], g % 3
        area = clip_box(box, width, height, pad)
        drawn = {(x, y) for y in range(area[1], area[3]) for x in range(area[0], area[2])
                 if mask.at(x, y)[channel] >= 64}
        ink = ink_box(image, area, dilate(drawn, 1)) if drawn else None
        if ink is None:
            raise RuntimeError(f"{screen['name']}: no ink for '{mark['text']}' in {box}")
        entry = {"detector": mark["detector"], "text": mark["text"], "box": ink}
        if mark["kind"] == "item":
            entry["shape"] = mark["shape"]
            items.append(entry)
        else:
            entry["note"] = mark["note"]
            decoys.append(entry)
    meta = {"width": width, "height": height, "device_scale_factor": scale, "theme": screen["theme"],
            "font": f"{screen['fonts'][0]} {screen['size']} px", "description": description}
    return meta, items, decoys
