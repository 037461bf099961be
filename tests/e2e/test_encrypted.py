#!/usr/bin/env python3
"""Encrypted inputs, end to end.

Usage: test_encrypted.py <path of the quillmark executable>

Three corpus files (classic table; object streams holding the pages and links;
inherited resources, annotations written inline, actions by reference, file links)
get a metadata stream and, for the last, a string in the inherited resources. Each is
then written by qpdf once plain and once per encryption (RC4 40 and 128 bits, RC4 with
crypt filters, AES-128, AES-256 revisions 5 and 6, with and without clear metadata; the
object-stream file with object streams), all with an empty user password. Every mode
is run on the plain and on the encrypted file, and the output of the encrypted one
must:

- pass qpdf --check, open in PyMuPDF and pikepdf with the empty password, and keep the
  input's encryption dictionary, /ID, permissions and metadata stream;
- read (decrypted) exactly as the output of the plain file: the same links (targets and
  rectangles), words, report, and inherited resources;
- in a run that changes nothing, hold every object the input stores in the file byte
  for byte under its own number and generation.

Files that need a password, or whose permissions forbid the change asked for, fail
with "Document error" and a line that says why, and leave no output.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from corpus_util import CORPUS, Checks, need_oracles, new_qpdf_problems, pdf_of, run as run_program

need_oracles()
import fitz  # noqa: E402
import pikepdf  # noqa: E402

BIN = os.path.abspath(sys.argv[1])
WORK = tempfile.mkdtemp(prefix="qm_encrypted_")
check = Checks()

XMP = b'<?xpacket begin=""?><x:xmpmeta xmlns:x="adobe:ns:meta/"><x:note>clear or not</x:note></x:xmpmeta>'

# name -> (corpus file or None for the hand-made file, qpdf options for the structure,
# a link target that exists)
SOURCES = {
    "classic": ("writer-truetype-weblinks.pdf", [], "mailto:sales@example.com"),
    "objstm": ("xrefstream-objstm-writer.pdf", ["--object-streams=generate"], "mailto:sales@example.net"),
    "inherited": (None, [], "https://inline.example.com/a"),
}


def handmade():
    """Two pages that inherit their Resources (written directly in the page tree node,
    with a string in it); a link annotation written inline in a page's Annots; an
    Annots array held by reference; a Launch action and a file specification held by
    reference; a metadata stream."""
    c1 = b"BT /F1 18 Tf 72 200 Td (Visit inline.example.com/a now) Tj 0 -40 Td (Local file notes.txt) Tj ET"
    c2 = b"BT /F1 18 Tf 72 200 Td (See www.example.com/two) Tj 0 -40 Td (Local file report.txt) Tj ET"
    objs = {
        1: b"<< /Type /Catalog /Pages 2 0 R /Metadata 12 0 R >>",
        2: b"<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 400 300] /Resources << /Font << /F1 5 0 R"
           b" >> /Properties << /P0 << /Title (inherited title \\(x\\)) >> >> >> >>",
        3: b"<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Annots [ << /Type /Annot /Subtype /Link"
           b" /Rect [70 190 330 215] /A << /S /URI /URI (https://inline.example.com/a) >> >> 7 0 R ] >>",
        4: b"<< /Type /Page /Parent 2 0 R /Contents 8 0 R /Annots 9 0 R >>",
        5: b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        6: b"<< /Length %d >>\nstream\n" % len(c1) + c1 + b"\nendstream",
        7: b"<< /Type /Annot /Subtype /Link /Rect [70 150 330 175] /A 10 0 R >>",
        8: b"<< /Length %d >>\nstream\n" % len(c2) + c2 + b"\nendstream",
        9: b"[ 11 0 R ]",
        10: b"<< /S /Launch /F 13 0 R >>",
        11: b"<< /Type /Annot /Subtype /Link /Rect [70 150 330 175] /A << /S /Launch /F << /Type /Filespec"
            b" /F (report.txt) /UF (report.txt) >> >> >>",
        12: b"<< /Type /Metadata /Subtype /XML /Length %d >>\nstream\n" % len(XMP) + XMP + b"\nendstream",
        13: b"<< /Type /Filespec /F (notes.txt) /UF (notes.txt) >>",
    }
    return pdf_of(objs, header=b"%PDF-1.6\n")

WEAK = ["--allow-weak-crypto"]
VARIANTS = {
    "rc4-40": WEAK + ["--encrypt", "", "owner", "40", "--"],
    "rc4-128": WEAK + ["--encrypt", "", "owner", "128", "--use-aes=n", "--"],
    "rc4-128-v4": WEAK + ["--encrypt", "", "owner", "128", "--use-aes=n", "--force-V4", "--"],
    "aes-128": ["--encrypt", "", "owner", "128", "--use-aes=y", "--"],
    "aes-128-clear-metadata": ["--encrypt", "", "owner", "128", "--use-aes=y", "--cleartext-metadata", "--"],
    "aes-256-r5": WEAK + ["--encrypt", "", "owner", "256", "--force-R5", "--"],
    "aes-256": ["--encrypt", "", "owner", "256", "--"],
    "aes-256-clear-metadata": ["--encrypt", "", "owner", "256", "--cleartext-metadata", "--"],
}

NO_CHANGE = ["-changepart", "-link", "quillmark-no-such-target", "-newlink", "x"]


def modes(target):
    return {
        "stamp": ["-text", "Visit", "-link", "https://example.com/stamp"],
        "stamp-file": ["-text", "Box", "-link", "notes (1).txt", "-linkaction", "Open a file", "-linktype",
                       "Visible Rectangle", "-s2", "-e2"],
        "create-web": ["-create"],
        "create-text": ["-create", "-text", "the", "-link", "https://found.example/"],
        "remove-all": ["-remove"],
        "remove-text": ["-remove", "-textlink", "example"],
        "change-target": ["-change", "-link", target, "-newlink", "https://changed.example/(1)"],
        "change-text": ["-change", "-textlink", "Local file", "-newlink", "new\u00e9.txt"],
        "changepart": ["-changepart", "-link", "example", "-newlink", "EXAMPLE"],
        "report": ["-report", "rep.txt", "-reportpos"],
        "no-change": NO_CHANGE,
    }


def qpdf(*args):
    p = subprocess.run(["qpdf"] + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if p.returncode not in (0, 3):
        raise RuntimeError("qpdf %s: %s" % (args, p.stdout.decode("latin-1")))
    return p.stdout.decode("latin-1")


def run(inp, out, args):
    """Runs quillmark in WORK (where a report lands); (exit status, stdout, report)."""
    rep = os.path.join(WORK, "rep.txt")
    if os.path.exists(rep):
        os.remove(rep)
    rc, stdout, _ = run_program(BIN, [inp, out] + args, timeout=120, merge_stderr=True, cwd=WORK)
    report = None
    if os.path.exists(rep):
        with open(rep, "rb") as f:
            report = f.read().replace(inp.encode(), b"INPUT")
    return rc, stdout, report


def prepare(name):
    """The plain source file of name, with a metadata stream."""
    corpus = SOURCES[name][0]
    path = os.path.join(WORK, "prep-%s.pdf" % name)
    if corpus is None:
        with open(path, "wb") as f:
            f.write(handmade())
        return path
    with pikepdf.open(os.path.join(CORPUS, corpus)) as pdf:
        pdf.Root.Metadata = pdf.make_stream(XMP, Type=pikepdf.Name.Metadata, Subtype=pikepdf.Name.XML)
        pdf.save(path, static_id=True, fix_metadata_version=False)
    return path


def summary(path):
    """Links (target, rectangle) and words of every page, as PyMuPDF reads them."""
    out = []
    with fitz.open(path) as d:
        for p in d:
            links = sorted((str(l.get("uri") or l.get("file") or l.get("page")), tuple(round(v, 2) for v in l["from"]))
                           for l in p.get_links())
            out.append((links, [w[4] for w in p.get_text("words")]))
    return out


def inherited_titles(path):
    """The Title string under each page's Resources as written (pikepdf would push
    inherited resources down to the pages if asked through pdf.pages)."""
    with pikepdf.open(path) as pdf:
        out = []
        for page in pdf.Root.Pages.Kids:
            res = page.get("/Resources")
            props = res.get("/Properties") if res is not None else None
            p0 = props.get("/P0") if props is not None else None
            out.append(bytes(p0.Title) if p0 is not None else None)
        return out


def encryption_of(path):
    with pikepdf.open(path) as pdf:
        e = pdf.encryption
        return (pdf.trailer.Encrypt.unparse(resolved=True), bytes(pdf.trailer.ID[0]), bytes(pdf.trailer.ID[1]),
                e.R, e.V, e.P, e.bits, str(e.stream_method), str(e.string_method), e.encryption_key,
                pdf.Root.Metadata.read_bytes() if "/Metadata" in pdf.Root else None)


def stored_objects(path):
    """Object "num/gen" -> its bytes from the header through "endobj", for the objects
    the cross-reference table gives an offset in the file (object streams aside)."""
    with open(path, "rb") as f:
        data = f.read()
    out = {}
    for m in re.finditer(r"^(\d+)/(\d+): uncompressed; offset = (\d+)", qpdf("--show-xref", path), re.M):
        off = int(m.group(3))
        end = data.find(b"endobj", off)
        text = data[off:end + 6]
        if b"/ObjStm" not in text[:300]:  # object streams are dissolved by design
            out["%s/%s" % (m.group(1), m.group(2))] = text
    return out


def check_encrypted_output(label, enc, out, reference, ref_report, report, mode):
    problems = new_qpdf_problems(enc, out)
    check(not problems, "%s: qpdf problems %s" % (label, problems))
    check(encryption_of(out) == encryption_of(enc), "%s: encryption, /ID or metadata not kept" % label)
    with fitz.open(out) as d:
        check(not d.needs_pass and d.metadata.get("encryption"), "%s: PyMuPDF: not an encrypted file it opens" % label)
    check(summary(out) == summary(reference), "%s: links or words differ from the plain file's output" % label)
    if mode == "report":
        check(report is not None and report == ref_report, "%s: report differs" % label)
    if label.startswith("inherited"):
        check(inherited_titles(out) == inherited_titles(reference), "%s: inherited resources differ" % label)
    if mode == "no-change":
        before, after = stored_objects(enc), stored_objects(out)
        changed = [k for k in before if k in after and before[k] != after[k]]
        missing = [k for k in before if k not in after]
        check(not changed and not missing, "%s: stored objects changed %s missing %s" % (label, changed[:5], missing[:5]))


def modes_over_variants():
    for name, (_, structure, target) in SOURCES.items():
        prepared = prepare(name)
        plain = os.path.join(WORK, "plain-%s.pdf" % name)
        qpdf("--static-id", *structure, prepared, plain)
        references = {}
        for mode, args in modes(target).items():
            ref = os.path.join(WORK, "ref-%s-%s.pdf" % (name, mode))
            rc, stdout, report = run(plain, ref, args)
            check(rc == 0, "%s %s on the plain file: exit %d %r" % (name, mode, rc, stdout[-200:]))
            if mode == "report":
                shutil.copy(plain, ref)  # a report run keeps no PDF: its input stands for it
            references[mode] = (ref, report)
        for variant, encryption in VARIANTS.items():
            enc = os.path.join(WORK, "enc-%s-%s.pdf" % (name, variant))
            qpdf("--static-id", *structure, prepared, *encryption, enc)
            for mode, args in modes(target).items():
                label = "%s %s %s" % (name, variant, mode)
                out = os.path.join(WORK, "out.pdf")
                rc, stdout, report = run(enc, out, args)
                if not check(rc == 0 and stdout.endswith(b"Done.\n"), "%s: exit %d %r" % (label, rc, stdout[-200:])):
                    continue
                if mode == "report":
                    check(not os.path.exists(out), "%s: report run kept a PDF" % label)
                    out = enc
                ref, ref_report = references[mode]
                check_encrypted_output(label, enc, out, ref, ref_report, report, mode)
                if os.path.exists(os.path.join(WORK, "out.pdf")):
                    os.remove(os.path.join(WORK, "out.pdf"))
            os.remove(enc)


NEEDS_PASSWORD = b"Document error\nThe file is encrypted and needs a password to open\n"
NO_CONTENT = b"Document error\nThe file's permissions do not allow changing its content\n"
NO_ANNOTS = b"Document error\nThe file's permissions do not allow changing its annotations\n"
NO_BOTH = b"Document error\nThe file's permissions do not allow changing its content and annotations\n"
OK = None

STAMP = ["-text", "Visit", "-link", "https://example.com/"]
CREATE = ["-create"]
REMOVE = ["-remove"]
CHANGE = ["-changepart", "-link", "example", "-newlink", "EXAMPLE"]
REPORT = ["-report", "rep.txt"]

# encryption -> [(options, expected failure message or OK)]
PERMISSIONS = {
    "user password": (["--encrypt", "secret", "owner", "256", "--"],
                      [(STAMP, NEEDS_PASSWORD), (CREATE, NEEDS_PASSWORD), (REPORT, NEEDS_PASSWORD)]),
    "rc4-40 password": (WEAK + ["--encrypt", "secret", "owner", "40", "--"], [(REPORT, NEEDS_PASSWORD)]),
    "no other changes": (["--encrypt", "", "owner", "256", "--modify=annotate", "--"],
                         [(STAMP, NO_CONTENT), (CREATE, OK), (REMOVE, OK), (CHANGE, OK), (REPORT, OK)]),
    "no annotations": (["--encrypt", "", "owner", "128", "--use-aes=y", "--modify=form", "--"],
                       [(STAMP, NO_BOTH), (CREATE, NO_ANNOTS), (REMOVE, NO_ANNOTS), (CHANGE, NO_ANNOTS),
                        (REPORT, OK)]),
    "rc4-40 no modify": (WEAK + ["--encrypt", "", "owner", "40", "--modify=n", "--"],
                         [(STAMP, NO_CONTENT), (CREATE, OK), (REPORT, OK)]),
    "rc4-40 no annotate": (WEAK + ["--encrypt", "", "owner", "40", "--annotate=n", "--"],
                           [(STAMP, NO_ANNOTS), (REMOVE, NO_ANNOTS), (REPORT, OK)]),
    # An empty owner password opens the file as its owner: no restriction holds.
    "empty owner password": (["--encrypt", "", "", "128", "--use-aes=y", "--modify=none", "--"],
                             [(STAMP, OK), (CREATE, OK), (REMOVE, OK)]),
}


def refusals():
    src = os.path.join(CORPUS, "writer-truetype-weblinks.pdf")
    for what, (encryption, runs) in PERMISSIONS.items():
        enc = os.path.join(WORK, "perm.pdf")
        qpdf("--static-id", src, *encryption, enc)
        for args, expected in runs:
            label = "%s %s" % (what, args[0])
            out = os.path.join(WORK, "perm-out.pdf")
            rc, stdout, _ = run(enc, out, args)
            if expected is OK:
                check(rc == 0 and stdout.endswith(b"Done.\n"), "%s: exit %d %r" % (label, rc, stdout[-200:]))
                if os.path.exists(out):
                    check(encryption_of(out) == encryption_of(enc), "%s: encryption not kept" % label)
                    check(not new_qpdf_problems(enc, out), "%s: qpdf problems" % label)
            else:
                check(rc == 1, "%s: exit %d" % (label, rc))
                check(stdout.endswith(expected), "%s: message %r" % (label, stdout[-120:]))
                check(not os.path.exists(out), "%s: output left" % label)
            if os.path.exists(out):
                os.remove(out)

    # A batch goes on through encrypted files and ends, with the reason, at one that
    # needs a password.
    ok = os.path.join(WORK, "batch-ok.pdf")
    locked = os.path.join(WORK, "batch-locked.pdf")
    qpdf(src, "--encrypt", "", "owner", "256", "--", ok)
    qpdf(src, "--encrypt", "secret", "owner", "256", "--", locked)
    with open(os.path.join(WORK, "list.txt"), "w") as f:
        f.write("%s\n%s\n%s\n" % (ok, locked, ok))
    p = subprocess.run([BIN, "list.txt", "-fbatch"] + STAMP, stdout=subprocess.PIPE, cwd=WORK, timeout=120)
    check(p.returncode == 1, "batch: exit %d" % p.returncode)
    check(p.stdout.count(b"Done.") == 1 and p.stdout.endswith(NEEDS_PASSWORD), "batch: %r" % p.stdout[-200:])
    check(os.listdir(os.path.join(WORK, "batch")) == ["batch-ok.pdf"], "batch outputs %s" % os.listdir(
        os.path.join(WORK, "batch")))


def direct_dictionary():
    """An encryption dictionary written directly in the trailer (qpdf writes it as an
    object; the trailer is edited to hold it) is written directly again."""
    src = os.path.join(CORPUS, "writer-truetype-weblinks.pdf")
    enc = os.path.join(WORK, "direct-ref.pdf")
    qpdf("--static-id", src, "--encrypt", "", "owner", "256", "--", enc)
    with open(enc, "rb") as f:
        data = f.read()
    ref = re.search(rb"/Encrypt (\d+) 0 R", data[data.rindex(b"trailer"):])
    text = qpdf("--show-object=%s" % ref.group(1).decode(), enc).strip().encode("latin-1")
    at = data.rindex(b"trailer")
    direct = os.path.join(WORK, "direct.pdf")
    with open(direct, "wb") as f:
        f.write(data[:at] + data[at:].replace(ref.group(0), b"/Encrypt " + text))
    out = os.path.join(WORK, "direct-out.pdf")
    rc, stdout, _ = run(direct, out, STAMP)
    if not check(rc == 0, "direct dictionary: exit %d %r" % (rc, stdout[-200:])):
        return
    check(not new_qpdf_problems(direct, out), "direct dictionary: qpdf problems")
    with open(out, "rb") as f:
        tail = f.read()[-3000:]
    check(b"/Encrypt <<" in tail[tail.rindex(b"trailer"):], "direct dictionary: not written in the trailer")
    check(encryption_of(out) == encryption_of(direct), "direct dictionary: encryption not kept")
    with fitz.open(out) as d:
        check(d.metadata.get("encryption") and "https://example.com/" in [l.get("uri") for l in d[0].get_links()],
              "direct dictionary: no stamp link read")


def main():
    try:
        refusals()
        direct_dictionary()
        modes_over_variants()
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
    return check.summary("encrypted files: all passed", "%d failure(s)")


if __name__ == "__main__":
    sys.exit(main())
