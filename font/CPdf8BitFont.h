#pragma once
// Simple fonts (Type 1, Type 1C, Type 3, TrueType): one byte per character, a
// 256-entry encoding, widths and Unicode map.
#include <string>

#include "font/CPdfFont.h"
#include "font/UnicodeMapping.h"
#include "pdf/CPdfElement.h"

class CPdf8BitFont : public CPdfFont {
public:
    CPdf8BitFont(const std::string& tag, PdfObjRef id, FontType type);
    ~CPdf8BitFont() override;

    /// Builds the font from its dictionary; sets ok at the end. Throws CPdfException.
    void load(CPdfDocument* doc, CPdfDictionary* fontDict);

    double getWidth(uint32_t code) const override { return code < 256 ? widths[code] : 0.0; }
    const char* getGlyphName(uint32_t code) const override { return code < 256 ? encoding[code] : nullptr; }
    int decodeChar(const unsigned char* bytes, int remaining, uint32_t* code, uint32_t* unicode, int capacity,
                   int* ucount, double* dx, double* dy, double* ox, double* oy) const override;

    /// Glyph name per code (nullptr where none); encodingOwned says which point into
    /// ownedNames (copied strings) rather than into static tables.
    const char* encoding[256];
    bool encodingOwned[256];
    bool hasEncoding = false;
    bool usesMacRomanEncoding = false;
    UnicodeMapping toUnicode;
    double widths[256];
    /// Type 3 only: CharProcs and Resources dictionaries, else Null.
    CPdfElement charProcs;
    CPdfElement resources;
    /// The standard font whose metrics the font took, or nullptr.
    const StandardFontMetrics* standardMetrics = nullptr;

private:
    struct EmbeddedProgram;
    // The phases of load, in order.
    void readNameAndMetrics(CPdfDictionary* dict);
    void readFontMatrix(CPdfDictionary* dict);
    void readType3Entries(CPdfDictionary* dict);
    void readEncoding(CPdfDocument* doc, const CPdfElement& enc);
    void readWidths(CPdfDictionary* dict);
    // The steps of readEncoding and readWidths.
    const char* const* namedBaseEncoding(const CPdfElement& enc);
    const char* const* readEmbeddedProgram(CPdfDocument* doc, bool wantEncoding, EmbeddedProgram& program);
    const char* const* defaultBaseEncoding();
    void setBaseEncoding(const char* const* base, bool fromFontFile);
    void applyDifferences(const CPdfElement& enc);
    void widthsFromMetrics();
    void setOwnedName(int code, const char* glyphName, size_t len);
    std::string ownedNames_[256];
};
