#!/usr/bin/python3
"""Generates font/BuiltinTablesData.cpp: the built-in encodings, the metrics and
glyph widths of the 14 standard fonts, the font-name aliases and the CFF standard
strings and predefined charsets.

Run from the repository root:
    tools/gen_builtin_tables.py [CORE14_AFM_DIR] > font/BuiltinTablesData.cpp

Sources (all Debian packages; the output is committed so the build needs none):
- Encodings: ghostscript's encoding vectors
  /usr/share/ghostscript/*/Resource/Init/gs_std_e.ps (StandardEncoding),
  gs_il1_e.ps (ISOLatin1Encoding, only as a building block of WinAnsi),
  gs_mro_e.ps (MacRomanEncoding), gs_wan_e.ps (WinAnsiEncoding),
  gs_mex_e.ps (MacExpertEncoding), gs_sym_e.ps (Symbol), gs_dbt_e.ps (ZapfDingbats)
  and Resource/Encoding/ExpertEncoding (the CFF predefined Expert encoding).
  Adjustments, each checked below:
  * MacRomanEncoding gets the 15 further Mac OS Roman glyphs (notequal 173 ...
    apple 240) that ghostscript's PDF-style vector leaves undefined.
  * Symbol: ghostscript's vector has no glyph at 240 (apple), as wanted, but has
    Euro at 160, which the Symbol encoding table of the PDF specification (1.4 era)
    does not list; it is dropped so that the table has that table's 188 codes
    (the Symbol width table still knows the Euro glyph).
  * WinAnsiEncoding: ghostscript already puts bullet at 127, 129, 141, 143, 144,
    157, Euro at 128, space at 160 and hyphen at 173.
- Standard-14 metrics and glyph widths: Adobe's Core 14 AFM files (1997), which
  Debian ships as data in package ruby-prawn (/usr/share/ruby-prawn/fonts/*.afm;
  `apt-get download ruby-prawn && dpkg-deb -x ruby-prawn_*.deb DIR` gives them without
  installing anything). Every glyph of each AFM is taken, so the tables have the
  published glyph sets: 315 names for each Courier, Helvetica and Times style,
  190 for Symbol, 202 for ZapfDingbats.
  Difference from the 316 names sometimes quoted for Helvetica-Bold: the published
  Helvetica-Bold.afm lists 315 glyphs, exactly the names of Helvetica.afm, so no
  316th name exists in the source and none is invented here.
  Ascent, descent and bounding box come from the AFM (Ascender, Descender,
  FontBBox); Symbol and ZapfDingbats, whose AFMs have no Ascender/Descender, use
  the top and bottom of their bounding box.
- CFF standard strings and predefined charsets: python3-fonttools
  (fontTools.cffLib.cffStandardStrings, cffISOAdobeStrings, cffIExpertStrings,
  cffExpertSubsetStrings), names mapped to their string ids.
"""
import glob
import os
import re
import sys

from fontTools import cffLib

GS_INIT = sorted(glob.glob('/usr/share/ghostscript/*/Resource/Init'))[-1]
GS_ENC = os.path.join(os.path.dirname(GS_INIT), 'Encoding')
CORE14 = sys.argv[1] if len(sys.argv) > 1 else '/tmp/ruby-prawn/usr/share/ruby-prawn/fonts'


def parse_ps_encoding(path, name, known):
    """Reads the 256 names of encoding vector /name from a ghostscript file; handles
    'Other a n getinterval aload pop' runs that copy part of a known vector."""
    text = open(path, encoding='latin-1').read()
    text = re.sub(r'%[^\n]*', '', text)
    start = re.search(r'/' + re.escape(name) + r'\b', text)
    assert start, (path, name)
    toks = text[start.end():].split()
    out = []
    i = 0
    while len(out) < 256 and i < len(toks):
        t = toks[i]
        if t.startswith('/'):
            out.append(t[1:])
            i += 1
        elif t in known and toks[i + 3:i + 6] == ['getinterval', 'aload', 'pop']:
            a, n = int(toks[i + 1]), int(toks[i + 2])
            out.extend(known[t][a:a + n])
            i += 6
        else:
            i += 1
    assert len(out) == 256, (path, name, len(out))
    return [None if n == '.notdef' else n for n in out]


def load_encodings():
    enc = {}
    enc['StandardEncoding'] = parse_ps_encoding(os.path.join(GS_INIT, 'gs_std_e.ps'), 'StandardEncoding', enc)
    enc['ISOLatin1Encoding'] = parse_ps_encoding(os.path.join(GS_INIT, 'gs_il1_e.ps'), 'ISOLatin1Encoding', enc)
    enc['MacRomanEncoding'] = parse_ps_encoding(os.path.join(GS_INIT, 'gs_mro_e.ps'), 'MacRomanEncoding', enc)
    enc['WinAnsiEncoding'] = parse_ps_encoding(os.path.join(GS_INIT, 'gs_wan_e.ps'), 'WinAnsiEncoding', enc)
    enc['MacExpertEncoding'] = parse_ps_encoding(os.path.join(GS_INIT, 'gs_mex_e.ps'), 'MacExpertEncoding', enc)
    enc['ExpertEncoding'] = parse_ps_encoding(os.path.join(GS_ENC, 'ExpertEncoding'), 'ExpertEncoding', enc)
    enc['SymbolEncoding'] = parse_ps_encoding(os.path.join(GS_INIT, 'gs_sym_e.ps'), 'SymbolEncoding', enc)
    enc['ZapfDingbatsEncoding'] = parse_ps_encoding(os.path.join(GS_INIT, 'gs_dbt_e.ps'), 'DingbatsEncoding', enc)
    # The PDF StandardEncoding/ISOLatin1 bases use ".notdef" (None); fix None copies.
    mac = enc['MacRomanEncoding']
    additions = {173: 'notequal', 176: 'infinity', 178: 'lessequal', 179: 'greaterequal',
                 182: 'partialdiff', 183: 'summation', 184: 'product', 185: 'pi',
                 186: 'integral', 189: 'Omega', 195: 'radical', 197: 'approxequal',
                 198: 'Delta', 215: 'lozenge', 240: 'apple'}
    for code, glyph in additions.items():
        assert mac[code] is None, (code, mac[code])
        mac[code] = glyph
    win = enc['WinAnsiEncoding']
    assert win[128] == 'Euro' and win[160] == 'space' and win[173] == 'hyphen'
    for code in (127, 129, 141, 143, 144, 157):
        assert win[code] == 'bullet', code
    assert enc['SymbolEncoding'][240] is None
    assert enc['SymbolEncoding'][160] == 'Euro'
    enc['SymbolEncoding'][160] = None
    counts = {'StandardEncoding': 149, 'MacRomanEncoding': 223, 'WinAnsiEncoding': 224,
              'MacExpertEncoding': 165, 'ExpertEncoding': 165, 'SymbolEncoding': 188,
              'ZapfDingbatsEncoding': 188}
    for k, n in counts.items():
        got = sum(1 for g in enc[k] if g)
        assert got == n, (k, got, n)
    return enc


def read_afm(path):
    glyphs = []
    info = {}
    in_metrics = False
    for line in open(path, encoding='latin-1'):
        line = line.strip()
        if line.startswith('StartCharMetrics'):
            in_metrics = True
            continue
        if line.startswith('EndCharMetrics'):
            in_metrics = False
            continue
        if in_metrics and line.startswith('C '):
            fields = dict(f.strip().split(' ', 1) for f in line.split(';') if f.strip())
            glyphs.append((fields['N'], int(fields['WX']), int(fields['C'])))
        elif not in_metrics:
            parts = line.split()
            if parts and parts[0] in ('FontBBox', 'Ascender', 'Descender', 'FontName'):
                info[parts[0]] = parts[1:]
    return info, glyphs


STANDARD_FONTS = [
    # name, default encoding, expected entry count
    ('Courier', 'StandardEncoding', 315),
    ('Courier-Bold', 'StandardEncoding', 315),
    ('Courier-BoldOblique', 'StandardEncoding', 315),
    ('Courier-Oblique', 'StandardEncoding', 315),
    ('Helvetica', 'StandardEncoding', 315),
    ('Helvetica-Bold', 'StandardEncoding', 315),
    ('Helvetica-BoldOblique', 'StandardEncoding', 315),
    ('Helvetica-Oblique', 'StandardEncoding', 315),
    ('Symbol', 'SymbolEncoding', 190),
    ('Times-Bold', 'StandardEncoding', 315),
    ('Times-BoldItalic', 'StandardEncoding', 315),
    ('Times-Italic', 'StandardEncoding', 315),
    ('Times-Roman', 'StandardEncoding', 315),
    ('ZapfDingbats', 'ZapfDingbatsEncoding', 202),
]

# Ascent, descent and box that the font objects use (checked against the AFMs).
EXPECTED_METRICS = {
    'Courier': (629, -157, (-23, -250, 715, 805)),
    'Courier-Bold': (629, -157, (-113, -250, 749, 801)),
    'Courier-BoldOblique': (629, -157, (-57, -250, 869, 801)),
    'Courier-Oblique': (629, -157, (-27, -250, 849, 805)),
    'Helvetica': (718, -207, (-166, -225, 1000, 931)),
    'Helvetica-Bold': (718, -207, (-170, -228, 1003, 962)),
    'Helvetica-BoldOblique': (718, -207, (-174, -228, 1114, 962)),
    'Helvetica-Oblique': (718, -207, (-170, -225, 1116, 931)),
    'Symbol': (1010, -293, (-180, -293, 1090, 1010)),
    'Times-Bold': (683, -217, (-168, -218, 1000, 935)),
    'Times-BoldItalic': (683, -217, (-200, -218, 996, 921)),
    'Times-Italic': (683, -217, (-169, -217, 1010, 883)),
    'Times-Roman': (683, -217, (-168, -218, 1000, 898)),
    'ZapfDingbats': (820, -143, (-1, -143, 981, 820)),
}

ALIASES = {
    'Helvetica': ['Arial', 'ArialMT'],
    'Helvetica-Bold': ['Arial,Bold', 'Arial-Bold', 'Arial-BoldMT', 'Helvetica,Bold'],
    'Helvetica-Oblique': ['Arial,Italic', 'Arial-Italic', 'Arial-ItalicMT', 'Helvetica,Italic',
                          'Helvetica-Italic'],
    'Helvetica-BoldOblique': ['Arial,BoldItalic', 'Arial-BoldItalic', 'Arial-BoldItalicMT',
                              'Helvetica,BoldItalic', 'Helvetica-BoldItalic'],
    'Courier': ['CourierNew', 'CourierNewPSMT'],
    'Courier-Bold': ['Courier,Bold', 'CourierNew,Bold', 'CourierNew-Bold', 'CourierNewPS-BoldMT'],
    'Courier-Oblique': ['Courier,Italic', 'CourierNew,Italic', 'CourierNew-Italic',
                        'CourierNewPS-ItalicMT'],
    'Courier-BoldOblique': ['Courier,BoldItalic', 'CourierNew,BoldItalic', 'CourierNew-BoldItalic',
                            'CourierNewPS-BoldItalicMT'],
    'Symbol': ['Symbol,Bold', 'Symbol,BoldItalic', 'Symbol,Italic'],
    'Times-Roman': ['TimesNewRoman', 'TimesNewRomanPS', 'TimesNewRomanPSMT'],
    'Times-Bold': ['TimesNewRoman,Bold', 'TimesNewRoman-Bold', 'TimesNewRomanPS-Bold',
                   'TimesNewRomanPS-BoldMT', 'TimesNewRomanPSMT,Bold'],
    'Times-Italic': ['TimesNewRoman,Italic', 'TimesNewRoman-Italic', 'TimesNewRomanPS-Italic',
                     'TimesNewRomanPS-ItalicMT', 'TimesNewRomanPSMT,Italic'],
    'Times-BoldItalic': ['TimesNewRoman,BoldItalic', 'TimesNewRoman-BoldItalic',
                         'TimesNewRomanPS-BoldItalic', 'TimesNewRomanPS-BoldItalicMT',
                         'TimesNewRomanPSMT,BoldItalic'],
}


def c_str(s):
    return '"' + s.replace('\\', '\\\\').replace('"', '\\"') + '"'


def ident(name):
    return 'k' + re.sub(r'[^A-Za-z0-9]', '', name) + 'Widths'


def emit_encoding(out, cname, names):
    out.append('const char* const %s[256] = {' % cname)
    for row in range(0, 256, 8):
        cells = [c_str(n) if n else 'nullptr' for n in names[row:row + 8]]
        out.append('    /* %3d */ %s,' % (row, ', '.join(cells)))
    out.append('};')
    out.append('')


def main():
    enc = load_encodings()
    out = ['// Generated by tools/gen_builtin_tables.py -- do not edit by hand.',
           '// Encodings from ghostscript\'s encoding vectors, standard-font metrics from',
           '// Adobe\'s Core 14 AFM files, CFF tables from fontTools (see the generator).',
           '#include "font/CPdfBuiltinTables.h"', '']
    for cname in ('StandardEncoding', 'MacRomanEncoding', 'WinAnsiEncoding', 'MacExpertEncoding',
                  'ExpertEncoding', 'SymbolEncoding', 'ZapfDingbatsEncoding'):
        emit_encoding(out, cname, enc[cname])
    emit_encoding(out, 'StandardEncodingMarker', enc['StandardEncoding'])

    rows = []
    for name, defenc, count in STANDARD_FONTS:
        info, glyphs = read_afm(os.path.join(CORE14, name + '.afm'))
        assert info['FontName'][0] == name
        assert len(glyphs) == count, (name, len(glyphs))
        assert len(set(g[0] for g in glyphs)) == count
        bbox = tuple(int(v) for v in info['FontBBox'])
        ascent = int(info['Ascender'][0]) if 'Ascender' in info else bbox[3]
        descent = int(info['Descender'][0]) if 'Descender' in info else bbox[1]
        assert (ascent, descent, bbox) == EXPECTED_METRICS[name], (name, ascent, descent, bbox)
        out.append('static const GlyphWidth %s[%d] = {' % (ident(name), count))
        line = '   '
        for g, w, _ in glyphs:
            cell = ' {%s, %d},' % (c_str(g), w)
            if len(line) + len(cell) > 96:
                out.append(line)
                line = '   '
            line += cell
        out.append(line)
        out.append('};')
        out.append('')
        rows.append('    {%s, %s, %d, %d, {%d, %d, %d, %d}, %s, %d},' % (
            c_str(name), defenc, ascent, descent, bbox[0], bbox[1], bbox[2], bbox[3],
            ident(name), count))
    out.append('const StandardFontMetrics kStandardFonts[14] = {')
    out.extend(rows)
    out.append('};')
    out.append('')

    pairs = sorted(((a, std) for std, al in ALIASES.items() for a in al),
                   key=lambda p: p[0].encode('latin-1'))
    assert len(pairs) == 51 and len(set(a for a, _ in pairs)) == 51
    out.append('// Sorted by byte order of the alias (binary search).')
    out.append('const FontNameAlias kFontNameAliases[%d] = {' % len(pairs))
    for a, std in pairs:
        out.append('    {%s, %s},' % (c_str(a), c_str(std)))
    out.append('};')
    out.append('')

    std = list(cffLib.cffStandardStrings)
    assert len(std) == 391
    out.append('const char* const kCffStandardStrings[391] = {')
    line = '   '
    for s in std:
        cell = ' ' + c_str(s) + ','
        if len(line) + len(cell) > 96:
            out.append(line)
            line = '   '
        line += cell
    out.append(line)
    out.append('};')
    out.append('')
    sid = {s: i for i, s in enumerate(std)}
    for cname, names, n in (('kCffISOAdobeCharset', cffLib.cffISOAdobeStrings, 229),
                            ('kCffExpertCharset', cffLib.cffIExpertStrings, 166),
                            ('kCffExpertSubsetCharset', cffLib.cffExpertSubsetStrings, 87)):
        assert len(names) == n, (cname, len(names))
        ids = [sid[s] for s in names]
        out.append('const uint16_t %s[%d] = {' % (cname, n))
        for row in range(0, n, 16):
            out.append('    ' + ', '.join(str(v) for v in ids[row:row + 16]) + ',')
        out.append('};')
        out.append('')
    sys.stdout.write('\n'.join(out))


if __name__ == '__main__':
    main()
