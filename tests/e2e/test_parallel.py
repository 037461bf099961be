#!/usr/bin/env python3
"""tools/quillmark-parallel against one quillmark batch run over the same list.

Usage: test_parallel.py <path of the quillmark executable>

Each case runs the same command line twice in two fresh folders laid out alike: once
as one quillmark process, once through quillmark-parallel with two local workers and
small chunks (so the list is split several ways). The output folders must be equal
byte for byte, file for file, and so must the report and the messages. Stamping
draws the font resource name from the clock, so both runs go through a wrapper that
freezes the clock with faketime.

Also: runs on two "machines" through a stand-in for ssh (GNU parallel's --ssh), lines
whose outputs share a file name, files that fail (the others are still processed, the
failed ones are named, status 1), --stop-on-error, a command line quillmark refuses,
the tool's own refusals, and that no work folder is left behind.
"""
import os
import shutil
import stat
import subprocess
import sys

from corpus_util import Checks, pdf_of, run, work_folder

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
TOOL = os.path.join(ROOT, "tools", "quillmark-parallel")
CORPUS = os.path.join(ROOT, "tests", "corpus")
SAMPLE = os.path.join(ROOT, "examples", "sample.pdf")
FROZEN = "@2026-01-01 00:00:00"

check = Checks(clip=3000)


def tree(folder):
    """relative path -> bytes of every file below folder."""
    out = {}
    for base, _, files in os.walk(folder):
        for f in files:
            p = os.path.join(base, f)
            with open(p, "rb") as fh:
                out[os.path.relpath(p, folder)] = fh.read()
    return out


def write_exe(path, text):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)


def no_links_pdf():
    """A one-page PDF with text and no link annotation."""
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
            b"/Resources << /Font << /F1 5 0 R >> >> >>"]
    text = b"BT /F1 12 Tf 72 720 Td (No links here) Tj ET"
    objs.append(b"<< /Length %d >>\nstream\n" % len(text) + text + b"\nendstream")
    objs.append(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    return pdf_of(objs, header=b"%PDF-1.4\n")


class Runs:
    """Two folders laid out alike: 'single' for one quillmark run, 'par' for the tool."""

    count = 0  # shared by every instance: each case gets folders of its own

    def __init__(self, root, qm, env):
        self.root, self.qm, self.env = root, qm, env

    def folders(self, layout):
        Runs.count += 1
        dirs = []
        for kind in ("single", "par"):
            d = os.path.join(self.root, "case%02d-%s" % (Runs.count, kind))
            os.makedirs(d)
            for rel, data in layout.items():
                p = os.path.join(d, rel)
                os.makedirs(os.path.dirname(p) or d, exist_ok=True)
                if isinstance(data, str):
                    os.symlink(data, p)
                else:
                    with open(p, "wb") as f:
                        f.write(data)
            dirs.append(d)
        return dirs

    def single(self, cwd, args):
        return run(self.qm, args, timeout=600, cwd=cwd, env=self.env)

    def parallel(self, cwd, tool_opts, args):
        return run("bash", [TOOL, "--quillmark", self.qm] + tool_opts + args, timeout=600, cwd=cwd, env=self.env)


def main():
    qm_real = os.path.abspath(sys.argv[1])
    for tool in ("parallel", "faketime"):
        if shutil.which(tool) is None:
            print("%s is needed (Debian package %s)" % (tool, tool))
            return 1

    with work_folder("qm_parallel_") as root:
        tmp = os.path.join(root, "tmp")
        os.makedirs(tmp)
        env = dict(os.environ)
        env["TMPDIR"] = tmp  # the tool's work folders go here: it must be empty at the end
        env["LC_ALL"] = "C"
        # stdbuf preloads a library too.
        env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0").lstrip(":")

        # The program behind a frozen clock, for both kinds of run.
        qm = os.path.join(root, "quillmark-frozen")
        # faketime preloads a library, which a sanitizer build must be told to accept
        # (also where the stand-in for ssh starts from a bare environment).
        write_exe(qm, '#!/bin/sh\nASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" '
                      'exec faketime -f "%s" "%s" "$@"\n' % (FROZEN, qm_real))
        runs = Runs(root, qm, env)

        good = sorted(os.path.join(CORPUS, f) for f in os.listdir(CORPUS)
                      if f.endswith(".pdf") and not f.startswith(("damaged-", "encrypted-")))
        # Inputs that fail whatever the program learns to repair: files that need a
        # password, a missing file, a file that is no PDF at all.
        bad = []
        for n, bits in enumerate(("128", "256")):
            locked = os.path.join(root, "locked%d.pdf" % n)
            subprocess.run(["qpdf", "--allow-weak-crypto", "--encrypt", "user", "owner", bits, "--", SAMPLE, locked],
                           check=True)
            bad.append(locked)
        bad += ["missing.pdf", "notpdf.pdf"]
        check(len(good) >= 13 and len(bad) >= 4, "corpus present")

        # The inputs: corpus files by absolute path, two by relative path inside the run
        # folder, one written the Windows way, CR LF line ends, no line end at the end.
        layout = {"in/sample.pdf": SAMPLE, "in/sub/writer.pdf": os.path.join(CORPUS, "writer-truetype-weblinks.pdf")}
        lines = [good[0], "in/sample.pdf"] + good[1:12] + ["in/sub\\..\\sub/writer.pdf"] + good[12:]
        list_bytes = ("\r\n".join(lines[:5]) + "\r\n" + "\n".join(lines[5:])).encode()
        layout["list.txt"] = list_bytes
        # A line naming "in/sub\..\sub/writer.pdf" is opened as a Linux path with a
        # folder named "sub\..\sub"; make it exist so the line is a good file.
        layout["in/sub\\..\\sub/writer.pdf"] = os.path.join(CORPUS, "writer-truetype-weblinks.pdf")

        two = ["-j", "2", "--chunk-size", "3"]
        remote_ssh = os.path.join(root, "ssh-standin")
        write_exe(remote_ssh, """#!/bin/bash
# Stands in for ssh: drops the options and the host and runs the command on this
# machine from / with the bare environment of a fresh login.
while [ $# -gt 0 ]; do
    case "$1" in
        -[oplSFiJcm]) shift 2 ;;
        -*) shift ;;
        *) break ;;
    esac
done
echo "$1" >> "%s/hosts.log"
shift
[ "${1:-}" = "--" ] && shift
cd /
exec env -i HOME="$HOME" PATH=/usr/bin:/bin SHELL=/bin/sh bash -c "$*"
""" % root)
        remote = ["-S", "1/machine-a", "-S", "1/machine-b", "--chunk-size", "2",
                  "--parallel-option", "--ssh", "--parallel-option", remote_ssh]

        # name, quillmark arguments after the list, tool options, files present before the run
        cases = [
            ("stamp", ["-fout", "-text", "Batch [FILETITLE]", "-link", "https://b.example/", "-pos20,30"], two, {}),
            ("web scan", ["-fout", "-create"], two, {}),
            ("remove", ["-fout/", "-remove", "-link", "http"], two, {}),
            ("report, each file starts it anew", ["-fnul", "-report", "links.txt"], two,
             {"links.txt": b"an older report\r\n"}),
            ("report appended", ["-fnul", "-report", "links.txt", "-reportpos", "-reportappend"], two,
             {"links.txt": b"an older report\r\n"}),
            ("report into a folder", ["-fout", "-report", "rep/all.txt", "-reportappend"], two,
             {"rep/keep": b""}),
            ("two machines", ["-fout", "-create", "-text", "the", "-link", "https://the.example/"], remote, {}),
            ("two machines, report", ["-fnul", "-report", "links.txt", "-reportappend"], remote, {}),
        ]
        for name, qargs, topts, before in cases:
            lay = dict(layout)
            lay.update(before)
            s_dir, p_dir = runs.folders(lay)
            rc_s, out_s, err_s = runs.single(s_dir, ["list.txt"] + qargs)
            rc_p, out_p, err_p = runs.parallel(p_dir, topts, ["list.txt"] + qargs)
            check(rc_s == 0, "%s: the single run succeeds" % name, out_s)
            check(rc_p == 0, "%s: quillmark-parallel exits 0" % name, out_p + err_p)
            check(out_p == out_s, "%s: the messages equal the single run's" % name, out_p)
            check(err_p == b"", "%s: nothing on standard error" % name, err_p)
            t_s, t_p = tree(s_dir), tree(p_dir)
            check(sorted(t_p) == sorted(t_s), "%s: the same files" % name,
                  repr(sorted(set(t_p) ^ set(t_s))))
            for rel in sorted(set(t_s) & set(t_p)):
                check(t_s[rel] == t_p[rel], "%s: %s equals the single run's byte for byte" % (name, rel))
            outputs = [r for r in t_s if r.startswith("out/")]
            if qargs[0].startswith("-fout") and "-report" not in qargs:
                check(len(outputs) == len(lines), "%s: one output per line (%d)" % (name, len(outputs)))
        check(os.path.exists(os.path.join(root, "hosts.log")) and
              {l.strip() for l in open(os.path.join(root, "hosts.log"))} == {"machine-a", "machine-b"},
              "both machines ran jobs")

        # A report run over files without links replaces an older report, as a single
        # run does: the report always reflects the run.
        s_dir, p_dir = runs.folders({"a.pdf": no_links_pdf(), "b.pdf": no_links_pdf(),
                                     "list.txt": b"a.pdf\nb.pdf\n", "links.txt": b"older\r\n"})
        rc_p, out_p, err_p = runs.parallel(p_dir, ["-j", "2", "--chunk-size", "1"],
                                           ["list.txt", "-fnul", "-report", "links.txt"])
        rc_s, out_s, err_s = runs.single(s_dir, ["list.txt", "-fnul", "-report", "links.txt"])
        check(rc_p == 0 and rc_s == 0 and open(os.path.join(p_dir, "links.txt"), "rb").read() == b"" and
              open(os.path.join(s_dir, "links.txt"), "rb").read() == b"",
              "a report over files without links replaces the older report", out_p + err_p)

        # Lines whose outputs share a file name: the later line's output remains, as in
        # one run, however the chunks fall. The program used here waits a second before
        # a run whose list names "slow/", so that without care a later line's run would
        # finish first and be overwritten.
        qm_slow = os.path.join(root, "quillmark-slow")
        write_exe(qm_slow, '#!/bin/sh\nif grep -q "^slow/" "$1"; then sleep 1; fi\nexec "%s" "$@"\n' % qm)
        slow_runs = Runs(root, qm_slow, env)
        shared = {"slow/a.pdf": SAMPLE, "y/a.pdf": os.path.join(CORPUS, "writer-truetype-weblinks.pdf"),
                  "z/a.pdf": os.path.join(CORPUS, "reportlab-truetype-subset.pdf"),
                  "x/b.pdf": os.path.join(CORPUS, "ghostscript-type3-font.pdf")}
        for order, last in ((["slow/a.pdf", "x/b.pdf", "y/a.pdf", good[3], "z/a.pdf"], "z/a.pdf"),
                            (["z/a.pdf", good[3], "y/a.pdf", "x/b.pdf", "slow/a.pdf"], "slow/a.pdf")):
            shared["list.txt"] = "\n".join(order).encode() + b"\n"
            s_dir, p_dir = slow_runs.folders(shared)
            slow_runs.single(s_dir, ["list.txt", "-fout", "-create"])
            slow_runs.single(s_dir, [last, "last.pdf", "-create"])
            rc_p, out_p, err_p = slow_runs.parallel(p_dir, ["-j", "2", "--chunk-size", "1"],
                                                    ["list.txt", "-fout", "-create"])
            check(rc_p == 0, "shared names: exit 0", out_p + err_p)
            t_s, t_p = tree(os.path.join(s_dir, "out")), tree(os.path.join(p_dir, "out"))
            check(t_s == t_p and len(t_s) == 3, "shared names: the same outputs (%r)" % sorted(t_p))
            check(t_p.get("a.pdf") == open(os.path.join(s_dir, "last.pdf"), "rb").read(),
                  "shared names: a.pdf is the output of the last line naming it (%s)" % last)

        # Files that fail: the others are processed, the failed ones named, status 1. The
        # result is that of one run over the list without the failed lines.
        mixed = [good[0], bad[0], good[1], good[2], bad[1], bad[2], good[3], good[4], bad[-1]]
        lay = {"list.txt": "\n".join(mixed).encode() + b"\n", "notpdf.pdf": b"%PDF-1.4\nnot a PDF\n",
               "ok.txt": "\n".join(l for l in mixed if l not in bad).encode() + b"\n"}
        s_dir, p_dir = runs.folders(lay)
        runs.single(s_dir, ["ok.txt", "-fout", "-report", "r.txt", "-reportappend"])
        runs.single(s_dir, ["ok.txt", "-fout2", "-create"])
        rc_p, out_p, err_p = runs.parallel(p_dir, ["-j", "2", "--chunk-size", "4", "--failed", "failed.txt"],
                                           ["list.txt", "-fout", "-report", "r.txt", "-reportappend"])
        check(rc_p == 1, "failures: exit status 1", err_p)
        check(open(os.path.join(p_dir, "r.txt"), "rb").read() == open(os.path.join(s_dir, "r.txt"), "rb").read(),
              "failures: the report is that of the good files")
        for b in bad:
            if b in mixed:
                check(("quillmark-parallel: failed: %s\n" % b).encode() in err_p, "failures: %s named" % b, err_p)
        check(open(os.path.join(p_dir, "failed.txt"), "rb").read().split() == [l.encode() for l in mixed if l in bad],
              "failures: --failed lists the failed lines in list order")
        check(out_p.count(b"Document error\n") == 4 and out_p.count(b"\nDone.\n") == 5,
              "failures: every file's messages are printed", out_p)
        rc_p, out_p, err_p = runs.parallel(p_dir, ["-j", "2", "--chunk-size", "4"], ["list.txt", "-fout2", "-create"])
        check(rc_p == 1 and tree(os.path.join(p_dir, "out2")) == tree(os.path.join(s_dir, "out2")),
              "failures: the outputs are those of the good files", err_p)
        check(b"4 of 9 files failed, 0 not processed" in err_p, "failures: summary line", err_p)

        # A crash: the program below crashes on the list line crash.pdf after leaving a
        # temporary output file behind. Unless it runs line-buffered (as under
        # stdbuf -oL) the messages of the files before the crash die with it, as a
        # real program's buffered output would. The failed line must still be named
        # exactly, nothing else counted as failed, and no message printed twice.
        qm_crash = os.path.join(root, "quillmark-crash")
        write_exe(qm_crash, r"""#!/bin/bash
list="$1"; shift
grep -qx 'crash.pdf' "$list" || exec "%(qm)s" "$list" "$@"
before="$(mktemp --suffix=.txt)"; log="$(mktemp)"
awk '$0 == "crash.pdf" { exit } { print }' "$list" > "$before"
"%(qm)s" "$before" "$@" > "$log"
if [ "${_STDBUF_O:-}" = L ]; then cat "$log"; printf "Input file: 'crash.pdf'"; else head -n 5 "$log"; fi
rm -f "$before" "$log"
: > "out/crash.pdf.qm$$-0.tmp"
kill -SEGV $$
""" % {"qm": qm})
        crash_runs = Runs(root, qm_crash, env)
        crash_list = good[:5] + ["crash.pdf"] + good[5:8]
        s_dir, p_dir = crash_runs.folders({"list.txt": "\n".join(crash_list).encode() + b"\n",
                                           "ok.txt": "\n".join(good[:8]).encode() + b"\n"})
        crash_runs.single(s_dir, ["ok.txt", "-fout", "-create"])
        rc_p, out_p, err_p = crash_runs.parallel(p_dir, ["-j", "2", "--chunk-size", "20", "--failed", "f.txt"],
                                                 ["list.txt", "-fout", "-create"])
        check(rc_p == 1 and open(os.path.join(p_dir, "f.txt")).read() == "crash.pdf\n",
              "crash: exit 1 and only the crashing line failed", out_p + err_p)
        check(tree(os.path.join(p_dir, "out")) == tree(os.path.join(s_dir, "out")),
              "crash: every other file is written, no temporary file left",
              repr(sorted(os.listdir(os.path.join(p_dir, "out")))))
        check(out_p.count(b"\nDone.\n") == 8 and out_p.count(b"Quillmark v1.10") == 1,
              "crash: every message once", out_p)

        # --stop-on-error: nothing new starts after a failure; every line is either
        # written or listed as failed or not processed; status 1.
        stop_list = good[:3] + [bad[0]] + good[3:12]
        s_dir, p_dir = runs.folders({"list.txt": "\n".join(stop_list).encode() + b"\n", "notpdf.pdf": b"x"})
        rc_p, out_p, err_p = runs.parallel(p_dir, ["-j", "1", "--chunk-size", "2", "--stop-on-error",
                                                   "--failed", "rest.txt"], ["list.txt", "-fout", "-create"])
        check(rc_p == 1, "stop: exit status 1", err_p)
        written = set(os.listdir(os.path.join(p_dir, "out")))
        rest = open(os.path.join(p_dir, "rest.txt")).read().split()
        check(rest == stop_list[3:], "stop: the failed line and every later one are listed", repr(rest))
        check(written == {os.path.basename(l) for l in stop_list[:3]}, "stop: nothing after the failure is written",
              repr(sorted(written)))
        check(b"1 of 13 files failed, 9 not processed" in err_p, "stop: summary line", err_p)

        # A command line quillmark refuses: its message once, status 1, nothing written.
        s_dir, p_dir = runs.folders(layout)
        rc_s, out_s, _ = runs.single(s_dir, ["list.txt", "-fout", "-linkcolor", "FF0000"])
        rc_p, out_p, err_p = runs.parallel(p_dir, two, ["list.txt", "-fout", "-linkcolor", "FF0000"])
        check(rc_p == 1 and out_p == out_s and out_p.endswith(b"Error parameter"),
              "refused command line: quillmark's message once, status 1", out_p + err_p)
        check(not os.listdir(os.path.join(p_dir, "out")), "refused command line: nothing written")

        # The tool's own refusals: status 2, nothing run.
        for args, what in ((["list.pdf", "-fout", "-create"], "not a list file name"),
                           (["list.txt", "out", "-create"], "no -f"),
                           (["missing.txt", "-fout", "-create"], "unreadable list"),
                           (["--chunk-size", "0", "list.txt", "-fout", "-create"], "chunk size 0"),
                           (["--no-such-option", "list.txt", "-fout", "-create"], "unknown option"),
                           (["list.txt"], "no folder")):
            rc_p, out_p, err_p = runs.parallel(p_dir, [], args)
            check(rc_p == 2 and out_p == b"" and err_p.startswith(b"quillmark-parallel: "),
                  "tool refusal (%s): status 2 and a message" % what, out_p + err_p)

        # An empty list is what quillmark makes of it.
        s_dir, p_dir = runs.folders({"empty.txt": b""})
        rc_s, out_s, _ = runs.single(s_dir, ["empty.txt", "-fout", "-create"])
        rc_p, out_p, _ = runs.parallel(p_dir, two, ["empty.txt", "-fout", "-create"])
        check(rc_p == rc_s == 0 and out_p == out_s, "empty list")

        check(os.listdir(tmp) == [], "no work folder is left behind", repr(os.listdir(tmp)))
        leftovers = [os.path.join(b, f) for b, _, fs in os.walk(root) for f in fs
                     if ".qm" in f and f.endswith(".tmp") or f.startswith("quillmark-parallel.")]
        check(leftovers == [], "no temporary file is left behind", repr(leftovers))

    return check.summary("all quillmark-parallel checks passed")


if __name__ == "__main__":
    sys.exit(main())
