"""What the web and terminal screens share: invented personal data, reading a PNG's pixels, finding
the ink of a planted text inside the box its program laid it out in, and writing a screen's truth."""
import json
import os
import shutil
import subprocess
from collections import Counter

# Every name, address and number on the screens is made up here. Domains are the reserved
# example ones and the made-up companies documentation uses.
FIRST = ["ana", "leo", "ida", "mia", "kai", "liv", "eva", "tom", "ruth", "carol", "paul", "omar", "nina", "yara",
         "ivan", "lena", "hugo", "zoe", "emil", "rosa", "felix", "maren", "tariq", "sana", "jonas", "priya",
         "dmitri", "aiko", "bruno", "clara", "wendell", "oksana", "matteo", "hedda", "femi", "greta", "soren",
         "ines", "rafael", "talia", "birgit", "kwame", "lucia", "anders", "mira", "otto", "signe", "farid"]
LAST = ["novak", "vogel", "schulz", "lindqvist", "moreno", "okafor", "king", "haddad", "petrov", "ferreira",
        "nakamura", "osei", "brandt", "kowalski", "duarte", "halvorsen", "mbeki", "castillo", "whitfield",
        "ostrowski", "achterberg", "quispe", "marchetti", "solberg", "adeyemi", "varga", "holloway", "reyes",
        "fontaine", "mortensen", "ibarra", "koenig", "sato", "delacroix", "wexler", "oduya", "lindgren", "bauer"]
DOMAINS = ["example.com", "example.net", "example.org", "contoso.com", "contoso.net", "fabrikam.io",
           "fabrikam.com", "adatum.com", "northwind.de", "northwind-mail.com", "northwindtraders.com",
           "mail.contoso.com", "billing.fabrikam.com"]
STREETS = ["Alder Way", "Birch Lane", "Harbor Road", "Quarry Street", "Mill Court", "Juniper Avenue",
           "Cedar Row", "Lantern Place", "Orchard Drive", "Kestrel Close"]
CITIES = ["Springfield, OR 97477", "Riverton, WY 82501", "Fairview, TN 37062", "Lakeside, CA 92040",
          "Georgetown, TX 78626", "Milford, CT 06460", "Ashland, KY 41101", "Clinton, IA 52732"]
# Asset names that hold an at sign and a dot like an address does: no detector should take them.
ASSETS = ["16@2x.png", "64@3x.webp", "icons/1@2x.jpg", "24@2x.png", "avatar-48@2x.png", "logo@3x.webp",
          "img/hero@2x.jpg", "32@3x.png", "badges/7@2x.png", "icons/close@2x.svg", "128@2x.webp",
          "sprites/nav@3x.png", "thumbs/2@2x.jpg", "48@1.5x.png", "emoji/smile@2x.png", "96@2x.gif"]


class Data:
    """Invented personal data and decoys, from one seeded generator so a screen is the same every run."""

    def __init__(self, rng):
        self.rng = rng

    def pick(self, seq):
        return self.rng.choice(seq)

    def name(self):
        return self.pick(FIRST), self.pick(LAST)

    def full_name(self):
        first, last = self.name()
        return f"{first.capitalize()} {last.capitalize()}"

    def domain(self):
        return self.pick(DOMAINS)

    def email(self, first=None, last=None):
        if first is None:
            first, last = self.name()
        shape = self.rng.randrange(6)
        local = [f"{first}.{last}", f"{first[0]}.{last}", f"{first}{self.rng.randrange(1, 99)}", f"{first}_{last}",
                 f"{last}.{first}", f"{first}.{last[0]}{self.rng.randrange(2, 9)}"][shape]
        return f"{local}@{self.domain()}"

    def one_letter_email(self):
        """An address one of whose dot-separated parts is a lone l, I or L (or a double ll)."""
        first, last = self.name()
        letter = self.pick(["l", "l", "I", "L"])
        local = self.pick([f"al.{letter}", f"{first}.{letter}", f"{letter}.{first}", f"{letter}.{last}",
                           f"{first}.{letter}.{last}", "al.ll", f"{letter}", f"{first[0]}.{letter}.{last}",
                           f"{first}.ll", f"{letter}.{first[0]}"])
        return f"{local}@{self.domain()}"

    def area(self):
        return f"{self.rng.randrange(2, 10)}{self.rng.randrange(0, 10)}{self.rng.randrange(0, 10)}"

    def line(self):
        return f"{self.rng.randrange(0, 10000):04d}"

    def phone(self, shape="bracket"):
        a, n = self.area(), self.line()
        return {"bracket": f"({a}) 555-{n}", "dash": f"{a}-555-{n}", "dot": f"{a}.555.{n}",
                "plus": f"+1 {a} 555 {n}", "plus-bracket": f"+1 ({a}) 555-{n}"}[shape]

    def ssn(self):
        # Areas from 900 on are never issued as social security numbers.
        return f"9{self.rng.randrange(0, 100):02d}-{self.rng.randrange(1, 100):02d}-{self.rng.randrange(1, 10000):04d}"

    def ipv4(self):
        net = self.pick(["192.0.2", "198.51.100", "203.0.113", "10"])
        if net == "10":
            return f"10.{self.rng.randrange(0, 256)}.{self.rng.randrange(0, 256)}.{self.rng.randrange(1, 255)}"
        return f"{net}.{self.rng.randrange(1, 255)}"

    def street(self):
        return f"{self.rng.randrange(12, 9800)} {self.pick(STREETS)}"

    def city(self):
        return self.pick(CITIES)

    def date(self):
        return f"2026-{self.rng.randrange(1, 13):02d}-{self.rng.randrange(1, 29):02d}"

    def order(self):
        return self.pick([f"#{self.rng.randrange(2024, 2027)}-{self.rng.randrange(1000, 9999)}",
                          f"INV-{self.rng.randrange(2024, 2027)}-{self.rng.randrange(100, 9999):04d}",
                          f"SO-{self.rng.randrange(10000, 99999)}-{self.rng.randrange(10, 99)}"])

    def amount(self):
        return f"${self.rng.randrange(12, 9000):,}.{self.rng.randrange(0, 100):02d}"

    def asset(self):
        return self.pick(ASSETS)


class Image:
    """An 8-bit RGB image read whole through ImageMagick (no imaging module needed)."""

    def __init__(self, path):
        size = subprocess.run(["identify", "-format", "%w %h", path], check=True, capture_output=True, text=True)
        self.width, self.height = map(int, size.stdout.split())
        self.data = subprocess.run(["convert", path, "-alpha", "off", "-depth", "8", "rgb:-"], check=True,
                                   capture_output=True).stdout
        if len(self.data) != self.width * self.height * 3:
            raise RuntimeError(f"{path}: read {len(self.data)} bytes for {self.width}x{self.height}")

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]


def clip_box(box, width, height, pad=0):
    x0, y0 = max(0, box[0] - pad), max(0, box[1] - pad)
    x1, y1 = min(width, box[0] + box[2] + pad), min(height, box[1] + box[3] + pad)
    return x0, y0, x1, y1


def dilate(points, radius):
    grown = set()
    for x, y in points:
        for dy in range(-radius, radius + 1):
            for dx in range(-radius, radius + 1):
                grown.add((x + dx, y + dy))
    return grown


def ink_box(image, area, belongs=None, spill=False):
    """The ink box of a text drawn inside `area` (x0, y0, x1, y1): the pixels whose difference from
    the local background is at least 40% of the text's strongest, as the shared screens measure it.
    `belongs`, when given, is the set of pixels that may be the text's (others are neighbours' ink
    or a field's border); the background is the most common colour of the area's other pixels.
    With `spill`, ink in the area's top two rows set apart from the rest by a blank row is the row
    above's descenders, as a terminal lets them hang into the next cell."""
    x0, y0, x1, y1 = area
    pixels = [(x, y) for y in range(y0, y1) for x in range(x0, x1)]
    candidates = pixels if belongs is None else [p for p in pixels if p in belongs]
    near = set() if belongs is None else dilate(belongs, 1)
    others = [p for p in pixels if p not in near]
    if not candidates:
        return None
    if not others:
        others = [(x, y) for y in (y0, y1 - 1) for x in range(x0, x1)]
    background = Counter(image.at(x, y) for x, y in others).most_common(1)[0][0]

    def difference(p):
        c = image.at(*p)
        return max(abs(c[0] - background[0]), abs(c[1] - background[1]), abs(c[2] - background[2]))

    strength = {p: difference(p) for p in candidates}
    strongest = max(strength.values())
    if strongest < 24:
        return None
    inked = [p for p, s in strength.items() if s >= 0.4 * strongest]
    if spill:
        rows = {p[1] for p in inked}
        top = [y for y in (y0, y0 + 1) if y in rows]
        if top and top[-1] + 1 not in rows and len(rows) > len(top):
            inked = [p for p in inked if p[1] not in top]
    xs = [p[0] for p in inked]
    ys = [p[1] for p in inked]
    return [min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1]


def write_truth(out_dir, name, meta, items, decoys):
    """Writes NAME.json beside NAME.png in the form check.py reads."""
    truth = {"image": f"{name}.png"}
    truth.update(meta)
    truth["items"] = items
    truth["decoys"] = decoys
    with open(os.path.join(out_dir, f"{name}.json"), "w", encoding="utf-8") as f:
        json.dump(truth, f, indent=1)
        f.write("\n")


def require(program):
    if shutil.which(program) is None:
        raise SystemExit(f"make-pages: '{program}' is not installed")


def font_present(family):
    """Whether fontconfig draws `family` itself rather than a stand-in."""
    found = subprocess.run(["fc-match", "-f", "%{family}", family], capture_output=True, text=True).stdout
    return family.lower() in [f.strip().lower() for f in found.split(",")]
