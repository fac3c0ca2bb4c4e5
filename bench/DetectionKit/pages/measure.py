#!/usr/bin/env python3
"""measure.py DETECT_IMAGE CASE_DIR: runs detect-image once over every screen of CASE_DIR and prints
per screen the items found (as check.py counts them: detections cover 90% of the item's box), then
per shape, then every decoy that a detection covers by half or more, with what was reported."""
import glob
import json
import os
import subprocess
import sys
from collections import defaultdict

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tests", "DetectionKit", "cases", "regression"))
from check import covered  # noqa: E402


def touching(box, detections):
    return [d for d in detections if d["box"][0] < box[0] + box[2] and box[0] < d["box"][0] + d["box"][2]
            and d["box"][1] < box[1] + box[3] and box[1] < d["box"][1] + d["box"][3]]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    tool, folder = sys.argv[1], sys.argv[2]
    truths = []
    for path in sorted(glob.glob(os.path.join(folder, "*.json"))):
        with open(path, encoding="utf-8") as f:
            truth = json.load(f)
        if "items" in truth:
            truths.append(truth)
    images = [os.path.join(folder, t["image"]) for t in truths]
    env = dict(os.environ, QT_QPA_PLATFORM=os.environ.get("QT_QPA_PLATFORM", "offscreen"))
    run = subprocess.run([tool, *images], capture_output=True, text=True, env=env)
    if run.returncode != 0:
        sys.exit(f"measure: {tool} failed: {run.stderr[-2000:]}")
    found_by_image = defaultdict(list)
    for line in run.stdout.splitlines():
        try:
            record = json.loads(line)
        except ValueError:
            continue
        if isinstance(record, dict) and "detector" in record and "box" in record:
            found_by_image[record["image"]].append(record)

    shapes = defaultdict(lambda: [0, 0])
    reported = []
    passed = failed = 0
    for truth, image in zip(truths, images):
        detections = found_by_image[image]
        hits = 0
        for item in truth["items"]:
            ok = covered(item["box"], [d["box"] for d in touching(item["box"], detections)]) >= 0.9
            hits += ok
            shape = f"{item['detector']}: {item.get('shape', '-')}"
            shapes[shape][0] += ok
            shapes[shape][1] += 1
        for decoy in truth.get("decoys", []):
            near = touching(decoy["box"], detections)
            if covered(decoy["box"], [d["box"] for d in near]) >= 0.5:
                # Named are the detections that cover a quarter of the decoy, not a neighbour's edge.
                named = [d for d in near if covered(decoy["box"], [d["box"]]) >= 0.25]
                reported.append((truth["image"], decoy["text"], [f"{d['detector']} '{d['text']}'" for d in named]))
        decoys = len(truth.get("decoys", []))
        flagged = sum(1 for r in reported if r[0] == truth["image"])
        print(f"{truth['image']}: {hits}/{len(truth['items'])} items found, {flagged}/{decoys} decoys reported")
        passed += hits
        failed += len(truth["items"]) - hits
    print("\nper shape (found/planted):")
    for shape, (hits, total) in sorted(shapes.items()):
        print(f"  {hits:3}/{total:<3} {shape}")
    print(f"\ndecoys reported: {len(reported)}")
    for image, text, why in reported:
        print(f"  {image}: '{text}' <- {', '.join(why)}")
    print(f"\n{passed} passed, {failed} failed")


if __name__ == "__main__":
    main()
