// Simple fonts built from real (small) PDF files: aliases, encodings, Differences,
// widths, font descriptors and embedded programs.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "font/CPdf8BitFont.h"
#include "font/CPdfBuiltinTables.h"
#include "tests/font/CffBuilder.h"
#include "tests/font/FontTestUtil.h"

using fonttest::FontDoc;

namespace {

CPdf8BitFont* simple(PageFonts& fonts, const char* tag = "F1") {
    CPdfFont* f = fonts.findFont(tag);
    EXPECT_NE(f, nullptr) << tag;
    EXPECT_FALSE(f && f->isComposite());
    return static_cast<CPdf8BitFont*>(f);
}

std::string glyph(const CPdf8BitFont* f, int code) {
    const char* g = f->getGlyphName(static_cast<uint32_t>(code));
    return g ? g : "(none)";
}

int builtinWidth(const char* font, const char* glyphName) {
    int w = -1;
    lookupWidth(findStandardFont(font), glyphName, &w);
    return w;
}

}  // namespace

TEST(SimpleFont, AliasesTakeTheStandardFontsMetricsAndWidths) {
    struct Case {
        const char* baseFont;
        const char* name;
        double ascent, descent;
    } cases[] = {
        {"Arial,Bold", "Helvetica-Bold", 0.718, -0.207},
        {"ArialMT", "Helvetica", 0.718, -0.207},
        {"CourierNew,BoldItalic", "Courier-BoldOblique", 0.629, -0.157},
        {"TimesNewRomanPSMT,Italic", "Times-Italic", 0.683, -0.217},
        {"Symbol,Bold", "Symbol", 1.010, -0.293},
        {"Times-Roman", "Times-Roman", 0.683, -0.217},
        {"ABCDEF+ArialMT", "ABCDEF+ArialMT", 0.95, -0.35},
    };
    for (const Case& c : cases) {
        FontDoc d({{10, std::string("<< /Type /Font /Subtype /TrueType /BaseFont /") + c.baseFont + " >>"}});
        auto fonts = d.load();
        CPdf8BitFont* f = simple(*fonts);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->name, c.name);
        EXPECT_EQ(f->givenName, c.baseFont);
        EXPECT_NEAR(f->ascent, c.ascent, 1e-9) << c.baseFont;
        EXPECT_NEAR(f->descent, c.descent, 1e-9) << c.baseFont;
        EXPECT_EQ(f->type, TrueTypeFont);
    }
    FontDoc d({{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Arial,Bold >>"}});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(f->standardMetrics, findStandardFont("Helvetica-Bold"));
    EXPECT_NEAR(f->fontBBox[3], 0.962, 1e-9);
    EXPECT_DOUBLE_EQ(f->getWidth('A'), builtinWidth("Helvetica-Bold", "A") * 0.001);
    EXPECT_DOUBLE_EQ(f->getWidth(' '), builtinWidth("Helvetica-Bold", "space") * 0.001);
    EXPECT_EQ(f->encodingName, "StandardEncoding");
    EXPECT_TRUE(f->hasEncoding);
}

TEST(SimpleFont, WinAnsiEuroAndBullet) {
    FontDoc d({{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"}});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(glyph(f, 128), "Euro");
    EXPECT_EQ(glyph(f, 129), "bullet");
    EXPECT_DOUBLE_EQ(f->getWidth(128), builtinWidth("Helvetica", "Euro") * 0.001);
    EXPECT_DOUBLE_EQ(f->getWidth(129), 0.350);
    EXPECT_EQ(f->encodingName, "WinAnsiEncoding");
}

TEST(SimpleFont, BaseEncodings) {
    struct Case {
        const char* encoding;
        const char* subtype;
        const char* encodingName;
        int code;
        const char* glyph;
        bool macRoman;
    } cases[] = {
        {"/MacRomanEncoding", "Type1", "MacRomanEncoding", 0xD5, "quoteright", true},
        {"<< /BaseEncoding /MacExpertEncoding >>", "Type1", "MacExpertEncoding", 0x56, "ff", false},
        {"<< /Type /Encoding >>", "Type1", "StandardEncoding", 0x27, "quoteright", false},
        {"/Bogus", "TrueType", "WinAnsiEncoding", 0x92, "quoteright", false},
        {"/StandardEncoding", "TrueType", "StandardEncoding", 0x27, "quoteright", false},
    };
    for (const Case& c : cases) {
        FontDoc d({{10, std::string("<< /Type /Font /Subtype /") + c.subtype + " /BaseFont /Whatever /Encoding " +
                            c.encoding + " >>"}});
        auto fonts = d.load();
        CPdf8BitFont* f = simple(*fonts);
        EXPECT_EQ(f->encodingName, c.encodingName) << c.encoding;
        EXPECT_EQ(glyph(f, c.code), c.glyph) << c.encoding;
        EXPECT_EQ(f->usesMacRomanEncoding, c.macRoman);
    }
}

TEST(SimpleFont, SymbolUsesItsOwnTable) {
    FontDoc d({{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>"}});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(glyph(f, 0x61), "alpha");
    EXPECT_EQ(f->encodingName, "StandardEncoding");
    EXPECT_DOUBLE_EQ(f->getWidth(0x61), builtinWidth("Symbol", "alpha") * 0.001);
}

TEST(SimpleFont, DifferencesWithNumbersAndCodesOutOfRange) {
    FontDoc d({{10,
                "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Differences "
                "[32 /space /A 300 /x /y 255 /last /beyond -5 /neg /zero] >> >>"}});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(glyph(f, 32), "space");
    EXPECT_EQ(glyph(f, 33), "A");
    EXPECT_EQ(glyph(f, 34), "quotedbl");  // untouched StandardEncoding slot
    EXPECT_EQ(glyph(f, 44), "comma");
    EXPECT_EQ(glyph(f, 255), "last");
    EXPECT_EQ(glyph(f, 0), "(none)");   // /neg at -5 and /zero at -4 are both skipped
    EXPECT_EQ(glyph(f, 45), "hyphen");  // /x and /y went to 300 and 301
    EXPECT_TRUE(f->encodingOwned[33]);
    EXPECT_FALSE(f->encodingOwned[34]);
    EXPECT_DOUBLE_EQ(f->getWidth(33), builtinWidth("Helvetica", "A") * 0.001);
}

TEST(SimpleFont, DifferencesGuardAgainstOverflowAndHugeArrays) {
    std::string diffs = "2147483647 /a /b /c 0";
    for (int i = 0; i < 2000; ++i)
        diffs += " /g" + std::to_string(i);
    FontDoc d(
        {{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Differences [" + diffs + "] >> >>"}});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(glyph(f, 255), "g255");
}

// Entries of a kind Differences cannot have are passed over; the names around them
// keep their codes, and the font is built.
TEST(SimpleFont, DifferencesPassOverEntriesOfAnotherKind) {
    struct Case {
        const char* diffs;
        int code;
        const char* name;
    } cases[] = {
        {"32 /a 40.0 /b", 32, "a"},
        {"32 /a 40.0 /b", 33, "b"},
        {"32 (a) /b", 32, "b"},
        {"32 [65] /c << >> /d", 33, "d"},
    };
    for (const Case& c : cases) {
        FontDoc d({{10, std::string("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Differences [") +
                            c.diffs + "] >> >>"}});
        SCOPED_TRACE(c.diffs);
        EXPECT_EQ(d.loadError(), "");
        auto fonts = d.load();
        CPdf8BitFont* f = simple(*fonts);
        if (f) {
            EXPECT_EQ(glyph(f, c.code), c.name);
        }
    }
}

TEST(SimpleFont, WidthsShorterThanTheRange) {
    FontDoc d({{10,
                "<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FirstChar 32 /LastChar 40 /Widths [500 600] "
                "/FontDescriptor 11 0 R >>"},
               {11, "<< /Type /FontDescriptor /FontName /Foo /Flags 32 /MissingWidth 250 >>"}});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_DOUBLE_EQ(f->getWidth(32), 0.5);
    EXPECT_DOUBLE_EQ(f->getWidth(33), 0.6);
    EXPECT_DOUBLE_EQ(f->getWidth(34), 0.25);
    EXPECT_DOUBLE_EQ(f->getWidth(31), 0.25);
    EXPECT_EQ(f->flags & 1, 0);
}

TEST(SimpleFont, FixedPitchBitFromEqualWidths) {
    struct Case {
        const char* widths;
        int flags;
        bool fixed;
    } cases[] = {
        {"[600 600 600]", 32, true},
        {"[600 600.0 600]", 32, true},
        {"[600 500 600]", 33, false},
        {"[600 /x 600]", 32, true},
        {"[]", 32, true},
    };
    for (const Case& c : cases) {
        FontDoc d(
            {{10, std::string("<< /Type /Font /Subtype /TrueType /BaseFont /Mono /FirstChar 65 /LastChar 67 /Widths ") +
                      c.widths + " /FontDescriptor 11 0 R >>"},
             {11, "<< /Type /FontDescriptor /Flags " + std::to_string(c.flags) + " >>"}});
        auto fonts = d.load();
        CPdf8BitFont* f = simple(*fonts);
        EXPECT_EQ((f->flags & 1) != 0, c.fixed) << c.widths;
    }
}

TEST(SimpleFont, FirstAndLastCharOutOfRange) {
    FontDoc d(
        {{10, "<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FirstChar 300 /LastChar -1 /Widths [100 200] >>"}});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_DOUBLE_EQ(f->getWidth(0), 0.1);
    EXPECT_DOUBLE_EQ(f->getWidth(1), 0.2);
    EXPECT_DOUBLE_EQ(f->getWidth(2), 0.0);
}

TEST(SimpleFont, SubstituteFontByFlags) {
    struct Case {
        int flags;
        const char* font;
    } cases[] = {
        {1, "Courier"},
        {1 + 64, "Courier-Oblique"},
        {1 + 262144, "Courier-Bold"},
        {2, "Times-Roman"},
        {2 + 262144 + 64, "Times-BoldItalic"},
        {0, "Helvetica"},
        {32 + 64, "Helvetica-Oblique"},
    };
    for (const Case& c : cases) {
        FontDoc d({{10, "<< /Type /Font /Subtype /TrueType /BaseFont /Unknown /FontDescriptor 11 0 R >>"},
                   {11, "<< /Type /FontDescriptor /Flags " + std::to_string(c.flags) + " >>"}});
        auto fonts = d.load();
        CPdf8BitFont* f = simple(*fonts);
        EXPECT_DOUBLE_EQ(f->getWidth('W'), builtinWidth(c.font, "W") * 0.001) << c.font;
        EXPECT_DOUBLE_EQ(f->getWidth(' '), builtinWidth(c.font, "space") * 0.001) << c.font;
    }
}

TEST(SimpleFont, DescriptorMetrics) {
    struct Case {
        const char* entries;
        double ascent, descent;
    } cases[] = {
        {"/Ascent 800 /Descent 200", 0.8, -0.2},
        {"/Ascent 0 /Descent -150.5", 0.95, -0.1505},
        {"/Ascent (x) /Descent 0", 0.95, -0.35},
    };
    for (const Case& c : cases) {
        FontDoc d(
            {{10, "<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FontDescriptor 11 0 R >>"},
             {11, std::string("<< /Type /FontDescriptor /FontBBox [-100 -200 1000 900.5] ") + c.entries + " >>"}});
        auto fonts = d.load();
        CPdf8BitFont* f = simple(*fonts);
        EXPECT_NEAR(f->ascent, c.ascent, 1e-12) << c.entries;
        EXPECT_NEAR(f->descent, c.descent, 1e-12) << c.entries;
        EXPECT_NEAR(f->fontBBox[0], -0.1, 1e-12);
        EXPECT_NEAR(f->fontBBox[3], 0.9005, 1e-12);
    }
    // Ascent 0 keeps the standard font's ascent.
    FontDoc d({{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /FontDescriptor 11 0 R >>"},
               {11, "<< /Type /FontDescriptor /Ascent 0 /Flags 35 /MissingWidth 300 /FontName /Cour >>"}});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_NEAR(f->ascent, 0.629, 1e-12);
    EXPECT_EQ(f->flags, 35);
    EXPECT_EQ(f->missingWidth, 300);
    EXPECT_EQ(f->embeddedFontName, "Cour");
}

// A font program of a kind the font cannot have, of an unknown kind, or that is no
// stream is not used; the font is built from its dictionary all the same.
TEST(SimpleFont, FontProgramsThatDoNotFitAreNotUsed) {
    struct Case {
        const char* subtype;
        const char* entry;
        const char* ffSubtype;  // for FontFile3
        bool used;
        FontType type;
    } cases[] = {
        {"Type1", "FontFile2", nullptr, false, Type1Font},
        {"TrueType", "FontFile", nullptr, false, TrueTypeFont},
        {"Type3", "FontFile", nullptr, false, Type3Font},
        {"TrueType", "FontFile3", "/Type1C", false, TrueTypeFont},
        {"Type1", "FontFile3", "/TrueType", false, Type1Font},
        {"Type1", "FontFile3", "/CIDFontType0C", false, Type1Font},
        {"Type1", "FontFile3", "/Bogus", false, Type1Font},
        {"Type1", "FontFile3", "(Type1C)", false, Type1Font},
        {"Type1", "FontFile3", nullptr, false, Type1Font},
        {"Type1", "FontFile3", "/Type1C", true, Type1CFont},
        {"TrueType", "FontFile3", "/OpenType", true, TrueTypeFont},
        {"TrueType", "FontFile3", "/TrueType", true, TrueTypeFont},
        {"TrueType", "FontFile2", nullptr, true, TrueTypeFont},
    };
    for (const Case& c : cases) {
        std::string dict = c.ffSubtype ? std::string("/Subtype ") + c.ffSubtype : std::string();
        FontDoc d({{10, std::string("<< /Type /Font /Subtype /") + c.subtype +
                            " /BaseFont /Foo /FirstChar 65 /LastChar 65 /Widths [640] /FontDescriptor 11 0 R >>"},
                   {11, std::string("<< /Type /FontDescriptor /") + c.entry + " 12 0 R >>"}},
                  {std::make_tuple(12, dict, std::string("garbage"))});
        SCOPED_TRACE(std::string(c.subtype) + " " + c.entry + " " + (c.ffSubtype ? c.ffSubtype : ""));
        EXPECT_EQ(d.loadError(), "");
        auto fonts = d.load();
        CPdf8BitFont* f = simple(*fonts);
        if (!f) continue;
        EXPECT_EQ(f->embeddedFontRef.num >= 0, c.used);
        EXPECT_EQ(f->type, c.type);
        EXPECT_DOUBLE_EQ(f->getWidth(65), c.subtype == std::string("Type3") ? 640.0 : 0.64);
    }
}

TEST(SimpleFont, EmbeddedFileThatIsNotAStream) {
    FontDoc d({{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FontDescriptor 11 0 R >>"},
               {11, "<< /Type /FontDescriptor /FontName /Helv /FontFile 12 0 R >>"},
               {12, "42"}});
    EXPECT_EQ(d.loadError(), "");
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->embeddedFontName, "Helv");
    EXPECT_EQ(glyph(f, 65), "A");  // the standard font's encoding
}

TEST(SimpleFont, EmbeddedType1ProgramGivesNameAndEncoding) {
    const std::string program =
        "%!PS-AdobeFont-1.0: CMR10 003.002\n"
        "/FontName /ABCDEF+CMR10 def\n"
        "/Encoding 256 array\n"
        "0 1 255 {1 index exch /.notdef put} for\n"
        "dup 65 /A put\n"
        "dup 161 /Gamma put\n"
        "readonly def\n"
        "currentdict end\ncurrentfile eexec\n";
    FontDoc d({{10,
                "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+CMR10 /FirstChar 65 /LastChar 65 /Widths [750] "
                "/FontDescriptor 11 0 R >>"},
               {11, "<< /Type /FontDescriptor /FontName /Other /Flags 4 /FontFile 12 0 R >>"}},
              {std::make_tuple(12, std::string("/Length1 100 /Length2 0 /Length3 0"), program)});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(f->embeddedFontName, "ABCDEF+CMR10");
    EXPECT_EQ(glyph(f, 65), "A");
    EXPECT_EQ(glyph(f, 161), "Gamma");
    EXPECT_EQ(glyph(f, 66), "(none)");
    EXPECT_TRUE(f->encodingOwned[161]);
    EXPECT_EQ(f->encodingName, "");
    EXPECT_EQ(f->embeddedFontRef.num, 12);
    EXPECT_DOUBLE_EQ(f->getWidth(65), 0.75);
}

TEST(SimpleFont, AnEncodingEntryWinsOverTheProgram) {
    const std::string program = "/FontName /Prog def\n/Encoding 256 array\ndup 65 /Gamma put\nreadonly def\n";
    FontDoc d(
        {{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Foo /Encoding /WinAnsiEncoding /FontDescriptor 11 0 R >>"},
         {11, "<< /Type /FontDescriptor /FontFile 12 0 R >>"}},
        {std::make_tuple(12, std::string(), program)});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(f->embeddedFontName, "Prog");
    EXPECT_EQ(glyph(f, 65), "A");
}

TEST(SimpleFont, EmbeddedCffProgram) {
    using namespace cfftest;
    CffSpec s;
    s.name = "XYZABC+Helv";
    s.charset = std::string(1, 0) + u16(34) + u16(35) + u16(391);
    s.encoding = std::string{0, 3, 65, 66, static_cast<char>(200)};
    const std::string program = build(s);
    FontDoc d({{10, "<< /Type /Font /Subtype /Type1 /BaseFont /XYZABC+Helv /FontDescriptor 11 0 R >>"},
               {11, "<< /Type /FontDescriptor /Flags 32 /FontFile3 12 0 R >>"}},
              {std::make_tuple(12, std::string("/Subtype /Type1C"), program)});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(f->type, Type1CFont);
    EXPECT_EQ(f->embeddedFontName, "XYZABC+Helv");
    EXPECT_EQ(glyph(f, 65), "A");
    EXPECT_EQ(glyph(f, 200), "myglyph");
    // Empty slots borrow the StandardEncoding names.
    EXPECT_EQ(glyph(f, 67), "C");
    EXPECT_FALSE(f->encodingOwned[67]);
    // A broken program is no error: the font goes on without it.
    FontDoc g({{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Foo /FontDescriptor 11 0 R >>"},
               {11, "<< /Type /FontDescriptor /FontName /Desc /FontFile3 12 0 R >>"}},
              {std::make_tuple(12, std::string("/Subtype /Type1C"), program.substr(0, 40))});
    auto gf = g.load();
    CPdf8BitFont* h = simple(*gf);
    EXPECT_EQ(h->embeddedFontName, "Desc");
    EXPECT_EQ(glyph(h, 0x27), "quoteright");
}

TEST(SimpleFont, Type3Font) {
    FontDoc d({{10,
                "<< /Type /Font /Subtype /Type3 /FontMatrix [0.01 0 0 0.01 0 0] /FontBBox [0 -20 80 90] "
                "/CharProcs << /a 12 0 R >> /Resources << >> /Encoding << /Differences [97 /a] >> "
                "/FirstChar 97 /LastChar 98 /Widths [50 40.5] >>"}},
              {std::make_tuple(12, std::string(), std::string("0 0 d0"))});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(f->type, Type3Font);
    EXPECT_DOUBLE_EQ(f->getWidth(97), 0.5);
    EXPECT_DOUBLE_EQ(f->getWidth(98), 0.405);
    EXPECT_DOUBLE_EQ(f->fontBBox[3], 90);
    EXPECT_DOUBLE_EQ(f->fontMatrix[0], 0.01);
    EXPECT_TRUE(f->charProcs.isDictionary());
    EXPECT_TRUE(f->resources.isDictionary());
    EXPECT_EQ(glyph(f, 97), "a");
}

TEST(SimpleFont, SubtypesAndUnknownFonts) {
    struct Case {
        const char* subtype;
        FontType type;
    } cases[] = {
        {"/Type1", Type1Font},       {"/MMType1", Type1Font}, {"/Type1C", Type1CFont},  {"/Type3", Type3Font},
        {"/TrueType", TrueTypeFont}, {"/Type2", UnknownFont}, {"(Type1)", UnknownFont}, {"/type1", UnknownFont},
    };
    for (const Case& c : cases) {
        FontDoc d({{10, std::string("<< /Type /Font /Subtype ") + c.subtype + " /BaseFont /Foo >>"}});
        auto fonts = d.load();
        EXPECT_EQ(simple(*fonts)->type, c.type) << c.subtype;
    }
    FontDoc d({{10, "<< /Type /Font >>"}});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    EXPECT_EQ(f->type, UnknownFont);
    EXPECT_EQ(f->name, "");
    EXPECT_DOUBLE_EQ(f->getWidth('a'), builtinWidth("Times-Roman", "a") * 0.001);
}

TEST(SimpleFont, DecodeCharAndToUnicode) {
    const std::string cmap =
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
        "1 begincodespacerange <00> <FF> endcodespacerange\n"
        "3 beginbfchar <41> <0042> <66> <00660069> <0043> <0058> endbfchar\n"
        "endcmap end end\n";
    FontDoc d({{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 12 0 R >>"}},
              {std::make_tuple(12, std::string(), cmap)});
    auto fonts = d.load();
    CPdf8BitFont* f = simple(*fonts);
    const unsigned char bytes[] = {0x41, 0x66, 0x43};
    uint32_t code, u[8];
    int n;
    double dx, dy, ox, oy;
    EXPECT_EQ(f->decodeChar(bytes, 3, &code, u, 8, &n, &dx, &dy, &ox, &oy), 1);
    EXPECT_EQ(code, 0x41u);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(u[0], 0x42u);
    EXPECT_DOUBLE_EQ(dx, builtinWidth("Helvetica", "A") * 0.001);
    EXPECT_EQ(dy, 0);
    EXPECT_EQ(f->decodeChar(bytes + 1, 2, &code, u, 8, &n, &dx, &dy, &ox, &oy), 1);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(u[1], 0x69u);
    EXPECT_EQ(f->decodeChar(bytes + 2, 1, &code, u, 8, &n, &dx, &dy, &ox, &oy), 1);
    EXPECT_EQ(n, 0);  // the 16-bit source was ignored
}

TEST(SimpleFont, PageFontsIdsAndLookups) {
    // Font dictionary reached by reference (object 5): direct fonts get 100005.
    FontDoc d({{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}}, {}, "5 0 R",
              "<< /F2 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> /F1 10 0 R /Bad 7 /Gone 9 0 R "
              "/A << /Type /Font /Subtype /Type1 /BaseFont /Symbol >> >>");
    auto fonts = d.load();
    ASSERT_EQ(fonts->getCount(), 5);
    // Key order: A, Bad, F1, F2, Gone.
    EXPECT_EQ(fonts->findFont("A")->id.num, 0);
    EXPECT_EQ(fonts->findFont("A")->id.gen, 100005);
    EXPECT_EQ(fonts->getFont(1), nullptr);
    EXPECT_EQ(fonts->findFont("F1")->id.num, 10);
    EXPECT_EQ(fonts->findFont("F1")->id.gen, 0);
    EXPECT_EQ(fonts->findFont("F2")->id.num, 3);
    EXPECT_EQ(fonts->findFont("F2")->name, "Helvetica");
    EXPECT_EQ(fonts->getFont(4), nullptr);
    EXPECT_EQ(fonts->findFont("F"), nullptr);
    EXPECT_EQ(fonts->findFont("F1x"), nullptr);
    FontDoc e({}, {}, "<< /X << /Subtype /Type1 /BaseFont /Courier >> >>");
    auto f2 = e.load();
    EXPECT_EQ(f2->findFont("X")->id.gen, 999999);
}
