"""Shared helpers of the whole-program tests (tests/e2e/test_*.py)."""
import glob
import json
import os
import re
import subprocess
import sys


def need_oracles():
    """Re-runs the calling script under the system Python when this interpreter lacks
    the PDF oracles (pikepdf, PyMuPDF), which come from Debian packages."""
    try:
        import fitz  # noqa: F401
        import pikepdf  # noqa: F401
        return
    except ImportError:
        pass
    system = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(system) and os.path.exists(system):
        os.execv(system, [system] + sys.argv)
    print("pikepdf and PyMuPDF are needed")
    sys.exit(1)

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.normpath(os.path.join(HERE, "..", "corpus"))


def corpus_files():
    """(pdf path, ground truth dict) for every corpus file, in name order."""
    out = []
    for pdf in sorted(glob.glob(os.path.join(CORPUS, "*.pdf"))):
        with open(pdf[:-4] + ".json", encoding="utf-8") as f:
            out.append((pdf, json.load(f)))
    return out


def must_refuse(truth):
    """Encrypted files that need a password are refused (those of the corpus open with
    the empty password and are processed); damaged ones may be refused."""
    return bool(truth["structure"].get("encryption")) and truth.get("password", "") != ""


def is_damaged(truth):
    return "damage" in truth


def run(exe, args, timeout=120):
    p = subprocess.run([exe] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    return p.returncode, p.stdout, p.stderr


_OFFSET = re.compile(r"\(offset \d+\)|offset \d+|at offset \d+")


def qpdf_problems(path):
    """qpdf --check's warnings and errors, with the file name and offsets taken out."""
    p = subprocess.run(["qpdf", "--check", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    text = p.stdout.decode("latin-1").replace(path, "FILE")
    lines = []
    for line in text.splitlines():
        # The closing note of a clean check ("... errors that qpdf cannot detect") is
        # no problem.
        if "errors that qpdf cannot detect" in line:
            continue
        if re.search(r"\b(WARNING|ERROR)\b|^qpdf:", line) or "error" in line.lower() and "No syntax" not in line:
            lines.append(_OFFSET.sub("offset N", line).strip())
    return set(lines)


def new_qpdf_problems(inp, outp):
    return sorted(qpdf_problems(outp) - qpdf_problems(inp))


def page_boxes(truth, i):
    """(crop box normalised, rotation) of page i (0-based) from the ground truth."""
    page = truth["pages"][i]
    box = page.get("cropbox") or page.get("mediabox") or [0, 0, 612, 792]
    x1, y1, x2, y2 = [float(v) for v in box]
    return (min(x1, x2), min(y1, y2), max(x1, x2), max(y1, y2)), int(page.get("rotate") or 0) % 360


class Checks:
    """The checks of one test script. Calling it checks one thing: a failure is
    counted and printed at once, with its detail (bytes are decoded with encoding and
    cut to their first clip characters, or their last -clip when clip is negative;
    anything else is printed as it is). summary() ends the script.

    check = Checks(label="detail:", clip=-600)
    check(rc == 0, "the run succeeds", stdout)
    return check.summary("all checks passed")
    """

    def __init__(self, label="detail:", clip=None, encoding="latin-1"):
        self.failures = []
        self.label, self.clip, self.encoding = label, clip, encoding

    def __call__(self, cond, what, detail=b""):
        if not cond:
            self.fail(what, detail)
        return cond

    def fail(self, what, detail=b""):
        self.failures.append(what)
        print("FAIL:", what)
        if detail:
            if isinstance(detail, bytes):
                detail = detail.decode(self.encoding, "replace")
                if self.clip is not None:
                    detail = detail[:self.clip] if self.clip > 0 else detail[self.clip:]
            print("      " + self.label, detail)

    def summary(self, passed, failed="%d check(s) failed"):
        """Prints the number of failures, or passed when there is none; the exit status."""
        if self.failures:
            print(failed % len(self.failures))
            return 1
        print(passed)
        return 0
