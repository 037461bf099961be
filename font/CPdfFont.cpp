#include "font/CPdfFont.h"

#include <cstring>

#include "font/CPdf8BitFont.h"
#include "font/CPdfCIDFont.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfException.h"

CPdfFont::~CPdfFont() = default;

CPdfFont* PageFonts::findFont(const char* tag, size_t len) const {
    for (const auto& f : fonts_) {
        if (f && f->tag.size() == len && std::memcmp(f->tag.data(), tag, len) == 0) return f.get();
    }
    return nullptr;
}

std::unique_ptr<PageFonts> loadPageFonts(CPdfDocument* doc, const CPdfElement& fontDict, int32_t fontDictRefNum) {
    std::unique_ptr<PageFonts> fonts(new PageFonts());
    if (!fontDict.isDictionary() || !fontDict.getDictionary()) return fonts;
    CPdfDictionary* dict = fontDict.getDictionary();
    CPdfXRef* xref = dict->getXRef();
    if (!xref && doc) xref = doc->getXRef();
    const int n = dict->getLength();
    for (int i = 0; i < n; ++i) {
        const std::string key = dict->getKey(i);
        CPdfElement raw = dict->getValue(i);
        CPdfElement value = raw.fetch(xref);
        if (!value.isDictionary()) {
            fonts->addSlot(nullptr);
            continue;
        }
        PdfObjRef id;
        if (raw.isReference()) {
            id = PdfObjRef{raw.getRefNum(), raw.getRefGen()};
        } else {
            // A font written directly in the Font dictionary gets a made-up id.
            id = PdfObjRef{i, fontDictRefNum >= 0 ? 100000 + fontDictRefNum : 999999};
        }
        // A font that cannot be built (a broken encoding, a descendant font of an
        // unknown kind, a font program of another type than the font says) leaves its
        // slot empty, as readers go on without it: the rest of the page reads as usual.
        std::unique_ptr<CPdfFont> font;
        try {
            font = createFont(doc, key, id, value);
        } catch (const CPdfException&) {
            font.reset();
        }
        fonts->addSlot(std::move(font));
    }
    return fonts;
}

std::unique_ptr<CPdfFont> createFont(CPdfDocument* doc, const std::string& tag, PdfObjRef id,
                                     const CPdfElement& fontDict) {
    if (!fontDict.isDictionary() || !fontDict.getDictionary()) return nullptr;
    CPdfDictionary* dict = fontDict.getDictionary();
    CPdfElement subtype = dict->lookup("Subtype");
    std::unique_ptr<CPdfFont> font;
    if (subtype.isName("Type0")) {
        std::unique_ptr<CPdfCIDFont> f(new CPdfCIDFont(tag, id));
        f->load(doc, dict);
        font = std::move(f);
    } else {
        FontType type = UnknownFont;
        if (subtype.isName("Type1") || subtype.isName("MMType1"))
            type = Type1Font;
        else if (subtype.isName("Type1C"))
            type = Type1CFont;
        else if (subtype.isName("Type3"))
            type = Type3Font;
        else if (subtype.isName("TrueType"))
            type = TrueTypeFont;
        std::unique_ptr<CPdf8BitFont> f(new CPdf8BitFont(tag, id, type));
        f->load(doc, dict);
        font = std::move(f);
    }
    if (!font->ok) return nullptr;
    return font;
}
