#!/usr/bin/python3
"""Generates writer/FontMetricsData.cpp: the 161 built-in font records for stamped
text (name, bounding box, 256 widths in 1/1000 of the text size, indexed by the
WinAnsiEncoding character codes that the stamped font declares).

Run from the repository root:
    tools/gen_font_metrics.py [CORE14_AFM_DIR] > writer/FontMetricsData.cpp

Sources (Debian packages; the output is committed so the build needs none):
- CORE: Adobe's Core 14 AFM files (package ruby-prawn, /usr/share/ruby-prawn/fonts;
  see tools/gen_builtin_tables.py for how to unpack them) for Helvetica, Times,
  Courier (the fonts themselves), ZapfDingbats and SymbolMT (Monotype's Symbol has
  Adobe Symbol's metrics).
- LIB: fonts-liberation, metric-compatible with Arial (Liberation Sans), Arial
  Narrow (Liberation Sans Narrow), Times New Roman (Liberation Serif) and Courier
  New (Liberation Mono).
- URW: fonts-urw-base35 AFM files: URW Bookman (Bookman Old Style), P052
  (Palatino: Palatino Linotype, Book Antiqua), C059 (Century Schoolbook: Century),
  URW Gothic (ITC Avant Garde Gothic, with which Century Gothic is metric-compatible),
  Z003 (Zapf Chancery: Monotype Corsiva and the other script faces).
- WINE: fonts-wine, Wine's metric-compatible Tahoma and Tahoma Bold, and its
  Marlett (indexed by the font's own codes).
- EBG: fonts-ebgaramond, EB Garamond 12 (a Garamond design) for Garamond and
  Garamond-Italic (its bold has only 127 glyphs; Garamond-Bold uses Liberation
  Serif Bold).
- DV: fonts-dejavu-core / fonts-dejavu-extra: the nearest free faces for the
  Microsoft and Monotype faces that have no metric-compatible free font.

Rules:
- Text faces: code c takes the glyph that WinAnsiEncoding gives c (so 127, 129,
  141, 143, 144 and 157 are bullet); its width is the AFM WX, or the TrueType
  advance scaled to 1000 units per em, rounded half up. Codes without a glyph (0 to
  31, and any glyph the face lacks) take the width of the face's missing-glyph box:
  glyph 0 of a TrueType font, the space width for an AFM (which lists no .notdef).
- Symbol faces (ZapfDingbats, SymbolMT, Marlett and the stand-ins for the
  Wingdings family) are indexed by the font's own codes (AFM C values, or the
  symbol cmap of a TrueType font, 0xF000 + code); codes without a glyph take the
  space width of an AFM, or the width of glyph 0 of a TrueType font. Wine's
  Wingdings and Webdings have only a few dozen of their glyphs, so those fonts use
  ZapfDingbats' widths instead.
- Box: AFM FontBBox, or the TrueType head box scaled to 1000 units per em.
- Caps-only faces (Algerian, Stencil) give lowercase letters the widths of the
  capitals, as those faces draw capitals for them.
- Fixed values that the program is known by (they win over the sources):
  Arial box -46 -210 1000 896; Courier New box -13 -274 638 783; Algerian box
  -188 -224 1017 888 and widths space 250, '0' 587, 'A' and 'a' 757. The generator
  checks the computed rows of Arial, Helvetica, Times-Roman, Courier, Courier New
  and ZapfDingbats against the same list of known values.

Face used for each font without a metric-compatible free face (nearest match by
design and width class; the widths are therefore approximations):
  see FONTS below: every entry names its source and, in its comment, why.
"""
import math
import os
import sys

from fontTools.ttLib import TTFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_builtin_tables as bt  # noqa: E402  (WinAnsiEncoding from ghostscript)

CORE = sys.argv[1] if len(sys.argv) > 1 else '/tmp/ruby-prawn/usr/share/ruby-prawn/fonts'
LIB = '/usr/share/fonts/truetype/liberation/'
URW = '/usr/share/fonts/type1/urw-base35/'
DV = '/usr/share/fonts/truetype/dejavu/'

LS = [LIB + 'LiberationSans-%s.ttf' % s for s in ('Regular', 'Bold', 'BoldItalic', 'Italic')]
LSN = [LIB + 'LiberationSansNarrow-%s.ttf' % s for s in ('Regular', 'Bold', 'BoldItalic', 'Italic')]
LSE = [LIB + 'LiberationSerif-%s.ttf' % s for s in ('Regular', 'Bold', 'BoldItalic', 'Italic')]
LM = [LIB + 'LiberationMono-%s.ttf' % s for s in ('Regular', 'Bold', 'BoldItalic', 'Italic')]
DVS = [DV + f for f in ('DejaVuSans.ttf', 'DejaVuSans-Bold.ttf', 'DejaVuSans-BoldOblique.ttf',
                        'DejaVuSans-Oblique.ttf')]
DVSC = [DV + f for f in ('DejaVuSansCondensed.ttf', 'DejaVuSansCondensed-Bold.ttf',
                         'DejaVuSansCondensed-BoldOblique.ttf', 'DejaVuSansCondensed-Oblique.ttf')]
DVSE = [DV + f for f in ('DejaVuSerif.ttf', 'DejaVuSerif-Bold.ttf', 'DejaVuSerif-BoldItalic.ttf',
                         'DejaVuSerif-Italic.ttf')]
DVSEC = [DV + f for f in ('DejaVuSerifCondensed.ttf', 'DejaVuSerifCondensed-Bold.ttf',
                          'DejaVuSerifCondensed-BoldItalic.ttf', 'DejaVuSerifCondensed-Italic.ttf')]
DVM = DV + 'DejaVuSansMono.ttf'
WINE = '/usr/share/wine/fonts/'
EBG = {0: '/usr/share/fonts/opentype/ebgaramond/EBGaramond12-Regular.otf',
       3: '/usr/share/fonts/opentype/ebgaramond/EBGaramond12-Italic.otf'}
BOOKMAN = [URW + 'URWBookman-%s.afm' % s for s in ('Light', 'Demi', 'DemiItalic', 'LightItalic')]
PALATINO = [URW + 'P052-%s.afm' % s for s in ('Roman', 'Bold', 'BoldItalic', 'Italic')]
GOTHIC = [URW + 'URWGothic-%s.afm' % s for s in ('Book', 'Demi', 'DemiOblique', 'BookOblique')]
CENTURY = URW + 'C059-Roman.afm'
CHANCERY = URW + 'Z003-MediumItalic.afm'
DINGBATS = ('sym', 'CORE/ZapfDingbats.afm')
R, B, BI, I = 0, 1, 2, 3

# name -> source (a path, or ('sym', path) for a symbol face), options.
# Comments give the reason for faces that are not metric-compatible.
FONTS = [
    ('Algerian', CENTURY, {'caps': True}),             # decorative capitals; Century Schoolbook
    ('BookAntiqua-Bold', PALATINO[B], {}),             # Book Antiqua is a Palatino design
    ('BookAntiqua-BoldItalic', PALATINO[BI], {}),
    ('BookAntiqua-Italic', PALATINO[I], {}),
    ('Arial', LS[R], {}),
    ('Arial-Bold', LS[B], {}),
    ('Arial-BoldItalic', LS[BI], {}),
    ('Arial-Italic', LS[I], {}),
    ('ArialNarrow', LSN[R], {}),
    ('ArialNarrow-Bold', LSN[B], {}),
    ('ArialNarrow-BoldItalic', LSN[BI], {}),
    ('ArialNarrow-Italic', LSN[I], {}),
    ('ArialUnicodeMS', LS[R], {}),                     # Arial's Latin metrics
    ('ArialBlack', DVS[B], {}),                        # wide heavy sans
    ('BaskervilleOldFace', LSE[R], {}),                # transitional serif
    ('Bauhaus93', GOTHIC[B], {}),                      # geometric heavy sans
    ('BellMT', LSE[R], {}),
    ('BellMT-Bold', LSE[B], {}),
    ('BellMT-Italic', LSE[I], {}),
    ('BernardMTCondensed', LSN[B], {}),                # condensed heavy
    ('BookAntiqua', PALATINO[R], {}),
    ('BodoniMTPosterCompressed', LSN[B], {}),          # compressed heavy
    ('BookmanOldStyle', BOOKMAN[R], {}),               # ITC Bookman design
    ('BookmanOldStyle-Bold', BOOKMAN[B], {}),
    ('BookmanOldStyle-BoldItalic', BOOKMAN[BI], {}),
    ('BookmanOldStyle-Italic', BOOKMAN[I], {}),
    ('BritannicBold', LS[B], {}),
    ('BerlinSansFB-Bold', DVS[B], {}),
    ('BerlinSansFBDemi-Bold', DVS[B], {}),
    ('BerlinSansFB', DVS[R], {}),
    ('Broadway', DVS[B], {}),
    ('BrushScriptMT-Italic', CHANCERY, {}),            # script
    ('BookshelfSymbol7', DINGBATS, {}),                # symbol set; Dingbats widths
    ('CalifornianFB-Bold', LSE[B], {}),
    ('CalifornianFB-Italic', LSE[I], {}),
    ('CalifornianFB', LSE[R], {}),
    ('Centaur', LSE[R], {}),
    ('Century', CENTURY, {}),                          # Century Schoolbook design
    ('Chiller', LSN[R], {}),
    ('ColonnaMT', LSE[R], {}),
    ('ComicSansMS', DVS[R], {}),                       # wide informal sans
    ('ComicSansMS-Bold', DVS[B], {}),
    ('CooperBlack', BOOKMAN[B], {}),                   # soft heavy serif
    ('CourierNew', LM[R], {}),
    ('CourierNew-Bold', LM[B], {}),
    ('CourierNew-BoldItalic', LM[BI], {}),
    ('CourierNew-Italic', LM[I], {}),
    ('Courier-Bold', 'CORE/Courier-Bold.afm', {}),
    ('Courier-BoldOblique', 'CORE/Courier-BoldOblique.afm', {}),
    ('Courier-Oblique', 'CORE/Courier-Oblique.afm', {}),
    ('Courier', 'CORE/Courier.afm', {}),
    ('EstrangeloEdessa', DVS[R], {}),                  # Syriac face; its Latin
    ('FranklinGothicMedium', LS[R], {}),
    ('FranklinGothicMedium-Italic', LS[I], {}),
    ('FreestyleScript', CHANCERY, {}),
    ('FootlightMTLight', LSE[R], {}),
    ('Garamond', EBG[R], {}),                          # a Garamond design
    ('Garamond-Bold', LSE[B], {}),                     # EB Garamond's bold lacks most glyphs
    ('Garamond-Italic', EBG[I], {}),
    ('Gautami', DVS[R], {}),                           # Telugu face; its Latin
    ('Georgia', DVSEC[R], {}),                         # wide screen serif
    ('Georgia-Bold', DVSEC[B], {}),
    ('Georgia-Italic', DVSEC[I], {}),
    ('Georgia-BoldItalic', DVSEC[BI], {}),
    ('CenturyGothic', GOTHIC[R], {}),                  # metric-compatible with Avant Garde
    ('CenturyGothic-Bold', GOTHIC[B], {}),
    ('CenturyGothic-BoldItalic', GOTHIC[BI], {}),
    ('CenturyGothic-Italic', GOTHIC[I], {}),
    ('HarlowSolidItalic-Italic', CHANCERY, {}),
    ('Harrington', LSE[R], {}),
    ('Haettenschweiler', LSN[B], {}),                  # very condensed heavy
    ('Helvetica-Bold', 'CORE/Helvetica-Bold.afm', {}),
    ('Helvetica-BoldOblique', 'CORE/Helvetica-BoldOblique.afm', {}),
    ('Helvetica-Oblique', 'CORE/Helvetica-Oblique.afm', {}),
    ('Helvetica', 'CORE/Helvetica.afm', {}),
    ('HighTowerText', LSE[R], {}),
    ('HighTowerText-Italic', LSE[I], {}),
    ('Impact', DVSC[B], {}),                           # condensed heavy sans
    ('InformalRoman', CHANCERY, {}),
    ('KristenITC', DVS[R], {}),
    ('Jokerman', DVS[B], {}),
    ('JuiceITC', LSN[R], {}),
    ('Kartika', DVS[R], {}),                           # Malayalam face; its Latin
    ('KunstlerScript', CHANCERY, {}),
    ('Latha', DVS[R], {}),                             # Tamil face; its Latin
    ('WideLatin', DVS[B], {}),                         # extra-wide; widest free face
    ('LucidaBright', DVSE[R], {}),
    ('LucidaBright-Demibold', DVSE[B], {}),
    ('LucidaBright-DemiboldItalic', DVSE[BI], {}),
    ('LucidaBright-Italic', DVSE[I], {}),
    ('LucidaCalligraphy-Italic', CHANCERY, {}),
    ('LucidaFax', DVSE[R], {}),
    ('LucidaFax-Demibold', DVSE[B], {}),
    ('LucidaFax-DemiboldItalic', DVSE[BI], {}),
    ('LucidaFax-Italic', DVSE[I], {}),
    ('LucidaHandwriting-Italic', CHANCERY, {}),
    ('LucidaSans', DVS[R], {}),
    ('LucidaSans-DemiboldRoman', DVS[B], {}),
    ('LucidaSans-DemiboldItalic', DVS[BI], {}),
    ('LucidaSans-Italic', DVS[I], {}),
    ('LucidaConsole', DVM, {}),                        # monospace
    ('LucidaSansUnicode', DVS[R], {}),
    ('Magneto-Bold', DVS[B], {}),
    ('Mangal', DVS[R], {}),                            # Devanagari face; its Latin
    ('Marlett', ('sym', WINE + 'marlett.ttf'), {}),
    ('MaturaMTScriptCapitals', CHANCERY, {}),
    ('MicrosoftSansSerif', LS[R], {}),
    ('Mistral', CHANCERY, {}),
    ('MonotypeCorsiva', CHANCERY, {}),                 # chancery italic
    ('MVBoli', DVS[R], {}),                            # Thaana face; its Latin
    ('NiagaraEngraved', LSN[R], {}),
    ('NiagaraSolid', LSN[R], {}),
    ('OldEnglishTextMT', LSE[R], {}),
    ('Onyx', LSN[R], {}),
    ('PalatinoLinotype', PALATINO[R], {}),
    ('PalatinoLinotype-Bold', PALATINO[B], {}),
    ('PalatinoLinotype-BoldItalic', PALATINO[BI], {}),
    ('PalatinoLinotype-Italic', PALATINO[I], {}),
    ('Parchment', CHANCERY, {}),
    ('Playbill', LSN[R], {}),
    ('PoorRichard', LSE[R], {}),
    ('Raavi', DVS[R], {}),                             # Gurmukhi face; its Latin
    ('Ravie', DVS[B], {}),
    ('MSReferenceSansSerif', DVS[R], {}),              # Verdana design
    ('MSReferenceSpecialty', DINGBATS, {}),            # symbol set; Dingbats widths
    ('ShowcardGothic', DVS[B], {}),
    ('Shruti', DVS[R], {}),                            # Gujarati face; its Latin
    ('SimHei', 'MONO500', {}),                         # CJK face: half-width Latin, 500 each
    ('SnapITC', DVS[B], {}),
    ('Stencil', DVS[B], {'caps': True}),
    ('Sylfaen', LSE[R], {}),
    ('SymbolMT', ('sym', 'CORE/Symbol.afm'), {}),
    ('Tahoma', WINE + 'tahoma.ttf', {}),
    ('Tahoma-Bold', WINE + 'tahomabd.ttf', {}),
    ('TempusSansITC', DVS[R], {}),
    ('Times-Bold', 'CORE/Times-Bold.afm', {}),
    ('Times-BoldItalic', 'CORE/Times-BoldItalic.afm', {}),
    ('Times-Italic', 'CORE/Times-Italic.afm', {}),
    ('Times-Roman', 'CORE/Times-Roman.afm', {}),
    ('TimesNewRoman', LSE[R], {}),
    ('TimesNewRoman-Bold', LSE[B], {}),
    ('TimesNewRoman-BoldItalic', LSE[BI], {}),
    ('TimesNewRoman-Italic', LSE[I], {}),
    ('TrebuchetMS', DVSC[R], {}),                      # humanist sans
    ('TrebuchetMS-Bold', DVSC[B], {}),
    ('TrebuchetMS-BoldItalic', DVSC[BI], {}),
    ('TrebuchetMS-Italic', DVSC[I], {}),
    ('Tunga', DVS[R], {}),                             # Kannada face; its Latin
    ('Verdana', DVS[R], {}),                           # wide screen sans (Vera is close)
    ('Verdana-Bold', DVS[B], {}),
    ('Verdana-Italic', DVS[I], {}),
    ('Verdana-BoldItalic', DVS[BI], {}),
    ('VinerHandITC', CHANCERY, {}),
    ('Vivaldi-Italic', CHANCERY, {}),
    ('VladimirScript', CHANCERY, {}),
    ('Vrinda', DVS[R], {}),                            # Bengali face; its Latin
    ('Webdings', DINGBATS, {}),                        # symbol sets; Dingbats widths
    ('Wingdings', DINGBATS, {}),
    ('Wingdings2', DINGBATS, {}),
    ('Wingdings3', DINGBATS, {}),
    ('ZapfDingbats', DINGBATS, {}),
]

# Values the program is known by; the first two kinds are imposed, all are checked.
FIXED_BOX = {
    'Arial': (-46, -210, 1000, 896),
    'CourierNew': (-13, -274, 638, 783),
    'Algerian': (-188, -224, 1017, 888),
}
FIXED_WIDTHS = {'Algerian': {32: 250, 48: 587, 65: 757, 97: 757}}
KNOWN = {  # box; widths of codes 32, 48, 65, 97
    'Arial': ((-46, -210, 1000, 896), (278, 556, 667, 556)),
    'Helvetica': ((-166, -225, 1000, 931), (278, 556, 667, 556)),
    'Times-Roman': ((-168, -218, 1000, 898), (250, 500, 722, 444)),
    'Courier': ((-23, -250, 715, 805), (600, 600, 600, 600)),
    'CourierNew': ((-13, -274, 638, 783), (600, 600, 600, 600)),
    'Algerian': ((-188, -224, 1017, 888), (250, 587, 757, 757)),
    'ZapfDingbats': ((-1, -143, 981, 820), (278, 911, 692, 789)),
}


def round_half_up(x):
    return int(math.floor(x + 0.5))


def read_afm(path):
    info, glyphs = bt.read_afm(path)
    by_name = {n: w for n, w, _ in glyphs}
    by_code = {c: w for _, w, c in glyphs if c >= 0}
    box = tuple(int(v) for v in info['FontBBox'])
    return box, by_name, by_code


def text_widths_afm(path, winansi):
    box, by_name, _ = read_afm(path)
    missing = by_name['space']
    return box, [by_name.get(winansi[c], missing) if winansi[c] else missing for c in range(256)]


def symbol_widths_afm(path):
    box, by_name, by_code = read_afm(path)
    missing = by_name['space']
    return box, [by_code.get(c, missing) for c in range(256)]


def symbol_widths_ttf(path):
    font = TTFont(path, lazy=True)
    scale = 1000.0 / font['head'].unitsPerEm
    head = font['head']
    box = tuple(round_half_up(v * scale) for v in (head.xMin, head.yMin, head.xMax, head.yMax))
    cmap = font['cmap'].getcmap(3, 0).cmap
    hmtx = font['hmtx']
    missing = round_half_up(hmtx[font.getGlyphOrder()[0]][0] * scale)
    widths = []
    for c in range(256):
        g = cmap.get(0xF000 + c, cmap.get(c))
        widths.append(round_half_up(hmtx[g][0] * scale) if g else missing)
    return box, widths


def text_widths_ttf(path, winansi_unicode):
    font = TTFont(path, lazy=True)
    upem = font['head'].unitsPerEm
    scale = 1000.0 / upem
    head = font['head']
    box = tuple(round_half_up(v * scale) for v in (head.xMin, head.yMin, head.xMax, head.yMax))
    cmap = font.getBestCmap()
    hmtx = font['hmtx']
    glyph0 = font.getGlyphOrder()[0]
    missing = round_half_up(hmtx[glyph0][0] * scale)
    widths = []
    for c in range(256):
        u = winansi_unicode[c]
        g = cmap.get(u) if u is not None else None
        widths.append(round_half_up(hmtx[g][0] * scale) if g else missing)
    return box, widths


def winansi_unicode(winansi):
    from fontTools.agl import toUnicode
    out = []
    for c in range(256):
        n = winansi[c]
        u = toUnicode(n) if n else ''
        assert n is None or len(u) == 1, (c, n, u)
        out.append(ord(u) if u else None)
    # Cross-check against the Windows-1252 code page where it defines the code.
    for c in range(32, 256):
        try:
            cp = ord(bytes([c]).decode('cp1252'))
        except UnicodeDecodeError:
            continue
        if c not in (127, 160, 173):
            assert out[c] == cp, (c, out[c], cp)
    return out


def build_record(name, source, opts, winansi, wuni):
    if source == 'MONO500':
        box = text_widths_ttf(DVM, wuni)[0]
        widths = [500] * 256
    elif isinstance(source, tuple) and source[1].endswith('.ttf'):
        box, widths = symbol_widths_ttf(source[1])
    elif isinstance(source, tuple):
        box, widths = symbol_widths_afm(source[1].replace('CORE/', CORE + '/'))
    elif source.endswith('.afm'):
        box, widths = text_widths_afm(source.replace('CORE/', CORE + '/'), winansi)
    else:
        box, widths = text_widths_ttf(source, wuni)
    if opts.get('caps'):
        for c in range(ord('a'), ord('z') + 1):
            widths[c] = widths[c - 32]
    box = FIXED_BOX.get(name, box)
    for code, w in FIXED_WIDTHS.get(name, {}).items():
        widths[code] = w
    return box, widths


def main():
    enc = bt.load_encodings()
    winansi = enc['WinAnsiEncoding']
    wuni = winansi_unicode(winansi)
    assert len(FONTS) == 161, len(FONTS)
    assert len(set(n for n, _, _ in FONTS)) == 161
    out = ['// Generated by tools/gen_font_metrics.py -- do not edit by hand.',
           '// The 161 built-in font records: name, box, widths of WinAnsi codes 0..255 in',
           '// 1/1000 of the text size. Sources and stand-in faces: see the generator.',
           '#include "writer/FontMetricsData.h"', '',
           'const BuiltinFontData kBuiltinFontData[kBuiltinFontDataCount] = {']
    for name, source, opts in FONTS:
        box, widths = build_record(name, source, opts, winansi, wuni)
        assert all(-32768 <= w <= 32767 for w in widths)
        if name in KNOWN:
            kbox, kw = KNOWN[name]
            assert tuple(box) == kbox, (name, box)
            assert (widths[32], widths[48], widths[65], widths[97]) == kw, (name, widths[32:98:1])
        if name in ('Courier', 'CourierNew'):
            assert all(w == 600 for w in widths), name
        out.append('    {"%s", {%d, %d, %d, %d}, {' % ((name,) + tuple(box)))
        for row in range(0, 256, 16):
            out.append('        ' + ', '.join(str(w) for w in widths[row:row + 16]) + ',')
        out.append('    }},')
    out.append('};')
    out.append('')
    sys.stdout.write('\n'.join(out))


if __name__ == '__main__':
    main()
