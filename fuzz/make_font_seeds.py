#!/usr/bin/env python3
"""Collects seeds for the font fuzz targets from the corpus: CFF (FontFile3) and
Type 1 (FontFile, clear-text part) programs, ToUnicode CMaps (prefixed with the
code-width selector byte of fuzz_cmap) and CMaps for fuzz_cid_cmap.
  python3 fuzz/make_font_seeds.py            (writes fuzz/seeds/fuzz_{cff,type1,cmap,cid_cmap}/)
"""
import glob
import hashlib
import os
import sys

import pikepdf

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SEEDS = os.path.join(ROOT, "fuzz", "seeds")
MAX_PER_TARGET = 12
MAX_BYTES = 16384


def put(target, data, seen):
    if not data or len(seen[target]) >= MAX_PER_TARGET:
        return
    data = bytes(data[:MAX_BYTES])
    h = hashlib.sha1(data).hexdigest()[:16]
    if h in seen[target]:
        return
    seen[target].add(h)
    with open(os.path.join(SEEDS, target, "corpus-" + h), "wb") as f:
        f.write(data)


def main():
    seen = {t: set() for t in ("fuzz_cff", "fuzz_type1", "fuzz_cmap", "fuzz_cid_cmap")}
    for pdf in sorted(glob.glob(os.path.join(ROOT, "tests", "corpus", "*.pdf"))):
        try:
            doc = pikepdf.open(pdf)
        except Exception:
            continue
        for obj in doc.objects:
            if not isinstance(obj, pikepdf.Dictionary):
                continue
            try:
                if obj.get("/Type") == "/FontDescriptor":
                    ff = obj.get("/FontFile")
                    if ff is not None:
                        data = ff.read_bytes()
                        n = int(ff.get("/Length1", len(data)))
                        put("fuzz_type1", data[:n], seen)
                    ff3 = obj.get("/FontFile3")
                    if ff3 is not None and ff3.get("/Subtype") in ("/Type1C", "/CIDFontType0C"):
                        put("fuzz_cff", ff3.read_bytes(), seen)
                tu = obj.get("/ToUnicode")
                if isinstance(tu, pikepdf.Stream):
                    text = tu.read_bytes()
                    two = b"<0000>" in text or b"begincodespacerange\n<0000>" in text
                    put("fuzz_cmap", (b"\x01" if two else b"\x00") + text, seen)
                    put("fuzz_cid_cmap", text, seen)
                enc = obj.get("/Encoding")
                if obj.get("/Subtype") == "/Type0" and isinstance(enc, pikepdf.Stream):
                    put("fuzz_cid_cmap", enc.read_bytes(), seen)
            except Exception as e:  # a damaged file: skip the object
                print("skip %s: %s" % (os.path.basename(pdf), e), file=sys.stderr)
    for t, s in sorted(seen.items()):
        print("%s: %d seeds" % (t, len(s)))


if __name__ == "__main__":
    main()
