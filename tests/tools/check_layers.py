#!/usr/bin/env python3
"""Checks the layering of src/: outside-library headers only in platform/, ui/ (and app/), and no
include cycles between folders."""
import pathlib
import re
import sys

src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
outside = re.compile(r'#\s*include\s*[<"](Q[A-Za-z]+|qt[a-z]*/|gst/|curl/|alsa/|espeak|sndfile|gsm|soxr)')
local = re.compile(r'#\s*include\s*"([a-z_]+(?:/[a-z_]+)?)/[^"/]+\.h"')

def folder(path):
    rel = path.relative_to(src).parts
    return "/".join(rel[:2]) if rel[0] == "platform" else rel[0]

problems = []
edges = {}
for f in sorted(src.rglob("*")):
    if f.suffix not in (".h", ".cpp"):
        continue
    me = folder(f)
    text = f.read_text(errors="replace")
    if not (me.startswith("platform") or me == "ui") and outside.search(text):
        problems.append(f"{f}: outside-library header in tool code")
    for m in local.finditer(text):
        target = m.group(1)
        if target != me:
            edges.setdefault(me, set()).add(target)

# A cycle is a folder that reaches itself.
def reaches(start):
    seen, stack = set(), [start]
    while stack:
        for nxt in edges.get(stack.pop(), ()):
            if nxt == start:
                return True
            if nxt not in seen:
                seen.add(nxt)
                stack.append(nxt)
    return False

for node in sorted(edges):
    if reaches(node):
        problems.append(f"include cycle through {node}: {sorted(edges[node])}")

for p in problems:
    print(p)
print(f"{len(edges)} folders checked, {len(problems)} problems")
sys.exit(1 if problems else 0)
