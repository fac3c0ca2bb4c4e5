"""Judges one screen: which planted items our detections cover, and which the reference
recogniser's text contains. Prints one JSON object."""
import json
import re
import sys


def main(planted_path, ours_path, reference_path):
    planted = []
    with open(planted_path, encoding="utf-8") as f:
        for line in f:
            detector, text, x, y, w, h = line.rstrip("\n").split("\t")
            planted.append((detector, text, int(x), int(y), int(w), int(h)))
    ours = []
    with open(ours_path, encoding="utf-8") as f:
        for line in f:
            record = json.loads(line)
            if "detector" in record:
                ours.append(record)
            elif "wallSeconds" in record:
                wall = record["wallSeconds"]
    with open(reference_path, encoding="utf-8") as f:
        reference = re.sub(r"\s+", " ", f.read())

    def covered(detector, x, y, w, h):
        # A detection of the right detector that covers at least half of the item's text.
        for d in ours:
            if d["detector"] != detector:
                continue
            bx, by, bw, bh = d["box"]
            ix = max(0.0, min(bx + bw, x + w) - max(bx, x))
            iy = max(0.0, min(by + bh, y + h) - max(by, y))
            if ix * iy >= 0.5 * w * h:
                return True
        return False

    result = {"planted": len(planted), "ours": 0, "reference": 0, "missedByOurs": [], "missedByReference": [],
              "detectWallSeconds": wall}
    for detector, text, x, y, w, h in planted:
        by_ours = covered(detector, x, y, w, h)
        by_reference = text in reference
        result["ours"] += by_ours
        result["reference"] += by_reference
        if not by_ours:
            result["missedByOurs" if by_reference else "missedByBoth"] = \
                result.get("missedByOurs" if by_reference else "missedByBoth", []) + [detector + " " + text]
        if not by_reference:
            result["missedByReference"].append(detector + " " + text)
    print(json.dumps(result))


if __name__ == "__main__":
    main(*sys.argv[1:4])
