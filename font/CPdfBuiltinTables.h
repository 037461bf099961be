#pragma once
// Static font data shared by the font objects, the font-program readers and the
// text extractor: the built-in encodings, the 14 standard fonts with their glyph
// widths, the font-name aliases, the substitution order and the CFF tables.
// The data lives in the generated file font/BuiltinTablesData.cpp (tools/).
#include <cstdint>

/// Encodings: 256 glyph names each, nullptr where a code is undefined.
extern const char* const StandardEncoding[256];
extern const char* const MacRomanEncoding[256];
extern const char* const WinAnsiEncoding[256];
extern const char* const MacExpertEncoding[256];
extern const char* const ExpertEncoding[256];
extern const char* const SymbolEncoding[256];
extern const char* const ZapfDingbatsEncoding[256];
/// A second table with StandardEncoding's content: the Type 1 reader's marker that a
/// font program uses the standard encoding. Never freed.
extern const char* const StandardEncodingMarker[256];

struct GlyphWidth {
    const char* name;
    int16_t width;  ///< 1/1000 of the font size
};

struct StandardFontMetrics {
    const char* name;
    const char* const* defaultEncoding;  ///< StandardEncoding, SymbolEncoding or ZapfDingbatsEncoding
    int16_t ascent;
    int16_t descent;
    int16_t bbox[4];
    const GlyphWidth* widths;  ///< static {glyph name, width} array
    int widthCount;
};

/// The 14 standard fonts, in table order.
extern const StandardFontMetrics kStandardFonts[14];
/// Exact, linear lookup by name; nullptr when not one of the 14.
const StandardFontMetrics* findStandardFont(const char* name);
/// Canonical standard name for a BaseFont alias (binary search, exact bytes); nullptr if none.
const char* lookupAlias(const char* name);
/// One row of the alias table: a BaseFont name and the standard font it stands for.
struct FontNameAlias {
    const char* alias;
    const char* name;
};
/// The 51 aliases, sorted by the bytes of the alias (lookupAlias searches them).
extern const FontNameAlias kFontNameAliases[51];

/// Substitution order by descriptor flags: Courier .. Times-BoldItalic (12 names).
extern const char* const kSubstituteFonts[12];

/// Builds the per-font glyph-width hash tables (bucket = h mod count, h = h*17 + byte).
/// Calls nest: each build needs one release; the tables go at the last release.
void buildWidthTables();
void releaseWidthTables();
/// Width of glyph in font; false when the font has no such glyph. Works also when the
/// tables are not built (linear search then).
bool lookupWidth(const StandardFontMetrics* font, const char* glyph, int* width);
/// Number of entries of the width table of font (for tests).
int widthTableSize(const StandardFontMetrics* font);

/// CFF: the 391 standard strings, and the predefined charsets (string ids by glyph index).
extern const char* const kCffStandardStrings[391];
extern const uint16_t kCffISOAdobeCharset[229];
extern const uint16_t kCffExpertCharset[166];
extern const uint16_t kCffExpertSubsetCharset[87];
