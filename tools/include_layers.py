#!/usr/bin/env python3
"""Draws the include graph of src/ by layer and fails on an upward edge.

The layers, lowest first: platform, str, core, mem, script, vorla. A file may
include headers of its own layer and of the layers below it. Above the
platform layer, only the C++ standard library's headers may be included
with angle brackets: system headers belong to the platform layer.

Usage: include_layers.py [source root]; prints one line per edge between
layers with the number of includes behind it, then every fault.
"""
import collections
import pathlib
import re
import sys

LAYERS = ["platform", "zizezaz/str", "zizezaz/core", "zizezaz/mem", "zizezaz/script", "vorla"]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def layer_of(path):
    for rank, name in enumerate(LAYERS):
        if path == name or path.startswith(name + "/"):
            return rank
    return None


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".") / "src"
    edges = collections.Counter()
    faults = []
    for file in sorted(root.rglob("*")):
        if file.suffix not in (".h", ".cpp"):
            continue
        relative = file.relative_to(root).as_posix()
        own = layer_of(relative)
        if own is None:
            faults.append(f"{relative}: lies in no layer")
            continue
        for bracket, target in INCLUDE.findall(file.read_text(encoding="utf-8")):
            if bracket == "<":
                if own > 0 and ("." in target or "/" in target):
                    faults.append(f"{relative}: system header <{target}> above the platform layer")
                continue
            rank = layer_of(target)
            if rank is None:
                faults.append(f"{relative}: includes {target}, which lies in no layer")
                continue
            edges[(LAYERS[own], LAYERS[rank])] += 1
            if rank > own:
                faults.append(f"{relative}: includes {target} from a higher layer")
    for (source, target), count in sorted(edges.items(), key=lambda e: (LAYERS.index(e[0][0]), LAYERS.index(e[0][1]))):
        print(f"{source} -> {target} ({count})")
    for fault in faults:
        print("FAULT " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
