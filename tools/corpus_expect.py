#!/usr/bin/env python3
"""Writes tests/pdf/corpus_expect.txt from the ground-truth JSON of tests/corpus.

One line per PDF: file name, what opening must give (ok, encrypted, damaged),
page count, the page rotations and the page object numbers (comma separated,
"-" when unknown). Run from the repository root after the corpus changes."""
import glob
import json
import os

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
lines = []
for path in sorted(glob.glob(os.path.join(root, "tests", "corpus", "*.json"))):
    d = json.load(open(path))
    name = os.path.basename(path)[:-5] + ".pdf"
    situations = d.get("situations", [])
    if any(s.startswith("damaged") for s in situations):
        kind = "damaged"
    elif "encrypted" in situations:
        kind = "encrypted"
    else:
        kind = "ok"
    pages = d.get("pages", [])
    count = d.get("page_count") if d.get("page_count") is not None else -1
    rot = ",".join(str(p.get("rotate", 0)) for p in pages) or "-"
    objs = ",".join(str(p.get("obj", "0")).split()[0] for p in pages) or "-"
    lines.append(f"{name} {kind} {count} {rot} {objs}")
with open(os.path.join(root, "tests", "pdf", "corpus_expect.txt"), "w") as f:
    f.write("\n".join(lines) + "\n")
