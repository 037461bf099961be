#include "font/CPdfCIDFont.h"

#include <algorithm>

#include "font/CMapParser.h"
#include "font/FontDescriptor.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfException.h"

namespace {

constexpr int64_t kMaxCid = 2147483647;

[[noreturn]] void badW() { throw CPdfException("Bad widths array in type 0 font"); }
[[noreturn]] void badW2() { throw CPdfException("Bad widths (W2) array in type 0 font"); }

void sortRanges(std::vector<CIDWidthRange>& out) {
    std::stable_sort(out.begin(), out.end(),
                     [](const CIDWidthRange& x, const CIDWidthRange& y) { return x.first < y.first; });
}

void parseW(CPdfArray* a, std::vector<CIDWidthRange>& out) {
    const int n = a->getLength();
    int i = 0;
    while (i + 1 < n) {
        CPdfElement first = a->get(i);
        if (!first.isInteger()) badW();
        const int64_t c = first.getInteger();
        CPdfElement second = a->get(i + 1);
        if (second.isInteger()) {
            if (i + 2 >= n) badW();
            CPdfElement w = a->get(i + 2);
            if (!w.isNumber()) badW();
            out.push_back(CIDWidthRange{static_cast<int32_t>(c), second.getInteger(), w.getNumber() * 0.001});
            i += 3;
        } else if (second.isArray()) {
            CPdfArray* ws = second.getArray();
            const int m = ws->getLength();
            for (int j = 0; j < m; ++j) {
                CPdfElement w = ws->get(j);
                if (!w.isNumber()) badW();
                if (c + j > kMaxCid) continue;
                const int32_t cid = static_cast<int32_t>(c + j);
                out.push_back(CIDWidthRange{cid, cid, w.getNumber() * 0.001});
            }
            i += 2;
        } else {
            badW();
        }
    }
    sortRanges(out);
}

void parseW2(CPdfArray* a, std::vector<CIDVerticalRange>& out) {
    const int n = a->getLength();
    int i = 0;
    auto number = [&](CPdfArray* arr, int k) {
        CPdfElement e = arr->get(k);
        if (!e.isNumber()) badW2();
        return e.getNumber() * 0.001;
    };
    while (i + 1 < n) {
        CPdfElement first = a->get(i);
        if (!first.isInteger()) badW2();
        const int64_t c = first.getInteger();
        CPdfElement second = a->get(i + 1);
        if (second.isInteger()) {
            if (i + 4 >= n) badW2();
            double h = number(a, i + 2), vx = number(a, i + 3), vy = number(a, i + 4);
            out.push_back(CIDVerticalRange{static_cast<int32_t>(c), second.getInteger(), h, vx, vy});
            i += 5;
        } else if (second.isArray()) {
            CPdfArray* vs = second.getArray();
            const int m = vs->getLength();
            if (m % 3 != 0) badW2();
            for (int j = 0; j + 2 < m; j += 3) {
                double h = number(vs, j), vx = number(vs, j + 1), vy = number(vs, j + 2);
                if (c + j / 3 > kMaxCid) continue;
                const int32_t cid = static_cast<int32_t>(c + j / 3);
                out.push_back(CIDVerticalRange{cid, cid, h, vx, vy});
            }
            i += 2;
        } else {
            badW2();
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const CIDVerticalRange& x, const CIDVerticalRange& y) { return x.first < y.first; });
}

}  // namespace

CPdfCIDFont::CPdfCIDFont(const std::string& tag_, PdfObjRef id_) {
    tag = tag_;
    id = id_;
    type = UnknownFont;
}

CPdfCIDFont::~CPdfCIDFont() = default;

void CPdfCIDFont::load(CPdfDocument* doc, CPdfDictionary* dict) {
    CPdfElement v = dict->lookup("BaseFont");
    if (v.isName()) name = v.getBytes();
    givenName = name;
    ascent = 0.95;
    descent = -0.35;
    for (double& b : fontBBox)
        b = 0;

    // A descendant font that is missing or damaged leaves the defaults (every width
    // DW's default): the encoding CMap and the ToUnicode map of the Type 0 dictionary
    // still give the text.
    CPdfElement descendants = dict->lookup("DescendantFonts");
    CPdfElement desc;
    if (descendants.isArray() && descendants.getArray()->getLength() > 0) desc = descendants.getArray()->get(0);
    CPdfDictionary* d = desc.isDictionary() && !desc.isStream() ? desc.getDictionary() : nullptr;
    if (d) {
        v = d->lookup("Subtype");
        if (v.isName("CIDFontType0"))
            type = CIDType0Font;
        else if (v.isName("CIDFontType2"))
            type = CIDType2Font;

        readFontDescriptor(this, d);

        v = d->lookup("DW");
        if (v.isNumber()) defaultWidth = v.getNumber() * 0.001;

        // A widths array with a bad entry keeps the ranges before it.
        v = d->lookup("W");
        if (v.isArray()) {
            try {
                parseW(v.getArray(), widthRanges);
            } catch (const CPdfException&) {
                sortRanges(widthRanges);
            }
        }

        v = d->lookup("DW2");
        if (v.isArray() && v.getArray()->getLength() == 2) {
            CPdfElement a = v.getArray()->get(0), b = v.getArray()->get(1);
            if (a.isNumber() && b.isNumber()) {
                defaultVY = a.getNumber() * 0.001;
                defaultHeight = b.getNumber() * 0.001;
            }
        }

        v = d->lookup("W2");
        if (v.isArray()) {
            try {
                parseW2(v.getArray(), verticalRanges);
            } catch (const CPdfException&) {
                verticalRanges.clear();
            }
        }
    }

    // The encoding CMap, and the ToUnicode map read with its code width.
    cmap = CPdfCMap::fromEncoding(dict->lookup("Encoding"));
    if (cmap) {
        toUnicode.reset(new UnicodeMapping());
        loadToUnicode(dict, cmap->codeBits(), toUnicode.get());
    }
    ok = true;
}

double CPdfCIDFont::getWidth(uint32_t cid) const {
    if (widthRanges.empty()) return defaultWidth;
    const int64_t c = cid;
    if (c < widthRanges.front().first) return defaultWidth;
    // Last range whose first CID is not above cid.
    auto it = std::upper_bound(widthRanges.begin(), widthRanges.end(), c,
                               [](int64_t x, const CIDWidthRange& r) { return x < r.first; });
    const CIDWidthRange& r = *(it - 1);
    if (r.last >= c) return r.width;
    return defaultWidth;
}

int CPdfCIDFont::decodeChar(const unsigned char* bytes, int remaining, uint32_t* code, uint32_t* unicode, int capacity,
                            int* ucount, double* dx, double* dy, double* ox, double* oy) const {
    *code = 0;
    *ucount = 0;
    *dx = *dy = *ox = *oy = 0;
    if (remaining <= 0) return 0;
    if (!cmap) return 1;
    uint32_t value, cid;
    bool matched;
    int n = cmap->decode(bytes, remaining, &value, &cid, &matched);
    if (matched) {
        *code = cid;
        if (toUnicode && capacity > 0) *ucount = toUnicode->lookupUnicode(value, unicode, capacity);
    }
    *dx = getWidth(*code);
    return n;
}
