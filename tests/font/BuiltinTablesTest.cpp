#include "font/CPdfBuiltinTables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

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

TEST(BuiltinTables, StandardEncodingMarkerIsACopy) {
    // The marker has the same content but is a different table.
    EXPECT_NE(static_cast<const void*>(StandardEncodingMarker), static_cast<const void*>(StandardEncoding));
    for (int c = 0; c < 256; ++c) {
        if (StandardEncoding[c])
            EXPECT_STREQ(StandardEncodingMarker[c], StandardEncoding[c]) << c;
        else
            EXPECT_EQ(StandardEncodingMarker[c], nullptr) << c;
    }
}

TEST(BuiltinTables, StandardFontLookup) {
    EXPECT_EQ(findStandardFont("Arial"), nullptr);  // aliases are not standard names
    EXPECT_EQ(findStandardFont("helvetica"), nullptr);
    EXPECT_EQ(findStandardFont(nullptr), nullptr);
    for (const char* name : kSubstituteFonts)
        EXPECT_NE(findStandardFont(name), nullptr) << name;
}

TEST(BuiltinTables, WidthTablesHaveNoDuplicateGlyphs) {
    for (const StandardFontMetrics& font : kStandardFonts) {
        EXPECT_EQ(widthTableSize(&font), font.widthCount) << font.name;
        std::set<std::string> names;
        for (int i = 0; i < font.widthCount; ++i)
            names.insert(font.widths[i].name);
        EXPECT_EQ(static_cast<int>(names.size()), font.widthCount) << font.name << " has duplicates";
    }
    EXPECT_EQ(widthTableSize(nullptr), 0);
}

TEST(BuiltinTables, WidthLookupRefusesWhatNoFontHas) {
    buildWidthTables();
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
