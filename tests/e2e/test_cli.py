#!/usr/bin/env python3
"""Command line and run modes of the real program.

Usage: test_cli.py <path of the quillmark executable>

Covers the usage text, the wildcard refusal, the "Error parameter" rules, list-mode
refusals and the exit statuses, and batch mode: output paths composed from the
folder and each list line's file name, the null-device folder, lines of any length,
and a failing line ending the batch.
"""
import os
import subprocess
import sys

import corpus_util
from corpus_util import Checks, tiny_pdf, work_folder

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN_USAGE = os.path.join(HERE, "..", "golden", "usage.txt")

BANNER_END = b"support@quillmark.example.com\r\n\r\n"
WILDCARD = (b"\nError! Wildcards * are not permitted, if you want to process many files then do: "
            b"dir /B *.pdf > list.txt, then quillmark list.txt -fc:\\test\n\n")
NEED_F = b"please specify -f for output folder, e.g. -fc:\\test\n"

check = Checks(label="output:")


def page_text(pdf_path, page):
    """The text of one page (1-based) as mutool extracts it."""
    p = subprocess.run(["mutool", "draw", "-q", "-F", "txt", "-o", "-", pdf_path, str(page)],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
    return p.stdout.decode("utf-8", "replace")


def main():
    exe = os.path.abspath(sys.argv[1])
    with work_folder("qm_cli_") as work:
        def run(*args):
            rc, out, err = corpus_util.run(exe, args, timeout=300, cwd=work)
            check(err == b"", "nothing on standard error for %r" % (args,), err)
            return rc, out

        def write(name, data):
            path = os.path.join(work, name)
            d = os.path.dirname(path)
            if d:
                os.makedirs(d, exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)

        def exists(name):
            return os.path.exists(os.path.join(work, name))

        pdf = tiny_pdf(2)
        write("in/a.pdf", pdf)
        write("in\\b.pdf", pdf)  # a name holding a backslash: its file-name part is "b.pdf"
        long_dir = "d" * 150 + "/" + "e" * 150
        write(long_dir + "/long.pdf", pdf)

        # No arguments: banner and usage text, status 0.
        rc, out = run()
        with open(GOLDEN_USAGE, "rb") as f:
            golden = f.read()
        check(rc == 0 and out == golden, "no arguments prints banner and usage exactly", out[:300])
        check(out.startswith(b"\r\nQuillmark v1.10"), "banner names Quillmark v1.10")

        # Wildcards in argument 1 or 2: refused before the banner, status 1.
        for args in (["*.pdf", "out.pdf"], ["in/a.pdf", "o*.pdf", "-debug"], ["a*", "-fout", "-x"]):
            rc, out = run(*args)
            check(rc == 1 and out == WILDCARD, "wildcard refused for %r" % args, out)
        # Not refused in argument 3 or later, nor with a single argument.
        rc, out = run("in/a.pdf", "o.pdf", "-text", "*", "-remove")
        check(WILDCARD not in out and out.startswith(b"\r\nQuillmark"),
              "a '*' in argument 3 is not refused", out)
        rc, out = run("*")
        check(out.startswith(b"\r\nQuillmark") and rc == 1, "a lone '*' is not a wildcard refusal", out)

        # One argument that is not a list name: "Error parameter", status 1.
        rc, out = run("document.pdf")
        check(rc == 1 and out.endswith(BANNER_END + b"Error parameter"),
              "one argument gives Error parameter and status 1", out)

        # Malformed option lists: nothing is opened or created.
        for args in (["in/a.pdf", "bad1.pdf", "-linkcolor", "FF0000"],
                     ["in/a.pdf", "bad2.pdf", "-text"],
                     ["in/a.pdf", "bad3.pdf", "-remove", "-report"],
                     ["in/a.pdf", "bad4.pdf", "remove"],
                     ["in/a.pdf", "bad5.pdf"]):
            rc, out = run(*args)
            check(rc == 1 and out.endswith(BANNER_END + b"Error parameter"),
                  "Error parameter for %r" % args, out)
            check(not exists(args[1]), "no output file after Error parameter for %r" % args)

        # List mode refusals: status 1, nothing processed.
        write("list.txt", b"in/a.pdf\n")
        for args in (["list.txt", "out.pdf", "-remove"], ["list.txt"], ["ab", "x", "-remove"]):
            rc, out = run(*args)
            check(rc == 1 and out.endswith(BANNER_END + NEED_F), "-f refusal for %r" % args, out)
        check(not exists("out.pdf"), "-f refusal writes nothing")
        rc, out = run("missing.txt", "-fmade", "-remove")
        check(rc == 1 and out.endswith(BANNER_END + b"Unable to open file list: 'missing.txt'\r\n"),
              "unreadable list refused", out)
        check(os.path.isdir(os.path.join(work, "made")), "the output folder is created before the list is read")
        # .TXT and .pdf are not list names: single mode (and the input is missing).
        rc, out = run("LIST.TXT", "-fx", "-remove")
        check(rc == 1 and b"Input file: 'LIST.TXT'" in out and
              out.endswith(b"Document error\nThe file cannot be read\n"),
              "upper-case .TXT is not a list name", out)
        check(not os.path.isdir(os.path.join(work, "x")), "single mode creates no folder")

        # Single mode: a missing input ends in "Document error\n" and the reason, with
        # status 1.
        rc, out = run("missing.pdf", "o2.pdf", "-remove")
        check(rc == 1 and out.endswith(BANNER_END + b"Input file: 'missing.pdf'Document error\n"
                                       b"The file cannot be read\n"),
              "missing input gives Document error and status 1", out)
        check(not exists("o2.pdf"), "no output left for a missing input")

        # Single mode: a second argument beginning with -f is just the output name.
        rc, out = run("in/a.pdf", "-fsingle.pdf", "-remove")
        check(rc == 0 and b"Input file: 'in/a.pdf', output file: '-fsingle.pdf'\n" in out
              and out.endswith(b"\nDone.\n"), "single mode with an output named -f...", out)
        check(exists("-fsingle.pdf"), "single mode writes the output file")

        # The placeholders put the input's name and title on the page exactly as typed:
        # a backslash in the name shows once.
        for value, shown in (("[FILENAME]", "in\\b.pdf"), ("Title: [FILETITLE]", "b")):
            rc, out = run("in\\b.pdf", "stamped.pdf", "-text", value, "-link", "https://x.example", "-pos20,20")
            check(rc == 0, "stamping %s succeeds" % value, out)
            text = page_text(os.path.join(work, "stamped.pdf"), 2)
            lines = [l.strip() for l in text.splitlines()]
            check(shown in lines, "page shows %r for %s" % (shown, value), text)

        # Batch mode: outputs keep their input's file name inside the folder.
        lines = ["in/a.pdf", "in\\b.pdf", long_dir + "/long.pdf"]
        write("batch.txt", ("\r\n".join(lines) + "\r\n").encode())
        rc, out = run("batch.txt", "-fout", "-remove", "-s1", "-e99999")
        check(rc == 0, "batch run succeeds", out)
        expected = [("in/a.pdf", "out/a.pdf"), ("in\\b.pdf", "out/b.pdf"),
                    (long_dir + "/long.pdf", "out/long.pdf")]
        pos = 0
        for src, dst in expected:
            line = ("Input file: '%s', output file: '%s'\n" % (src, dst)).encode()
            at = out.find(line, pos)
            check(at >= 0, "batch prints %r" % line, out)
            if at >= 0:
                pos = at + len(line)
                check(out.find(b"\nDone.\n", pos) >= 0, "Done. after %s" % src)
            check(exists(dst), "batch writes %s" % dst)
            if exists(dst):
                with open(os.path.join(work, dst), "rb") as f:
                    check(f.read(5) == b"%PDF-", "%s is a PDF" % dst)
        check(out.count(b"\nDone.\n") == 3 and out.endswith(b"\nDone.\n"), "one Done. per list line", out)

        # A list line of any length is one line (a 300-character path above); the last
        # line needs no line end.
        write("nolf.txt", b"in/a.pdf")
        rc, out = run("nolf.txt", "-fout2", "-remove")
        check(rc == 0 and b"output file: 'out2/a.pdf'\n" in out and exists("out2/a.pdf"),
              "last list line without line end", out)

        # The folder "nul" sends every output to the null device.
        report = os.path.join(work, "report.txt")
        rc, out = run("batch.txt", "-fnul", "-report", report)
        check(rc == 0, "report batch to the null device succeeds", out)
        check(out.count(b"output file: '/dev/null'\n") == 3, "every output path is /dev/null", out)
        check(not os.path.exists(os.path.join(work, "nul")), "no folder named nul is created")
        check(out.count(b"\nDone.\n") == 3, "null-device batch finishes every line", out)
        check(os.path.exists(report), "the report file is written")
        if os.path.exists(report):
            with open(report, "rb") as f:
                check(b"http://www.example.com/" in f.read(), "the report lists the link")

        # A failing line ends the batch with status 1; later lines are not processed.
        write("broken.txt", b"in/a.pdf\n\nmissing.pdf\nin/a.pdf\n")
        rc, out = run("broken.txt", "-fout3", "-remove")
        check(rc == 1, "a failing list line gives status 1", out)
        check(out.count(b"Input file: '") == 2 and b"Input file: 'missing.pdf'Document error\n" in out
              and out.endswith(b"Document error\nThe file cannot be read\n") and out.count(b"\nDone.\n") == 1,
              "a missing input fails and ends the batch (the empty line is skipped)", out)

        # "Error parameter" in batch mode ends the batch at its first line.
        rc, out = run("batch.txt", "-fout4")
        check(rc == 1 and out.endswith(BANNER_END + b"Error parameter"), "batch without options", out)
        check(not exists("out4/a.pdf"), "batch without options writes nothing")

    return check.summary("all command-line checks passed")


if __name__ == "__main__":
    sys.exit(main())
