"""Shared helpers of the whole-program tests (tests/e2e/test_*.py)."""
import contextlib
import glob
import json
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile


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


def run(exe, args, timeout=120, merge_stderr=False, **kw):
    """(exit status, standard output, standard error) of exe run with args. With
    merge_stderr, standard error goes into the output in the order written and the
    third is None. kw goes to subprocess.run (cwd, env, preexec_fn)."""
    p = subprocess.run([exe] + list(args), stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT if merge_stderr else subprocess.PIPE, timeout=timeout, **kw)
    return p.returncode, p.stdout, p.stderr


@contextlib.contextmanager
def work_folder(prefix):
    """A new temporary folder for the block, removed with all it holds when the block
    ends however it ends."""
    path = tempfile.mkdtemp(prefix=prefix)
    try:
        yield path
    finally:
        shutil.rmtree(path, ignore_errors=True)


def sanitized(exe):
    """Whether exe is a sanitizer build (which needs far more address space)."""
    with open(exe, "rb") as f:
        return b"__asan_init" in f.read()


def address_space_limit(limit):
    """A preexec_fn for run that caps the child's address space at limit bytes."""
    def apply():
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    return apply


def tool_beside(exe, name):
    """The path of the helper program name built next to exe (name.exe in a Windows
    build), or None."""
    d = os.path.dirname(os.path.abspath(exe))
    for n in (name, name + ".exe"):
        p = os.path.join(d, n)
        if os.path.exists(p):
            return p
    return None


def qpdf_check(path):
    """(exit status, what it prints) of qpdf --check: 0 clean, 3 warnings only, 2 errors."""
    p = subprocess.run(["qpdf", "--check", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return p.returncode, p.stdout


_OFFSET = re.compile(r"\(offset \d+\)|offset \d+|at offset \d+")


def qpdf_problems(path):
    """qpdf --check's warnings and errors, with the file name and offsets taken out."""
    text = qpdf_check(path)[1].decode("latin-1").replace(path, "FILE")
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


# ---- small files made by the tests ------------------------------------------------

PDF_HEADER = b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n"


def classic_pdf(objects, shifts=None, trailer=b"", header=PDF_HEADER, free_generation=65535, size=None):
    """A PDF file with a classic cross-reference table and /Root 1 0 R. objects:
    (number, whole object text) in file order; shifts: number -> how many bytes its
    entry is off; trailer: more trailer entries; size: the /Size when free entries
    follow the highest number written. A number below the size that is not written
    is a free entry of free_generation (entry 0 is always 65535)."""
    shifts = shifts or {}
    out = bytearray(header)
    offs = {}
    for num, text in objects:
        offs[num] = len(out) + shifts.get(num, 0)
        out += text
    size = max(size or 0, max(offs) + 1)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for n in range(1, size):
        out += (b"%010d 00000 n \n" % offs[n]) if n in offs else b"0000000000 %05d f \n" % free_generation
    out += b"trailer\n<< /Size %d /Root 1 0 R %s>>\nstartxref\n%d\n%%%%EOF\n" % (size, trailer, xref)
    return bytes(out)


def indirect(num, body):
    """(num, the object num 0 with body) for classic_pdf."""
    return (num, b"%d 0 obj\n" % num + body + b"\nendobj\n")


def pdf_of(bodies, **kw):
    """classic_pdf of object bodies in number order: bodies is a list (numbered from
    1) or a dict number -> body, where None stands for a free entry."""
    if isinstance(bodies, list):
        bodies = dict(enumerate(bodies, start=1))
    return classic_pdf([indirect(n, b) for n, b in sorted(bodies.items()) if b is not None],
                       size=max(bodies) + 1, **kw)


def tiny_pdf(page_count=1):
    """A small valid PDF with one web link on every page, with a correct xref table."""
    objs = []
    kids = " ".join("%d 0 R" % (3 + 3 * i) for i in range(page_count))
    objs.append(b"<< /Type /Catalog /Pages 2 0 R >>")
    objs.append(("<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, page_count)).encode())
    font_num = 3 + 3 * page_count
    for i in range(page_count):
        content, annot = 4 + 3 * i, 5 + 3 * i  # the page itself is object 3 + 3 * i
        objs.append(("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
                     "/Resources << /Font << /F1 %d 0 R >> >> /Annots [%d 0 R] >>"
                     % (content, font_num, annot)).encode())
        text = b"BT /F1 12 Tf 72 720 Td (Visit http://www.example.com today) Tj ET"
        objs.append(b"<< /Length %d >>\nstream\n" % len(text) + text + b"\nendstream")
        objs.append(b"<< /Type /Annot /Subtype /Link /Rect [100 715 250 735] /Border [0 0 0] "
                    b"/A << /S /URI /URI (http://www.example.com/) >> >>")
    objs.append(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    return pdf_of(objs)
