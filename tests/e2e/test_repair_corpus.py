#!/usr/bin/env python3
"""Damaged files are repaired as readers repair them, in every mode.

Usage: test_repair_corpus.py <path of the quillmark executable>

The files: the corpus's damaged files, and damaged variants (damaged_variants.py)
of sound corpus files of every structure: classic tables, cross-reference streams
with object streams, incremental updates, a linearized file, junk before the
header, an encrypted file.

For each file, qpdf's own repair of it (qpdf in.pdf ref.pdf) is the reference.
  - When qpdf repairs it, the program processes the file in every mode: status 0,
    the repaired line before "Done.", an output that passes qpdf --check (nothing
    qpdf finds that it does not find in the reference already), and the same pages,
    page text and links (target and rectangle) as the program's output for the
    reference; a report run writes the same report as for the reference.
  - When qpdf cannot repair it (or finds no page), the program either processes it
    (qpdf --check finds no error in the output) or refuses it: "Document error", a
    line saying why, status 1 and no output.

Hostile inputs of almost 1 MB that only the repair path reads (a file of "obj"
keywords, of object headers, of nested containers, streams without end, strings
left open, many trailers, object streams that list more members than they hold)
finish every mode within 512 MB of address space (not under the sanitizers), and
are processed or refused as above.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from corpus_util import (CORPUS, Checks, address_space_limit, need_oracles, qpdf_check, qpdf_problems,  # noqa: E402
                         run as run_program, sanitized, work_folder)

need_oracles()
import fitz  # noqa: E402
import pikepdf  # noqa: E402
import damaged_variants  # noqa: E402

REPAIRED = b"The file was damaged and has been repaired"
REASONS = (b"The file is damaged beyond repair", b"The file is not a PDF file", b"The file cannot be read")
SOURCES = ["writer-truetype-weblinks", "pdftex-cm-objstm-hyperref", "incremental-xrefstream-two-updates",
           "incremental-classic-two-updates", "linearized-classic-weblinks", "junk-before-header-classic",
           "encrypted-rc4-40bit-empty-userpw", "xrefstream-objstm-writer", "inherited-cropbox-resources-rotate"]
# name -> options, as in tools/mode_matrix.sh
MODES = {
    "stamp": ["-text", "Visit", "-link", "https://example.com/"],
    "stamp-placed": ["-text", "Placed", "-link", "https://p.example/", "-pos-1,40", "-angle90", "-force", "-flipv",
                     "-fliph", "-align", "right", "-font", "Times-Roman", "-size14", "-color3366FF", "-s2", "-e3"],
    "stamp-visible": ["-text", "Box", "-link", "notes.txt", "-linkaction", "Open a file", "-linktype",
                      "Visible Rectangle", "-linestyle", "Dashed", "-linethickness", "Thick", "-highlightstyle",
                      "Outline", "-posLength10", "-posHeight5"],
    "create-text": ["-create", "-text", "the", "-link", "https://found.example/"],
    "create-web": ["-create"],
    "textfile": ["-create", "-textfile", "words.txt", "-link", "https://tf.example/"],
    "linkfile": ["-create", "-linkfile", "links.txt"],
    "remove-all": ["-remove"],
    "remove-target": ["-remove", "-link", "http"],
    "remove-text": ["-remove", "-textlink", "example"],
    "change-target": ["-change", "-link", "https://www.example.com", "-newlink", "https://changed.example/"],
    "change-text": ["-change", "-textlink", "example", "-newlink", "https://changed.example/"],
    "changepart": ["-changepart", "-link", "example", "-newlink", "EXAMPLE"],
    "report": ["-report", "rep.txt"],
    "report-pos": ["-report", "rep.txt", "-reportpos"],
    "range": ["-s2", "-e2", "-text", "Range", "-link", "https://r.example/"],
}

check = Checks(label="", clip=-600)


def run(exe, work, path, mode, memory_limit=False):
    """(status, messages, output path or None, report bytes or None) of one run."""
    d = tempfile.mkdtemp(dir=work)
    shutil.copy(os.path.join(work, "words.txt"), d)
    shutil.copy(os.path.join(work, "links.txt"), d)
    rc, msg, _ = run_program(exe, [path, "out.pdf"] + MODES[mode], timeout=120, merge_stderr=True, cwd=d,
                             preexec_fn=address_space_limit(512 << 20) if memory_limit else None)
    out = os.path.join(d, "out.pdf")
    rep = os.path.join(d, "rep.txt")
    return (rc, msg, out if os.path.exists(out) else None,
            open(rep, "rb").read() if os.path.exists(rep) else None)


def view(path):
    """Per page: the text and the links (target, rectangle rounded) as MuPDF sees them."""
    pages = []
    with fitz.open(path) as doc:
        for page in doc:
            links = sorted((l.get("uri") or l.get("file") or str(l.get("page", "")),
                            tuple(round(v) for v in l["from"])) for l in page.get_links())
            pages.append((page.get_text(), links))
    return pages


def qpdf_repair(path, ref):
    """True when qpdf repairs the file (written to ref) and finds its pages."""
    p = subprocess.run(["qpdf", path, ref], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if p.returncode not in (0, 3) or not os.path.exists(ref):
        return False
    try:
        with pikepdf.open(path) as pdf:
            return len(pdf.pages) > 0
    except Exception:  # noqa: BLE001 - pikepdf raises several kinds for broken trees
        return False


_NUMBERS = re.compile(r"(object|stream) \d+ \d+|\d+ \d+ R|offset \d+")


def passes_qpdf(out, ref):
    """qpdf --check finds nothing in out, or nothing that it does not find in ref (the
    same damaged stream data, say); object numbers and offsets do not count."""
    if qpdf_check(out)[0] == 0:
        return True, ""
    def problems(path):
        return set(_NUMBERS.sub("N", line) for line in qpdf_problems(path)
                   if "WARNING" in line or "ERROR" in line)
    new = sorted(problems(out) - problems(ref))
    return not new, "\n".join(new)


def check_refused(rc, msg, out, what):
    """A refusal: status 1, "Document error" and the reason as the last two lines, no output."""
    lines = msg.rstrip().splitlines()
    check(rc == 1 and len(lines) >= 2 and lines[-2].endswith(b"Document error") and lines[-1] in REASONS,
          what + ": refused with a reason", msg)
    check(out is None, what + ": no output after a refusal")


def check_no_qpdf_error(out, what):
    """qpdf --check of out finds no error (warnings may remain)."""
    rc, text = qpdf_check(out)
    check(rc in (0, 3), what + ": qpdf --check finds no error", text)


def needs_repair(name):
    """The damaged corpus files whose damage is in the cross-reference data or stream
    lengths, and every variant (the others are damaged in content or page tree)."""
    if "--" in name:
        return True
    with open(os.path.join(CORPUS, name + ".json"), encoding="utf-8") as f:
        kind = json.load(f)["damage"]["kind"]
    return kind in ("truncated", "startxref-beyond", "wrong-stream-length", "prev-loop-middle")


def check_file(exe, work, name, path):
    ref = os.path.join(work, name + ".ref.pdf")
    repairable = qpdf_repair(path, ref)
    for mode in MODES:
        rc, msg, out, report = run(exe, work, path, mode)
        what = "%s, %s" % (name, mode)
        if rc != 0:
            check(not repairable, what + ": processed (qpdf repairs the file)", msg)
            check_refused(rc, msg, out, what)
            continue
        if needs_repair(name):
            check(msg.rstrip().endswith(b"\n" + REPAIRED + b"\nDone."), what + ": the repaired line", msg)
        if not repairable:
            # qpdf cannot read the input: its check of the output finds no error (a
            # warning about an object the damage took away may remain).
            if out:
                check_no_qpdf_error(out, what)
            continue
        rrc, rmsg, rout, rreport = run(exe, work, ref, mode)
        if rrc != 0:
            check(False, what + ": the reference is processed", rmsg)
            continue
        if out:
            # What qpdf finds in the output for the reference (damaged content the
            # file holds either way) may be found here too, nothing more.
            ok, new = passes_qpdf(out, rout)
            check(ok, what + ": qpdf --check finds nothing new", new)
        if report is not None or rreport is not None:
            check(report == rreport, what + ": the report of the reference", (report or b"")[-300:])
        if out and rout:
            mine, theirs = view(out), view(rout)
            check(len(mine) == len(theirs), what + ": %d pages as in the reference" % len(theirs),
                  "%d pages" % len(mine))
            for i, (a, b) in enumerate(zip(mine, theirs)):
                check(a[0] == b[0], what + ": text of page %d as in the reference" % (i + 1))
                check(a[1] == b[1], what + ": links of page %d as in the reference" % (i + 1),
                      repr(a[1])[:300] + "\n       reference: " + repr(b[1])[:300])


def hostile_files():
    """(name, bytes) of inputs just under 1 MB that only the repair path reads."""
    size = 1000 * 1000 - 4096
    tree = (b"1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
            b"2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
            b"3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >> endobj\n")

    def fill(unit, head=b"%PDF-1.4\n" + tree):
        return (head + unit * ((size - len(head)) // len(unit)))[:size]
    return [
        ("obj-keywords", fill(b"obj ", b"%PDF-1.4\n")),
        ("obj-headers", fill(b"7 0 obj\n")),
        ("obj-headers-numbered", (b"%PDF-1.4\n" + tree + b"".join(b"%d 0 obj\n" % i for i in range(5, 120000)))[:size]),
        ("nested-arrays", fill(b"[", b"%PDF-1.4\n" + tree + b"5 0 obj\n")),
        ("nested-dictionaries", fill(b"<< /A ", b"%PDF-1.4\n" + tree + b"5 0 obj\n")),
        ("streams-without-end", fill(b"9 0 obj << /Length 99999 >> stream\nBT (x) Tj ET\n")),
        ("streams-without-length", fill(b"9 0 obj << >> stream\nendobj\n")),
        ("strings-left-open", fill(b"8 0 obj (")),
        ("trailers", fill(b"trailer << /Root 1 0 R /Prev 0 /XRefStm 10 >>\n")),
        ("object-streams-listing-more", fill(b"10 0 obj << /Type /ObjStm /N 1000 /First 10 /Length 20 >> stream\n"
                                             b"1 0 2 0 3 0 4 0\n<<>>\nendstream endobj\n")),
    ]


def check_hostile(exe, work, name, path):
    limit = not sanitized(exe)
    for mode in MODES:
        rc, msg, out, _ = run(exe, work, path, mode, memory_limit=limit)
        what = "hostile %s, %s" % (name, mode)
        if rc != 0:
            check_refused(rc, msg, out, what)
            continue
        check(msg.rstrip().endswith(b"\n" + REPAIRED + b"\nDone."), what + ": the repaired line", msg)
        if out:
            check_no_qpdf_error(out, what)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    exe = os.path.abspath(sys.argv[1])
    with work_folder("qm_repair_") as work:
        with open(os.path.join(work, "words.txt"), "w") as f:
            f.write("the\nPDF\nexample\nlink text\n")
        with open(os.path.join(work, "links.txt"), "w") as f:
            f.write("the|https://the.example/\nPDF|https://pdf.example/\nexample|https://ex.example/path\n")
        files = []
        for n in sorted(os.listdir(CORPUS)):
            if n.startswith("damaged-") and n.endswith(".pdf"):
                files.append((n[:-4], os.path.join(CORPUS, n)))
        for src in SOURCES:
            for damage, data in damaged_variants.variants(os.path.join(CORPUS, src + ".pdf")):
                name = "%s--%s" % (src, damage)
                path = os.path.join(work, name + ".pdf")
                with open(path, "wb") as f:
                    f.write(data)
                files.append((name, path))
        hostile = []
        for name, data in hostile_files():
            path = os.path.join(work, "hostile-" + name + ".pdf")
            with open(path, "wb") as f:
                f.write(data)
            hostile.append((name, path))
        with ThreadPoolExecutor(max_workers=2) as pool:
            list(pool.map(lambda f: check_file(exe, work, f[0], f[1]), files))
            list(pool.map(lambda f: check_hostile(exe, work, f[0], f[1]), hostile))
        print("%d damaged files, %d hostile files, %d modes each" % (len(files), len(hostile), len(MODES)))
    return check.summary("all passed", "%d failures")


if __name__ == "__main__":
    sys.exit(main())
