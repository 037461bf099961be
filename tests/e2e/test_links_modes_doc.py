#!/usr/bin/env python3
"""The worked examples of docs/modes.md, run on examples/sample.pdf: each report the
page shows must be the one the program writes, so the page cannot drift from the
program.

Usage: test_links_modes_doc.py <quillmark binary>
"""
import os
import shutil
import sys

import corpus_util
from corpus_util import Checks, work_folder

BIN = os.path.abspath(sys.argv[1])
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SAMPLE = os.path.join(ROOT, "examples", "sample.pdf")
DOC = os.path.join(ROOT, "docs", "modes.md")

check = Checks()


def run(*args):
    _, out, _ = corpus_util.run(BIN, args, timeout=60, merge_stderr=True)
    return out.decode("utf-8", "replace")


def report(pdf, *extra):
    if os.path.exists("r.txt"):
        os.remove("r.txt")
    run(pdf, "nul", "-report", "r.txt", *extra)
    with open("r.txt", "rb") as f:
        return f.read().decode("utf-8")


def expect_in_doc(text, what):
    """Every line of text appears in the page, indented as a code block."""
    with open(DOC, encoding="utf-8") as f:
        doc = f.read()
    for line in text.split("\r\n"):
        if line and ("    " + line + "\n") not in doc:
            check.fail("%s: %r is not in docs/modes.md" % (what, line))


def main():
    if not os.path.exists(SAMPLE):
        print("no examples/sample.pdf: nothing to check")
        return
    with work_folder("qm_modes_doc_") as work:
        os.chdir(work)
        shutil.copy(SAMPLE, "sample.pdf")

        out = run("sample.pdf", "linked.pdf", "-create", "-text", "Quarterly sales summary", "-link",
                  "https://example.com/sales")
        if out.count("1Matched text: Quarterly sales summary - link: 'https://example.com/sales'..\n") != 3:
            check.fail("-create -text: three finds expected:\n" + out)

        run("sample.pdf", "web.pdf", "-create")
        expect_in_doc(report("web.pdf"), "web scan")

        with open("names.txt", "w") as f:
            f.write("Quarterly sales summary\nsales summary\nrevenue\n")
        out = run("sample.pdf", "names.pdf", "-textfile", "names.txt", "-link",
                  "https://example.com/search?q=[FILEMATCH]")
        for line in ("Matched text: Quarterly sales summary - link: "
                     "'https://example.com/search?q=Quarterly sales summary'",
                     "Already matched longer: 'Quarterly sales summary' to 'sales summary'",
                     "Matched text: revenue - link: 'https://example.com/search?q=revenue'"):
            if line not in out:
                check.fail("-textfile: %r missing" % line)

        with open("links.txt", "w") as f:
            f.write("Quarterly sales summary|https://example.com/q3|72|690|3\nrevenue|https://example.com/revenue\n")
        run("sample.pdf", "placed.pdf", "-linkfile", "links.txt")
        expect_in_doc(report("placed.pdf", "-reportpos"), "link file")

        run("web.pdf", "fewer.pdf", "-remove", "-link", "WWW.EXAMPLE.COM")
        fewer = report("fewer.pdf")
        if "| www.example.com \r\n" in fewer or "https://www.example.com/" not in fewer:
            check.fail("-remove -link: wrong links left:\n" + fewer)

        run("sample.pdf", "changed.pdf", "-change", "-link", "HTTPS://WWW.EXAMPLE.COM/", "-newlink",
            "https://www.example.org/news")
        expect_in_doc(report("changed.pdf"), "change")

        run("web.pdf", "moved.pdf", "-changepart", "-link", ".example.com", "-newlink", ".example.org")
        expect_in_doc(report("moved.pdf"), "changepart")

        expect_in_doc(report("sample.pdf"), "report")
        expect_in_doc(report("sample.pdf", "-reportpos"), "report positions")

    return check.summary("docs/modes.md examples agree with the program")


if __name__ == "__main__":
    sys.exit(main())
