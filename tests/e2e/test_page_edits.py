#!/usr/bin/env python3
"""Page edits that must land, and land on the edited page only, checked with the oracles.

Usage: test_page_edits.py <path of the quillmark executable>

Small hand-made PDFs: pages whose Annots or Contents reference is missing or freed,
content streams and arrays that start with a long comment, and pages sharing one
Annots array, one Contents array, one annotation or one action. Every output must pass
`qpdf --check`; PyMuPDF must show the stamp's text and link on exactly the pages of the
range, and every other page as it was.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from corpus_util import Checks, need_oracles, pdf_of, qpdf_check, run, work_folder  # noqa: E402

need_oracles()
import fitz  # noqa: E402

check = Checks()

FONT = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"
COMMENT = "% " + "c" * 300 + "\n"


def build(bodies):
    """bodies: object number -> body text, or None for a free entry (generation 1, as
    an object that was deleted once)."""
    return pdf_of({n: None if b is None else b.encode("latin-1") for n, b in bodies.items()}, free_generation=1)


def stream(text, prefix=""):
    content = "BT /F1 12 Tf 72 720 Td (%s) Tj ET" % text
    return prefix + "<< /Length %d >>\nstream\n%s\nendstream" % (len(content), content)


def link(uri, y=715):
    return ("<< /Type /Annot /Subtype /Link /Rect [70 %d 200 %d] /Border [0 0 0] /A << /S /URI /URI (%s) >> >>"
            % (y, y + 20, uri))


def page(entries):
    return ("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> %s >>"
            % entries)


def doc(pages, more):
    bodies = {1: "<< /Type /Catalog /Pages 2 0 R >>",
              2: "<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join("%d 0 R" % p for p in pages), len(pages)),
              3: FONT}
    bodies.update(more)
    return bodies


def shared_arrays():
    """Pages 4, 5, 6 share Annots array 7 (links 9, 10) and Contents array 8."""
    p = page("/Annots 7 0 R /Contents 8 0 R")
    return doc([4, 5, 6], {4: p, 5: p, 6: p, 7: "[9 0 R 10 0 R]", 8: "[11 0 R]", 9: link("http://a/"),
                           10: link("http://b/", 600), 11: stream("see http://c.example/ now")})


def shared_annotations():
    """Pages 4 and 5 share link 6; their links 7 and 8 share action 9."""
    return doc([4, 5], {4: page("/Annots [6 0 R 7 0 R] /Contents 10 0 R"),
                        5: page("/Annots [6 0 R 8 0 R] /Contents 10 0 R"), 6: link("http://a/"),
                        7: "<< /Type /Annot /Subtype /Link /Rect [70 600 200 620] /A 9 0 R >>",
                        8: "<< /Type /Annot /Subtype /Link /Rect [70 500 200 520] /A 9 0 R >>",
                        9: "<< /S /URI /URI (http://b/) >>", 10: stream("Hello")})


STAMP = ["-text", "STAMP", "-link", "http://s/"]

# Each case runs on the file as made and on copies qpdf encrypts with an empty user
# password.
VARIANTS = {"": None, "rc4": ["128", "--use-aes=n"], "aes256": ["256"]}

# name, input objects, options, per page: (link targets, whether STAMP shows)
CASES = [
    ("freed Annots and Contents", doc([4], {4: page("/Annots 6 0 R /Contents 7 0 R"), 5: stream("x"),
                                             6: None, 7: None}),
     STAMP, [(["http://s/"], True)]),
    ("Annots and Contents beyond the table", doc([4], {4: page("/Annots 60 0 R /Contents 70 0 R")}),
     STAMP, [(["http://s/"], True)]),
    ("Annots refers to no array", doc([4], {4: page("/Annots 5 0 R /Contents 6 0 R"), 5: "<< /Not /AnArray >>",
                                            6: stream("x")}),
     STAMP, [(["http://s/"], True)]),
    ("links created where Annots refers to a freed object",
     doc([4], {4: page("/Annots 6 0 R /Contents 5 0 R"), 5: stream("see http://c.example/"), 6: None}),
     ["-create"], [(["http://c.example/"], False)]),
    ("content stream behind a long comment", doc([4], {4: page("/Contents 5 0 R"), 5: stream("Hello", COMMENT)}),
     STAMP, [(["http://s/"], True)]),
    ("content array behind a long comment", doc([4], {4: page("/Contents 5 0 R"), 5: COMMENT + "[6 0 R]",
                                                       6: stream("Hello")}),
     STAMP, [(["http://s/"], True)]),
    ("stamp on two of three pages sharing arrays", shared_arrays(), STAMP + ["-s1", "-e2"],
     [(["http://a/", "http://b/", "http://s/"], True), (["http://a/", "http://b/", "http://s/"], True),
      (["http://a/", "http://b/"], False)]),
    ("links created on two of three pages sharing an Annots array", shared_arrays(), ["-create", "-s2"],
     [(["http://a/", "http://b/"], False), (["http://a/", "http://b/", "http://c.example/"], False),
      (["http://a/", "http://b/", "http://c.example/"], False)]),
    ("remove on one of three pages sharing an Annots array", shared_arrays(), ["-remove", "-s1", "-e1"],
     [([], False), (["http://a/", "http://b/"], False), (["http://a/", "http://b/"], False)]),
    ("remove on every page sharing an Annots array", shared_arrays(), ["-remove"],
     [([], False), ([], False), ([], False)]),
    ("change a shared link of a shared Annots array on one page", shared_arrays(),
     ["-change", "-link", "http://a/", "-newlink", "http://new/", "-s3"],
     [(["http://a/", "http://b/"], False), (["http://a/", "http://b/"], False),
      (["http://new/", "http://b/"], False)]),
    ("change a shared link on every page that has it", shared_annotations(),
     ["-changepart", "-link", "a/", "-newlink", "z/"],
     [(["http://z/", "http://b/"], False), (["http://z/", "http://b/"], False)]),
    ("remove a shared link on one page", shared_annotations(), ["-remove", "-link", "http://a/", "-s1", "-e1"],
     [(["http://b/"], False), (["http://a/", "http://b/"], False)]),
    ("change a shared action on one page", shared_annotations(),
     ["-change", "-link", "http://b/", "-newlink", "http://new/", "-e1"],
     [(["http://a/", "http://new/"], False), (["http://a/", "http://b/"], False)]),
    ("change a shared link in part on one page", shared_annotations(),
     ["-changepart", "-link", "a/", "-newlink", "z/", "-s2"],
     [(["http://a/", "http://b/"], False), (["http://z/", "http://b/"], False)]),
]


def main():
    exe = os.path.abspath(sys.argv[1])
    with work_folder("qm_edits_") as work:
        for n, (name, bodies, args, pages), variant in ((n, c, v) for n, c in enumerate(CASES) for v in VARIANTS):
            src = os.path.join(work, "in%d%s.pdf" % (n, variant))
            dst = os.path.join(work, "out%d%s.pdf" % (n, variant))
            with open(src, "wb") as f:
                f.write(build(bodies))
            if VARIANTS[variant]:
                # The same edits on an encrypted copy: objects a page gets a copy of
                # carry their strings under the copy's own key.
                name = "%s (%s)" % (name, variant)
                plain = src + ".plain"
                os.replace(src, plain)
                subprocess.run(["qpdf", "--allow-weak-crypto", "--encrypt", "", "owner"] + VARIANTS[variant] + ["--", plain, src], check=True)
            rc, out, _ = run(exe, [src, dst] + args, timeout=120)
            check(rc == 0 and out.endswith(b"\nDone.\n"), "%s: the run succeeds" % name,
                  out.decode("latin-1")[-300:])
            if rc != 0:
                continue
            qrc, qtext = qpdf_check(dst)
            check(qrc == 0, "%s: qpdf --check passes" % name, qtext.decode("latin-1")[-400:])
            with fitz.open(dst) as d:
                check(d.page_count == len(pages), "%s: page count" % name)
                for i, (uris, stamped) in enumerate(pages[:d.page_count]):
                    got = [l.get("uri") for l in d[i].get_links()]
                    check(got == uris, "%s: links of page %d" % (name, i + 1), "%r, expected %r" % (got, uris))
                    shows = "STAMP" in d[i].get_text()
                    check(shows == stamped, "%s: stamp text on page %d is %s" % (name, i + 1, stamped))
                # Pages that shared an array get annotations of their own: no link
                # object shows on two pages unless the input had it there.
                added = [l.get("xref") for i in range(d.page_count) for l in d[i].get_links()
                         if l.get("uri") in ("http://s/", "http://c.example/")]
                check(len(added) == len(set(added)), "%s: every page has its own new links" % name, added)

    return check.summary("all page-edit checks passed")


if __name__ == "__main__":
    sys.exit(main())
