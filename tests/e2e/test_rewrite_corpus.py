#!/usr/bin/env python3
"""Whole-file rewrite over the corpus.

Usage: test_rewrite_corpus.py <path of the quillmark executable>

Every corpus file is rewritten with a mode that visits every page but changes
nothing (-changepart with a target no link has). For each file that opens, the
output must pass qpdf --check without a problem the input does not already have,
hold every input object (object streams excepted) under its number and generation
with the same content, and keep the page count, page boxes and links. Files that
are refused print "Document error" as the last line, exit 1 and leave any file at
the output path as it was. Also: rewriting a file in place (output path = input
path) keeps a valid file, and the null device works as output.
"""
import json
import os
import re
import shutil
import subprocess
import sys

from corpus_util import need_oracles

need_oracles()
import pikepdf  # noqa: E402

from corpus_util import Checks, corpus_files, is_damaged, must_refuse, new_qpdf_problems, run, work_folder

NO_MATCH = ["-changepart", "-link", "quillmark-no-such-target", "-newlink", "x"]
check = Checks()


def qpdf_objects(path):
    """Every object as qpdf sees it ("obj:N G R" -> value, streams with raw data)."""
    p = subprocess.run(["qpdf", "--json=2", "--json-key=qpdf", "--json-stream-data=inline",
                        "--decode-level=none", path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    data = json.loads(p.stdout)
    return {k: v for k, v in data["qpdf"][1].items() if k.startswith("obj:")}


def is_object_stream(value):
    return "stream" in value and value["stream"]["dict"].get("/Type") == "/ObjStm"


def links_of(pdf):
    out = []
    for page in pdf.pages:
        links = []
        for a in page.obj.get("/Annots", []):
            if a.get("/Subtype") == "/Link":
                rect = tuple(round(float(v), 3) for v in a.get("/Rect", []))
                act = a.get("/A")
                target = None
                if act is not None:
                    t = act.get("/URI", act.get("/F", act.get("/D", "")))
                    target = t.unparse() if hasattr(t, "unparse") else repr(t)
                links.append((rect, target))
        out.append(links)
    return out


def boxes_of(pdf):
    return [(tuple(float(v) for v in p.mediabox), tuple(float(v) for v in p.cropbox),
             int(p.obj.get("/Rotate", 0))) for p in pdf.pages]


def compare(inp, outp, name):
    before, after = qpdf_objects(inp), qpdf_objects(outp)
    missing = [k for k, v in before.items() if not is_object_stream(v) and k not in after]
    changed = [k for k, v in before.items() if not is_object_stream(v) and k in after and after[k] != v]
    check(not missing, "%s: objects missing %s" % (name, missing[:10]))
    check(not changed, "%s: objects changed %s" % (name, changed[:10]))
    check(not [k for k, v in after.items() if is_object_stream(v)], "%s: object stream in the output" % name)
    with pikepdf.open(inp) as a, pikepdf.open(outp) as b:
        check(len(a.pages) == len(b.pages), "%s: page count" % name)
        check(boxes_of(a) == boxes_of(b), "%s: page boxes" % name)
        check(links_of(a) == links_of(b), "%s: links" % name)


def main():
    exe = os.path.abspath(sys.argv[1])
    with work_folder("qm_rewrite_") as work:
        for pdf, truth in corpus_files():
            name = os.path.basename(pdf)
            out = os.path.join(work, name)
            # A file already at the output path must survive a refusal.
            with open(out, "wb") as f:
                f.write(b"previous output")
            rc, stdout, _ = run(exe, [pdf, out] + NO_MATCH)
            opened = rc == 0
            if must_refuse(truth):
                check(not opened, "%s: file needing a password not refused" % name)
            if not opened:
                check(rc == 1, "%s: exit status %d" % (name, rc))
                check(re.search(rb"Document error\nThe file [^\n]+\n$", stdout) is not None,
                      "%s: no Document error message with its reason" % name)
                with open(out, "rb") as f:
                    check(f.read() == b"previous output", "%s: output path touched on failure" % name)
                check(not [n for n in os.listdir(work) if n.endswith(".tmp")],
                      "%s: temporary file left behind" % name)
                if not is_damaged(truth) and not must_refuse(truth):
                    check(False, "%s: sound file refused: %r" % (name, stdout[-200:]))
                os.remove(out)
                continue
            problems = new_qpdf_problems(pdf, out)
            check(not problems, "%s: qpdf problems %s" % (name, problems))
            if not is_damaged(truth):
                compare(pdf, out, name)
            os.remove(out)

        # In-place rewrite.
        src = os.path.join(work, "inplace.pdf")
        shutil.copy(os.path.join(os.path.dirname(corpus_files()[0][0]), "pdftex-cm-objstm-hyperref.pdf"), src)
        rc, stdout, _ = run(exe, [src, src] + NO_MATCH)
        check(rc == 0, "in place: exit status %d %r" % (rc, stdout[-200:]))
        problems = new_qpdf_problems(os.path.join(os.path.dirname(corpus_files()[0][0]),
                                                  "pdftex-cm-objstm-hyperref.pdf"), src)
        check(not problems, "in place: qpdf problems %s" % problems)
        with pikepdf.open(src) as p:
            check(len(p.pages) == 3, "in place: page count")
        check(os.listdir(work) == ["inplace.pdf"], "in place: stray files %s" % os.listdir(work))

        # The null device as output.
        rc, stdout, _ = run(exe, [src, os.devnull] + NO_MATCH)
        check(rc == 0 and b"Done" in stdout, "null device output: %r" % stdout[-100:])
    return check.summary("rewrite corpus: all passed", "%d failure(s)")


if __name__ == "__main__":
    sys.exit(main())
