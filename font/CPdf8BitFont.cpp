#include "font/CPdf8BitFont.h"

#include <cstring>
#include <memory>
#include <vector>

#include "font/CFoFiType1.h"
#include "font/CFoFiType1C.h"
#include "font/CMapParser.h"
#include "font/CPdfBuiltinTables.h"
#include "font/FontDescriptor.h"
#include "font/FontFile.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"

namespace {

bool isStaticTable(const char* const* t) {
    return t == StandardEncoding || t == MacRomanEncoding || t == WinAnsiEncoding || t == MacExpertEncoding ||
           t == ExpertEncoding || t == SymbolEncoding || t == ZapfDingbatsEncoding || t == StandardEncodingMarker;
}

}  // namespace

CPdf8BitFont::CPdf8BitFont(const std::string& tag_, PdfObjRef id_, FontType type_) {
    tag = tag_;
    id = id_;
    type = type_;
    for (int i = 0; i < 256; ++i) {
        encoding[i] = nullptr;
        encodingOwned[i] = false;
        widths[i] = 0;
    }
}

CPdf8BitFont::~CPdf8BitFont() = default;

void CPdf8BitFont::setOwnedName(int code, const char* glyphName, size_t len) {
    ownedNames_[code].assign(glyphName, len);
    encoding[code] = ownedNames_[code].c_str();
    encodingOwned[code] = true;
}

// An embedded Type 1 or CFF program, read for its font name and built-in encoding.
// The glyph names of that encoding belong to the reader: they stay valid while the
// program is held.
struct CPdf8BitFont::EmbeddedProgram {
    std::vector<unsigned char> bytes;
    std::unique_ptr<CFoFiType1> type1;
    std::unique_ptr<CFoFiType1C> cff;
};

void CPdf8BitFont::load(CPdfDocument* doc, CPdfDictionary* dict) {
    readNameAndMetrics(dict);
    readFontDescriptor(this, dict);
    readFontMatrix(dict);
    if (type == Type3Font) readType3Entries(dict);
    readEncoding(doc, dict->lookup("Encoding"));
    loadToUnicode(dict, 8, &toUnicode);
    readWidths(dict);
    ok = true;
}

// The font's name (BaseFont, its alias resolved) and the metrics of the standard font
// of that name, which give ascent, descent and bounding box until the descriptor does.
void CPdf8BitFont::readNameAndMetrics(CPdfDictionary* dict) {
    CPdfElement v = dict->lookup("BaseFont");
    if (v.isName()) name = v.getBytes();
    givenName = name;

    if (!name.empty()) {
        if (const char* canonical = lookupAlias(name.c_str())) name = canonical;
        standardMetrics = findStandardFont(name.c_str());
    }
    if (standardMetrics) {
        ascent = standardMetrics->ascent * 0.001;
        descent = standardMetrics->descent * 0.001;
        for (int i = 0; i < 4; ++i)
            fontBBox[i] = standardMetrics->bbox[i] * 0.001;
    } else {
        ascent = 0.95;
        descent = -0.35;
        for (double& b : fontBBox)
            b = 0;
    }
}

// FontMatrix: the identity unless the dictionary gives numbers (a Type 3 font does).
void CPdf8BitFont::readFontMatrix(CPdfDictionary* dict) {
    static const double kIdentity[6] = {1, 0, 0, 1, 0, 0};
    std::memcpy(fontMatrix, kIdentity, sizeof fontMatrix);
    CPdfElement v = dict->lookup("FontMatrix");
    if (v.isArray()) {
        CPdfArray* a = v.getArray();
        for (int i = 0; i < 6 && i < a->getLength(); ++i) {
            CPdfElement e = a->get(i);
            if (e.isNumber()) fontMatrix[i] = e.getNumber();
        }
    }
}

// The entries only a Type 3 font has: its bounding box in glyph space, its glyph
// procedures and their resources.
void CPdf8BitFont::readType3Entries(CPdfDictionary* dict) {
    CPdfElement v = dict->lookup("FontBBox");
    if (v.isArray()) {
        CPdfArray* a = v.getArray();
        for (int i = 0; i < 4 && i < a->getLength(); ++i) {
            CPdfElement e = a->get(i);
            if (e.isNumber()) fontBBox[i] = e.getNumber();
        }
    }
    v = dict->lookup("CharProcs");
    if (v.isDictionary()) charProcs = v;
    v = dict->lookup("Resources");
    if (v.isDictionary()) resources = v;
}

// The glyph name of every code: a base encoding (the one the Encoding entry names,
// else the embedded program's own, else the default of the standard font or of the
// font kind) with the Differences on top. The embedded program is read for its name
// as well, and let go once its encoding's names are copied.
void CPdf8BitFont::readEncoding(CPdfDocument* doc, const CPdfElement& enc) {
    const char* const* base = namedBaseEncoding(enc);
    EmbeddedProgram program;
    const char* const* fileEnc = readEmbeddedProgram(doc, base == nullptr, program);
    if (fileEnc) base = fileEnc;
    if (!base) base = defaultBaseEncoding();
    setBaseEncoding(base, fileEnc != nullptr);
    applyDifferences(enc);
}

// The base encoding the Encoding entry names (directly or as BaseEncoding), or
// nullptr when it names none of the four built-in ones.
const char* const* CPdf8BitFont::namedBaseEncoding(const CPdfElement& enc) {
    const char* const* base = nullptr;
    CPdfElement baseName;
    if (enc.isDictionary())
        baseName = enc.getDictionary()->lookup("BaseEncoding");
    else if (enc.isName())
        baseName = enc;
    if (baseName.isName()) {
        const std::string& n = baseName.getBytes();
        if (n == "MacRomanEncoding") {
            base = MacRomanEncoding;
            usesMacRomanEncoding = true;
        } else if (n == "MacExpertEncoding") {
            base = MacExpertEncoding;
        } else if (n == "WinAnsiEncoding") {
            base = WinAnsiEncoding;
        } else if (n == "StandardEncoding") {
            base = StandardEncoding;
        }
        if (base) {
            hasEncoding = true;
            encodingName = n;
        }
    }
    return base;
}

// Reads the embedded Type 1 or CFF program into program: its font name always, and
// returns its built-in encoding when wantEncoding asks for it and it has one.
const char* const* CPdf8BitFont::readEmbeddedProgram(CPdfDocument* doc, bool wantEncoding, EmbeddedProgram& program) {
    if ((type != Type1Font && type != Type1CFont) || embeddedFontRef.num < 0 || !doc) return nullptr;
    try {
        readFontFile(this, doc, program.bytes);
    } catch (const CPdfException&) {
        // A program that is not a stream or cannot be read gives no name and no
        // encoding; the font's dictionary still gives the rest.
        program.bytes.clear();
    }
    if (program.bytes.empty()) return nullptr;
    const int len = static_cast<int>(program.bytes.size());
    if (type == Type1Font) {
        program.type1.reset(new CFoFiType1(program.bytes.data(), len));
        if (const char* n = program.type1->getName()) embeddedFontName = n;
        return wantEncoding ? program.type1->getEncoding() : nullptr;
    }
    program.cff = CFoFiType1C::openCff(program.bytes.data(), len);
    if (!program.cff) return nullptr;
    if (*program.cff->getName()) embeddedFontName = program.cff->getName();
    return wantEncoding ? program.cff->getEncoding() : nullptr;
}

// The base encoding when neither the Encoding entry nor the program gives one.
const char* const* CPdf8BitFont::defaultBaseEncoding() {
    if (standardMetrics) {
        hasEncoding = true;
        encodingName = "StandardEncoding";
        return standardMetrics->defaultEncoding;
    }
    if (type == TrueTypeFont) {
        encodingName = "WinAnsiEncoding";
        return WinAnsiEncoding;
    }
    encodingName = "StandardEncoding";
    return StandardEncoding;
}

// Takes the glyph names of base. Names of a program's own encoding are copied (the
// program goes away); a CFF program's encoding is completed by StandardEncoding.
void CPdf8BitFont::setBaseEncoding(const char* const* base, bool fromFontFile) {
    const bool copyNames = fromFontFile && !isStaticTable(base);
    for (int i = 0; i < 256; ++i) {
        if (!base[i]) continue;
        if (copyNames)
            setOwnedName(i, base[i], std::strlen(base[i]));
        else
            encoding[i] = base[i];
    }
    if (type == Type1CFont && embeddedFontRef.num >= 0 && fromFontFile) {
        for (int i = 0; i < 256; ++i)
            if (!encoding[i] && StandardEncoding[i]) encoding[i] = StandardEncoding[i];
    }
}

// The Differences array of an Encoding dictionary: a number sets the next code, each
// name after it names that code and moves on by one.
void CPdf8BitFont::applyDifferences(const CPdfElement& enc) {
    if (!enc.isDictionary()) return;
    CPdfElement diffs = enc.getDictionary()->lookup("Differences");
    if (!diffs.isArray()) return;
    hasEncoding = true;
    CPdfArray* a = diffs.getArray();
    int64_t code = 0;
    const int n = a->getLength();
    for (int i = 0; i < n; ++i) {
        const CPdfElement& raw = a->at(i);
        CPdfElement resolved;
        const CPdfElement* e = &raw;
        if (raw.isReference()) {
            resolved = a->get(i);
            e = &resolved;
        }
        if (e->isInteger()) {
            code = e->getInteger();
        } else if (e->isName()) {
            if (code >= 0 && code <= 255) {
                const std::string& g = e->getBytes();
                setOwnedName(static_cast<int>(code), g.data(), g.size());
            }
            ++code;
        }
        // Any other kind of entry (a real number, a string) is passed over:
        // the entries around it still say what they say.
    }
}

// Widths: the Widths array from FirstChar to LastChar (the descriptor's MissingWidth
// elsewhere), or without the array the standard font's metrics by glyph name.
void CPdf8BitFont::readWidths(CPdfDictionary* dict) {
    for (double& w : widths)
        w = missingWidth * 0.001;
    int firstChar = 0, lastChar = 255;
    CPdfElement v = dict->lookup("FirstChar");
    if (v.isInteger()) {
        firstChar = v.getInteger();
        if (firstChar < 0 || firstChar > 255) firstChar = 0;
    }
    v = dict->lookup("LastChar");
    if (v.isInteger()) {
        lastChar = v.getInteger();
        if (lastChar < 0 || lastChar > 255) lastChar = 255;
    }
    const double scale = type == Type3Font ? fontMatrix[0] : 0.001;
    CPdfElement w = dict->lookup("Widths");
    if (!w.isArray()) {
        widthsFromMetrics();
        return;
    }
    flags |= 1;
    CPdfArray* a = w.getArray();
    const int count = a->getLength();
    if (count < lastChar - firstChar + 1) lastChar = firstChar + count - 1;
    for (int code = firstChar; code <= lastChar; ++code) {
        CPdfElement e = a->get(code - firstChar);
        if (e.isNumber()) {
            widths[code] = scale * e.getNumber();
            if (widths[code] != widths[firstChar]) flags &= ~1;
        }
    }
}

// Widths by glyph name from the standard font the font names, else from the standard
// font that the descriptor's flags (fixed pitch, serif, bold, italic) choose.
void CPdf8BitFont::widthsFromMetrics() {
    const StandardFontMetrics* metrics = standardMetrics;
    if (!metrics) {
        int idx = (flags & 1) ? 0 : (flags & 2) ? 8 : 4;
        if (flags & 262144) idx += 2;
        if (flags & 64) idx += 1;
        metrics = findStandardFont(kSubstituteFonts[idx]);
    }
    if (metrics) {
        int width;
        if (lookupWidth(metrics, "space", &width)) widths[32] = width * 0.001;
        for (int code = 0; code < 256; ++code) {
            if (encoding[code] && lookupWidth(metrics, encoding[code], &width)) widths[code] = width * 0.001;
        }
    }
}

int CPdf8BitFont::decodeChar(const unsigned char* bytes, int remaining, uint32_t* code, uint32_t* unicode, int capacity,
                             int* ucount, double* dx, double* dy, double* ox, double* oy) const {
    *dy = *ox = *oy = 0;
    if (remaining <= 0) {
        *code = 0;
        *ucount = 0;
        *dx = 0;
        return 0;
    }
    const unsigned c = bytes[0];
    *code = c;
    *ucount = capacity > 0 ? toUnicode.lookupUnicode(c, unicode, capacity) : 0;
    *dx = widths[c];
    return 1;
}
