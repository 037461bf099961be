#!/usr/bin/env python3
"""Writes small PDF files that exercise page text the way real files draw it, for
measuring text extraction against PyMuPDF (tools/text_measure.py) and for the
whole-program tests.

Each file stands for one way of drawing text: the text-state operators (character and
word spacing, horizontal scaling, rise, the " operator), form XObjects (nested, with
/Matrix, without /Resources), TrueType subsets, Type 3 fonts, simple-font encodings
with /Differences (TeX-style quotes, dashes and ligatures below code 128), rotated
pages and rotated text, inline images, pages with the same layout, fonts that cannot
be built, a DeviceN colour with nine operands, phrases that wrap across lines and
pages, and web addresses written in the ways people write them.

cases.json next to the files says, per file, which phrases occur (counted without
regard to letter case, with one space between words) and which link targets a reader
expects from the web addresses of its text.

Usage: tools/make_text_cases.py <output folder>   (needs ReportLab and pikepdf)
"""
import json
import os
import sys
import zlib

from reportlab.lib.pagesizes import letter
from reportlab.lib.styles import getSampleStyleSheet
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.pdfgen import canvas
from reportlab.platypus import Paragraph, SimpleDocTemplate, Spacer

DEJAVU = "/usr/share/fonts/truetype/dejavu"


# ---------------------------------------------------------------- hand-written files


def write_pdf(path, objects, root=1):
    """objects: {number: bytes body}; streams are written as (dict bytes, data bytes)."""
    out = bytearray(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    top = max(objects)
    for num in range(1, top + 1):
        if num not in objects:
            continue
        offsets[num] = len(out)
        body = objects[num]
        out += b"%d 0 obj\n" % num
        if isinstance(body, tuple):
            d, data = body
            out += d.rstrip(b" >") + b" /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"
        else:
            out += body
        out += b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (top + 1)
    for num in range(1, top + 1):
        if num in offsets:
            out += b"%010d 00000 n \n" % offsets[num]
        else:
            out += b"0000000000 65535 f \n"
    out += b"trailer\n<< /Size %d /Root %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (top + 1, root, xref)
    with open(path, "wb") as f:
        f.write(bytes(out))


def pages_doc(page_bodies, fonts, extra=None, resources_extra=b""):
    """A document whose pages share one resource dictionary with the given fonts.
    page_bodies: list of content bytes (or a ready /Contents value when a tuple
    ('raw', value)). Returns the objects."""
    objs = {1: b"<< /Type /Catalog /Pages 2 0 R >>"}
    font_entries = b" ".join(b"/%s %d 0 R" % (k.encode(), 10 + i) for i, k in enumerate(fonts))
    objs[3] = b"<< /Font << " + font_entries + b" >> " + resources_extra + b" >>"
    for i, k in enumerate(fonts):
        objs[10 + i] = fonts[k]
    kids = []
    for i, body in enumerate(page_bodies):
        pnum, cnum = 100 + 2 * i, 101 + 2 * i
        kids.append(b"%d 0 R" % pnum)
        if isinstance(body, tuple):
            contents = body[1]
        else:
            objs[cnum] = (b"<< >>", body)
            contents = b"%d 0 R" % cnum
        objs[pnum] = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources 3 0 R /Contents "
                      + contents + b" >>")
    objs[2] = b"<< /Type /Pages /Kids [" + b" ".join(kids) + b"] /Count %d >>" % len(kids)
    if extra:
        objs.update(extra)
    return objs


def helvetica(encoding=b"/WinAnsiEncoding"):
    return b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding " + encoding + b" >>"


def esc(text):
    return text.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)")


def lines(items, font=b"/F1", size=12):
    """Content drawing (x, y, text bytes) lines with Tj."""
    c = b""
    for x, y, t in items:
        c += b"BT %s %d Tf %g %g Td (%s) Tj ET\n" % (font, size, x, y, esc(t))
    return c


# ---------------------------------------------------------------- ReportLab files


def textstate(path):
    c = canvas.Canvas(path, pagesize=letter)
    t = c.beginText(72, 720)
    t.setFont("Helvetica", 12)
    t.setLeading(18)
    t.setCharSpace(1.5)
    t.textLine("Character spacing spreads these letters apart")
    t.setCharSpace(-0.4)
    t.textLine("Negative character spacing pulls letters together")
    t.setCharSpace(0)
    t.setWordSpace(6)
    t.textLine("Word spacing widens the gaps between these words")
    t.setWordSpace(0)
    t.setHorizScale(70)
    t.textLine("Horizontal scaling squeezes this whole line")
    t.setHorizScale(140)
    t.textLine("Wide scaling stretches words")
    t.setCharSpace(1)
    t.setWordSpace(3)
    t.textLine("Scaled spacing moves letters and words")
    t.setHorizScale(100)
    t.setCharSpace(0)
    t.setWordSpace(0)
    t.textOut("Rise lifts ")
    t.setRise(5)
    t.textOut("superscript")
    t.setRise(-3)
    t.textOut("subscript")
    t.setRise(0)
    t.textLine(" words off the baseline")
    c.drawText(t)
    # The " operator sets word and character spacing, moves to the next line and shows.
    c._code.append("BT /F1 12 Tf 18 TL 72 560 Td (Quote operator lines follow) Tj "
                   "5 0.8 (Quote operator spaces words and letters) \" "
                   "0 0 (Quote operator resets the spacing again) \" ET")
    c.setFont("Helvetica", 12)
    c.drawString(72, 480, "Plain reference line at the end")
    c.save()


def forms(path):
    import pikepdf

    c = canvas.Canvas(path, pagesize=letter)
    c.beginForm("header")
    c.setFont("Helvetica-Bold", 14)
    c.drawString(72, 750, "Annual report header text")
    c.endForm()
    c.beginForm("footer")
    c.setFont("Helvetica", 9)
    c.drawString(72, 30, "Footer line with page furniture")
    c.endForm()
    c.beginForm("inner")
    c.setFont("Times-Roman", 12)
    c.drawString(72, 600, "Nested form text inside the body")
    c.endForm()
    c.beginForm("body")
    c.setFont("Times-Roman", 12)
    c.drawString(72, 700, "Body paragraph drawn from a form")
    c.drawString(72, 684, "Second body line from the same form")
    c.doForm("inner")
    c.endForm()
    c.beginForm("matrixed")
    c.setFont("Helvetica", 12)
    c.drawString(100, 100, "Form placed by its own matrix")
    c.endForm()
    c.beginForm("noresources")
    c.setFont("Helvetica", 12)
    c.drawString(72, 400, "Form without resources of its own")
    c.endForm()
    for _ in range(2):
        c.doForm("header")
        c.doForm("footer")
        c.doForm("body")
        c.saveState()
        c.translate(20, -300)
        c.doForm("body")
        c.restoreState()
        c.doForm("matrixed")
        c.doForm("noresources")
        c.setFont("Helvetica", 12)
        c.drawString(72, 300, "Page text outside any form")
        c.showPage()
    c.save()
    with pikepdf.open(path, allow_overwriting_input=True) as pdf:
        for page in pdf.pages:
            for name, xo in page.Resources.XObject.items():
                if "matrixed" in name:
                    xo.Matrix = pikepdf.Array([0.5, 0, 0, 0.5, 200, 150])
                if "noresources" in name and "/Resources" in xo:
                    del xo["/Resources"]
            # The page names every font, so a form without resources can use them.
        pdf.save(path)


def truetype(path):
    pdfmetrics.registerFont(TTFont("DejaVuSans", os.path.join(DEJAVU, "DejaVuSans.ttf")))
    pdfmetrics.registerFont(TTFont("DejaVuSerif", os.path.join(DEJAVU, "DejaVuSerif.ttf")))
    c = canvas.Canvas(path, pagesize=letter)
    y = 740
    texts = [
        ("DejaVuSans", "Quotes \u2018single\u2019 and \u201cdouble\u201d marks"),
        ("DejaVuSans", "Dashes \u2013 en and \u2014 em, ellipsis\u2026 and more"),
        ("DejaVuSans", "Euro \u20ac10, trademark\u2122, bullet \u2022 item"),
        ("DejaVuSans", "\u0152uvre \u0153uvre \u0160abac \u0161uma \u017dena \u017eal \u0178ves"),
        ("DejaVuSerif", "Latin caf\u00e9 na\u00efve fa\u00e7ade se\u00f1or Z\u00fcrich \u00c6r\u00f8"),
        ("DejaVuSerif", "sm\u00f6rg\u00e5sbord d\u00e9j\u00e0 vu \u00fcber \u00df \u00a7 \u00b0 \u00bd"),
        ("DejaVuSans", "\u041a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430 \u0443 \u0442\u0435\u043a\u0441\u0442 "
                       "\u0431\u0443\u043a\u0432\u044b \u0436\u0451\u043b\u0442\u044b\u0439"),
        ("DejaVuSans", "\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac \u03bb\u03cc\u03b3\u03bf\u03c2 "
                       "\u03b1\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8"),
        ("DejaVuSans", "\u0100\u0101\u0102\u0103\u0104\u0105\u0106\u0107\u0108\u0109\u010a\u010b\u010c\u010d"
                       "\u010e\u010f\u0110\u0111\u0112\u0113\u0114\u0115\u0116\u0117\u0118\u0119"),
        ("DejaVuSans", "\u011a\u011b\u011c\u011d\u011e\u011f\u0120\u0121\u0122\u0123\u0124\u0125\u0126\u0127"
                       "\u0128\u0129\u012a\u012b\u012c\u012d\u012e\u012f\u0130\u0131\u0132\u0133"),
        ("DejaVuSans", "Words after many glyphs: quality assurance \u2018matters\u2019 \u2013 always"),
        ("DejaVuSerif", "More words: reliable \u201cextraction\u201d of every page \u2014 done"),
        ("DejaVuSans", "ASCII tail: the quick brown fox jumps over the lazy dog 0123456789"),
    ]
    for font, text in texts:
        c.setFont(font, 12)
        c.drawString(72, y, text)
        y -= 20
    # Word spacing applies to the space of a one-byte font.
    c._code.append("BT /F1 12 Tf 8 Tw 72 400 Td (Word spacing in a subset font) Tj 0 Tw ET")
    c.save()


def rotated(path):
    c = canvas.Canvas(path, pagesize=letter)
    for rot in (0, 90, 180, 270):
        c.setFont("Helvetica", 12)
        c.drawString(72, 540, "Page turned by %d degrees with upright text" % rot)
        c.drawString(72, 520, "Visit www.rotated%d.example.com for more" % rot)
        for angle, x, y in ((90, 300, 300), (180, 400, 500), (270, 500, 600), (30, 100, 150)):
            c.saveState()
            c.translate(x, y)
            c.rotate(angle)
            c.drawString(0, 0, "Text at %d degrees here" % angle)
            c.restoreState()
        c.setPageRotation(rot)
        c.showPage()
    c.save()


def phrases(path):
    doc = SimpleDocTemplate(path, pagesize=letter, leftMargin=72, rightMargin=300)
    styles = getSampleStyleSheet()
    body = styles["BodyText"]
    just = styles["BodyText"].clone("just", alignment=4)
    filler = ("The committee reviewed the figures of every region and found that the "
              "quarterly sales summary shows growth in most markets while costs stayed "
              "within the planned budget for the year. ")
    story = []
    for i in range(14):
        style = just if i % 2 else body
        story.append(Paragraph((filler * 2) + "Quarterly sales summary closes the section.", style))
        story.append(Spacer(1, 6))
    doc.build(story)


def encodings_file(path):
    # A TeX-style encoding on a standard font: quotes, dashes and ligatures below 128.
    tex = (b"<< /Type /Encoding /BaseEncoding /StandardEncoding /Differences "
           b"[11 /ff /fi /fl /ffi /ffl 34 /quotedblright 39 /quoteright 92 /quotedblleft "
           b"96 /quoteleft 123 /endash /emdash] >>")
    widths = {}
    times = pdfmetrics.getFont("Times-Roman").face.glyphWidths
    std = pdfmetrics.getEncoding("StandardEncoding").vector
    for code in range(32, 256):
        name = std[code]
        if name and name in times:
            widths[code] = times[name]
    for code, w in ((11, 600), (12, 556), (13, 556), (14, 833), (15, 833), (34, 444), (39, 333),
                    (92, 444), (96, 333), (123, 500), (124, 1000)):
        widths[code] = w
    wlist = b" ".join(b"%d" % widths.get(c, 500) for c in range(0, 256))
    texfont = (b"<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /FirstChar 0 /LastChar 255 "
               b"/Widths [" + wlist + b"] /Encoding 20 0 R >>")
    # Glyph names in the uniXXXX and underscore forms, and names of non-Latin letters.
    names = (b"<< /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences "
             b"[1 /uni2019 /uni201C /uni201D /ffi /uni00E9 /afii10070 /Gamma /uni00FC /germandbls] >>")
    helv = pdfmetrics.getFont("Helvetica")
    own = {1: 222, 2: 333, 3: 333, 4: 833, 5: 556, 6: 556, 7: 556, 8: 556, 9: 611}
    nwidths = b" ".join(b"%d" % own.get(c, helv.stringWidth(bytes([c]).decode("cp1252", "replace"), 1000))
                        for c in range(256))
    namefont = (b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 0 /LastChar 255 "
                b"/Widths [" + nwidths + b"] /Encoding 21 0 R >>")
    mac = helvetica(b"/MacRomanEncoding")
    content = b""
    content += b"BT /F1 12 Tf 72 720 Td (\x0cle of \x0bects with \x0eer \x0dow and \x0fe) Tj ET\n"
    content += b"BT /F1 12 Tf 72 700 Td (\\\\quoted\" and `single' and it's 1990{2000 | wide) Tj ET\n"
    content += b"BT /F1 12 Tf 72 680 Td (plain words around the ligature \x0cgure here) Tj ET\n"
    content += b"BT /F2 12 Tf 72 650 Td (\x01s and \x02q\x03 e\x04 caf\x05 \x06 \x07 \x08ne stra\x09e) Tj ET\n"
    content += b"BT /F3 12 Tf 72 620 Td (Mac caf\x8e na\x95ve \xd2quoted\xd3 \xd0 dash \xd5s end) Tj ET\n"
    objs = pages_doc([content], {"F1": texfont, "F2": namefont, "F3": mac},
                     extra={20: tex, 21: names})
    write_pdf(path, objs)


def type3(path):
    # Box glyphs for the letters used; the second font names its glyphs as pdfTeX does
    # for bitmap fonts (/a65 for code 65) and scales them by a FontMatrix of 0.01.
    text1 = b"Type three boxes spell words: \x81le don\x92t stop"
    text2 = b"Bitmap style names give codes"
    procs, diffs, widths = {}, [], {}
    num = 30
    extra = {}
    used = sorted(set(text1.replace(b"\x81", b"").replace(b"\x92", b"")))
    for ch in used:
        name = b"space" if ch == 32 else bytes([ch])
        if ch == 32:
            data = b"250 0 d0"
            widths[ch] = 250
        else:
            data = b"500 0 0 0 450 700 d1 20 0 410 700 re f"
            widths[ch] = 500
        extra[num] = (b"<< >>", data)
        procs[name] = num
        diffs.append((ch, name))
        num += 1
    # code 0x81 is the fi ligature, 0x92 quoteright
    for code, name in ((0x81, b"fi"), (0x92, b"quoteright")):
        extra[num] = (b"<< >>", b"500 0 0 0 450 700 d1 20 0 410 700 re f")
        procs[name] = num
        diffs.append((code, name))
        widths[code] = 500
        num += 1
    cp = b" ".join(b"/%s %d 0 R" % (n, r) for n, r in procs.items())
    dif = b" ".join(b"%d /%s" % (c, n) for c, n in sorted(diffs))
    w = b" ".join(b"%d" % widths.get(c, 0) for c in range(32, 256))
    font1 = (b"<< /Type /Font /Subtype /Type3 /FontBBox [0 0 500 700] /FontMatrix [0.001 0 0 0.001 0 0] "
             b"/CharProcs << " + cp + b" >> /Encoding << /Type /Encoding /Differences [" + dif + b"] >> "
             b"/FirstChar 32 /LastChar 255 /Widths [" + w + b"] /Resources << >> >>")
    procs2, diffs2 = {}, []
    for ch in sorted(set(text2)):
        name = b"a%d" % ch
        extra[num] = (b"<< >>", b"50 0 0 0 45 70 d1 2 0 41 70 re f" if ch != 32 else b"25 0 d0")
        procs2[name] = num
        diffs2.append((ch, name))
        num += 1
    cp2 = b" ".join(b"/%s %d 0 R" % (n, r) for n, r in procs2.items())
    dif2 = b" ".join(b"%d /%s" % (c, n) for c, n in sorted(diffs2))
    w2 = b" ".join(b"%d" % (25 if c == 32 else 50) for c in range(32, 127))
    font2 = (b"<< /Type /Font /Subtype /Type3 /FontBBox [0 0 50 70] /FontMatrix [0.01 0 0 0.01 0 0] "
             b"/CharProcs << " + cp2 + b" >> /Encoding << /Type /Encoding /Differences [" + dif2 + b"] >> "
             b"/FirstChar 32 /LastChar 126 /Widths [" + w2 + b"] /Resources << >> >>")
    content = b"BT /F1 12 Tf 72 700 Td (" + esc(text1) + b") Tj ET\nBT /F2 12 Tf 72 670 Td (" + esc(text2) + b") Tj ET\n"
    content += b"BT /F3 12 Tf 72 640 Td (Helvetica words next to boxes) Tj ET\n"
    objs = pages_doc([content], {"F1": font1, "F2": font2, "F3": helvetica()}, extra=extra)
    write_pdf(path, objs)


# ---------------------------------------------------------------- hand-made damage and layouts


def inline_images(path):
    # Image data that holds "(", "[", "<<" and "EI" inside it; the length follows from
    # /W /H /BPC and the colour space. The second image is filtered (ASCIIHex), the
    # third Flate-compressed, so their length is found at "EI".
    raw = bytes([40, 91, 60, 60, 69, 73, 40, 41, 0, 255, 93, 69, 73, 120, 10, 40])
    img1 = b"BI /W 8 /H 2 /BPC 8 /CS /G ID " + raw + b"\nEI\n"
    img2 = b"BI /W 2 /H 2 /BPC 8 /CS /G /F /AHx ID 28 5B 3C 3C > EI\n"
    comp = zlib.compress(bytes([40, 69, 73, 32, 91, 41]) * 8)
    img3 = b"BI /W 8 /H 6 /BPC 8 /CS /G /F /Fl ID " + comp + b" EI Q\n"
    content = (lines([(72, 720, b"Text before the first image")]) + b"q 10 0 0 10 72 600 cm " + img1 + b"Q\n"
               + lines([(72, 700, b"Text after the first image")]) + b"q 10 0 0 10 72 560 cm " + img2 + b"Q\n"
               + lines([(72, 680, b"Text after the second image")]) + b"q 10 0 0 10 72 500 cm " + img3
               + lines([(72, 660, b"Text after the third image")]))
    write_pdf(path, pages_doc([content], {"F1": helvetica()}))


def same_origin(path):
    # One line per page: every page starts its text at the same origin.
    body = lines([(72, 700, b"Same layout, visit www.same.example.com today")])
    write_pdf(path, pages_doc([body, body, body], {"F1": helvetica()}))


def bad_fonts(path):
    bad_diff = (b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                b"/Encoding << /Differences [32 /space 65 /A 66.5 /B] >> >>")
    mismatch = (b"<< /Type /Font /Subtype /Type1 /BaseFont /Courier /FontDescriptor << /Type /FontDescriptor "
                b"/FontName /Courier /Flags 32 /FontFile2 40 0 R >> >>")
    bad_type0 = b"<< /Type /Font /Subtype /Type0 /BaseFont /Bad /Encoding /Identity-H /DescendantFonts [41 0 R] >>"
    not_stream = (b"<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /FontDescriptor << /Type /FontDescriptor "
                  b"/FontName /Times /Flags 34 /FontFile 42 0 R >> >>")
    extra = {40: (b"<< >>", b"not a font program"), 41: b"5", 42: b"<< /NotA /Stream >>"}
    fonts = {"F1": helvetica(), "F2": bad_diff, "F3": mismatch, "F4": bad_type0, "F5": not_stream}
    page1 = lines([(72, 700, b"Unused fonts that cannot be built do not matter")])
    page2 = (lines([(72, 700, b"Good text before the bad font")])
             + lines([(72, 680, b"Bad differences still show ABC")], b"/F2")
             + lines([(72, 660, b"Mismatched program words")], b"/F3")
             + lines([(72, 640, b"Not a stream words")], b"/F5")
             + lines([(72, 620, b"Good text after the bad font")]))
    page3_contents = b"[150 0 R 999 0 R 151 0 R 152 0 R]"
    extra.update({150: (b"<< >>", lines([(72, 700, b"First part of the page")])),
                  151: b"<< /Not /AStream >>",
                  152: (b"<< >>", lines([(72, 680, b"Last part of the page")]))})
    objs = pages_doc([page1, page2, ("raw", page3_contents)], fonts, extra=extra)
    write_pdf(path, objs)


def devicen(path):
    fn = b"{ pop pop pop pop pop }"
    content = (lines([(72, 720, b"Before the colour")]) + b"/CS0 cs 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 scn\n"
               + lines([(72, 700, b"After nine colour operands")]) + b"1 2 3 4 5 6 7 8 9 10 11 foo\n"
               + lines([(72, 680, b"After an unknown operator")]))
    objs = pages_doc([content], {"F1": helvetica()}, extra={60: (b"<< /FunctionType 4 /Domain [0 1 0 1 0 1 0 1 0 1 "
                                                               b"0 1 0 1 0 1 0 1] /Range [0 1 0 1 0 1 0 1] >>", fn)},
                     resources_extra=b"/ColorSpace << /CS0 [/DeviceN [/a /b /c /d /e /f /g /h /i] /DeviceCMYK 60 0 R] >>")
    write_pdf(path, objs)


WEB_LINES = [
    (b"Plain http://plain.example.com/page and more", ["http://plain.example.com/page"]),
    (b"Sentence ends with http://end.example.com.", ["http://end.example.com"]),
    (b"See www.www.example.org, then stop", ["http://www.www.example.org"]),
    (b"Upper HTTP://UPPER.EXAMPLE.COM/X here", ["HTTP://UPPER.EXAMPLE.COM/X"]),
    (b"Mixed Www.Mixed.example.net for you", ["http://Www.Mixed.example.net"]),
    (b"(see www.paren.example.com) for details", ["http://www.paren.example.com"]),
    (b"Wiki http://wiki.example.org/Foo_(bar) page", ["http://wiki.example.org/Foo_(bar)"]),
    (b"Angle <https://angle.example.com/a>, then", ["https://angle.example.com/a"]),
    (b"URL:https://prefixed.example.com/x is glued", ["https://prefixed.example.com/x"]),
    (b"Mail mailto:someone@example.com; thanks", ["mailto:someone@example.com"]),
    (b"Quoted \x93https://quoted.example.com/q\x94 here", ["https://quoted.example.com/q"]),
    (b"Question https://ask.example.com/? or not!", ["https://ask.example.com/"]),
    (b"Files ftp://ftp.example.com/pub/ and file:///tmp/notes.txt.", ["ftp://ftp.example.com/pub/",
                                                                       "file:///tmp/notes.txt"]),
    (b"Words like awwwards or shttp: are not addresses", []),
]


def web_addresses(path):
    items = [(72, 740 - 20 * i, t) for i, (t, _) in enumerate(WEB_LINES)]
    content = lines(items)
    # An address set with kerning in a TJ array, and one running up the page.
    content += b"BT /F1 12 Tf 72 430 Td [(Kerned h)20(ttp://kern.example.com/)-15(k)] TJ ( next) Tj ET\n"
    content += b"BT /F1 12 Tf 0 1 -1 0 560 200 Tm (Up www.vertical.example.com side) Tj ET\n"
    write_pdf(path, pages_doc([content], {"F1": helvetica()}))


def web_targets():
    out = []
    for _, t in WEB_LINES:
        out += t
    return out + ["http://kern.example.com/k", "http://www.vertical.example.com"]


CASES = [
    ("textstate.pdf", textstate, {}),
    ("forms.pdf", forms, {}),
    ("truetype.pdf", truetype, {}),
    ("rotated.pdf", rotated, {"web": ["http://www.rotated%d.example.com" % r for r in (0, 90, 180, 270)]}),
    ("phrases.pdf", phrases, {"phrases": ["Quarterly sales summary"]}),
    ("encodings.pdf", encodings_file, {}),
    ("type3.pdf", type3, {}),
    ("inline-images.pdf", inline_images, {}),
    ("same-origin.pdf", same_origin, {"web": ["http://www.same.example.com"] * 3}),
    ("bad-fonts.pdf", bad_fonts, {}),
    ("devicen.pdf", devicen, {}),
    ("web-addresses.pdf", web_addresses, {"web": web_targets()}),
]


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    meta = {}
    for name, fn, info in CASES:
        fn(os.path.join(out, name))
        meta[name] = info
    with open(os.path.join(out, "cases.json"), "w") as f:
        json.dump(meta, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
