#!/usr/bin/env python3
"""Draws which folder includes which and fails when one includes a folder
above it, or two folders of one floor include each other. Usage: floors.py [ROOT]"""
import pathlib
import re
import sys

# From the ground up; a folder may include its own floor's and those below.
FLOORS = [["common"], ["settings", "smtp", "log", "parameters", "wmi"], ["notify"], ["monitor", "metrics"],
          ["ui", "res"], ["app"]]
FLOOR = {folder: level for level, folders in enumerate(FLOORS) for folder in folders}


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    arrows = {}
    for folder in FLOOR:
        for path in sorted((root / folder).glob("*.[ch]*")):
            for target in re.findall(r'^#include "([a-z_]+)/', path.read_text(encoding="utf-8"), re.M):
                if target in FLOOR and target != folder:
                    arrows.setdefault((folder, target), path.relative_to(root))
    back = [(a, b, where) for (a, b), where in arrows.items()
            if FLOOR[b] > FLOOR[a] or (FLOOR[b] == FLOOR[a] and (b, a) in arrows)]
    for a, b in sorted(arrows):
        print("%s -> %s" % (a, b))
    for a, b, where in back:
        print("BACK: %s includes %s (%s)" % (a, b, where))
    print("arrows that run back up: %d" % len(back))
    return 1 if back else 0


if __name__ == "__main__":
    sys.exit(main())
