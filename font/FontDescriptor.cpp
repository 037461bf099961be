#include "font/FontDescriptor.h"

#include "font/CPdfFont.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfException.h"

namespace {

// A font program of a kind the font type cannot have (a TrueType program for a Type 1
// font, an unknown FontFile3 subtype) is not used: the font is built from its
// dictionary alone, as if it had none.

}  // namespace

void readFontDescriptor(CPdfFont* font, CPdfDictionary* fontDict) {
    font->flags = 2;
    font->embeddedFontRef = PdfObjRef{-1, 0};
    font->missingWidth = 0;
    if (!fontDict) return;
    CPdfElement fdElem = fontDict->lookup("FontDescriptor");
    if (!fdElem.isDictionary()) return;
    CPdfDictionary* fd = fdElem.getDictionary();

    CPdfElement v = fd->lookup("Flags");
    if (v.isInteger()) font->flags = v.getInteger();

    v = fd->lookup("FontName");
    if (v.isName()) font->embeddedFontName = v.getBytes();

    v = fd->lookupRaw("FontFile");
    if (v.isReference() && font->type == Type1Font) font->embeddedFontRef = PdfObjRef{v.getRefNum(), v.getRefGen()};
    if (font->embeddedFontRef.num < 0) {
        v = fd->lookupRaw("FontFile2");
        if (v.isReference() && (font->type == TrueTypeFont || font->type == CIDType2Font))
            font->embeddedFontRef = PdfObjRef{v.getRefNum(), v.getRefGen()};
    }
    if (font->embeddedFontRef.num < 0) {
        v = fd->lookupRaw("FontFile3");
        if (v.isReference()) {
            CPdfElement target = fd->lookup("FontFile3");
            if (target.isStream() && target.getDictionary()) {
                CPdfElement sub = target.getDictionary()->lookup("Subtype");
                const std::string s = sub.isName() ? sub.getBytes() : std::string();
                bool fits = false;
                if (s == "Type1") {
                    fits = font->type == Type1Font;
                } else if (s == "Type1C") {
                    fits = font->type == Type1Font || font->type == Type1CFont;
                    if (fits) font->type = Type1CFont;
                } else if (s == "TrueType") {
                    fits = font->type == TrueTypeFont;
                } else if (s == "CIDFontType0C") {
                    fits = font->type == CIDType0Font;
                    if (fits) font->type = CIDType0CFont;
                } else if (s == "OpenType") {
                    // An OpenType program may back any font type; none of its contents
                    // is read here.
                    fits = true;
                }
                if (fits) font->embeddedFontRef = PdfObjRef{v.getRefNum(), v.getRefGen()};
            }
        }
    }

    v = fd->lookup("MissingWidth");
    if (v.isNumber()) font->missingWidth = v.getNumber();

    v = fd->lookup("Ascent");
    if (v.isNumber()) {
        double a = v.getNumber() * 0.001;
        if (a != 0) font->ascent = a;
    }
    v = fd->lookup("Descent");
    if (v.isNumber()) {
        double d = v.getNumber() * 0.001;
        if (d != 0) font->descent = d;
        if (font->descent > 0) font->descent = -font->descent;
    }
    v = fd->lookup("FontBBox");
    if (v.isArray()) {
        CPdfArray* a = v.getArray();
        for (int i = 0; i < 4 && i < a->getLength(); ++i) {
            CPdfElement e = a->get(i);
            if (e.isNumber()) font->fontBBox[i] = e.getNumber() * 0.001;
        }
    }
}
