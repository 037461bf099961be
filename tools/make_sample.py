#!/usr/bin/env python3
"""Writes examples/sample.pdf: a small three-page PDF for the demo.

The pages carry plain text in Helvetica (WinAnsiEncoding), with web addresses in the
text, a phrase that repeats on every page, and one existing URI link on page 1. The
file is written by hand (classic cross-reference table, uncompressed content) so it
needs nothing but Python. Usage: tools/make_sample.py [output path]
"""
import os
import sys

PAGES = [
    [
        (72, 720, 20, "Quillmark sample, page 1"),
        (72, 690, 12, "Visit www.example.com for the latest news."),
        (72, 672, 12, "The project home page is https://quillmark.example.com/home."),
        (72, 654, 12, "Write to mailto:support@quillmark.example.com with questions."),
        (72, 620, 12, "Quarterly sales summary: revenue grew in every region."),
    ],
    [
        (72, 720, 20, "Quillmark sample, page 2"),
        (72, 690, 12, "Downloads are on ftp://ftp.example.com/pub/ and on http://example.org/files."),
        (72, 672, 12, "Quarterly sales summary: costs stayed flat."),
    ],
    [
        (72, 720, 20, "Quillmark sample, page 3"),
        (72, 690, 12, "Quarterly sales summary: the outlook is good."),
        (72, 672, 12, "See the report at https://reports.example.com/2024/q3.pdf for details."),
    ],
]
# The one existing link, over "www.example.com" on page 1.
LINK_RECT = "[98 686 199 700]"
LINK_URI = "https://www.example.com/"


def escape(text):
    return text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")


def build():
    objects = {}
    n_pages = len(PAGES)
    font = 3
    first_page = 4
    kids = []
    next_num = first_page
    page_nums = []
    for _ in PAGES:
        page_nums.append(next_num)
        next_num += 2  # page, content
    annot = next_num
    objects[1] = "<< /Type /Catalog /Pages 2 0 R >>"
    objects[2] = "<< /Type /Pages /Kids [%s] /Count %d /MediaBox [0 0 612 792] >>" % (
        " ".join("%d 0 R" % p for p in page_nums), n_pages)
    objects[font] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"
    for i, lines in enumerate(PAGES):
        page, content = page_nums[i], page_nums[i] + 1
        ops = []
        for x, y, size, text in lines:
            ops.append("BT /F1 %d Tf %d %d Td (%s) Tj ET" % (size, x, y, escape(text)))
        stream = "\n".join(ops)
        annots = " /Annots [%d 0 R]" % annot if i == 0 else ""
        objects[page] = ("<< /Type /Page /Parent 2 0 R /Contents %d 0 R /Resources << /Font << /F1 %d 0 R >> >>%s >>"
                         % (content, font, annots))
        objects[content] = "<< /Length %d >>\nstream\n%s\nendstream" % (len(stream), stream)
    objects[annot] = ("<< /Type /Annot /Subtype /Link /Rect %s /Border [0 0 0] /A << /S /URI /URI (%s) >> >>"
                      % (LINK_RECT, LINK_URI))
    objects[annot + 1] = "<< /Title (Quillmark sample) /Producer (tools/make_sample.py) >>"
    info = annot + 1

    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for num in sorted(objects):
        offsets[num] = len(out)
        out += ("%d 0 obj\n%s\nendobj\n" % (num, objects[num])).encode("latin-1")
    size = max(objects) + 1
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for num in range(1, size):
        out += b"%010d 00000 n \n" % offsets[num]
    out += b"trailer\n<< /Size %d /Root 1 0 R /Info %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, info, xref)
    return bytes(out)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "examples", "sample.pdf")
    with open(path, "wb") as f:
        f.write(build())
    print("wrote", path)


if __name__ == "__main__":
    main()
