#!/usr/bin/env python3
"""Runs the Windows build (quillmark.exe, cross-built with MinGW-w64) under Wine on the
bundled examples/sample.pdf and checks what it writes.

Usage: run_under_wine.py <quillmark.exe> <native quillmark>

Each job runs once under Wine and once with the native Linux build in the same
folder: a stamp, the web-address scan, a report, a batch over a list file with -f
(one line written the Windows way, with backslashes), a batch report to the null
device, and a batch whose second file fails. Outputs must be valid (qpdf --check),
carry the links and text asked for (PyMuPDF), and, except for the stamp (whose font
resource name is drawn from the clock), equal the native build's byte for byte;
reports must equal the native ones byte for byte; exit statuses must match.

Wine runs in a prefix of its own in a temporary folder, without a display and with its
debug output switched off; the prefix is removed at the end.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.normpath(os.path.join(HERE, "..", "..", "examples", "sample.pdf"))
SYSTEM_PYTHON = "/usr/bin/python3"

failures = []


def need_fitz():
    try:
        import fitz  # noqa: F401
        return
    except ImportError:
        pass
    if os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON) and os.path.exists(SYSTEM_PYTHON):
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.argv)
    print("PyMuPDF (python3-fitz) is needed")
    sys.exit(1)


def check(cond, what, detail=b""):
    if not cond:
        failures.append(what)
        print("FAIL:", what)
        if detail:
            print("      detail:", detail if isinstance(detail, str) else detail.decode("latin-1")[:2000])
    return cond


def wine_env(prefix):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env.update({
        "WINEPREFIX": prefix,
        "WINEDEBUG": "-all",
        # No Mono or Gecko installers: a console program needs neither.
        "WINEDLLOVERRIDES": "mscoree=;mshtml=",
        "WINEARCH": "win64",
        "LC_ALL": "C.UTF-8",
    })
    return env


def qpdf_ok(path):
    p = subprocess.run(["qpdf", "--check", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    return p.returncode == 0, p.stdout


def links_and_text(path):
    import fitz
    doc = fitz.open(path)
    pages = []
    for page in doc:
        uris = [l.get("uri") for l in page.get_links() if l.get("kind") == fitz.LINK_URI]
        pages.append((uris, page.get_text()))
    doc.close()
    return pages


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    need_fitz()
    exe = os.path.abspath(sys.argv[1])
    native = os.path.abspath(sys.argv[2])
    if shutil.which("wine") is None:
        print("wine is needed (Debian packages wine, wine64)")
        return 1

    root = tempfile.mkdtemp(prefix="qm_wine_")
    prefix = os.path.join(root, "prefix")
    env = wine_env(prefix)
    win_dir = os.path.join(root, "win")
    lin_dir = os.path.join(root, "linux")
    try:
        # Creating the prefix is the slow part of Wine's first start; do it once,
        # quietly, and wait until its server has finished.
        p = subprocess.run(["wine", "wineboot", "--init"], env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=600)
        subprocess.run(["wineserver", "-w"], env=env, timeout=600)
        if not check(p.returncode == 0, "wineboot creates the Wine prefix", p.stdout):
            return 1

        for d in (win_dir, lin_dir):
            os.makedirs(os.path.join(d, "sub"))
            shutil.copyfile(SAMPLE, os.path.join(d, "sample.pdf"))
            shutil.copyfile(SAMPLE, os.path.join(d, "sub", "copy.pdf"))
            with open(os.path.join(d, "broken.pdf"), "wb") as f:
                f.write(b"%PDF-1.4\nthis is not a PDF file\n%%EOF\n")

        def run(args, on_windows):
            cwd = win_dir if on_windows else lin_dir
            cmd = (["wine", exe] if on_windows else [native]) + args
            p = subprocess.run(cmd, cwd=cwd, env=env if on_windows else None, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=300)
            # Windows writes "\n" as "\r\n" to standard output; compare the text itself.
            return p.returncode, p.stdout.replace(b"\r", b"")

        def both(name, args, expect_rc=0):
            rc_w, out_w = run(args, True)
            rc_l, out_l = run(args, False)
            check(rc_w == expect_rc, "%s: exit status %d under Wine (got %d)" % (name, expect_rc, rc_w), out_w)
            check(rc_l == expect_rc, "%s: exit status %d natively (got %d)" % (name, expect_rc, rc_l), out_l)
            return out_w, out_l

        def same_file(name, rel):
            w, l = os.path.join(win_dir, rel), os.path.join(lin_dir, rel)
            if check(os.path.exists(w), "%s: %s written under Wine" % (name, rel)) and os.path.exists(l):
                check(read(w) == read(l), "%s: %s equals the native build's byte for byte" % (name, rel))

        def valid(name, rel):
            ok, msg = qpdf_ok(os.path.join(win_dir, rel))
            check(ok, "%s: qpdf --check passes on %s" % (name, rel), msg)

        # 1. Stamp a link on every page.
        stamp = ["sample.pdf", "stamped.pdf", "-text", "Quillmark on Windows", "-link",
                 "https://quillmark.example.com/win", "-pos20,20", "-linktype", "Visible Rectangle"]
        out, _ = both("stamp", stamp)
        check(out.endswith(b"\nDone.\n") and b"Using font: Arial\n" in out, "stamp: messages", out)
        valid("stamp", "stamped.pdf")
        if os.path.exists(os.path.join(win_dir, "stamped.pdf")):
            pages = links_and_text(os.path.join(win_dir, "stamped.pdf"))
            check(len(pages) == len(links_and_text(SAMPLE)), "stamp: page count kept")
            for i, (uris, text) in enumerate(pages, 1):
                check("https://quillmark.example.com/win" in uris, "stamp: link on page %d" % i, repr(uris))
                check("Quillmark on Windows" in text, "stamp: text on page %d" % i, text)

        # 2. Links over the web addresses in the text.
        out, _ = both("web scan", ["sample.pdf", "linked.pdf", "-create"])
        check(out.endswith(b"\nDone.\n"), "web scan: Done.", out)
        valid("web scan", "linked.pdf")
        same_file("web scan", "linked.pdf")
        if os.path.exists(os.path.join(win_dir, "linked.pdf")):
            before = sum(len(u) for u, _ in links_and_text(SAMPLE))
            after = sum(len(u) for u, _ in links_and_text(os.path.join(win_dir, "linked.pdf")))
            check(after > before, "web scan: links were created (%d before, %d after)" % (before, after))

        # 3. A report of the result, with positions; no PDF is left.
        out, _ = both("report", ["linked.pdf", "rep.pdf", "-report", "links.txt", "-reportpos"])
        check(not os.path.exists(os.path.join(win_dir, "rep.pdf")), "report: no output PDF is left")
        same_file("report", "links.txt")
        if os.path.exists(os.path.join(win_dir, "links.txt")):
            lines = read(os.path.join(win_dir, "links.txt")).split(b"\r\n")
            check(lines[-1] == b"" and len(lines) > 1, "report: lines end with CR LF")
            line_re = re.compile(rb"^\d+ \| .* \| \S+ \| -?\d+\.\d\d \| -?\d+\.\d\d \| -?\d+\.\d\d \| -?\d+\.\d\d$")
            for line in lines[:-1]:
                check(line_re.match(line) is not None, "report: line format", line)

        # 4. A batch over a list file with -f: one line relative, one written with a
        # backslash; each output keeps its input's file name inside the folder.
        for d in (win_dir, lin_dir):
            with open(os.path.join(d, "list.txt"), "wb") as f:
                f.write(b"sample.pdf\r\nsub\\copy.pdf\r\n" if d == win_dir else b"sample.pdf\nsub/copy.pdf\n")
        out, _ = both("batch", ["list.txt", "-fout", "-create"])
        check(out.count(b"\nDone.\n") == 2, "batch: one Done. per list line", out)
        check(b"output file: 'out\\sample.pdf'" in out and b"output file: 'out\\copy.pdf'" in out,
              "batch: output paths composed with a backslash", out)
        for rel in ("out/sample.pdf", "out/copy.pdf"):
            valid("batch", rel)
            same_file("batch", rel)
            if os.path.exists(os.path.join(win_dir, rel)):
                check(read(os.path.join(win_dir, rel)) == read(os.path.join(win_dir, "linked.pdf")),
                      "batch: %s equals the single run's output" % rel)

        # 5. A batch report to the null device, appended.
        out, _ = both("batch report", ["list.txt", "-fnul", "-report", "batch.txt", "-reportappend"])
        check(out.count(b"output file: 'nul'") == 2, "batch report: outputs go to nul", out)
        check(not os.path.exists(os.path.join(win_dir, "nul")), "batch report: no file named nul")
        same_file("batch report", "batch.txt")
        if os.path.exists(os.path.join(win_dir, "batch.txt")):
            # The same document twice: the report holds its lines twice.
            rep = read(os.path.join(win_dir, "batch.txt"))
            half = rep[:len(rep) // 2]
            check(b" | " in half and rep == half + half and half.endswith(b"\r\n"),
                  "batch report: both files listed", rep)

        # 6. A batch whose second file fails: status 1, the batch ends there, no partial
        # output of the failing file is left.
        for d in (win_dir, lin_dir):
            with open(os.path.join(d, "fails.txt"), "wb") as f:
                f.write(b"sample.pdf\nbroken.pdf\nsub\\copy.pdf\n" if d == win_dir
                        else b"sample.pdf\nbroken.pdf\nsub/copy.pdf\n")
        out, _ = both("failing batch", ["fails.txt", "-ffail", "-remove"], expect_rc=1)
        check(out.endswith(b"Input file: 'broken.pdf'Document error\n") or b"Document error\n" in out,
              "failing batch: Document error", out)
        check(os.path.exists(os.path.join(win_dir, "fail", "sample.pdf")), "failing batch: first file written")
        check(sorted(os.listdir(os.path.join(win_dir, "fail"))) == ["sample.pdf"],
              "failing batch: nothing else in the folder", repr(os.listdir(os.path.join(win_dir, "fail"))))

        # 7. Wildcards in the first two arguments are refused with status 1.
        out, _ = both("wildcard", ["*.pdf", "-fout", "-create"], expect_rc=1)
        check(b"Wildcards * are not permitted" in out, "wildcard: message", out)
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(root, ignore_errors=True)

    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks of the Windows build under Wine passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
