#!/usr/bin/env python3
"""Damaged variants of sound PDF files, made the way real files get damaged.

As a module: variants(path) gives (name, bytes) pairs for one sound file.
As a script, it writes them to a folder (for measuring a build over them):

    damaged_variants.py <output folder> <sound pdf>...

Each variant is named <file>--<damage>.pdf:
  shift-all       a few bytes inserted after the header: every offset, the one
                  after "startxref" included, points a little early
  shift-objects   the same, with "startxref" still right: only the entries are off
  crlf            every line feed turned into carriage return and line feed, also
                  inside stream data (a transfer in text mode)
  cut-30, cut-60, cut-90
                  the file cut at that share of its length
  cut-in-xref     cut inside the last cross-reference section
  no-startxref    "startxref" and what follows it removed
  startxref-off   the "startxref" value a few bytes off
  xref-garbage    the last cross-reference section overwritten at its start (the
                  last incremental update damaged, the older sections sound)
  length-short, length-long, length-missing
                  the Length of page 1's content stream too short, too long, removed
  xrefstm-bad     the last classic trailer names an /XRefStm that is no stream
                  (files with a classic table only)
  far-object      an update adds a link to page 1 numbered far past the other
                  objects, past what the file's table may hold (files that are not
                  encrypted)
"""
import os
import re
import sys


def _last(data, pat):
    i = data.rfind(pat)
    if i < 0:
        raise ValueError("no %r" % pat)
    return i


def _startxref(data):
    """(position of the "startxref" keyword, its value, the span of the value)."""
    k = _last(data, b"startxref")
    m = re.compile(rb"\s*(\d+)").match(data, k + 9)
    return k, int(m.group(1)), (m.start(1), m.end(1))


def _header_end(data):
    """Where the first object's line begins: after the header and comment lines."""
    i = data.find(b"%PDF-")
    while True:
        e = min([p for p in (data.find(b"\n", i), data.find(b"\r", i)) if p >= 0])
        i = e + 1
        while i < len(data) and data[i:i + 1] in b"\r\n \t":
            i += 1
        if data[i:i + 1] != b"%":
            return i


def _object_span(data, num, gen):
    """(start, end) of the last definition of object num in the file, through "endobj"."""
    starts = [m.start(1) for m in re.finditer(rb"(?:^|[\r\n\s])(%d %d obj)" % (num, gen), data)]
    if not starts:
        raise ValueError("object %d not in the file" % num)
    s = starts[-1]
    return s, data.index(b"endobj", s) + 6


def _page1_contents(path):
    import pikepdf
    with pikepdf.open(path) as pdf:
        contents = pdf.pages[0].obj.get("/Contents")
        if isinstance(contents, pikepdf.Array):
            contents = contents[0]
        return contents.objgen


def _with_length(data, path, how):
    num, gen = _page1_contents(path)
    s, e = _object_span(data, num, gen)
    obj = data[s:e]
    ref = re.search(rb"/Length\s+(\d+)\s+(\d+)\s+R", obj)
    if how == "missing":
        m = ref or re.search(rb"/Length\s+\d+", obj)
        return data[:s] + obj[:m.start()] + obj[m.end():] + data[e:]
    if ref is None:
        m = re.search(rb"/Length\s+(\d+)", obj)
        value, at = int(m.group(1)), (s + m.start(1), s + m.end(1))
    else:
        ls, le = _object_span(data, int(ref.group(1)), int(ref.group(2)))
        m = re.compile(rb"\d+\s+\d+\s+obj\s*(\d+)").match(data, ls)
        value, at = int(m.group(1)), (m.start(1), m.end(1))
    new = value - 10 if how == "short" else value + 10
    text = b"%d" % max(new, 0)
    width = at[1] - at[0]
    if len(text) < width:
        text = b" " * (width - len(text)) + text
    return data[:at[0]] + text + data[at[1]:]


def _far_object(data, path):
    import pikepdf
    with pikepdf.open(path) as pdf:
        if pdf.is_encrypted:
            return None
        # Past the most entries a table of the damaged file's size may hold.
        far = 65536 + 8 * (len(data) + 4096) + 1000
        page = pdf.pages[0].obj
        pnum, pgen = page.objgen
        # The page's own box, else what it inherits (asking for it makes pikepdf put
        # the inherited values into the page, which the page written below keeps); a
        # tiny file may have none.
        box = page.get("/MediaBox", pdf.pages[0].mediabox)
        box = [float(v) for v in (box if box is not None else [0, 0, 612, 792])]
        annots = list(page.get("/Annots", pikepdf.Array()))
        page.Annots = pikepdf.Array(annots + [pikepdf.Name("/QmFarAnnot")])
        text = page.unparse(resolved=True).replace(b"/QmFarAnnot", b"%d 0 R" % far)
        root = pdf.trailer.Root.objgen
        info = pdf.trailer.get("/Info")
        info = b" /Info %d %d R" % info.objgen if info is not None and info.is_indirect else b""
    _, prev, _ = _startxref(data)
    out = bytearray(data)
    if not out.endswith(b"\n"):
        out += b"\n"
    page_at = len(out)
    out += b"%d %d obj\n" % (pnum, pgen) + text + b"\nendobj\n"
    annot_at = len(out)
    out += (b"%d 0 obj\n<< /Type /Annot /Subtype /Link /Rect [%g %g %g %g] /Border [0 0 0] "
            b"/A << /S /URI /URI (https://far.example/) >> >>\nendobj\n"
            % (far, box[0] + 10, box[1] + 10, box[0] + 110, box[1] + 30))
    xref_at = len(out)
    out += b"xref\n0 1\n0000000000 65535 f \n%d 1\n%010d %05d n \n%d 1\n%010d 00000 n \n" % (
        pnum, page_at, pgen, far, annot_at)
    out += b"trailer\n<< /Size %d /Root %d %d R%s /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (
        far + 1, root[0], root[1], info, prev, xref_at)
    return bytes(out)


def variants(path):
    """(damage name, bytes) for every damage that applies to the sound file at path."""
    data = open(path, "rb").read()
    out = []
    head = _header_end(data)
    pad = b"%QM\n\n\n"
    shifted = data[:head] + pad + data[head:]
    out.append(("shift-all", shifted))
    k, value, (vs, ve) = _startxref(shifted)
    out.append(("shift-objects", shifted[:vs] + b"%d" % (value + len(pad)) + shifted[ve:]))
    out.append(("crlf", re.sub(rb"(?<!\r)\n", b"\r\n", data)))
    for share in (30, 60, 90):
        out.append(("cut-%d" % share, data[:len(data) * share // 100]))
    k, value, (vs, ve) = _startxref(data)
    xref = data.find(b"%PDF-") + value
    out.append(("cut-in-xref", data[:xref + 40]))
    out.append(("no-startxref", data[:k] + b"%%EOF\n"))
    out.append(("startxref-off", data[:vs] + b"%d" % (value + 5) + data[ve:]))
    out.append(("xref-garbage", data[:xref] + b"garbage" + data[xref + 7:]))
    for how in ("short", "long", "missing"):
        out.append(("length-" + how, _with_length(data, path, how)))
    if data[xref:xref + 4] == b"xref":
        t = _last(data, b"trailer")
        o = data.index(b"<<", t) + 2
        out.append(("xrefstm-bad", data[:o] + b" /XRefStm 17" + data[o:]))
    far = _far_object(data, path)
    if far is not None:
        out.append(("far-object", far))
    return out


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for path in sys.argv[2:]:
        base = os.path.splitext(os.path.basename(path))[0]
        for name, data in variants(path):
            with open(os.path.join(folder, "%s--%s.pdf" % (base, name)), "wb") as f:
                f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
