#include "font/CPdfBuiltinTables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

int definedCodes(const char* const* enc) {
    int n = 0;
    for (int c = 0; c < 256; ++c)
        n += enc[c] != nullptr;
    return n;
}

struct AliasRow {
    const char* alias;
    const char* standard;  // nullptr: no match
};

const AliasRow kAliasRows[] = {
    {"Arial", "Helvetica"},
    {"ArialMT", "Helvetica"},
    {"Arial,Bold", "Helvetica-Bold"},
    {"Arial-Bold", "Helvetica-Bold"},
    {"Arial-BoldMT", "Helvetica-Bold"},
    {"Helvetica,Bold", "Helvetica-Bold"},
    {"Arial,Italic", "Helvetica-Oblique"},
    {"Arial-Italic", "Helvetica-Oblique"},
    {"Arial-ItalicMT", "Helvetica-Oblique"},
    {"Helvetica,Italic", "Helvetica-Oblique"},
    {"Helvetica-Italic", "Helvetica-Oblique"},
    {"Arial,BoldItalic", "Helvetica-BoldOblique"},
    {"Arial-BoldItalic", "Helvetica-BoldOblique"},
    {"Arial-BoldItalicMT", "Helvetica-BoldOblique"},
    {"Helvetica,BoldItalic", "Helvetica-BoldOblique"},
    {"Helvetica-BoldItalic", "Helvetica-BoldOblique"},
    {"CourierNew", "Courier"},
    {"CourierNewPSMT", "Courier"},
    {"Courier,Bold", "Courier-Bold"},
    {"CourierNew,Bold", "Courier-Bold"},
    {"CourierNew-Bold", "Courier-Bold"},
    {"CourierNewPS-BoldMT", "Courier-Bold"},
    {"Courier,Italic", "Courier-Oblique"},
    {"CourierNew,Italic", "Courier-Oblique"},
    {"CourierNew-Italic", "Courier-Oblique"},
    {"CourierNewPS-ItalicMT", "Courier-Oblique"},
    {"Courier,BoldItalic", "Courier-BoldOblique"},
    {"CourierNew,BoldItalic", "Courier-BoldOblique"},
    {"CourierNew-BoldItalic", "Courier-BoldOblique"},
    {"CourierNewPS-BoldItalicMT", "Courier-BoldOblique"},
    {"Symbol,Bold", "Symbol"},
    {"Symbol,BoldItalic", "Symbol"},
    {"Symbol,Italic", "Symbol"},
    {"TimesNewRoman", "Times-Roman"},
    {"TimesNewRomanPS", "Times-Roman"},
    {"TimesNewRomanPSMT", "Times-Roman"},
    {"TimesNewRoman,Bold", "Times-Bold"},
    {"TimesNewRoman-Bold", "Times-Bold"},
    {"TimesNewRomanPS-Bold", "Times-Bold"},
    {"TimesNewRomanPS-BoldMT", "Times-Bold"},
    {"TimesNewRomanPSMT,Bold", "Times-Bold"},
    {"TimesNewRoman,Italic", "Times-Italic"},
    {"TimesNewRoman-Italic", "Times-Italic"},
    {"TimesNewRomanPS-Italic", "Times-Italic"},
    {"TimesNewRomanPS-ItalicMT", "Times-Italic"},
    {"TimesNewRomanPSMT,Italic", "Times-Italic"},
    {"TimesNewRoman,BoldItalic", "Times-BoldItalic"},
    {"TimesNewRoman-BoldItalic", "Times-BoldItalic"},
    {"TimesNewRomanPS-BoldItalic", "Times-BoldItalic"},
    {"TimesNewRomanPS-BoldItalicMT", "Times-BoldItalic"},
    {"TimesNewRomanPSMT,BoldItalic", "Times-BoldItalic"},
    // No prefix or suffix is stripped, and case matters.
    {"ABCDEF+ArialMT", nullptr},
    {"ArialMT ", nullptr},
    {"arial", nullptr},
    {"Helvetica", nullptr},  // a standard name is not an alias of itself
    {"", nullptr},
    {"Arial,Bolditalic", nullptr},
    {"A", nullptr},
    {"Z", nullptr},
};

}  // namespace

TEST(BuiltinTables, AliasRows) {
    for (const AliasRow& row : kAliasRows) {
        const char* got = lookupAlias(row.alias);
        if (row.standard) {
            ASSERT_NE(got, nullptr) << row.alias;
            EXPECT_STREQ(got, row.standard) << row.alias;
            EXPECT_NE(findStandardFont(got), nullptr) << got;
        } else {
            EXPECT_EQ(got, nullptr) << row.alias;
        }
    }
    EXPECT_EQ(lookupAlias(nullptr), nullptr);
}

TEST(BuiltinTables, AliasTableIsSortedByBytesAndComplete) {
    const int n = sizeof(kFontNameAliases) / sizeof(kFontNameAliases[0]);
    ASSERT_EQ(n, 51);
    for (int i = 1; i < n; ++i)
        EXPECT_LT(std::strcmp(kFontNameAliases[i - 1].alias, kFontNameAliases[i].alias), 0) << i;
    // Every row of the table is found by the binary search.
    for (const FontNameAlias& row : kFontNameAliases)
        EXPECT_STREQ(lookupAlias(row.alias), row.name) << row.alias;
}

TEST(BuiltinTables, WinAnsiSpecialCodes) {
    EXPECT_STREQ(WinAnsiEncoding[128], "Euro");
    for (int c : {127, 129, 141, 143, 144, 157})
        EXPECT_STREQ(WinAnsiEncoding[c], "bullet") << c;
    EXPECT_STREQ(WinAnsiEncoding[160], "space");
    EXPECT_STREQ(WinAnsiEncoding[173], "hyphen");
    EXPECT_STREQ(WinAnsiEncoding[45], "hyphen");
    EXPECT_STREQ(WinAnsiEncoding[39], "quotesingle");
    EXPECT_STREQ(WinAnsiEncoding[96], "grave");
    EXPECT_STREQ(WinAnsiEncoding[65], "A");
    EXPECT_EQ(WinAnsiEncoding[31], nullptr);
}

TEST(BuiltinTables, DefinedCodeCounts) {
    struct {
        const char* name;
        const char* const* enc;
        int count;
    } rows[] = {
        {"Standard", StandardEncoding, 149},     {"MacRoman", MacRomanEncoding, 223},
        {"WinAnsi", WinAnsiEncoding, 224},       {"MacExpert", MacExpertEncoding, 165},
        {"Expert", ExpertEncoding, 165},         {"Symbol", SymbolEncoding, 188},
        {"ZapfDingbats", ZapfDingbatsEncoding, 188}, {"Marker", StandardEncodingMarker, 149},
    };
    for (const auto& row : rows)
        EXPECT_EQ(definedCodes(row.enc), row.count) << row.name;
}

TEST(BuiltinTables, EncodingSpotChecks) {
    EXPECT_STREQ(StandardEncoding[39], "quoteright");
    EXPECT_STREQ(StandardEncoding[96], "quoteleft");
    EXPECT_STREQ(StandardEncoding[164], "fraction");
    EXPECT_EQ(StandardEncoding[127], nullptr);
    // The 15 Mac OS Roman additions.
    struct {
        int code;
        const char* glyph;
    } mac[] = {{173, "notequal"}, {176, "infinity"}, {178, "lessequal"}, {179, "greaterequal"},
               {182, "partialdiff"}, {183, "summation"}, {184, "product"}, {185, "pi"},
               {186, "integral"}, {189, "Omega"}, {195, "radical"}, {197, "approxequal"},
               {198, "Delta"}, {215, "lozenge"}, {240, "apple"}};
    for (const auto& m : mac)
        EXPECT_STREQ(MacRomanEncoding[m.code], m.glyph) << m.code;
    EXPECT_STREQ(MacRomanEncoding[219], "currency");
    EXPECT_EQ(SymbolEncoding[240], nullptr);
    EXPECT_STREQ(SymbolEncoding[97], "alpha");
    EXPECT_STREQ(ZapfDingbatsEncoding[32], "space");
    EXPECT_STREQ(ZapfDingbatsEncoding[33], "a1");
    EXPECT_STREQ(ExpertEncoding[36], "dollaroldstyle");
    EXPECT_STREQ(MacExpertEncoding[35], "centoldstyle");
    // The marker has the same content but is a different table.
    EXPECT_NE(static_cast<const void*>(StandardEncodingMarker), static_cast<const void*>(StandardEncoding));
    for (int c = 0; c < 256; ++c) {
        if (StandardEncoding[c])
            EXPECT_STREQ(StandardEncodingMarker[c], StandardEncoding[c]) << c;
        else
            EXPECT_EQ(StandardEncodingMarker[c], nullptr) << c;
    }
}

TEST(BuiltinTables, StandardFontRows) {
    const StandardFontMetrics* courier = findStandardFont("Courier");
    ASSERT_NE(courier, nullptr);
    EXPECT_EQ(courier->ascent, 629);
    EXPECT_EQ(courier->descent, -157);
    EXPECT_EQ(courier->bbox[0], -23);
    EXPECT_EQ(courier->bbox[3], 805);
    EXPECT_EQ(courier->defaultEncoding, StandardEncoding);
    const StandardFontMetrics* symbol = findStandardFont("Symbol");
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(symbol->defaultEncoding, SymbolEncoding);
    EXPECT_EQ(symbol->ascent, 1010);
    EXPECT_EQ(symbol->descent, -293);
    const StandardFontMetrics* dingbats = findStandardFont("ZapfDingbats");
    ASSERT_NE(dingbats, nullptr);
    EXPECT_EQ(dingbats->defaultEncoding, ZapfDingbatsEncoding);
    EXPECT_EQ(dingbats->bbox[2], 981);
    const StandardFontMetrics* hb = findStandardFont("Helvetica-BoldOblique");
    ASSERT_NE(hb, nullptr);
    EXPECT_EQ(hb->bbox[2], 1114);
    EXPECT_EQ(findStandardFont("Arial"), nullptr);  // aliases are not standard names
    EXPECT_EQ(findStandardFont("helvetica"), nullptr);
    EXPECT_EQ(findStandardFont(nullptr), nullptr);
    for (const char* name : kSubstituteFonts)
        EXPECT_NE(findStandardFont(name), nullptr) << name;
    EXPECT_STREQ(kSubstituteFonts[0], "Courier");
    EXPECT_STREQ(kSubstituteFonts[11], "Times-BoldItalic");
}

TEST(BuiltinTables, WidthTableSizes) {
    // The published Core 14 metrics: 315 glyphs for every Latin style (Helvetica-Bold
    // included: its AFM lists the same 315 names as Helvetica), 190 Symbol, 202 Dingbats.
    for (const StandardFontMetrics& font : kStandardFonts) {
        int expected = 315;
        if (std::strcmp(font.name, "Symbol") == 0)
            expected = 190;
        else if (std::strcmp(font.name, "ZapfDingbats") == 0)
            expected = 202;
        EXPECT_EQ(widthTableSize(&font), expected) << font.name;
        std::set<std::string> names;
        for (int i = 0; i < font.widthCount; ++i)
            names.insert(font.widths[i].name);
        EXPECT_EQ(static_cast<int>(names.size()), font.widthCount) << font.name << " has duplicates";
    }
    EXPECT_EQ(widthTableSize(nullptr), 0);
}

TEST(BuiltinTables, KnownWidths) {
    struct {
        const char* font;
        const char* glyph;
        int width;
    } rows[] = {
        {"Helvetica", "H", 722},      {"Helvetica", "i", 222},        {"Helvetica", "space", 278},
        {"Helvetica", "Euro", 556},   {"Helvetica-Bold", "i", 278},   {"Times-Roman", "A", 722},
        {"Times-Roman", "a", 444},    {"Times-Roman", "space", 250},  {"Courier", "W", 600},
        {"Courier-Bold", "Euro", 600}, {"Symbol", "alpha", 631},      {"Symbol", "apple", 790},
        {"ZapfDingbats", "a1", 974},  {"ZapfDingbats", "space", 278}, {"Helvetica", "fraction", 167},
    };
    buildWidthTables();
    for (const auto& row : rows) {
        const StandardFontMetrics* font = findStandardFont(row.font);
        ASSERT_NE(font, nullptr);
        int w = -1;
        ASSERT_TRUE(lookupWidth(font, row.glyph, &w)) << row.font << " " << row.glyph;
        EXPECT_EQ(w, row.width) << row.font << " " << row.glyph;
    }
    int w = -1;
    EXPECT_FALSE(lookupWidth(findStandardFont("Helvetica"), "alpha", &w));
    EXPECT_FALSE(lookupWidth(findStandardFont("Helvetica"), "", &w));
    EXPECT_FALSE(lookupWidth(findStandardFont("Helvetica"), nullptr, &w));
    EXPECT_FALSE(lookupWidth(nullptr, "A", &w));
    releaseWidthTables();
}

// The hash lookup must agree with a plain scan of the static arrays for every glyph
// of every font, and must not find names of another font's glyph set.
TEST(BuiltinTables, HashLookupEqualsLinearLookup) {
    buildWidthTables();
    for (const StandardFontMetrics& font : kStandardFonts) {
        for (int i = 0; i < font.widthCount; ++i) {
            int w = -1;
            ASSERT_TRUE(lookupWidth(&font, font.widths[i].name, &w)) << font.name << " " << font.widths[i].name;
            EXPECT_EQ(w, font.widths[i].width) << font.name << " " << font.widths[i].name;
        }
        const char* absent[] = {"notaglyph", "a205x", "Alpha1", "AA", ".notdef"};
        for (const char* g : absent) {
            int w = -1;
            EXPECT_FALSE(lookupWidth(&font, g, &w)) << font.name << " " << g;
        }
    }
    releaseWidthTables();
}

// A copy of a row is not one of the 14 rows; lookups on it scan its array.
TEST(BuiltinTables, LookupWorksWithoutTablesAndOnCopies) {
    StandardFontMetrics copy = *findStandardFont("Times-Bold");
    int w = -1;
    EXPECT_TRUE(lookupWidth(&copy, "A", &w));
    EXPECT_EQ(w, 722);
    w = -1;
    EXPECT_TRUE(lookupWidth(findStandardFont("Times-Bold"), "A", &w));  // not built: linear
    EXPECT_EQ(w, 722);
}

// Builds nest: the tables stay until the last release; an extra release is harmless.
TEST(BuiltinTables, BuildAndReleaseNest) {
    const StandardFontMetrics* helv = findStandardFont("Helvetica");
    buildWidthTables();
    buildWidthTables();
    releaseWidthTables();
    int w = -1;
    EXPECT_TRUE(lookupWidth(helv, "H", &w));
    EXPECT_EQ(w, 722);
    releaseWidthTables();
    releaseWidthTables();  // unbalanced
    w = -1;
    EXPECT_TRUE(lookupWidth(helv, "H", &w));
    EXPECT_EQ(w, 722);
    buildWidthTables();
    EXPECT_TRUE(lookupWidth(helv, "i", &w));
    EXPECT_EQ(w, 222);
    releaseWidthTables();
}

TEST(BuiltinTables, CffStandardStringsAndCharsets) {
    EXPECT_STREQ(kCffStandardStrings[0], ".notdef");
    EXPECT_STREQ(kCffStandardStrings[1], "space");
    EXPECT_STREQ(kCffStandardStrings[34], "A");
    EXPECT_STREQ(kCffStandardStrings[228], "zcaron");
    EXPECT_STREQ(kCffStandardStrings[390], "Semibold");
    // ISOAdobe is the identity over ids 0..228.
    for (int i = 0; i < 229; ++i)
        EXPECT_EQ(kCffISOAdobeCharset[i], i);
    EXPECT_EQ(kCffExpertCharset[0], 0);
    EXPECT_EQ(kCffExpertCharset[1], 1);
    EXPECT_STREQ(kCffStandardStrings[kCffExpertCharset[2]], "exclamsmall");
    EXPECT_STREQ(kCffStandardStrings[kCffExpertCharset[165]], "Ydieresissmall");
    EXPECT_EQ(kCffExpertSubsetCharset[0], 0);
    EXPECT_STREQ(kCffStandardStrings[kCffExpertSubsetCharset[86]], "commainferior");
    for (uint16_t id : kCffExpertCharset)
        EXPECT_LT(id, 391);
    for (uint16_t id : kCffExpertSubsetCharset)
        EXPECT_LT(id, 391);
}
