#!/usr/bin/env python3
"""Stamp mode over the corpus.

Usage: test_stamp_corpus.py <path of the quillmark executable>

Every corpus file that opens is stamped twice: once plainly and once with both
flips, right alignment, an angle and the page rotation followed. On every page the
output must carry exactly one new link to the stamp target, with the rectangle the
placement rules give, and the words "Visit Example" must start at the computed text
origin; qpdf --check must find nothing the input does not have. A run limited to
page 2 leaves every other page object as it was. A font without metrics is refused
with "Document error" and leaves no output.
"""
import json
import math
import os
import subprocess
import sys

from corpus_util import need_oracles

need_oracles()
import fitz  # noqa: E402
import pikepdf  # noqa: E402

from corpus_util import Checks, corpus_files, new_qpdf_problems, page_boxes, run, work_folder  # noqa: E402

TEXT = "Visit Example"
TARGET = "https://example.com/a(b)c"
BASE = ["-text", TEXT, "-link", TARGET, "-pos72,72", "-linkcolor0000FF"]
RUNS = {
    "plain": dict(args=[], flipv=False, fliph=False, align="left", angle=0, force=False),
    "flipped": dict(args=["-flipv", "-fliph", "-align", "right", "-angle90", "-force"], flipv=True, fliph=True,
                    align="right", angle=90, force=True),
}
SIZE = 11
MARGIN = 1  # "Thin", the default thickness
check = Checks()


def place(box, rot, run_opts, length, margin):
    """The stamp placement: text origin, angle and link rectangle."""
    bx1, by1, bx2, by2 = box
    px, py = 72.0, 72.0
    r = rot if run_opts["force"] and rot in (90, 180, 270) else 0
    # The position from the displayed page's lower-left corner, in the page's own space.
    x, y = {0: (bx1 + px, by1 + py), 90: (bx2 - py, by1 + px), 180: (bx2 - px, by2 - py),
            270: (bx1 + py, by2 - px)}[r]
    a = float(run_opts["angle"] + r)
    rad = math.radians(a)
    c, s = math.cos(rad), math.sin(rad)
    if a % 90 == 0:
        c, s = round(c), round(s)
    if run_opts["align"] != "left":
        d = int(length / 2 if run_opts["align"] == "center" else length)
        x, y = x - d * c, y - d * s
    # The link covers the text box turned by the text's angle.
    xs = [0, length * c, -SIZE * s, length * c - SIZE * s]
    ys = [0, length * s, SIZE * c, length * s + SIZE * c]
    # The flips mirror that box across the middle of the displayed page.
    sideways = r in (90, 270)
    if run_opts["fliph"] if not sideways else run_opts["flipv"]:
        x = bx1 + bx2 - x - (min(xs) + max(xs))
    if run_opts["flipv"] if not sideways else run_opts["fliph"]:
        y = by1 + by2 - y - (min(ys) + max(ys))
    return (x, y, a), (x + min(xs) - margin, y + min(ys) - margin, x + max(xs), y + max(ys))


def stamp_font_widths(pdf):
    for obj in pdf.objects:
        if isinstance(obj, pikepdf.Dictionary) and obj.get("/Subtype") == "/TrueType" and "/Widths" in obj \
                and obj.get("/BaseFont") == "/Arial" and obj.get("/FirstChar") == 0:
            return [int(w) for w in obj.Widths]
    return None


def stamp_links(page):
    found = []
    for annot in page.obj.get("/Annots", []):
        act = annot.get("/A")
        if annot.get("/Subtype") == "/Link" and act is not None and act.get("/URI") is not None:
            if bytes(act.URI) == TARGET.encode():
                found.append([float(v) for v in annot.Rect])
    return found


def text_origin(doc, index, mediabox):
    """PDF-space origin of the first character of TEXT on page index, or None."""
    page = doc[index]
    page.set_rotation(0)
    page.set_cropbox(page.mediabox)
    raw = page.get_text("rawdict", flags=fitz.TEXT_PRESERVE_WHITESPACE)
    for block in raw["blocks"]:
        for line in block.get("lines", []):
            chars = [c for span in line["spans"] for c in span["chars"]]
            s = "".join(c["c"] for c in chars)
            # The last glyph of a text that ends at the page edge may be clipped away.
            at = s.find(TEXT[:-2])
            if at >= 0:
                ox, oy = chars[at]["origin"]
                return ox + mediabox[0], mediabox[3] - oy
    return None


def check_stamped(src, out, truth, name, run_opts, pages_in_range):
    problems = new_qpdf_problems(src, out)
    check(not problems, "%s: qpdf problems %s" % (name, problems))
    with pikepdf.open(out) as pdf:
        widths = stamp_font_widths(pdf)
        check(widths is not None and len(widths) == 256, "%s: stamp font widths" % name)
        if widths is None:
            return
        w = sum(widths[b] for b in TEXT.encode("cp1252"))
        length = (w // 72) * (SIZE / 14.0)
        doc = fitz.open(out)
        for i, page in enumerate(pdf.pages):
            links = stamp_links(page)
            if i + 1 not in pages_in_range:
                check(not links, "%s p%d: stamp outside the range" % (name, i + 1))
                continue
            box, rot = page_boxes(truth, i)
            (x, y, _), rect = place(box, rot, run_opts, length, MARGIN)
            check(len(links) == 1, "%s p%d: %d stamp links" % (name, i + 1, len(links)))
            if links:
                ok = all(abs(a - b) < 0.01 for a, b in zip(links[0], rect))
                check(ok, "%s p%d: rect %s, expected %s" % (name, i + 1, links[0], rect))
            mb = [float(v) for v in truth["pages"][i]["mediabox"]]
            inside = mb[0] <= rect[0] and rect[2] <= mb[2] and mb[1] <= rect[1] and rect[3] <= mb[3]
            if not inside:
                continue  # placed off the page (the flips measure from the far edges): nothing to read
            origin = text_origin(doc, i, mb)
            check(origin is not None, "%s p%d: text not found" % (name, i + 1))
            if origin:
                ok = abs(origin[0] - x) < 0.6 and abs(origin[1] - y) < 0.6
                check(ok, "%s p%d: origin %s, expected %s" % (name, i + 1, origin, (x, y)))
        doc.close()


def page_objects(path):
    p = subprocess.run(["qpdf", "--json=2", "--json-key=pages", path], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL)
    refs = [pg["object"] for pg in json.loads(p.stdout)["pages"]]
    q = subprocess.run(["qpdf", "--json=2", "--json-key=qpdf", "--json-stream-data=none", path],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    objs = json.loads(q.stdout)["qpdf"][1]
    return [objs.get("obj:" + r) for r in refs]


def main():
    exe = os.path.abspath(sys.argv[1])
    with work_folder("qm_stamp_") as work:
        for src, truth in corpus_files():
            name = os.path.basename(src)
            if "damage" in truth:
                continue
            count = len(truth["pages"])
            for label, opts in RUNS.items():
                out = os.path.join(work, label + "-" + name)
                rc, stdout, _ = run(exe, [src, out] + BASE + opts["args"])
                check(rc == 0, "%s %s: exit %d %r" % (name, label, rc, stdout[-120:]))
                if rc == 0:
                    check_stamped(src, out, truth, name + " " + label, opts, set(range(1, count + 1)))
            if count >= 3:
                out = os.path.join(work, "range-" + name)
                rc, stdout, _ = run(exe, [src, out, "-s2", "-e2"] + BASE)
                check(rc == 0, "%s range: exit %d" % (name, rc))
                if rc == 0:
                    check_stamped(src, out, truth, name + " range", RUNS["plain"], {2})
                    before, after = page_objects(src), page_objects(out)
                    for i in range(count):
                        if i != 1:
                            check(before[i] == after[i], "%s range: page %d changed" % (name, i + 1))

        # A font without metrics.
        src = corpus_files()[0][0]
        for s, truth in corpus_files():
            if "damage" not in truth and not truth["structure"].get("encryption"):
                src = s
                break
        out = os.path.join(work, "nofont.pdf")
        rc, stdout, _ = run(exe, [src, out, "-font", "NoSuchFace"] + BASE)
        check(rc == 1, "unknown font: exit %d" % rc)
        check(stdout.endswith(b"Document error\nThe font of the stamp is not known: 'NoSuchFace'\n"),
              "unknown font: message %r" % stdout[-60:])
        check(not os.path.exists(out), "unknown font: output left")
        check(not [n for n in os.listdir(work) if n.endswith(".tmp")], "temporary files left")
    return check.summary("stamp corpus: all passed", "%d failure(s)")


if __name__ == "__main__":
    sys.exit(main())
