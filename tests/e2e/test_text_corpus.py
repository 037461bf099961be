#!/usr/bin/env python3
"""Text extraction over the corpus of real PDF files.

1. For every readable corpus file, the characters of each page (in content order)
   must contain the page's words as the ground truth lists them (words without a
   Windows-1252 form are left out; words in composite fonts count too). The share
   found is printed per file and must reach a floor per file.
2. For the files drawn with plain Tj in the standard fonts, and a few more (see
   POSITION_FILES), on every page (whatever its /Rotate), each character's x0 and x1 must lie within 1 unit of the origin and
   origin + advance that PyMuPDF gives for it and y0 within 1 unit of its baseline,
   all in unrotated PDF user space. This part needs PyMuPDF.

Usage: test_text_corpus.py <path of the quillmark binary>; the qm_textdump tool is
expected next to it.
"""
import difflib
import json
import os
import subprocess
import sys

from corpus_util import CORPUS, run, tool_beside

# Files whose every page is drawn with Tj/'/" in non-embedded standard fonts (pages
# rotated by 0, 90 and 270 degrees), then files with embedded simple fonts, with TJ
# arrays whose numbers move the text (LibreOffice), with a scaled page matrix
# (Ghostscript) and with composite fonts next to standard ones (MuPDF).
POSITION_FILES = [
    "reportlab-std14-encodings-rotated.pdf",
    "qpdf-qdf-uncompressed-streams.pdf",
    "xrefstream-objstm-png-predictor.pdf",
    "inherited-cropbox-resources-rotate.pdf",
    "ghostscript-pdfmark-standard14-rotated.pdf",
    "ghostscript-type1c-prepress.pdf",
    "ghostscript-type3-font.pdf",
    "writer-truetype-weblinks.pdf",
    "linearized-classic-weblinks.pdf",
    "reportlab-truetype-subset.pdf",
    "incremental-classic-two-updates.pdf",
    "mupdf-type0-identity-h-links.pdf",
]

# Lowest acceptable share of ground-truth words found in a file.
WORD_FLOOR = {}
DEFAULT_FLOOR = 0.995


class DumpFailed(Exception):
    pass


def run_dump(dump, path, mode=None):
    """The tool's output; exit status 1 is a clean refusal (an ERROR line), anything
    else other than 0 is a crash."""
    rc, out, err = run(dump, ([mode] if mode else []) + [path], timeout=300)
    if rc not in (0, 1):
        raise DumpFailed("%s %s: exit status %d\n%s" % (os.path.basename(path), mode or "",
                                                       rc, err.decode("latin-1")[-2000:]))
    return out.decode("latin-1")


def robustness_check(dump):
    """Every corpus file, damaged and encrypted ones included: a result or a clean refusal."""
    failures = []
    for name in sorted(os.listdir(CORPUS)):
        if name.endswith(".pdf"):
            try:
                out = run_dump(dump, os.path.join(CORPUS, name), "-q")
                print("robust %-45s %s" % (name, out.strip().splitlines()[-1] if out.strip() else ""))
            except DumpFailed as e:
                failures.append(str(e))
            except subprocess.TimeoutExpired:
                failures.append("%s: no result within 300 s" % name)
    return failures


def page_texts(dump, path):
    """page number -> bytes of that page's characters."""
    pages = {}
    for line in run_dump(dump, path, "-t").splitlines():
        if line.startswith("ERROR"):
            return None
        num, _, hexes = line.partition(" ")
        pages[int(num)] = bytes.fromhex(hexes)
    return pages


def records(dump, path):
    out = []
    for line in run_dump(dump, path).splitlines():
        if line.startswith("ERROR"):
            return None
        f = line.split()
        out.append((int(f[0]), float(f[1]), float(f[2]), float(f[3]), float(f[4]), int(f[5]), int(f[6], 16)))
    return out


def word_check(dump):
    total_found = total_words = 0
    failures = []
    for name in sorted(os.listdir(CORPUS)):
        if not name.endswith(".pdf") or name.startswith("damaged-"):
            continue
        truth = json.load(open(os.path.join(CORPUS, name[:-4] + ".json"), encoding="utf-8"))
        pages = page_texts(dump, os.path.join(CORPUS, name))
        if pages is None:
            failures.append("%s: extraction failed" % name)
            continue
        found = words = 0
        for page in truth.get("pages", []):
            text = pages.get(page["page"], b"")
            for w in page.get("words", []):
                try:
                    wb = w[4].encode("cp1252")
                except UnicodeEncodeError:
                    continue
                if any(b < 32 for b in wb):
                    continue  # a control code: the ground truth did not know the character
                words += 1
                if wb in text:
                    found += 1
        share = found / words if words else 1.0
        print("words %-45s %5d/%5d  %.3f" % (name, found, words, share))
        total_found += found
        total_words += words
        if share < WORD_FLOOR.get(name, DEFAULT_FLOOR):
            failures.append("%s: only %.3f of the words found" % (name, share))
    print("words total %d/%d  %.4f" % (total_found, total_words, total_found / max(total_words, 1)))
    return failures


def load_fitz():
    try:
        import fitz  # noqa: F401
        return fitz
    except ImportError:
        return None


def other_python_with_fitz():
    """A system interpreter that has PyMuPDF when the running one does not."""
    for exe in ("/usr/bin/python3", "/usr/local/bin/python3"):
        if os.path.exists(exe) and os.path.realpath(exe) != os.path.realpath(sys.executable):
            ok = subprocess.run([exe, "-c", "import fitz"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL).returncode == 0
            if ok:
                return exe
    return None


def mupdf_chars(fitz, path):
    """page number -> [(char, origin x, baseline y, advance end x)] in user space."""
    doc = fitz.open(path)
    result = {}
    for page in doc:
        mb = page.mediabox
        page.set_rotation(0)
        page.set_cropbox(mb)
        raw = page.get_text("rawdict")
        chars = []
        for block in raw["blocks"]:
            for line in block.get("lines", []):
                for span in line["spans"]:
                    for ch in span["chars"]:
                        ox, oy = ch["origin"]
                        x1 = ch["bbox"][2]
                        chars.append((ch["c"], ox + mb.x0, mb.y1 - oy, x1 + mb.x0))
        result[page.number + 1] = chars
    return result


def position_check(dump, fitz):
    failures = []
    for name in POSITION_FILES:
        path = os.path.join(CORPUS, name)
        recs = records(dump, path)
        if recs is None:
            failures.append("%s: extraction failed" % name)
            continue
        ref = mupdf_chars(fitz, path)
        checked = bad = 0
        for pnum, mchars in ref.items():
            ours = [r for r in recs if r[0] == pnum]
            a = "".join(bytes([r[6]]).decode("cp1252", "replace") for r in ours)
            b = "".join(c[0] for c in mchars)
            sm = difflib.SequenceMatcher(None, a, b, autojunk=False)
            for blk in sm.get_matching_blocks():
                for k in range(blk.size):
                    r = ours[blk.a + k]
                    c = mchars[blk.b + k]
                    if c[0] == " ":
                        continue
                    checked += 1
                    if abs(r[1] - c[1]) > 1 or abs(r[3] - c[3]) > 1 or abs(r[2] - c[2]) > 1:
                        bad += 1
                        if bad <= 5:
                            failures.append("%s p%d %r: ours x0 %.2f x1 %.2f y0 %.2f, mupdf %.2f %.2f %.2f"
                                            % (name, pnum, c[0], r[1], r[3], r[2], c[1], c[3], c[2]))
            if len(ours) and sm.ratio() < 0.75:
                failures.append("%s p%d: character sequences differ (ratio %.2f)" % (name, pnum, sm.ratio()))
        print("positions %-41s %5d characters checked, %d off" % (name, checked, bad))
        if checked == 0:
            failures.append("%s: no characters compared" % name)
    return failures


def main():
    if len(sys.argv) < 2:
        print("usage: test_text_corpus.py <quillmark binary>")
        return 2
    if load_fitz() is None and not os.environ.get("QM_NO_REEXEC"):
        exe = other_python_with_fitz()
        if exe:
            os.environ["QM_NO_REEXEC"] = "1"
            os.execv(exe, [exe] + sys.argv)
    dump = tool_beside(sys.argv[1], "qm_textdump")
    if not dump:
        print("qm_textdump not built next to %s" % sys.argv[1])
        return 1
    failures = robustness_check(dump)
    try:
        failures += word_check(dump)
    except DumpFailed as e:
        failures.append(str(e))
    fitz = load_fitz()
    if fitz is None:
        failures.append("PyMuPDF is needed for the position check")
    else:
        try:
            failures += position_check(dump, fitz)
        except DumpFailed as e:
            failures.append(str(e))
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
