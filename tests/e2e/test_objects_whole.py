#!/usr/bin/env python3
"""Every object of the input reaches the output whole, or the file fails.

Usage: test_objects_whole.py <path of the quillmark executable>

Hand-made files, in every mode that writes or reads links:
  - objects whose bytes hold "endobj" in strings, comments, names and stream
    dictionaries, a comment inside an object header, an entry a few bytes off its
    object: the output holds every object as the input has it;
  - objects readers read past (an entry far from its object, a string that never
    ends, an object-stream member named past the stream's count): the file is
    repaired, and keeps its page, text and link;
  - members of several large object streams asked for in turn: none is lost;
  - page trees with shared Kids arrays, pages listed twice, a page written directly
    in Kids, a root typed as a page: each page is listed once, as readers list them,
    and stamps and links land on the page readers show;
  - hostile files (a page tree that doubles at every level, an object stream that
    declares ten million members) finish with the memory they really need.
"""
import os
import re
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from corpus_util import (Checks, address_space_limit, classic_pdf, indirect, need_oracles, qpdf_check,  # noqa: E402
                         qpdf_problems, run as run_program, sanitized, work_folder)

need_oracles()
import fitz  # noqa: E402
import pikepdf  # noqa: E402

check = Checks(label="", clip=-600)


# ---- building files -------------------------------------------------------------

def stream_obj(num, data, extra=b"", compress=False):
    if compress:
        data = zlib.compress(data, 9)
        extra += b" /Filter /FlateDecode"
    return indirect(num, b"<< /Length %d%s >>\nstream\n" % (len(data), extra) + data + b"\nendstream")


def with_object_streams(plain, streams, root=1):
    """plain: (number, body) objects written in the file; streams: (stream number,
    [(member number, member text)]) object streams (compressed). A cross-reference
    stream lists them all."""
    out = bytearray(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n")
    kind1, kind2 = {}, {}
    for num, body in plain:
        kind1[num] = len(out)
        out += b"%d 0 obj\n" % num + body + b"\nendobj\n"
    for snum, members in streams:
        head, data = b"", b""
        for idx, (m, text) in enumerate(members):
            head += b"%d %d " % (m, len(data))
            data += text + b"\n"
            kind2[m] = (snum, idx)
        z = zlib.compress(head + data, 9)
        kind1[snum] = len(out)
        out += (b"%d 0 obj\n<< /Type /ObjStm /N %d /First %d /Filter /FlateDecode /Length %d >>\nstream\n"
                % (snum, len(members), len(head), len(z)) + z + b"\nendstream\nendobj\n")
    xnum = max(list(kind1) + list(kind2)) + 1
    kind1[xnum] = len(out)
    rows = b""
    for n in range(xnum + 1):
        if n in kind1:
            rows += bytes([1]) + kind1[n].to_bytes(4, "big") + (0).to_bytes(2, "big")
        elif n in kind2:
            rows += bytes([2]) + kind2[n][0].to_bytes(4, "big") + kind2[n][1].to_bytes(2, "big")
        else:
            rows += bytes([0]) + (0).to_bytes(4, "big") + (0).to_bytes(2, "big")
    out += (b"%d 0 obj\n<< /Type /XRef /Size %d /W [1 4 2] /Root %d 0 R /Length %d >>\nstream\n"
            % (xnum, xnum + 1, root, len(rows)) + rows + b"\nendstream\nendobj\n")
    out += b"startxref\n%d\n%%%%EOF\n" % kind1[xnum]
    return bytes(out)


FONT = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"
LINK = (b"<< /Type /Annot /Subtype /Link /Rect [70 690 400 730] /Border [0 0 0] "
        b"/A << /S /URI /URI (https://www.example.com/) >> >>")


def text_stream(lines):
    """Content drawing (x, y, size, text) lines in Helvetica (font /F1)."""
    ops = b"".join(b"BT /F1 %d Tf %d %d Td (%s) Tj ET\n" % (s, x, y, t) for x, y, s, t in lines)
    return ops


def page_dict(parent, contents, annots=b"", font=5):
    return (b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 %d 0 R >> >> "
            b"/Contents %d 0 R %s>>" % (parent, font, contents, annots))


# ---- reading outputs ------------------------------------------------------------

def page_uris(page):
    """The link targets PyMuPDF finds on page, sorted ("" for a link without one)."""
    return sorted(l.get("uri", "") for l in page.get_links())


def links_per_page(path):
    """How many links PyMuPDF finds on each page of path ([] when there is no file)."""
    return [len(pg.get_links()) for pg in fitz.open(path)] if path else []


# ---- running --------------------------------------------------------------------

def main():
    exe = os.path.abspath(sys.argv[1])
    with work_folder("qm_whole_") as work:
        checks(exe, work)
    return check.summary("all checks passed")


def checks(exe, work):
    limit_memory = not sanitized(exe)
    if not limit_memory:
        print("note: sanitizer build, runs without the 512 MB address-space limit")

    limits = address_space_limit(512 << 20) if limit_memory else None

    def write(name, data):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    MODES = {
        "stamp": ["-text", "Stamped", "-link", "https://stamp.example/"],
        "remove": ["-remove"],
        "create": ["-create", "-text", "Quillmark", "-link", "https://made.example/"],
        "changepart": ["-changepart", "-link", "example", "-newlink", "EXAMPLE"],
        "report": ["-report", "rep.txt"],
    }

    def run(path, mode, extra=()):
        out = os.path.join(work, "out.pdf")
        rep = os.path.join(work, "rep.txt")
        for p in (out, rep):
            if os.path.exists(p):
                os.remove(p)
        rc, stdout, _ = run_program(exe, [path, out] + MODES[mode] + list(extra), timeout=600, cwd=work,
                                    preexec_fn=limits)
        report = open(rep, "rb").read() if os.path.exists(rep) else None
        return rc, stdout, (out if os.path.exists(out) else None), report

    def qpdf_ok(path, source):
        """qpdf --check warns of nothing the source file does not have already."""
        def warnings(p):
            return set(line for line in qpdf_problems(p) if "WARNING" in line or "ERROR" in line)
        problems = warnings(path) - warnings(source)
        return not problems, "\n".join(sorted(problems))

    def same_object(a, b):
        if a is None or b is None:
            return False
        if isinstance(a, pikepdf.Stream):
            return isinstance(b, pikepdf.Stream) and a.read_raw_bytes() == b.read_raw_bytes() and \
                a.stream_dict.unparse() == b.stream_dict.unparse()
        return a.unparse() == b.unparse()

    # ---- 1. keywords in odd places, a split header, an entry a few bytes off ------
    content = text_stream([(72, 700, 24, b"Quillmark endobj test")])
    tricky = classic_pdf([
        indirect(1, b"<< /Type /Catalog /Pages 2 0 R >>"),
        indirect(2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
        indirect(3, page_dict(2, 4, b"/Annots [6 0 R]")),
        (4, b"4 0 %% the header goes on\nobj\n<< /Length %d /Note (endobj here) >>\nstream\n" % len(content)
         + content + b"\nendstream\nendobj\n"),
        indirect(5, FONT),
        indirect(6, b"<< /Type /Annot /Subtype /Link /Rect [70 690 400 730] /Border [0 0 0] "
               b"/A << /S /URI /URI (https://www.example.com/endobj) >> /Contents (a link %% no comment) >>"),
        indirect(7, b"<< /Title (endobj in a title) /Subject <656e646f626a> % endobj\n /Keywords (a \\) endobj) >>"),
        indirect(8, b"[/Xendobj <656e646f626a> /endobj 1 endobjx]"),
    ], shifts={6: -3, 8: 4}, trailer=b"/Info 7 0 R ")
    path = write("tricky.pdf", tricky)
    src = pikepdf.open(path)
    for mode in MODES:
        rc, msg, out, report = run(path, mode)
        check(rc == 0 and msg.rstrip().endswith(b"Done."), "tricky objects, %s: done" % mode, msg)
        if mode == "report":
            check(report is not None and b"https://www.example.com/endobj" in report,
                  "tricky objects: the report lists the link", report or b"")
            continue
        if not out:
            check(False, "tricky objects, %s: an output" % mode)
            continue
        ok, text = qpdf_ok(out, path)
        check(ok, "tricky objects, %s: qpdf --check finds nothing new" % mode, text)
        dst = pikepdf.open(out)
        for num in (4, 5, 7, 8) + ((6,) if mode not in ("remove", "changepart") else ()):
            check(same_object(src.get_object(num, 0), dst.get_object(num, 0)),
                  "tricky objects, %s: object %d reaches the output as it was" % (mode, num))
        doc = fitz.open(out)
        page = doc[0]
        check("Quillmark endobj test" in page.get_text(), "tricky objects, %s: the page keeps its text" % mode)
        uris = page_uris(page)
        want = {"stamp": ["https://stamp.example/", "https://www.example.com/endobj"],
                "remove": [],
                "create": ["https://made.example/", "https://www.example.com/endobj"],
                "changepart": ["https://www.EXAMPLE.com/endobj"]}[mode]
        check(uris == want, "tricky objects, %s: links %s" % (mode, want), repr(uris))

    # ---- 2. objects readers read past are repaired --------------------------------
    # An entry far from its object (found in the file), an unused object whose string
    # never ends (left out: nothing can be read there), an object-stream member whose
    # entry names an index past the stream's count (found in the stream): every mode
    # is done, says the file was repaired, and keeps the page, its text and its link.
    pad = indirect(9, b"(" + b"p" * 3000 + b")")
    repaired = {
        "entry far from its object": classic_pdf([
            indirect(1, b"<< /Type /Catalog /Pages 2 0 R >>"),
            indirect(2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
            indirect(3, page_dict(2, 4, b"/Annots [6 0 R]")), indirect(5, FONT), pad, indirect(6, LINK),
            stream_obj(4, content)], shifts={4: -2500}),
        "string that never ends": classic_pdf([
            indirect(1, b"<< /Type /Catalog /Pages 2 0 R >>"),
            indirect(2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
            indirect(3, page_dict(2, 4, b"/Annots [8 0 R]")), indirect(5, FONT), stream_obj(4, content),
            indirect(8, LINK),
            (6, b"6 0 obj\n(never closed endobj\n")]),
        "member past its stream's count": with_object_streams(
            [(1, b"<< /Type /Catalog /Pages 2 0 R >>"), (2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
             (3, page_dict(2, 4, b"/Annots [7 0 R]")),
             (4, b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream"), (5, FONT)],
            [(10, [(6, b"(six)"), (7, LINK)])]).replace(
            # the entry of member 7 names index 5 of a stream of two
            bytes([2]) + (10).to_bytes(4, "big") + (1).to_bytes(2, "big"),
            bytes([2]) + (10).to_bytes(4, "big") + (5).to_bytes(2, "big")),
    }
    for name, data in repaired.items():
        path = write("repaired.pdf", data)
        for mode in MODES:
            rc, msg, out, report = run(path, mode)
            check(rc == 0 and msg.rstrip().endswith(b"The file was damaged and has been repaired\nDone."),
                  "%s, %s: repaired" % (name, mode), msg)
            if mode == "report":
                check(report is not None and b"https://www.example.com/" in report,
                      "%s: the report lists the link" % name, report or b"")
                continue
            if not out:
                check(False, "%s, %s: an output" % (name, mode))
                continue
            qrc, qtext = qpdf_check(out)
            check(qrc == 0, "%s, %s: qpdf --check finds nothing" % (name, mode), qtext)
            doc = fitz.open(out)  # kept: a page outlives its document only while it is referenced
            page = doc[0]
            check("Quillmark endobj test" in page.get_text(), "%s, %s: the page keeps its text" % (name, mode))
            if mode == "stamp":
                uris = page_uris(page)
                check(uris == ["https://stamp.example/", "https://www.example.com/"],
                      "%s: the page keeps its link" % name, repr(uris))

    # ---- 3. members of several large object streams asked for in turn ------------
    # Six object streams of about 2.5 MB (members padded with white space), 600 link
    # annotations numbered so that each next one sits in the next stream.
    pages, per_page, streams = 6, 100, 6
    first_annot = 100
    plain = [(1, b"<< /Type /Catalog /Pages 2 0 R >>"),
             (2, b"<< /Type /Pages /Kids [%s] /Count %d >>"
              % (b" ".join(b"%d 0 R" % (10 + p) for p in range(pages)), pages)),
             (5, FONT)]
    members = {s: [] for s in range(streams)}
    for p in range(pages):
        lines, annots = [], []
        for i in range(per_page):
            k = p * per_page + i
            y = 770 - i * 7
            lines.append((72, y, 6, b"L%d" % k))
            annots.append(b"%d 0 R" % (first_annot + k))
            members[k % streams].append((first_annot + k, b"<< /Type /Annot /Subtype /Link /Rect [70 %d 100 %d] "
                                         b"/A << /S /URI /URI (https://example.com/%d) >> >>" % (y - 1, y + 6, k)
                                         + b" " * 25000))
        data = text_stream(lines)
        plain.append((10 + p, page_dict(2, 20 + p, b"/Annots [%s]" % b" ".join(annots))))
        plain.append((20 + p, b"<< /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"))
    path = write("objstm600.pdf", with_object_streams(plain, [(30 + s, members[s]) for s in range(streams)]))
    rc, msg, _, report = run(path, "report")
    listed = len(set(re.findall(rb"https://example\.com/(\d+)\b", report or b"")))
    check(rc == 0 and listed == pages * per_page, "600 links in object streams: the report lists all 600",
          "status %d, %d listed" % (rc, listed))
    for mode, want in (("stamp", per_page + 1), ("remove", 0)):
        rc, msg, out, _ = run(path, mode)
        links = links_per_page(out)
        check(rc == 0 and links == [want] * pages, "600 links in object streams, %s: %d links a page" % (mode, want),
              repr(links))

    # ---- 4. page trees ------------------------------------------------------------
    def numbered_pages(n, kids, extra=()):
        """n pages (objects 10.. with contents 20..) saying "Page i", the root's Kids."""
        objs = [indirect(1, b"<< /Type /Catalog /Pages 2 0 R >>"), indirect(2, kids), indirect(5, FONT)]
        for i in range(n):
            objs.append(indirect(10 + i, page_dict(2, 20 + i)))
            objs.append(stream_obj(20 + i, text_stream([(72, 700, 24, b"Page %d" % (i + 1))])))
        return classic_pdf(objs + list(extra))

    def uris_of(pdf, num):
        """The link targets of the annotations of page object num."""
        page = pdf.get_object(num, 0)
        out = []
        for a in page.get("/Annots", []):
            if "/A" in a and "/URI" in a.A:
                out.append(str(a.A.URI))
        return sorted(out)

    direct = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 5 0 R >> >> "
              b"/Contents 21 0 R >>")
    # Trees readers show the same way: page texts in reader order.
    trees = {
        "page written directly in Kids": (numbered_pages(3, b"<< /Type /Pages /Kids [10 0 R %s 12 0 R] /Count 3 >>"
                                                         % direct), ["Page 1", "Page 2", "Page 3"]),
        "root typed as a page": (numbered_pages(1, b"<< /Type /Page /Kids [10 0 R] /Count 1 /MediaBox [0 0 612 792] "
                                                   b"/Resources << >> >>"), ["Page 1"]),
    }
    for name, (data, texts) in trees.items():
        path = write("tree.pdf", data)
        rc, msg, out, _ = run(path, "stamp")
        doc = fitz.open(out) if out else []
        got = [(pg.get_text().split("\n")[0], page_uris(pg)) for pg in doc]
        want = [(t, ["https://stamp.example/"]) for t in texts]
        check(rc == 0 and got == want, "%s: every page readers show is stamped once" % name, repr(got))
        if out:
            ok, text = qpdf_ok(out, path)
            check(ok, "%s: qpdf --check finds nothing new" % name, text)
        # Text found on page n is linked on page n.
        for n, t in enumerate(texts):
            rc, msg, out, _ = run(path, "create", ["-text", t])
            got = links_per_page(out)
            check(rc == 0 and got == [1 if i == n else 0 for i in range(len(texts))],
                  "%s: the link over \"%s\" is on page %d" % (name, t, n + 1), repr(got))

    # Page 1 listed twice (readers disagree on such a tree): each page object is listed
    # once, in the order first met, so it gets one stamp, and text found on a page is
    # linked on that page object.
    path = write("twice.pdf", numbered_pages(3, b"<< /Type /Pages /Kids [10 0 R 11 0 R 10 0 R 12 0 R] /Count 3 >>"))
    rc, msg, out, _ = run(path, "stamp")
    check(rc == 0 and out, "page listed twice: done", msg)
    if out:
        pdf = pikepdf.open(out)
        got = [uris_of(pdf, num) for num in (10, 11, 12)]
        check(got == [["https://stamp.example/"]] * 3, "page listed twice: each page object is stamped once", repr(got))
        ok, text = qpdf_ok(out, path)
        check(ok, "page listed twice: qpdf --check finds nothing new", text)
    for n in range(3):
        rc, msg, out, _ = run(path, "create", ["-text", "Page %d" % (n + 1)])
        pdf = pikepdf.open(out) if out else None
        got = [uris_of(pdf, num) for num in (10, 11, 12)] if pdf else []
        want = [["https://made.example/"] if i == n else [] for i in range(3)]
        check(rc == 0 and got == want, "page listed twice: the link over \"Page %d\" is on its page" % (n + 1),
              repr(got))

    # A page tree whose direct nodes share one Kids array at each of 24 levels.
    objs = [indirect(1, b"<< /Type /Catalog /Pages 2 0 R >>"), indirect(2, b"<< /Type /Pages /Kids 40 0 R /Count 1 >>"),
            indirect(10, page_dict(2, 20)), stream_obj(20, text_stream([(72, 700, 24, b"Page 1")])), indirect(5, FONT)]
    for lvl in range(24):
        kid = b"<< /Kids %d 0 R >>" % (41 + lvl)
        objs.append(indirect(40 + lvl, b"[%s %s]" % (kid, kid) if lvl < 23 else b"[10 0 R 10 0 R]"))
    path = write("doubling.pdf", classic_pdf(objs))
    for mode in MODES:
        rc, msg, out, _ = run(path, mode)
        check(rc == 0, "page tree doubling at every level, %s: done" % mode, msg)
        if mode == "stamp" and out:
            # One page, one stamp (readers take the shared arrays for a loop).
            count = open(out, "rb").read().count(b"(https://stamp.example/)")
            check(count == 1, "page tree doubling at every level: its page is stamped once", str(count))

    # ---- 5. an object stream that declares ten million members -------------------
    # The page is its first member; every other pair names one more (empty) member.
    n = 10000000
    member = page_dict(2, 4, b"/Annots [6 0 R]") + b"\n"
    head = b"3 0 " + b"8 %d " % len(member) * (n - 1)
    body = head + member
    z = zlib.compress(body, 9)
    plain = [(1, b"<< /Type /Catalog /Pages 2 0 R >>"), (2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
             (4, b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream"), (5, FONT),
             (6, b"<< /Type /Annot /Subtype /Link /Rect [70 690 400 730] /A << /S /URI /URI (https://x.example/) >> >>")]
    # The hostile object stream is object 9, with object 3 (the page) as its member.
    objs = [(num, b"%d 0 obj\n" % num + b + b"\nendobj\n") for num, b in plain]
    objs.append((9, b"9 0 obj\n<< /Type /ObjStm /N %d /First %d /Filter /FlateDecode /Length %d >>\nstream\n"
                 % (n, len(head), len(z)) + z + b"\nendstream\nendobj\n"))
    out = bytearray(b"%PDF-1.5\n")
    offs = {}
    for num, text in objs:
        offs[num] = len(out)
        out += text
    offs[10] = len(out)
    rows = b""
    for i in range(11):
        if i == 3:
            rows += bytes([2]) + (9).to_bytes(4, "big") + (0).to_bytes(2, "big")
        elif i in offs:
            rows += bytes([1]) + offs[i].to_bytes(4, "big") + (0).to_bytes(2, "big")
        else:
            rows += bytes([0]) + (0).to_bytes(6, "big")
    out += (b"10 0 obj\n<< /Type /XRef /Size 11 /W [1 4 2] /Root 1 0 R /Length %d >>\nstream\n" % len(rows)
            + rows + b"\nendstream\nendobj\nstartxref\n%d\n%%%%EOF\n" % offs[10])
    path = write("members16m.pdf", bytes(out))
    check(len(out) < 1 << 20, "the ten-million-member file is small", str(len(out)))
    for mode in MODES:
        rc, msg, res, report = run(path, mode)
        check(rc == 0, "ten million members declared, %s: done" % mode, msg)
        if mode == "stamp" and res:
            doc = fitz.open(res)
            links = page_uris(doc[0])
            check(links == ["https://stamp.example/", "https://x.example/"],
                  "ten million members declared: the page and its link are read", repr(links))


if __name__ == "__main__":
    sys.exit(main())
