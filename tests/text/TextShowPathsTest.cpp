// A string shown at once gives the same records as its glyphs shown one string each:
// the records of glyphs that continue a string are made by a shorter way than the
// first glyph of a string, and both must agree. Also: literal strings read whole
// however their escapes and the reading blocks fall.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "font/CPdfBuiltinTables.h"
#include "pdf/CPdfException.h"
#include "tests/text/TextTestFonts.h"
#include "text/CPdfText.h"

using namespace texttest;

namespace {

// Each byte of s (each pair of bytes for two-byte codes) as a string of its own.
std::string oneStringEach(const std::string& s, size_t codeBytes) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < s.size(); i += codeBytes) {
        out += '<';
        for (size_t k = i; k < i + codeBytes && k < s.size(); ++k) {
            const unsigned char b = static_cast<unsigned char>(s[k]);
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
        out += "> Tj ";
    }
    return out;
}

std::string hexString(const std::string& s) {
    std::string out = "<";
    char buf[4];
    for (unsigned char b : s) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out + ">";
}

void expectSameRecords(const std::vector<TextChar>& whole, const std::vector<TextChar>& each) {
    ASSERT_EQ(whole.size(), each.size()) << textOf(whole) << " | " << textOf(each);
    for (size_t i = 0; i < whole.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(whole[i].text, each[i].text);
        EXPECT_EQ(whole[i].flags, each[i].flags);
        EXPECT_EQ(whole[i].angle, each[i].angle);
        EXPECT_EQ(whole[i].page, each[i].page);
        EXPECT_NEAR(whole[i].x0, each[i].x0, 1e-9);
        EXPECT_NEAR(whole[i].y0, each[i].y0, 1e-9);
        EXPECT_NEAR(whole[i].x1, each[i].x1, 1e-9);
        EXPECT_NEAR(whole[i].y1, each[i].y1, 1e-9);
    }
}

struct ShowPaths : ::testing::Test {
    PageFonts fonts;
    SimpleTestFont* simple = nullptr;
    CompositeTestFont* composite = nullptr;
    void SetUp() override {
        simple = addHelvetica(fonts);  // F1
        simple->widths[static_cast<unsigned char>('W')] = 0.944;
        simple->widths[static_cast<unsigned char>(' ')] = 0.278;
        simple->unicode[0x01] = 0xFB01;  // a ligature: two characters sharing the advance
        simple->unicode[0x02] = 0x200B;  // shows nothing but moves on
        simple->widths[0x02] = 0.3;
        simple->unicode[0x03] = 0x4E2D;  // no Windows-1252 byte
        simple->widths[0x04] = 0;        // no width at all
        simple->names[0x04] = "a";
        composite = new CompositeTestFont("F2", true);
        composite->map = {{0x0041, 0x41}, {0x0042, 0x42}, {0x0020, 0x20}, {0x0101, 0xFB02}};
        fonts.addSlot(std::unique_ptr<CPdfFont>(composite));
    }
};

TEST_F(ShowPaths, WholeStringsMatchGlyphByGlyph) {
    const std::string longText(300, 'x');  // more records than are collected at once
    struct Case {
        const char* state;  // operators after BT, before the string
        std::string text;
        size_t codeBytes;
    };
    const Case cases[] = {
        {"/F1 10 Tf 100 700 Td", "Hello World", 1},
        {"/F1 10 Tf 100 700 Td 1 Tc", "Hello World", 1},  // spacing below a word gap
        {"/F1 10 Tf 100 700 Td 3 Tc", "spaced out", 1},   // each letter a word
        {"/F1 10 Tf 100 700 Td -0.5 Tc", "tight text", 1},
        {"/F1 10 Tf 100 700 Td 4 Tw", "word spacing at work", 1},  // wider spaces
        {"/F1 10 Tf 100 700 Td 4 Tw 1 Tc", "both at once", 1},
        {"/F1 10 Tf 100 700 Td 50 Tz", "half as wide", 1},
        {"/F1 10 Tf 100 700 Td 3 Ts", "risen", 1},
        {"/F1 12 Tf 0 1 -1 0 300 100 Tm", "up the page", 1},  // a quarter turn
        {"/F1 12 Tf 0.866 0.5 -0.5 0.866 100 100 Tm", "at thirty degrees", 1},
        {"/F1 12 Tf 1 0 0 -1 100 700 Tm", "mirrored", 1},
        {"/F1 12 Tf -1 0 0 1 500 700 Tm", "backwards", 1},
        {"/F1 12 Tf 2 0 0 2 50 300 Tm", "twice the size", 1},
        {"/F1 10 Tf 100 700 Td", "a\x01le of \x01sh", 1},  // ligatures mid-string
        {"/F1 10 Tf 100 700 Td", "in\x02vis\x02ible", 1},  // glyphs that show nothing
        {"/F1 10 Tf 100 700 Td 1 Tc", "in\x02vis\x02ible", 1},
        {"/F1 10 Tf 100 700 Td", "han\x03zi", 1},  // no byte for the glyph
        {"/F1 10 Tf 100 700 Td", "zero\x04\x04width", 1},
        {"/F1 0 Tf 100 700 Td", "no size", 1},
        {"/F1 10 Tf 20 700 Td", longText, 1},
        {"/F1 10 Tf 20 700 Td 1 Tc", longText, 1},
        {"/F2 10 Tf 100 700 Td",
         std::string("\x00"
                     "A\x00"
                     "B\x00 \x01\x01\x00"
                     "A",
                     10),
         2},
        {"/F2 10 Tf 100 700 Td 5 Tc",
         std::string("\x00"
                     "A\x00"
                     "B\x00"
                     "A",
                     6),
         2},
        {"/F2 10 Tf 0 1 -1 0 300 100 Tm",
         std::string("\x00"
                     "A\x00"
                     "B\x00"
                     "A",
                     6),
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.state) + " " + hexString(c.text));
        const std::string head = std::string("BT ") + c.state + " ";
        // Strings that follow: one touching the last glyph, one after a word gap, one
        // after a move back (both measured from where the last glyph ended).
        const std::string more = c.codeBytes == 1 ? std::string("zz")
                                                  : std::string(
                                                        "\x00"
                                                        "A\x00"
                                                        "B",
                                                        4);
        const std::string tail =
            hexString(more) + " Tj [-300 " + hexString(more) + "] TJ [800 " + hexString(more) + "] TJ ET";
        const auto whole = runAll(head + hexString(c.text) + " Tj " + tail, &fonts);
        const auto each = runAll(head + oneStringEach(c.text, c.codeBytes) + tail, &fonts);
        ASSERT_FALSE(whole.empty());
        expectSameRecords(whole, each);
        // A TJ array made of the same strings gives the same records too.
        std::string array = head + "[";
        for (size_t i = 0; i < c.text.size(); i += c.codeBytes)
            array += hexString(c.text.substr(i, c.codeBytes));
        expectSameRecords(whole, runAll(array + "] TJ " + tail, &fonts));
    }
}

TEST_F(ShowPaths, CharacterLimitKeepsExactlyTheAllowedRecords) {
    // The page's leading space and then the glyphs: whatever the limit, the run stops
    // with exactly that many records, however they were being collected.
    const std::string content = "BT /F1 10 Tf 20 700 Td " + hexString(std::string(400, 'x')) + " Tj ET";
    for (size_t limit : {1u, 2u, 3u, 100u, 128u, 129u, 130u, 257u, 400u}) {
        SCOPED_TRACE(limit);
        CPdfText text;
        text.setCharLimitForTesting(limit);
        std::vector<TextChar> chars;
        EXPECT_THROW(text.interpretContentForTesting(reinterpret_cast<const unsigned char*>(content.data()),
                                                     content.size(), &fonts, 1, chars),
                     CPdfException);
        EXPECT_EQ(chars.size(), limit);
    }
    CPdfText text;
    text.setCharLimitForTesting(401);
    std::vector<TextChar> chars;
    text.interpretContentForTesting(reinterpret_cast<const unsigned char*>(content.data()), content.size(), &fonts, 1,
                                    chars);
    EXPECT_EQ(chars.size(), 401u);
}

TEST_F(ShowPaths, TextMatrixMovesByTheWholeString) {
    // After a string the next one starts where its last glyph ended, with spacing.
    struct Case {
        const char* state;
        double x;  // where the second string starts
    };
    const Case cases[] = {
        {"", 100 + 10 * 5.0},
        {"2 Tc", 100 + 10 * (5.0 + 2)},
        {"2 Tw", 100 + 10 * 5.0},  // no space among them
        {"50 Tz", 100 + 10 * 5.0 / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        const auto chars =
            run(std::string("BT /F1 10 Tf 100 700 Td ") + c.state + " (xxxxxxxxxx) Tj (y) Tj ET", &fonts);
        ASSERT_FALSE(chars.empty());
        EXPECT_NEAR(chars.back().x0, c.x, 1e-9);
        EXPECT_EQ(chars.back().text, 'y');
    }
}

// Literal strings: escapes, nesting and line ends, also where the string, an escape or
// the end of the string falls on the edge of a block of the reading.
TEST(ContentLexerStrings, LiteralStringsReadWhole) {
    PageFonts fonts;
    SimpleTestFont* f = addHelvetica(fonts);
    for (int i = 0; i < 256; ++i)
        f->unicode[i] = (i >= 32 && i < 127) ? static_cast<uint32_t>(i) : 0;
    struct Case {
        const char* literal;
        const char* text;
    };
    const Case cases[] = {
        {"(plain)", "plain"}, {"(a(b)c)", "a(b)c"},   {"(a(b(c)d)e)", "a(b(c)d)e"},
        {"(a\\)b)", "a)b"},   {"(a\\(b)", "a(b"},     {"(a\\\\b)", "a\\b"},
        {"(\\\\)", "\\"},     {"(\\)\\)\\))", ")))"}, {"(\\101\\102C)", "ABC"},
        {"(\\0533)", "+3"},   {"(a\\\nb)", "ab"},     {"(a\\\r\nb)", "ab"},
        {"(\\q)", "q"},       {"((()))", "(())"},     {"(x\\\\\\)y)", "x\\)y"},
    };
    // Content is read in blocks of 16 KB: the string is placed so that every one of
    // its bytes falls on the edge once.
    for (const Case& c : cases) {
        const std::string literal = c.literal;
        for (size_t shift = 0; shift <= literal.size() + 1; ++shift) {
            SCOPED_TRACE(std::string(c.literal) + " at " + std::to_string(shift));
            std::string content = "BT /F1 10 Tf 100 700 Td ";
            const size_t at = 16384 - shift;
            content += std::string(at > content.size() ? at - content.size() : 0, ' ');
            content += literal + " Tj ET";
            EXPECT_EQ(textOf(run(content, &fonts)), c.text);
        }
    }
}

TEST(ContentLexerStrings, ManyEscapesAndLongStrings) {
    PageFonts fonts;
    SimpleTestFont* f = addHelvetica(fonts);
    for (int i = 0; i < 256; ++i)
        f->unicode[i] = (i >= 32 && i < 127) ? static_cast<uint32_t>(i) : 0;
    // Every other byte escaped, over several blocks.
    std::string literal = "(", expected;
    for (int i = 0; i < 40000; ++i) {
        const char c = "ab()\\"[i % 5];
        if (c == '(' || c == ')' || c == '\\') literal += '\\';
        literal += c;
        expected += c;
    }
    literal += ")";
    std::vector<TextChar> chars = run("BT /F1 0.01 Tf 0 0 Td " + literal + " Tj ET", &fonts);
    EXPECT_EQ(textOf(chars), expected);
    // A string that never ends takes the rest of the content.
    EXPECT_EQ(textOf(run("BT /F1 10 Tf 100 700 Td (open (to the end) Tj ET", &fonts)), "");
}

}  // namespace
