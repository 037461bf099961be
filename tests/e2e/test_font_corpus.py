#!/usr/bin/env python3
"""Fonts of the real PDFs of tests/corpus, built by the font layer and checked against
MuPDF (mutool trace, the engine behind PyMuPDF).

Usage: test_font_corpus.py <quillmark binary>; the qm_fontdump tool is looked up next
to it.

1. For every page of every file that opens, loadPageFonts builds the page's fonts
   without an error (no corpus file deserves one).
2. Every glyph that MuPDF shows in a simple font (standard 14 or embedded) is matched
   to its character code (by glyph name, by code for Type 3 fonts, else by Unicode)
   and its advance compared with ours: they must agree within 0.001. Composite fonts
   are compared by Unicode the same way.
3. Glyph names: every glyph name MuPDF shows in a Type 1 / Type 1C font must be a name
   of our encoding of that font.
"""
import collections
import html
import json
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import corpus_util  # noqa: E402

corpus_util.need_oracles()

try:
    from fontTools import agl
except ImportError:  # glyph-name fallback only
    agl = None

STD14 = {"Courier", "Courier-Bold", "Courier-BoldOblique", "Courier-Oblique", "Helvetica", "Helvetica-Bold",
         "Helvetica-BoldOblique", "Helvetica-Oblique", "Symbol", "Times-Bold", "Times-BoldItalic",
         "Times-Italic", "Times-Roman", "ZapfDingbats"}
TOL = 0.001

PAGE = re.compile(r'<page number="(\d+)"')
SPAN = re.compile(r'<span font="([^"]*)" wmode="(\d)"')
GLYPH = re.compile(r'<g unicode="([^"]*)" glyph="([^"]*)" x="[^"]*" y="[^"]*" adv="([^"]*)"')


def trace(pdf):
    """(page, font name, wmode, unicode text, glyph, advance) of every glyph MuPDF shows."""
    p = subprocess.run(["mutool", "trace", pdf], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=300)
    page, font, wmode = 0, None, 0
    for line in p.stdout.decode("utf-8", "replace").splitlines():
        m = PAGE.search(line)
        if m:
            page = int(m.group(1))
            continue
        m = SPAN.search(line)
        if m:
            font, wmode = html.unescape(m.group(1)), int(m.group(2))
            continue
        m = GLYPH.search(line)
        if m and font is not None:
            yield page, font, wmode, html.unescape(m.group(1)), html.unescape(m.group(2)), float(m.group(3))


def category(f):
    if f["composite"]:
        return "composite"
    if f["file"] >= 0:
        return "embedded simple"
    if f["name"] in STD14:
        return "standard 14"
    return "other simple"


def glyph_unicode(name):
    if not name or agl is None:
        return ""
    try:
        return agl.toUnicode(name)
    except Exception:
        return ""


def stripped(name):
    return name[7:] if len(name) > 7 and name[6] == "+" and name[:6].isupper() else name


def match_loosely(fonts, page, fname):
    """MuPDF names a font by its program's name, cut to 31 characters, and an unnamed
    Type 3 font "Unnamed-T3": match by prefix without spaces, or by kind."""
    out = []
    want = stripped(fname).replace(" ", "")
    for (pg, key), fs in fonts.items():
        if pg != page:
            continue
        for f in fs:
            if f in out:
                continue
            if fname == "Unnamed-T3" and f["type"] == 3:
                out.append(f)
            elif len(want) >= 6 and stripped(key).replace(" ", "").startswith(want):
                out.append(f)
    return out


def main():
    tool = corpus_util.tool_beside(sys.argv[1], "qm_fontdump")
    if not tool:
        print("qm_fontdump not built next to %s" % sys.argv[1])
        return 1
    failures = []
    stats = collections.defaultdict(collections.Counter)
    examples = collections.defaultdict(list)
    name_checks = collections.Counter()
    for pdf, truth in corpus_util.corpus_files():
        base = os.path.basename(pdf)
        rc, out, err = corpus_util.run(tool, [pdf], timeout=300)
        if rc < 0 or err.strip():
            failures.append("%s: fontdump crashed or complained: %s" % (base, err[:200]))
            continue
        lines = [json.loads(l) for l in out.decode("ascii").splitlines() if l.strip()]
        if lines and "open" in lines[0]:
            if not (corpus_util.is_damaged(truth) or corpus_util.must_refuse(truth)):
                failures.append("%s: does not open: %s" % (base, lines[0]["open"]))
            continue
        fonts = collections.defaultdict(list)  # (page, key) -> fonts
        for f in lines:
            if "error" in f:
                failures.append("%s page %d: %s" % (base, f["page"], f["error"]))
                continue
            for key in {f["given"], stripped(f["given"]), f["tag"], f["name"], f["embedded"], stripped(f["embedded"])}:
                if key:
                    fonts[(f["page"], key)].append(f)
        for page, fname, wmode, uni, glyph, adv in trace(pdf):
            cands = fonts.get((page, fname)) or fonts.get((page, stripped(fname))) or match_loosely(fonts, page, fname)
            if not cands:
                stats["(font not matched)"]["glyphs"] += 1
                continue
            cat = category(cands[0])
            widths = []
            named = False
            for f in cands:
                for entry in f["codes"]:
                    if f["composite"]:
                        code, cid, w, us = entry
                        if uni and "".join(map(chr, us)) == uni:
                            widths.append(w)
                        continue
                    code, g, w, us = entry
                    if g is not None and g == glyph:
                        widths.append(w)
                        named = True
            if not named and not cands[0]["composite"]:
                for f in cands:
                    for code, g, w, us in f["codes"]:
                        if f["type"] == 3 and glyph.isdigit() and code == int(glyph):
                            widths.append(w)
                        elif uni and (("".join(map(chr, us)) == uni) or (not us and glyph_unicode(g) == uni)):
                            widths.append(w)
            if cands[0]["type"] in (1, 2) and not cands[0]["composite"] and not glyph.isdigit():
                name_checks["checked"] += 1
                if not named:
                    name_checks["missing"] += 1
                    if len(examples["names"]) < 10:
                        examples["names"].append("%s p%d %s: glyph %s not in our encoding" % (base, page, fname, glyph))
            s = stats[cat]
            s["glyphs"] += 1
            if not widths:
                s["unmatched"] += 1
                continue
            if any(abs(w - adv) <= TOL for w in widths):
                s["agree"] += 1
            else:
                s["disagree"] += 1
                if len(examples[cat]) < 12:
                    examples[cat].append("%s p%d %s glyph %r U+%s: ours %s, MuPDF %.6f" % (
                        base, page, fname, glyph, ",".join("%04X" % ord(c) for c in uni),
                        sorted(set(round(w, 6) for w in widths))[:4], adv))
    print("Font corpus check: glyph advances against MuPDF (tolerance %.3f)" % TOL)
    for cat in sorted(stats):
        s = stats[cat]
        print("  %-18s glyphs %6d  agree %6d  disagree %5d  unmatched %5d" % (
            cat, s["glyphs"], s["agree"], s["disagree"], s["unmatched"]))
        for e in examples.get(cat, []):
            print("      " + e)
    print("  glyph names of Type 1 / 1C fonts: %d checked, %d not in our encoding" % (
        name_checks["checked"], name_checks["missing"]))
    for e in examples["names"]:
        print("      " + e)
    for cat in ("standard 14", "embedded simple"):
        if stats[cat]["disagree"]:
            failures.append("%s: %d glyph advances differ from MuPDF" % (cat, stats[cat]["disagree"]))
    if name_checks["missing"]:
        failures.append("%d glyph names of Type 1 fonts not in our encoding" % name_checks["missing"])
    for f in failures:
        print("FAIL: " + f)
    print("OK" if not failures else "%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
