#!/usr/bin/env python3
"""Files the program must never touch, and failures that must say so.

Usage: test_files_kept.py <path of the quillmark executable>

Output paths (the platform's unit tests cover links, permission bits, owner, FIFOs,
the standard output, long names and folders that cannot be written): a full device
fails the run and stays a device, and a full disk fails the run without touching the
old output. Batch report runs delete nothing. The report is always written (also when
no link has text under it) and a report that cannot be written fails the run. List
files: a folder is refused; blank lines and a byte-order mark are skipped.

Run as root, the device check uses a device node of its own.
"""
import os
import resource
import signal
import stat
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import corpus_util  # noqa: E402
from corpus_util import Checks, qpdf_check, tiny_pdf, work_folder  # noqa: E402

check = Checks(clip=-600)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def leftovers(folder):
    return [n for n in os.listdir(folder) if n.startswith(".qm")]


def main():
    exe = os.path.abspath(sys.argv[1])
    with work_folder("qm_kept_") as work:
        is_root = os.geteuid() == 0

        def run(*args, cwd=None, limit=None):
            def prepare():
                if limit is not None:
                    # A full disk, as far as this process can tell: writes beyond limit bytes
                    # fail (the signal that would end the process is ignored).
                    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                    resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
            rc, out, _ = corpus_util.run(exe, args, timeout=300, cwd=cwd or work, preexec_fn=prepare)
            return rc, out

        pdf = tiny_pdf(2)
        src = os.path.join(work, "in.pdf")
        write(src, pdf)

        # ---- output paths ----
        # Devices are written directly: a full device fails the run and stays a device.
        # As root the program could replace the system's /dev/full, so it gets a node of
        # its own (the same device) in the work folder.
        full = "/dev/full"
        if is_root:
            full = os.path.join(work, "full")
            os.mknod(full, 0o666 | stat.S_IFCHR, os.makedev(1, 7))
        rc, out = run(src, full, "-remove")
        check(rc == 1 and out.endswith(b"Document error\nThe output file cannot be written\n"),
              "writing a full device fails with status 1", out)
        check(stat.S_ISCHR(os.stat(full).st_mode), "the full device is still a device")
        check(not leftovers(os.path.dirname(full)), "nothing left beside the device")

        # A full disk: status 1, the old output as it was, no temporary file left.
        path = os.path.join(work, "full.pdf")
        write(path, b"previous output")
        rc, out = run(src, path, "-remove", limit=500)
        check(rc == 1 and out.endswith(b"Document error\nThe output file cannot be written\n"),
              "a full disk fails the run", out)
        check(read(path) == b"previous output", "the old output stays when the disk is full")
        check(not leftovers(work), "no temporary file left after a full disk", str(leftovers(work)))

        # ---- batch report runs delete nothing ----
        inputs = os.path.join(work, "inputs")
        os.mkdir(inputs)
        for name in ("a.pdf", "b.pdf"):
            write(os.path.join(inputs, name), pdf)
        write(os.path.join(inputs, "list.txt"), b"a.pdf\nb.pdf\n")
        rc, out = run("list.txt", "-f.", "-report", "rep.txt", cwd=inputs)
        check(rc == 0 and out.count(b"\nDone.\n") == 2, "batch report in the inputs' folder", out)
        for name in ("a.pdf", "b.pdf"):
            check(os.path.exists(os.path.join(inputs, name)) and read(os.path.join(inputs, name)) == pdf,
                  "batch report keeps input %s" % name)
        outdir = os.path.join(work, "earlier")
        os.mkdir(outdir)
        write(os.path.join(outdir, "a.pdf"), b"earlier output")
        write(os.path.join(work, "one.txt"), (os.path.join(inputs, "a.pdf") + "\n").encode())
        rc, out = run("one.txt", "-f" + outdir, "-report", "rep2.txt")
        check(rc == 0 and read(os.path.join(outdir, "a.pdf")) == b"earlier output",
              "batch report keeps an earlier output", out)

        # ---- the report ----
        # No link has text under it (the second page's link lies over nothing once the
        # first page is out of the range): the report is still written, and replaces
        # the old one.
        bare = os.path.join(work, "bare.pdf")
        shown = b"(Visit http://www.example.com today)"
        write(bare, pdf.replace(shown, b"(" + b" " * (len(shown) - 2) + b")"))
        rep = os.path.join(work, "report.txt")
        write(rep, b"old report\r\n")
        rc, out = run(bare, "o.pdf", "-report", rep)
        check(rc == 0 and read(rep) == b"1 |  | http://www.example.com/ \r\n2 |  | http://www.example.com/ \r\n",
              "a report of links without text is written", read(rep))
        rc, out = run(bare, "o.pdf", "-report", rep, "-reportappend", "-s2")
        check(rc == 0 and read(rep).endswith(b"/ \r\n2 |  | http://www.example.com/ \r\n") and
              read(rep).count(b"\r\n") == 3, "-reportappend adds to the report", read(rep))
        # A report that cannot be written: a message, status 1, no "Done.".
        for name in (full, os.path.join(work, "no", "such", "folder.txt")):
            for extra in ([], ["-reportappend"]):
                rc, out = run(src, "o.pdf", "-report", name, *extra)
                check(rc == 1 and (b"Error! Unable to write report file: '%s'" % name.encode()) in out and
                      out.endswith(b"Document error\nThe report file cannot be written\n") and b"Done." not in out,
                      "unwritable report %s %s fails" % (name, extra), out)
        # A disk that fills while appending: the report goes back to what it was.
        write(rep, b"x" * 300 + b"\r\n")
        before = read(rep)
        rc, out = run(src, "o.pdf", "-report", rep, "-reportappend", limit=330)
        check(rc == 1 and read(rep) == before, "a failed append leaves the report as it was", out)
        rc, out = run(src, "o.pdf", "-report", rep, limit=50)
        check(rc == 1 and read(rep) == before and not leftovers(work),
              "a failed new report leaves the old one as it was", out)

        # ---- list files ----
        os.mkdir(os.path.join(work, "folder.txt"))
        rc, out = run("folder.txt", "-fx", "-remove")
        check(rc == 1 and out.endswith(b"Unable to open file list: 'folder.txt'\r\n"), "a folder as list is refused", out)
        write(os.path.join(work, "bom.txt"), b"\xef\xbb\xbfin.pdf\r\n\r\n  \r\n" + src.encode() + b"\r\n\r\n\n")
        rc, out = run("bom.txt", "-fbomout", "-remove")
        check(rc == 0 and out.count(b"\nDone.\n") == 2 and b"Document error" not in out,
              "byte-order mark and blank lines are skipped", out)
        check(qpdf_check(os.path.join(work, "bomout", "in.pdf"))[0] == 0, "the list's file is written")

    return check.summary("all file-safety checks passed")


if __name__ == "__main__":
    sys.exit(main())
