#!/usr/bin/env python3
"""The limits of page text against small files made here: files a user may well have
are read whole in every text mode (a 100-page spreadsheet of tiny repeated figures in
under 100 KB; 1000 pages drawing one heavy vector background and one form of text),
and files made to blow up (forms drawing forms of text, one stream of a million
characters shown on page after page, a text-file search that matches everywhere) fail
with "Document error" and stay below 512 MB of memory (three times that in a
sanitizer build, which is told).

Usage: test_text_limits.py <quillmark binary>
"""
import os
import resource
import sys
import zlib

from corpus_util import Checks, pdf_of, run, sanitized, work_folder

check = Checks()

FONT = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"


def write_pdf(path, objs):
    with open(path, "wb") as f:
        f.write(pdf_of(objs, header=b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n"))


def stream(data, extra=b"", compress=True):
    if compress:
        data = zlib.compress(data, 9)
        extra += b" /Filter /FlateDecode"
    return b"<< /Length %d %s >>\nstream\n" % (len(data), extra) + data + b"\nendstream"


def document(path, contents, resources=b"<< /Font << /F1 3 0 R >> >>", extra=None):
    """Pages numbered from 50, each with its content (or a reference to shared content)."""
    objs = {1: b"<< /Type /Catalog /Pages 2 0 R >>", 3: FONT}
    kids = []
    for i, c in enumerate(contents):
        n = 50 + 2 * i
        if isinstance(c, int):
            ref = c
        else:
            ref = n + 1
            objs[n + 1] = stream(c)
        objs[n] = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources %s /Contents %d 0 R >>"
                   % (resources, ref))
        kids.append(b"%d 0 R" % n)
    objs[2] = b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(kids), len(kids))
    objs.update(extra or {})
    write_pdf(path, objs)


FORM = b"/Type /XObject /Subtype /Form /BBox [0 0 612 792]"


def make_files(work):
    files = {}
    # 100 pages of 130 rows of 200 characters at 4 points, mostly the same figures.
    pages = []
    for p in range(100):
        rows = []
        for row in range(130):
            vals = [b"0.00", b"0.00", b"1,250.00", b"0.00", b"n/a", b"0.00", b"12.5%", b"0.00"]
            line = b" ".join(vals[(row * 3 + col + p) % 8].rjust(9) for col in range(20))[:200]
            rows.append(b"1 0 0 1 20 %d Tm (%s) Tj" % (780 - row * 6, line))
        pages.append(b"BT /F1 4 Tf\n" + b"\n".join(rows) + b"\nET")
    files["spreadsheet"] = os.path.join(work, "spreadsheet.pdf")
    document(files["spreadsheet"], pages)
    # 1000 pages drawing a grid of 20,000 lines (400 KB of content) and a form of text.
    grid = b"".join(b"%d 0 m %d 792 l S\n" % (i % 612, (i * 7) % 612) for i in range(20000))
    text = b"BT /F1 8 Tf 40 60 Td (Terms and conditions apply to every page of this form.) Tj ET"
    extra = {
        4: stream(grid, FORM),
        5: stream(text, FORM + b" /Resources << /Font << /F1 3 0 R >> >>"),
    }
    files["background"] = os.path.join(work, "background.pdf")
    document(files["background"], [b"/B Do /T Do BT /F1 12 Tf 300 20 Td (Page %d) Tj ET" % i for i in range(1000)],
             resources=b"<< /Font << /F1 3 0 R >> /XObject << /B 4 0 R /T 5 0 R >> >>", extra=extra)
    # Forms drawing forms 16 times each, six deep, the last showing 1000 characters.
    extra = {}
    for k in range(6):
        body = b"".join(b"q 1 0 0 1 0 %d cm /X Do Q\n" % (i % 8) for i in range(16))
        extra[20 + k] = stream(body, FORM + b" /Resources << /XObject << /X %d 0 R >> >>" % (21 + k))
    extra[26] = stream(b"BT /F1 1 Tf 10 10 Td (" + b"x" * 1000 + b") Tj ET",
                       FORM + b" /Resources << /Font << /F1 3 0 R >> >>")
    files["forms"] = os.path.join(work, "forms.pdf")
    document(files["forms"], [b"q /X Do Q"], resources=b"<< /XObject << /X 20 0 R >> >>", extra=extra)
    # 60 pages showing one shared stream of a million characters.
    shared = {4: stream(b"BT /F1 0.0005 Tf 10 10 Td (" + b"x" * 1000000 + b") Tj ET")}
    files["shared"] = os.path.join(work, "shared.pdf")
    document(files["shared"], [4] * 60, extra=shared)
    # Six such pages of 980,000 characters in a file of 900 KB (an unused stream): the
    # text-file search keeps them all, and a line matching everywhere finds too much.
    kept = {4: stream(b"BT /F1 0.0005 Tf 10 10 Td (" + b"x" * 980000 + b") Tj ET"),
            5: stream(os.urandom(900000), compress=False)}
    files["kept"] = os.path.join(work, "kept.pdf")
    document(files["kept"], [4] * 6, extra=kept)
    return files


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    exe = sys.argv[1]
    asan = sanitized(exe)
    bound_kb = 512 * 1024 * (3 if asan else 1)
    if asan:
        print("sanitizer build: memory bound %d MB" % (bound_kb // 1024))
    with work_folder("qm_text_limits_") as work:
        files = make_files(work)
        words = os.path.join(work, "words.txt")
        with open(words, "w") as f:
            f.write("x\n")
        out = os.path.join(work, "out.pdf")
        report = os.path.join(work, "report.txt")
        modes = {
            "web scan": ["-create"],
            "text": ["-create", "-text", "Terms", "-link", "https://example.com/"],
            "report": ["-report", report],
            "text file": ["-textfile", words, "-link", "https://example.com/"],
        }
        checks = [(name, mode, "Done.") for name in ("spreadsheet", "background") for mode in modes]
        checks += [(name, mode, "Document error") for name in ("forms", "shared") for mode in modes]
        checks += [("kept", "text file", "Document error")]
        for name, mode, expected in checks:
            rc, said, _ = run(exe, [files[name], out] + modes[mode], timeout=600)
            peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
            said = said.decode("latin-1")
            if expected not in said or (rc == 0) != (expected == "Done."):
                check.fail("%s, %s: exit %d, expected %r: %s" % (name, mode, rc, expected, said[-200:]))
            if peak > bound_kb:
                check.fail("%s, %s: %d MB of memory" % (name, mode, peak // 1024))
        # The background's form of text is on every page: the text search finds each.
        _, said, _ = run(exe, [files["background"], out] + modes["text"], timeout=600)
        found = said.decode("latin-1").count("Matched text")
        if found != 1000:
            check.fail("background: %d finds of the form's text, expected 1000" % found)
    return check.summary("all text-limit checks passed")


if __name__ == "__main__":
    sys.exit(main())
