#!/usr/bin/env python3
"""Stamp placement over every page shape and placement option.

Usage: test_stamp_placement.py <path of the quillmark executable>

One generated file holds a page for each rotation (0, 90, 180, 270) x box (media box
at 0 0; media box away from 0 0 with a smaller crop box) x page content that leaves
the graphics state changed (nothing; a cm outside q/Q; a clip; text render mode 3;
Tc/Tw/Tz/Ts left set; a flipped matrix). It is stamped once per combination of the
flips, alignments, -force, angles 0 and 90 and positions (a plain one, centred on one
or both axes, the default one). On every page PyMuPDF must find the stamp's text drawn
visibly, at size 11, inside the crop box, with all its ink under its link, and the
link where the placement puts it: measured on the page as displayed with -force, on
the unrotated page without, from the left and bottom edges, from the right edge with
-fliph and the top edge with -flipv, mirrored as a whole. qpdf --check must find
nothing. Font names that need escaping and odd /Rotate values are checked too.
"""
import itertools
import math
import os
import sys

from corpus_util import need_oracles

need_oracles()
import fitz  # noqa: E402
import pikepdf  # noqa: E402

from corpus_util import Checks, pdf_of, qpdf_check, qpdf_problems, run, work_folder  # noqa: E402

TEXT = "STAMP HERE"  # capitals only: no descender reaches below the link
TARGET = "https://example.com/stamp"
SIZE = 11
MARGIN = 1  # "Thin", the default thickness
BOXES = {
    "media at 0 0": ("[0 0 400 300]", None),
    "offset crop": ("[100 200 620 600]", "[140 230 560 570]"),
}
# Page content that leaves the graphics state changed at its end.
STATES = {
    "clean": "BT /F1 9 Tf {x} {y} Td (plain page) Tj ET",
    "cm outside q": "0.8 g 300 0 0 200 {x} {y} cm 0 0 1 1 re f",
    "clip": "{x} {y} 4 4 re W n 0 g {x} {y} 4 4 re f",
    "render mode 3": "BT 3 Tr /F1 12 Tf {x} {y} Td (ocr layer) Tj ET",
    "spacing left set": "BT 8 Tc 30 Tw 250 Tz 40 Ts /F1 12 Tf {x} {y} Td (spaced) Tj ET",
    "flipped matrix": "1 0 0 -1 0 {flip} cm BT /F1 9 Tf {x} {y} Td (flipped) Tj ET",
}
check = Checks()


def numbers(box):
    return [float(v) for v in box.strip("[]").split()]


def build_pdf(pages):
    """pages: list of (media, crop or None, rotate text, content bytes)."""
    n = len(pages)
    font = 3 + 2 * n
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>",
            ("<< /Type /Pages /Kids [%s] /Count %d >>"
             % (" ".join("%d 0 R" % (3 + 2 * i) for i in range(n)), n)).encode()]
    for i, (media, crop, rot, content) in enumerate(pages):
        crop_entry = " /CropBox %s" % crop if crop else ""
        objs.append(("<< /Type /Page /Parent 2 0 R /MediaBox %s%s /Rotate %s /Contents %d 0 R "
                     "/Resources << /Font << /F1 %d 0 R >> >> >>"
                     % (media, crop_entry, rot, 4 + 2 * i, font)).encode())
        objs.append(b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream")
    objs.append(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    return pdf_of(objs, header=b"%PDF-1.4\n")


def matrix_pages():
    """The pages of the matrix file with what each is: (rotation, box name, state)."""
    pages, shapes = [], []
    for rot, (box_name, (media, crop)), (state, content) in itertools.product(
            (0, 90, 180, 270), BOXES.items(), STATES.items()):
        x1, y1, x2, y2 = numbers(crop or media)
        text = content.format(x=x1 + 10, y=y1 + 10, flip=y1 + y2)
        pages.append((media, crop, str(rot), text.encode()))
        shapes.append((rot, box_name, state))
    return pages, shapes


class Run:
    def __init__(self, flipv=False, fliph=False, align="left", force=False, angle=0, pos=(75, 75)):
        self.flipv, self.fliph, self.align, self.force, self.angle, self.pos = flipv, fliph, align, force, angle, pos

    def args(self):
        a = ["-text", TEXT, "-link", TARGET, "-colorFF0000", "-align", self.align, "-angle%d" % self.angle]
        if self.pos is not None:
            a.append("-pos%d,%d" % self.pos)
        a += ["-flipv"] * self.flipv + ["-fliph"] * self.fliph + ["-force"] * self.force
        return a

    def __str__(self):
        return " ".join(self.args()[4:])


def expected_box(run_opts, width, height, length):
    """The text's box (x1, y1, x2, y2, y upward) on a page of width x height as the
    placement rules give it, in the frame the position is measured in."""
    px, py = run_opts.pos if run_opts.pos is not None else (20, 10)
    a = math.radians(run_opts.angle)
    c, s = round(math.cos(a), 9), round(math.sin(a), 9)
    u = width / 2 if px == -1 else px
    v = height / 2 if py == -1 else py
    if run_opts.align != "left":
        d = int(length / 2 if run_opts.align == "center" else length)
        u, v = u - d * c, v - d * s
    xs = [0, length * c, -SIZE * s, length * c - SIZE * s]
    ys = [0, length * s, SIZE * c, length * s + SIZE * c]
    box = [u + min(xs), v + min(ys), u + max(xs), v + max(ys)]
    # The flips mirror the box across the middle of the page; a centred axis stays.
    if run_opts.fliph and px != -1:
        box[0], box[2] = width - box[2], width - box[0]
    if run_opts.flipv and py != -1:
        box[1], box[3] = height - box[3], height - box[1]
    return box


def is_red(colour):
    return isinstance(colour, (tuple, list)) and len(colour) == 3 and tuple(round(v, 2) for v in colour) == (1, 0, 0)


def qpdf_clean(path):
    """qpdf --check finds neither an error nor a warning (exit status 0)."""
    return qpdf_check(path)[0] == 0


def red_pixels(pix, clip=None):
    """Pixels of the stamp's colour (pure red, antialiased edges included)."""
    total = 0
    for colour, count in pix.color_count(colors=True, clip=clip).items():
        r, g, b = colour[0], colour[1], colour[2]
        if r - max(g, b) > 60:
            total += count
    return total


def check_page(page, run_opts, length, what):
    """The stamp on one PyMuPDF page of an output."""
    links = [lk for lk in page.get_links() if lk.get("uri") == TARGET]
    check(len(links) == 1, "%s: %d stamp links" % (what, len(links)))
    if len(links) != 1:
        return
    link = links[0]["from"]  # as displayed
    shown = page.rect  # the crop box as displayed
    to_shown = page.rotation_matrix  # text coordinates are those of the unrotated page
    spans = [s for s in page.get_texttrace() if is_red(s["color"])]
    drawn = "".join(chr(ch[0]) for s in spans for ch in s["chars"])
    check(drawn == TEXT, "%s: stamp text %r" % (what, drawn))
    for s in spans:
        check(s["type"] == 0 and s["opacity"] == 1.0, "%s: text drawn as type %s" % (what, s["type"]))
        for ch in s["chars"]:
            r = fitz.Rect(ch[3]) * to_shown
            inside = (r.x0 >= shown.x0 - 0.5 and r.y0 >= shown.y0 - 0.5 and r.x1 <= shown.x1 + 0.5
                      and r.y1 <= shown.y1 + 0.5)
            check(inside, "%s: %r at %s outside the page %s" % (what, chr(ch[0]), r, shown))
    # Every bit of red ink lies under the link (the text advances a little beyond the
    # placement length, which rounds the width down).
    pix = page.get_pixmap(alpha=False)
    under = fitz.Rect(link.x0 - 1.5, link.y0 - 1.5, link.x1 + 1.5, link.y1 + 1.5).irect
    ink = red_pixels(pix, clip=under)
    check(ink > 20, "%s: no visible stamp ink (%d pixels)" % (what, ink))
    pix.set_rect(under, (255, 255, 255))
    outside = red_pixels(pix)
    check(outside == 0, "%s: %d pixels of stamp ink outside its link %s" % (what, outside, link))
    # The link lies where the placement puts it.
    rot = page.rotation
    crop = page.cropbox
    if run_opts.force:
        w, h = shown.width, shown.height
        b = expected_box(run_opts, w, h, length)
        want = fitz.Rect(b[0], h - b[3], b[2], h - b[1])
    else:
        w, h = crop.width, crop.height
        b = expected_box(run_opts, w, h, length)
        want = fitz.Rect(b[0], h - b[3], b[2], h - b[1]) * to_shown
    ok = (link.x0 <= want.x0 + 0.01 and link.y0 <= want.y0 + 0.01 and link.x1 >= want.x1 - 0.01
          and link.y1 >= want.y1 - 0.01 and link.x0 >= want.x0 - MARGIN - 0.01
          and link.y0 >= want.y0 - MARGIN - 0.01 and link.x1 <= want.x1 + MARGIN + 0.01
          and link.y1 <= want.y1 + MARGIN + 0.01)
    check(ok, "%s: link %s, expected %s (rotation %d)" % (what, link, want, rot))


def stamp_length(out):
    with pikepdf.open(out) as pdf:
        for obj in pdf.objects:
            if isinstance(obj, pikepdf.Dictionary) and obj.get("/Subtype") == "/TrueType" and "/Widths" in obj:
                widths = [int(w) for w in obj.Widths]
                return (sum(widths[b] for b in TEXT.encode("cp1252")) // 72) * (SIZE / 14.0)
    return None


def stamp_and_check(exe, src, out, run_opts, shapes, length=None):
    rc, stdout, _ = run(exe, [src, out] + run_opts.args())
    check(rc == 0, "%s: exit %d %r" % (run_opts, rc, stdout[-120:]))
    if rc != 0:
        return length
    check(qpdf_clean(out), "%s: qpdf --check %s" % (run_opts, sorted(qpdf_problems(out))))
    if length is None:
        length = stamp_length(out)
    doc = fitz.open(out)
    for i, page in enumerate(doc):
        rot, box, state = shapes[i]
        check_page(page, run_opts, length, "%s | page %d (%d, %s, %s)" % (run_opts, i + 1, rot, box, state))
    doc.close()
    return length


def runs():
    out = []
    for flipv, fliph, align, force, angle in itertools.product(
            (False, True), (False, True), ("left", "center", "right"), (False, True), (0, 90)):
        out.append(Run(flipv, fliph, align, force, angle))
    # Centred on one or both axes, with each flip (a flip on a centred axis does nothing).
    for flipv, fliph, align, force in itertools.product(
            (False, True), (False, True), ("left", "center", "right"), (False, True)):
        out.append(Run(flipv, fliph, align, force, 0, (-1, -1)))
    for flipv, fliph, force, pos in itertools.product((False, True), (False, True), (False, True),
                                                      ((-1, 75), (75, -1))):
        out.append(Run(flipv, fliph, "right", force, 0, pos))
    # The default position keeps the text inside the page with either flip.
    for flipv, fliph, force in itertools.product((False, True), (False, True), (False, True)):
        out.append(Run(flipv, fliph, "left", force, 0, None))
    return out


def font_names(exe, work, src):
    """Font names with spaces and delimiters are written as escaped names."""
    fonts = os.path.join(work, "fonts.txt")
    length = None
    with open(fonts, "w") as f:
        widths = "|".join(["600"] * 256)
        f.write("FONT|My Face (Test) #2|-50|-200|1000|900|a|b|c|d|e|f|%s\n" % widths)
    cases = [
        (["-font", "Arial Bold"], "Arial Bold"),
        (["-font", "Times-Roman"], "Times-Roman"),
        (["-fontfile", fonts, "-font", "My Face (Test) #2"], "My Face (Test) #2"),
    ]
    for extra, name in cases:
        out = os.path.join(work, "font.pdf")
        rc, stdout, _ = run(exe, [src, out, "-text", TEXT, "-link", TARGET, "-colorFF0000", "-pos75,75"] + extra)
        check(rc == 0, "font %r: exit %d %r" % (name, rc, stdout[-120:]))
        if rc != 0:
            continue
        check(qpdf_clean(out), "font %r: qpdf --check %s" % (name, sorted(qpdf_problems(out))))
        with pikepdf.open(out) as pdf:
            fonts_seen = [o for o in pdf.objects if isinstance(o, pikepdf.Dictionary)
                          and o.get("/Subtype") == "/TrueType"]
            check(len(fonts_seen) == 1 and str(fonts_seen[0].BaseFont) == "/" + name,
                  "font %r: BaseFont %s" % (name, [str(o.get("/BaseFont")) for o in fonts_seen]))
            if fonts_seen:
                desc = fonts_seen[0].FontDescriptor
                check(str(desc.FontName) == "/" + name, "font %r: FontName %s" % (name, desc.FontName))
                widths = [int(w) for w in fonts_seen[0].Widths]
                length = (sum(widths[b] for b in TEXT.encode("cp1252")) // 72) * (SIZE / 14.0)
        doc = fitz.open(out)
        check_page(doc[0], Run(), length, "font %r" % name)
        doc.close()


def odd_rotations(exe, work):
    """/Rotate values that are large, negative, fractional or not quarter turns are
    reduced modulo 360; what is then not a quarter turn turns nothing."""
    values = [("450", 90), ("-90", 270), ("-630", 90), ("90.0", 90), ("540.0", 180), ("45", 0), ("100.5", 0),
              ("2147483610", 90), ("3600000090", 0), ("1000000000000000000000000000000.0", 0), ("-0", 0)]
    pages = [("[0 0 400 300]", None, v, b"BT /F1 9 Tf 20 20 Td (odd) Tj ET") for v, _ in values]
    src = os.path.join(work, "rotate.pdf")
    with open(src, "wb") as f:
        f.write(build_pdf(pages))
    out = os.path.join(work, "rotate-out.pdf")
    rc, _, _ = run(exe, [src, out, "-text", TEXT, "-link", TARGET, "-pos75,60", "-force"])
    check(rc == 0, "odd rotations: exit %d" % rc)
    if rc != 0:
        return
    length = stamp_length(out)
    with pikepdf.open(out) as pdf:
        for (value, turn), page in zip(values, pdf.pages):
            rect = None
            for annot in page.get("/Annots", []):
                if annot.get("/A") is not None and bytes(annot.A.get("/URI", b"")) == TARGET.encode():
                    rect = [float(v) for v in annot.Rect]
            # Where the stamp goes on a 400 x 300 page turned by turn degrees.
            w, h = (300, 400) if turn in (90, 270) else (400, 300)
            u1, v1, u2, v2 = expected_box(Run(force=True, pos=(75, 60)), w, h, length)
            corners = {0: lambda u, v: (u, v), 90: lambda u, v: (400 - v, u),
                       180: lambda u, v: (400 - u, 300 - v), 270: lambda u, v: (v, 300 - u)}[turn]
            pts = [corners(u1, v1), corners(u2, v2)]
            want = [min(p[0] for p in pts) - MARGIN, min(p[1] for p in pts) - MARGIN,
                    max(p[0] for p in pts), max(p[1] for p in pts)]
            ok = rect is not None and all(abs(a - b) < 0.01 for a, b in zip(rect, want))
            check(ok, "Rotate %s: link %s, expected %s" % (value, rect, want))


def main():
    exe = os.path.abspath(sys.argv[1])
    with work_folder("qm_place_") as work:
        pages, shapes = matrix_pages()
        src = os.path.join(work, "shapes.pdf")
        with open(src, "wb") as f:
            f.write(build_pdf(pages))
        check(qpdf_clean(src), "the generated input is not clean: %s" % sorted(qpdf_problems(src)))
        out = os.path.join(work, "out.pdf")
        length = None
        all_runs = runs()
        for run_opts in all_runs:
            length = stamp_and_check(exe, src, out, run_opts, shapes, length)
        font_names(exe, work, src)
        odd_rotations(exe, work)
    return check.summary("stamp placement: all %d runs passed" % len(all_runs), "%d failure(s)")


if __name__ == "__main__":
    sys.exit(main())
