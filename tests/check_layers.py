#!/usr/bin/env python3
"""Checks that every #include "..." of the tree points down the layers:

    platform  <-  state (app/AppState, app/Relaxed, app/SharedTypes,
                  settings/Settings)  <-  settings, render, output  <-  ui
              <-  the programs (app/, cli/), bench/ and tests/

and that no two modules (a .h with its .cpp) include each other. Run by
CTest; prints every wrong-way include with its file and line.
"""
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')

STATE = {"app/AppState.h", "app/Relaxed.h", "app/SharedTypes.h", "settings/Settings.h"}
LEAF_TYPES = {"app/SharedTypes.h"}


def Layer(path):
    """The layer of a file of the tree, or None for files outside them."""
    if path in STATE or path == "app/AppState.cpp":
        return "state"
    folder = path.split("/")[0]
    if folder == "app":
        return "program"
    if folder in ("platform", "settings", "render", "output", "ui", "cli", "bench", "tests", "resources"):
        return folder
    return None


# What each layer may include, besides its own folder.
ALLOWED = {
    "platform": {"platform"},
    "state": {"platform", "state"},
    "settings": {"platform", "state", "settings", "resources"},
    "render": {"platform", "state", "render"},
    "output": {"platform", "state", "output"},
    "ui": {"platform", "state", "settings", "render", "output", "ui", "resources"},
    "resources": {"resources"},
    "program": {"platform", "state", "settings", "render", "output", "ui", "resources", "program"},
    "cli": {"platform", "state", "settings", "render", "output", "ui", "cli"},
    "bench": {"platform", "state", "settings", "render", "output", "ui", "bench"},
    "tests": {"platform", "state", "settings", "render", "output", "ui", "resources", "program", "cli", "tests"},
}


def Sources():
    for top in ("platform", "app", "settings", "render", "output", "ui", "resources", "cli", "bench", "tests"):
        for base, _, files in os.walk(os.path.join(ROOT, top)):
            for name in files:
                if name.endswith((".h", ".cpp", ".rc")):
                    yield os.path.relpath(os.path.join(base, name), ROOT).replace(os.sep, "/")


def Includes(path):
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                target = m.group(1)
                if "/" not in target:  # beside the file
                    target = os.path.dirname(path) + "/" + target
                yield number, target


def main():
    problems = []
    graph = {}
    for path in Sources():
        layer = Layer(path)
        own = path.split("/")[0]
        for number, target in Includes(path):
            graph.setdefault(os.path.splitext(path)[0], set()).add(os.path.splitext(target)[0])
            target_layer = Layer(target)
            if target_layer is None:
                continue
            ok = target_layer in ALLOWED[layer] or target.split("/")[0] == own and layer != "state"
            if layer == "platform" and target in LEAF_TYPES:
                ok = True
            if layer == "state" and target_layer not in ("state", "platform"):
                ok = False
            if ok:
                continue
            problems.append("%s:%d includes %s (%s may not include %s)" % (path, number, target, layer, target_layer))
    for module, targets in sorted(graph.items()):
        for other in sorted(targets):
            if other != module and module in graph.get(other, ()) and module < other:
                problems.append("%s and %s include each other" % (module, other))
    for p in problems:
        print(p)
    if problems:
        return 1
    print("layers: every include points down (%d files)" % len(list(Sources())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
