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
    return t == StandardEncoding || t == MacRomanEncoding || t == WinAnsiEncoding ||
           t == MacExpertEncoding || t == ExpertEncoding || t == SymbolEncoding ||
           t == ZapfDingbatsEncoding || t == StandardEncodingMarker;
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

void CPdf8BitFont::setOwnedName(int code, const char* name, size_t len) {
    ownedNames_[code].assign(name, len);
    encoding[code] = ownedNames_[code].c_str();
    encodingOwned[code] = true;
}

void CPdf8BitFont::load(CPdfDocument* doc, CPdfDictionary* dict) {
    CPdfElement v = dict->lookup("BaseFont");
    if (v.isName()) name = v.getBytes();
    givenName = name;

    // Alias and standard metrics.
    if (!name.empty()) {
        if (const char* canonical = lookupAlias(name.c_str())) name = canonical;
        standardMetrics = findStandardFont(name.c_str());
    }
    if (standardMetrics) {
        ascent = standardMetrics->ascent * 0.001;
        descent = standardMetrics->descent * 0.001;
        for (int i = 0; i < 4; ++i) fontBBox[i] = standardMetrics->bbox[i] * 0.001;
    } else {
        ascent = 0.95;
        descent = -0.35;
        for (double& b : fontBBox) b = 0;
    }

    readFontDescriptor(this, dict);

    static const double kIdentity[6] = {1, 0, 0, 1, 0, 0};
    std::memcpy(fontMatrix, kIdentity, sizeof fontMatrix);
    v = dict->lookup("FontMatrix");
    if (v.isArray()) {
        CPdfArray* a = v.getArray();
        for (int i = 0; i < 6 && i < a->getLength(); ++i) {
            CPdfElement e = a->get(i);
            if (e.isNumber()) fontMatrix[i] = e.getNumber();
        }
    }

    if (type == Type3Font) {
        v = dict->lookup("FontBBox");
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

    // Base encoding.
    const char* const* base = nullptr;
    bool baseFromFontFile = false;
    CPdfElement enc = dict->lookup("Encoding");
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

    // Embedded font program: its name, and its encoding when none is given.
    std::vector<unsigned char> program;
    std::unique_ptr<CFoFiType1> type1;
    std::unique_ptr<CFoFiType1C> cff;
    if ((type == Type1Font || type == Type1CFont) && embeddedFontRef.num >= 0 && doc) {
        try {
            readFontFile(this, doc, program);
        } catch (const CPdfException&) {
            // A program that is not a stream or cannot be read gives no name and no
            // encoding; the font's dictionary still gives the rest.
            program.clear();
        }
        if (!program.empty()) {
            const int len = static_cast<int>(program.size());
            const char* const* fileEnc = nullptr;
            if (type == Type1Font) {
                type1.reset(new CFoFiType1(program.data(), len));
                if (const char* n = type1->getName()) embeddedFontName = n;
                if (!base) fileEnc = type1->getEncoding();
            } else {
                cff = CFoFiType1C::openCff(program.data(), len);
                if (cff) {
                    if (*cff->getName()) embeddedFontName = cff->getName();
                    if (!base) fileEnc = cff->getEncoding();
                }
            }
            if (fileEnc) {
                base = fileEnc;
                baseFromFontFile = true;
            }
        }
    }

    if (!base) {
        if (standardMetrics) {
            base = standardMetrics->defaultEncoding;
            hasEncoding = true;
            encodingName = "StandardEncoding";
        } else if (type == TrueTypeFont) {
            base = WinAnsiEncoding;
            encodingName = "WinAnsiEncoding";
        } else {
            base = StandardEncoding;
            encodingName = "StandardEncoding";
        }
    }

    const bool copyNames = baseFromFontFile && !isStaticTable(base);
    for (int i = 0; i < 256; ++i) {
        if (!base[i]) continue;
        if (copyNames)
            setOwnedName(i, base[i], std::strlen(base[i]));
        else
            encoding[i] = base[i];
    }
    if (type == Type1CFont && embeddedFontRef.num >= 0 && baseFromFontFile) {
        for (int i = 0; i < 256; ++i)
            if (!encoding[i] && StandardEncoding[i]) encoding[i] = StandardEncoding[i];
    }

    // Differences.
    if (enc.isDictionary()) {
        CPdfElement diffs = enc.getDictionary()->lookup("Differences");
        if (diffs.isArray()) {
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
    }

    // The readers and the program are no longer needed.
    type1.reset();
    cff.reset();
    program.clear();
    program.shrink_to_fit();

    loadToUnicode(dict, 8, &toUnicode);

    // Widths.
    for (double& w : widths) w = missingWidth * 0.001;
    int firstChar = 0, lastChar = 255;
    v = dict->lookup("FirstChar");
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
    if (w.isArray()) {
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
    } else {
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
                if (encoding[code] && lookupWidth(metrics, encoding[code], &width))
                    widths[code] = width * 0.001;
            }
        }
    }
    ok = true;
}

int CPdf8BitFont::decodeChar(const unsigned char* bytes, int remaining, uint32_t* code,
                             uint32_t* unicode, int capacity, int* ucount, double* dx, double* dy,
                             double* ox, double* oy) const {
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
