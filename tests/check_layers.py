#!/usr/bin/env python3
"""Checks that every #include "..." of the tree points down the layers:

    base (leaf types)  <-  platform  <-  state (app/AppState,
                  settings/Settings)  <-  settings, render, output  <-  ui
              <-  the programs (app/, cli/), bench/ and tests/

app/AppState.h is the one header of app/ below the programs: the state
record's home is the window program's folder.

that the modules (a .h with its .cpp) include each other in no cycle of any
length, and that no .cpp declares by hand a function it does not define:
such a prototype hides a dependency from the compiler and from this check, so
a function used by another file is declared in a header. Run by CTest;
prints every problem with its file and line.
"""
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')

STATE = {"app/AppState.h", "settings/Settings.h"}


def Layer(path):
    """The layer of a file of the tree, or None for files outside them."""
    if path in STATE or path == "app/AppState.cpp":
        return "state"
    folder = path.split("/")[0]
    if folder == "app":
        return "program"
    if folder in ("base", "platform", "settings", "render", "output", "ui", "cli", "bench", "tests", "resources"):
        return folder
    return None


# What each layer may include, besides its own folder.
ALLOWED = {
    "base": {"base"},
    "platform": {"base", "platform"},
    "state": {"base", "platform", "state"},
    "settings": {"base", "platform", "state", "settings", "resources"},
    "render": {"base", "platform", "state", "render"},
    "output": {"base", "platform", "state", "output"},
    "ui": {"base", "platform", "state", "settings", "render", "output", "ui", "resources"},
    "resources": {"resources"},
    "program": {"base", "platform", "state", "settings", "render", "output", "ui", "resources", "program"},
    "cli": {"base", "platform", "state", "settings", "render", "output", "ui", "cli"},
    "bench": {"base", "platform", "state", "settings", "render", "output", "ui", "bench"},
    "tests": {"base", "platform", "state", "settings", "render", "output", "ui", "resources", "program", "cli", "tests"},
}


def Sources():
    for top in ("base", "platform", "app", "settings", "render", "output", "ui", "resources", "cli", "bench", "tests"):
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


def StronglyConnected(graph):
    """The cycles of the include graph: its strongly connected parts of more
    than one module (Tarjan's algorithm, without recursion)."""
    index, low, onStack, stack, parts = {}, {}, set(), [], []
    counter = [0]
    for root in sorted(graph):
        if root in index:
            continue
        work = [(root, iter(sorted(graph.get(root, ()))))]
        index[root] = low[root] = counter[0]
        counter[0] += 1
        stack.append(root)
        onStack.add(root)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in index:
                    index[child] = low[child] = counter[0]
                    counter[0] += 1
                    stack.append(child)
                    onStack.add(child)
                    work.append((child, iter(sorted(graph.get(child, ())))))
                    advanced = True
                    break
                if child in onStack:
                    low[node] = min(low[node], index[child])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                part = []
                while True:
                    member = stack.pop()
                    onStack.discard(member)
                    part.append(member)
                    if member == node:
                        break
                if len(part) > 1:
                    parts.append(sorted(part))
    return sorted(parts)


COMMENT = re.compile(r"//[^\n]*|/\*.*?\*/", re.S)
STRING = re.compile(r'"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'')
# A declaration's or definition's head: return type words, then the name and
# its parameter list.
FUNCTION = re.compile(r"^(?:template\s*<[^;{}]*>\s*)?(?:[A-Za-z_][\w:<>,]*[\s\*&]+)+[\*&]*([A-Za-z_]\w*)\s*\(.*\)\s*(?:const\s*)?(?:noexcept\s*)?$", re.S)
NOT_A_FUNCTION = re.compile(r"^(?:typedef|using|return|static_assert|friend|extern\s+\"C\")\b")


def TopLevel(path):
    """The statements of a file outside every function and class body, each
    with its line and whether it opens a body: (line, text, opensBody).
    Namespace and extern "C" braces do not count as bodies."""
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
        text = f.read()
    blank = lambda m: re.sub(r"[^\n]", " ", m.group(0))
    text = COMMENT.sub(blank, STRING.sub(blank, text))
    text = re.sub(r"^[ \t]*#.*$", "", text, flags=re.M)
    depth, opened, start, out = 0, [], 0, []
    for i, ch in enumerate(text):
        if ch not in "{};":
            continue
        statement = text[start:i]
        if ch == "{":
            transparent = depth == 0 and re.match(r"^\s*(?:namespace\b[\w\s:]*|extern\s*)$", statement)
            if depth == 0 and not transparent:
                out.append((text.count("\n", 0, start + len(statement) - len(statement.lstrip())) + 1,
                            " ".join(statement.split()), True))
            opened.append(not transparent)
            if not transparent:
                depth += 1
        elif ch == "}":
            if opened and opened.pop():
                depth -= 1
        elif depth == 0:
            out.append((text.count("\n", 0, start + len(statement) - len(statement.lstrip())) + 1,
                        " ".join(statement.split()), False))
        start = i + 1
    return out


def HandWrittenPrototypes(path):
    """Functions a .cpp declares without defining them: (line, name)."""
    declared, defined = [], set()
    for line, statement, opensBody in TopLevel(path):
        if "=" in statement.split("(")[0] or NOT_A_FUNCTION.match(statement):
            continue
        m = FUNCTION.match(statement)
        if not m:
            continue
        if opensBody:
            defined.add(m.group(1))
        else:
            declared.append((line, m.group(1)))
    return [(line, name) for line, name in declared if name not in defined]


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
            if layer == "state" and target_layer not in ("state", "platform", "base"):
                ok = False
            if ok:
                continue
            problems.append("%s:%d includes %s (%s may not include %s)" % (path, number, target, layer, target_layer))
    for cycle in StronglyConnected(graph):
        problems.append("these modules include each other in a cycle: %s" % ", ".join(cycle))
    for path in Sources():
        if path.endswith(".cpp"):
            for line, name in HandWrittenPrototypes(path):
                problems.append("%s:%d declares %s, which it does not define: declare it in a header" %
                                (path, line, name))
    for p in problems:
        print(p)
    if problems:
        return 1
    print("layers: every include points down, no cycle, no hand-written prototype (%d files)" % len(list(Sources())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
