#!/usr/bin/env python3
"""make-pages.py OUT_DIR [NAME...]: draws the measuring screens (web pages in headless Chromium,
terminals in xterm under a private Xvfb) into OUT_DIR as NAME.png with NAME.json truth in the form
check.py reads, plus README.txt listing them. With NAMEs, only those screens are drawn."""
import glob
import json
import os
import random
import shutil
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from common import Data, require, write_truth  # noqa: E402
import term  # noqa: E402
import web  # noqa: E402

DV, LS, LSF, INTER, NIMBUS = "DejaVu Sans", "Liberation Sans", "Liberation Serif", "Inter", "Nimbus Sans"

# name, kind, fonts, size (CSS px), leading, theme, scale, screen (device px), and what the kind takes.
WEB = [
    dict(name="form_dejavu_100", kind="form", fonts=[DV], size=13, theme="light", scale=1, screen=(1280, 800),
         rows=4),
    dict(name="form_liberation_125", kind="form", fonts=[LS], size=12, theme="light", scale=1.25, screen=(1600, 1000),
         rows=4),
    dict(name="form_inter_dark_150", kind="form", fonts=[INTER], size=12, theme="dark", scale=1.5, screen=(1920, 1200),
         rows=4, shuffle=True),
    dict(name="form_nimbus_200", kind="form", fonts=[NIMBUS], size=12, theme="light", scale=2, screen=(2560, 1440),
         rows=3),
    dict(name="form_serif_125_ssn", kind="form", fonts=[LSF], size=14, theme="light", scale=1.25, screen=(1920, 1080),
         rows=4, heading="Applicant",
         labels=[("Home phone", "bracket"), ("Social security number", "ssn"), ("Work phone", "dash"),
                 ("Date of birth", "date")]),
    dict(name="form_dejavu_dark_125_two", kind="form", fonts=[DV], size=11, theme="dark", scale=1.25,
         screen=(2560, 1440), rows=4, cards=2, heading="Emergency contacts",
         labels=[("Phone", "plus-bracket"), ("E-mail", "email"), ("Alternate phone", "bracket"), ("Reference", "order")]),
    dict(name="table_dejavu_100", kind="table", fonts=[DV], size=13, theme="light", scale=1, screen=(1280, 800),
         rows=12),
    dict(name="table_liberation_dark_125", kind="table", fonts=[LS], size=12, theme="dark", scale=1.25,
         screen=(1600, 1000), rows=12),
    dict(name="table_inter_150", kind="table", fonts=[INTER], size=13, theme="light", scale=1.5, screen=(1920, 1200),
         rows=10),
    dict(name="table_nimbus_100_small", kind="table", fonts=[NIMBUS], size=11, theme="light", scale=1,
         screen=(1280, 800), rows=14, leading=1.1),
    dict(name="table_serif_200", kind="table", fonts=[LSF], size=14, theme="light", scale=2, screen=(2560, 1440),
         rows=8, phones=False),
    dict(name="invoice_dejavu_11", kind="invoice", fonts=[DV], size=11, line_px=12, theme="light", scale=1,
         screen=(1280, 800), sheets=2, blocks=3),
    dict(name="invoice_liberation_12", kind="invoice", fonts=[LS], size=12, line_px=13, theme="light", scale=1,
         screen=(1440, 900), sheets=2, blocks=3, sheet_width=30),
    dict(name="invoice_inter_dark_12", kind="invoice", fonts=[INTER], size=12, line_px=13, theme="dark", scale=1,
         screen=(1280, 800), sheets=1, blocks=3, sheet_width=30),
    dict(name="invoice_nimbus_11_125", kind="invoice", fonts=[NIMBUS], size=11, line_px=12, theme="light",
         scale=1.25, screen=(1600, 1000), sheets=1, blocks=4, street=False, sheet_width=32),
    dict(name="signatures_dejavu_12", kind="signatures", fonts=[DV], size=12, line_px=14, theme="light", scale=1,
         screen=(1280, 1024), mails=3),
    dict(name="signatures_serif_dark_11", kind="signatures", fonts=[LSF], size=12, line_px=13, theme="dark", scale=1,
         screen=(1280, 1024), mails=3),
    dict(name="document_serif_11", kind="document", fonts=[LSF], size=11, line_px=13, theme="light", scale=1,
         screen=(1280, 900), paras=5),
    dict(name="document_dejavu_12", kind="document", fonts=[DV], size=12, line_px=14, theme="light", scale=1,
         screen=(1440, 900), paras=3),
    dict(name="chat_dejavu_14", kind="chat", fonts=[DV], size=14, leading=1.3, theme="light", scale=1,
         screen=(1440, 900), messages=9),
    dict(name="chat_inter_dark_125", kind="chat", fonts=[INTER], size=14, leading=1.25, theme="dark", scale=1.25,
         screen=(1920, 1200), messages=9),
    dict(name="assets_liberation_13", kind="assets", fonts=[LS], size=13, theme="light", scale=1, screen=(1280, 800),
         rows=12),
    dict(name="assets_nimbus_dark_150", kind="assets", fonts=[NIMBUS], size=12, theme="dark", scale=1.5,
         screen=(1920, 1080), rows=10, leading=1.2),
]

# Bracketed phones in bordered fields across device text sizes of 15 to 24 px (font, CSS px, scale,
# theme, screen), and the same numbers without borders.
for family, size, scale, theme, screen in [(DV, 15, 1, "light", (1280, 800)), (DV, 13, 1.25, "light", (1600, 1000)),
                                          (INTER, 13, 1.25, "dark", (1920, 1200)), (LS, 13, 1.5, "light", (1920, 1200)),
                                          (NIMBUS, 13, 1.5, "dark", (1920, 1080)), (INTER, 12, 2, "light", (2560, 1440)),
                                          (LS, 15, 1.25, "light", (1600, 1000))]:
    short = family.split()[0].lower()
    WEB.append(dict(name=f"form_{short}_{size}_{round(scale * 100)}{'_dark' if theme == 'dark' else ''}", kind="form",
                    fonts=[family], size=size, theme=theme, scale=scale, screen=screen, rows=3))
for family, size, scale, theme, screen in [(DV, 13, 1.25, "light", (1600, 1000)), (NIMBUS, 13, 1.5, "dark", (1920, 1200))]:
    WEB.append(dict(name=f"profile_{family.split()[0].lower()}_{size}_{round(scale * 100)}"
                         f"{'_dark' if theme == 'dark' else ''}", kind="profile", fonts=[family], size=size,
                    theme=theme, scale=scale, screen=screen, rows=3))

TERM = term.SCREENS


def seed_of(name):
    return zlib.crc32(name.encode())


def readme(out_dir):
    """README.txt: every screen in the folder, from its truth."""
    lines = ["Measuring screens for text detection, drawn by make-pages.py (bench/DetectionKit/pages).",
             "Each NAME.png has NAME.json: items (detector, text, box = ink box [x, y, w, h], shape) and",
             "decoys (text no detector may report, with the detector it resembles and a note).",
             "Check a build:  python3 check.py BUILD/bench/DetectionKit/detect-image THIS_FOLDER", ""]
    screens = total_items = total_decoys = 0
    for path in sorted(glob.glob(os.path.join(out_dir, "*.json"))):
        with open(path, encoding="utf-8") as f:
            truth = json.load(f)
        if "items" not in truth:
            continue
        screens += 1
        total_items += len(truth["items"])
        total_decoys += len(truth["decoys"])
        lines.append(f"{truth['image']}  {truth['width']}x{truth['height']}  x{truth['device_scale_factor']}  "
                     f"{truth['theme']}  {truth['font']}  items {len(truth['items'])}, decoys {len(truth['decoys'])}")
        lines.append(f"    {truth['description']}")
    lines.append("")
    lines.append(f"{screens} screens, {total_items} items, {total_decoys} decoys")
    with open(os.path.join(out_dir, "README.txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out_dir = sys.argv[1]
    only = set(sys.argv[2:])
    os.makedirs(out_dir, exist_ok=True)
    screens = [s for s in WEB + TERM if not only or s["name"] in only]
    if only - {s["name"] for s in screens}:
        sys.exit(f"make-pages: no screen named {', '.join(sorted(only - {s['name'] for s in screens}))}")
    if any(s in WEB for s in screens):
        require(web.CHROMIUM)
    if any(s in TERM for s in screens):
        for program in ("Xvfb", "xterm", "xwininfo", "import"):
            require(program)
    require("convert")
    tmp = tempfile.mkdtemp(prefix="make-pages-")
    try:
        for screen in screens:
            data = Data(random.Random(seed_of(screen["name"])))
            draw = web.render if screen in WEB else term.render
            meta, items, decoys = draw(screen, data, out_dir, tmp)
            write_truth(out_dir, screen["name"], meta, items, decoys)
            print(f"{screen['name']}: {len(items)} items, {len(decoys)} decoys", flush=True)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    readme(out_dir)


if __name__ == "__main__":
    main()
