#!/usr/bin/env python3
"""Generates the benchmark inputs in bench/work/:

  big.pdf        about 3,000 pages and 45 MB: uncompressed content streams, three
                 URI links per page, one shared font, classic cross-reference table;
  big-objstm.pdf the same file with object streams and a cross-reference stream
                 (qpdf --object-streams=generate).

Usage: bench/make_big.py [pages]
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
WORK = os.path.join(HERE, "work")
WORDS = ("quarterly sales summary revenue region growth report policy archive update member "
         "document network program section customer storage figure outlook budget").split()


def page_text(n):
    ops = ["BT /F1 9 Tf 11 TL 40 770 Td"]
    w = len(WORDS)
    for line in range(70):
        words = " ".join(WORDS[(n * 7 + line * 3 + k) % w] for k in range(26))
        ops.append("(%s) '" % words[:200])
    ops.append("(Visit http://www.example.com/page%d and https://example.org/doc/%d today.) '" % (n, n))
    ops.append("ET")
    return "\n".join(ops)


def main():
    pages = int(sys.argv[1]) if len(sys.argv) > 1 else 3000
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "big.pdf")
    font = 3
    first = 4
    per_page = 5  # page, content, three links
    with open(path, "wb") as f:
        offsets = {}
        pos = 0

        def emit(num, body):
            nonlocal pos
            offsets[num] = pos
            data = b"%d 0 obj\n" % num + body + b"\nendobj\n"
            f.write(data)
            pos += len(data)

        head = b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n"
        f.write(head)
        pos = len(head)
        emit(1, b"<< /Type /Catalog /Pages 2 0 R >>")
        kids = " ".join("%d 0 R" % (first + per_page * i) for i in range(pages))
        emit(2, ("<< /Type /Pages /Kids [%s] /Count %d /MediaBox [0 0 612 792] >>" % (kids, pages)).encode())
        emit(font, b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
        for i in range(pages):
            p = first + per_page * i
            links = [p + 2, p + 3, p + 4]
            emit(p, ("<< /Type /Page /Parent 2 0 R /Contents %d 0 R /Resources << /Font << /F1 %d 0 R >> >> "
                     "/Annots [%s] >>" % (p + 1, font, " ".join("%d 0 R" % a for a in links))).encode())
            text = page_text(i).encode()
            emit(p + 1, b"<< /Length %d >>\nstream\n" % len(text) + text + b"\nendstream")
            for k, a in enumerate(links):
                y = 700 - 100 * k
                emit(a, ("<< /Type /Annot /Subtype /Link /Rect [40 %d 300 %d] /Border [0 0 0] "
                         "/A << /S /URI /URI (https://www.example.com/p%d/l%d) >> >>" % (y, y + 12, i, k)).encode())
        size = first + per_page * pages
        xref = pos
        f.write(b"xref\n0 %d\n0000000000 65535 f \n" % size)
        for num in range(1, size):
            f.write(b"%010d 00000 n \n" % offsets[num])
        f.write(b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, xref))
    subprocess.run(["qpdf", "--object-streams=generate", "--compress-streams=n", "--decode-level=none", path, os.path.join(WORK, "big-objstm.pdf")], check=True)
    for name in ("big.pdf", "big-objstm.pdf"):
        p = os.path.join(WORK, name)
        print("%s: %.1f MB" % (p, os.path.getsize(p) / 1e6))


if __name__ == "__main__":
    main()
