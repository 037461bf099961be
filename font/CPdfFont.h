#pragma once
// Font objects built from a page's font resources: how a shown string splits into
// character codes, how wide each code is, and which glyph name and Unicode values
// belong to it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/CPdfElement.h"

class CPdfDocument;
class CPdfDictionary;
struct StandardFontMetrics;

enum FontType {
    UnknownFont = 0,
    Type1Font = 1,
    Type1CFont = 2,
    Type3Font = 3,
    TrueTypeFont = 4,
    CIDType0Font = 5,
    CIDType0CFont = 6,
    CIDType2Font = 7,
};

struct PdfObjRef {
    int32_t num;
    int32_t gen;
};

class CPdfFont {
public:
    virtual ~CPdfFont();
    virtual bool queryFlag() const { return false; }
    virtual int beginTextArray(const CPdfElement& array) { return 0; }
    /// Advance of code in text-space units per unit of font size.
    virtual double getWidth(uint32_t code) const = 0;
    /// Glyph name of code, or nullptr.
    virtual const char* getGlyphName(uint32_t code) const = 0;
    /// Decodes one character from bytes[0..remaining): returns the bytes consumed (>= 1
    /// when remaining > 0), the code, up to capacity Unicode values (count in *ucount),
    /// and the displacement dx, dy and origin offset ox, oy.
    virtual int decodeChar(const unsigned char* bytes, int remaining, uint32_t* code, uint32_t* unicode, int capacity,
                           int* ucount, double* dx, double* dy, double* ox, double* oy) const = 0;
    virtual bool isComposite() const { return false; }

    std::string tag;
    PdfObjRef id{0, 0};
    std::string name;
    std::string givenName;
    std::string embeddedFontName;
    FontType type = UnknownFont;
    int32_t flags = 2;
    PdfObjRef embeddedFontRef{-1, 0};
    double fontMatrix[6] = {1, 0, 0, 1, 0, 0};
    double fontBBox[4] = {0, 0, 0, 0};
    double missingWidth = 0;
    double ascent = 0.95;
    double descent = -0.35;
    bool ok = false;
    std::string encodingName;
};

/// The fonts of one Font resource dictionary; slots may be empty.
class PageFonts {
public:
    PageFonts() = default;
    PageFonts(const PageFonts&) = delete;
    PageFonts& operator=(const PageFonts&) = delete;
    /// First non-empty font whose tag equals tag exactly; nullptr if none. Borrowed.
    CPdfFont* findFont(const char* tag, size_t len) const;
    CPdfFont* findFont(const std::string& tag) const { return findFont(tag.data(), tag.size()); }
    int getCount() const { return static_cast<int>(fonts_.size()); }
    CPdfFont* getFont(int i) const { return fonts_[static_cast<size_t>(i)].get(); }
    void addSlot(std::unique_ptr<CPdfFont> font) { fonts_.push_back(std::move(font)); }

private:
    std::vector<std::unique_ptr<CPdfFont>> fonts_;
};

/// Builds the fonts of fontDict (a Dictionary element). fontDictRefNum is the object
/// number of the Font dictionary when it was reached by reference, else -1. A font
/// that cannot be built leaves its slot empty.
std::unique_ptr<PageFonts> loadPageFonts(CPdfDocument* doc, const CPdfElement& fontDict, int32_t fontDictRefNum);
/// Builds one font; nullptr when construction did not complete. Throws CPdfException.
std::unique_ptr<CPdfFont> createFont(CPdfDocument* doc, const std::string& tag, PdfObjRef id,
                                     const CPdfElement& fontDict);
