#!/usr/bin/env python3
"""The app's folders form layers: a folder includes only itself and the folders below it.

Shared parts (logging, the design system with its window chrome, the capture library, the
distribution channel) sit at the bottom; the features (review canvas, editor, settings, walkthrough,
overlay) above them, each using only what lies below; the pipeline and the shell, which wire the
features together, at the top. An include that runs back up is reported with its file and line.
"""
import pathlib
import re
import sys

LAYERS = ["Logging", "Design", "Library", "Channel", "Review", "Editor", "Settings",
          "Onboarding", "Overlay", "Pipeline", "Shell"]
INCLUDE = re.compile(r'#include\s+"BrindlecastApp/([A-Za-z]+)/')


def main(app_dir: pathlib.Path) -> int:
    rank = {name: i for i, name in enumerate(LAYERS)}
    faults = []
    for folder in sorted(p for p in app_dir.iterdir() if p.is_dir()):
        if folder.name not in rank:
            faults.append(f"{folder.name}/: a folder with no place in the layers")
            continue
        for source in sorted(folder.rglob("*")):
            if source.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(source.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.search(line)
                if match and rank.get(match.group(1), -1) > rank[folder.name]:
                    faults.append(f"{source.relative_to(app_dir)}:{number}: includes {match.group(1)}/, "
                                  f"a layer above {folder.name}/")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
