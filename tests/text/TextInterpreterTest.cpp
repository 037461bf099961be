// Content-stream interpretation: positions, operators, operands and character bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "font/CPdfBuiltinTables.h"
#include "pdf/CPdfException.h"
#include "tests/text/TextTestFonts.h"
#include "text/CPdfText.h"

using namespace texttest;

namespace {

void expectBox(const TextChar& c, double x0, double y0, double x1, double y1) {
    EXPECT_NEAR(c.x0, x0, 1e-9);
    EXPECT_NEAR(c.y0, y0, 1e-9);
    EXPECT_NEAR(c.x1, x1, 1e-9);
    EXPECT_NEAR(c.y1, y1, 1e-9);
    EXPECT_EQ(c.x(), c.x0);
    EXPECT_EQ(c.y(), c.y0);
}

struct Fixture : ::testing::Test {
    PageFonts fonts;
    SimpleTestFont* helv = nullptr;
    void SetUp() override { helv = addHelvetica(fonts); }
};

using TextInterpreter = Fixture;

TEST_F(TextInterpreter, TwoCharactersGetExactBoxes) {
    auto chars = run("BT /F1 12 Tf 100 700 Td (Hi) Tj ET", &fonts, 3);
    ASSERT_EQ(chars.size(), 2u);
    expectBox(chars[0], 100, 700, 108.664, 712);
    expectBox(chars[1], 108.664, 700, 111.328, 712);
    EXPECT_EQ(chars[0].text, 'H');
    EXPECT_EQ(chars[1].text, 'i');
    EXPECT_EQ(chars[0].page, 3);
    EXPECT_EQ(chars[0].angle, 0);
    EXPECT_EQ(chars[1].angle, 0);
}

TEST_F(TextInterpreter, SecondShowRunsOnAndTdRestarts) {
    auto chars = run("BT /F1 12 Tf 100 700 Td (Hi) Tj (Hi) Tj 0 -20 Td (H) Tj ET", &fonts);
    ASSERT_EQ(textOf(chars), "HiHi H");
    EXPECT_NEAR(chars[2].x0, 111.328, 1e-9);
    EXPECT_NEAR(chars[3].x0, 111.328 + 8.664, 1e-9);
    expectBox(chars[4], 100, 680, 100, 692);  // the new line's separating space
    expectBox(chars[5], 100, 680, 108.664, 692);
    EXPECT_EQ(chars[5].flags, 0);
}

TEST_F(TextInterpreter, TranslationMovesTheOrigin) {
    auto chars = run("1 0 0 1 50 50 cm BT /F1 12 Tf 100 700 Td (H) Tj ET", &fonts);
    ASSERT_EQ(chars.size(), 1u);
    expectBox(chars[0], 150, 750, 158.664, 762);
}

TEST_F(TextInterpreter, ScaledAndFlippedMatricesGiveUserSpace) {
    // Scaling by 2 doubles the position, the advance and the height.
    auto scaled = run("2 0 0 2 0 0 cm BT /F1 12 Tf 50 350 Td (H) Tj ET", &fonts);
    ASSERT_EQ(scaled.size(), 1u);
    expectBox(scaled[0], 100, 700, 100 + 2 * 8.664, 724);
    // A y-flipped page matrix undone by the text matrix: upright text at 700.
    auto flipped = run("1 0 0 -1 0 792 cm BT /F1 12 Tf 1 0 0 -1 100 92 Tm (Hi) Tj ET", &fonts);
    ASSERT_EQ(flipped.size(), 2u);
    expectBox(flipped[0], 100, 700, 108.664, 712);
    expectBox(flipped[1], 108.664, 700, 111.328, 712);
    // q/Q restore the matrix.
    auto restored = run("q 2 0 0 2 0 0 cm Q BT /F1 12 Tf 100 700 Td (H) Tj ET", &fonts);
    ASSERT_EQ(restored.size(), 1u);
    expectBox(restored[0], 100, 700, 108.664, 712);
}

TEST_F(TextInterpreter, LineOriginIsExact) {
    auto chars = run("BT /F1 10 Tf 100.9 700.7 Td (H) Tj ET", &fonts);
    ASSERT_EQ(chars.size(), 1u);
    expectBox(chars[0], 100.9, 700.7, 108.12, 710.7);
}

TEST_F(TextInterpreter, TJNumbersShowNothingButMoveTheNextString) {
    // -500 is a word gap (a space record fills it); 3000 goes back three sizes, which
    // no line does (a new line, a separating space of no width); 0 adds nothing.
    auto chars = run("BT /F1 10 Tf 100 700 Td [(H) -500 (i) 3000 (H) 0 (i)] TJ ET", &fonts);
    ASSERT_EQ(textOf(chars), "H i Hi");
    expectBox(chars[1], chars[0].x1, 700, chars[0].x1 + 5, 710);
    EXPECT_NEAR(chars[2].x0, chars[0].x1 + 5, 1e-9);   // -500: half the size forward
    EXPECT_NEAR(chars[4].x0, chars[2].x1 - 30, 1e-9);  // 3000: three sizes back
    EXPECT_EQ(chars[3].x0, chars[4].x0);
    EXPECT_EQ(chars[3].x1, chars[4].x0);
    EXPECT_EQ(chars[3].flags, kCharLineStart | kCharGenerated);
    EXPECT_NEAR(chars[5].x0, chars[4].x1, 1e-9);
    // A leading number moves the first string (no space: nothing before it on the
    // line); the run continues into a later Tj.
    auto lead = run("BT /F1 10 Tf 100 700 Td [-1000 (H)] TJ (i) Tj ET", &fonts);
    ASSERT_EQ(lead.size(), 2u);
    EXPECT_NEAR(lead[0].x0, 110, 1e-9);
    EXPECT_NEAR(lead[1].x0, lead[0].x1, 1e-9);
    // Scaled with the text matrix; nothing moves without a font.
    auto scaled = run("BT /F1 1 Tf 2 0 0 2 100 700 Tm [(H) -1000 (i)] TJ ET", &fonts);
    ASSERT_EQ(textOf(scaled), "H i");
    expectBox(scaled[1], scaled[0].x1, 700, scaled[0].x1 + 2, 702);
    EXPECT_NEAR(scaled[2].x0, scaled[0].x1 + 2, 1e-9);
    EXPECT_TRUE(run("BT 100 700 Td [-1000 (H)] TJ ET", &fonts).empty());
}

// Which TJ numbers separate words: a forward move of at least 0.2 of the font size
// right after a character of the same line that is not a space.
TEST_F(TextInterpreter, TJWordGapsBecomeOneSpace) {
    struct Case {
        const char* content;
        const char* text;
    };
    const Case cases[] = {
        {"BT /F1 10 Tf 100 700 Td [(and)-333(the)] TJ ET", "and the"},
        {"BT /F1 10 Tf 100 700 Td [(and)-200(the)] TJ ET", "and the"},  // the threshold
        {"BT /F1 10 Tf 100 700 Td [(and)-199(the)] TJ ET", "andthe"},
        {"BT /F1 10 Tf 100 700 Td [(W)-50(ord)] TJ ET", "Word"},         // kerning
        {"BT /F1 10 Tf 100 700 Td [(and )-333(the)] TJ ET", "and the"},  // a space already
        {"BT /F1 10 Tf 100 700 Td [(and)-333 -333(the)] TJ ET", "and the"},
        {"BT /F1 10 Tf 100 700 Td [(and)333(the)] TJ ET", "andthe"},  // backwards
        {"BT /F1 10 Tf 100 700 Td [(and)1000(the)] TJ ET", "andthe"},
        {"BT /F1 10 Tf 100 700 Td [(a)-333(b)-333(c)] TJ ET", "a b c"},
        {"BT /F1 10 Tf 100 700 Td [(a)-333] TJ [(b)] TJ ET", "a b"},  // same line
        {"BT /F1 10 Tf 100 700 Td (a) Tj [-333(b)] TJ ET", "a b"},
        {"BT /F1 10 Tf 100 700 Td (a) Tj 0 -20 Td [-333(b)] TJ ET", "a b"},  // next line
        {"BT /F1 10 Tf 100 700 Td [-333(a)] TJ ET", "a"},
        {"BT /F1 0 Tf 100 700 Td [(a)-333(b)] TJ ET", "ab"},  // no size, no gap
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(textOf(run(c.content, &fonts)), c.text);
    }
}

TEST_F(TextInterpreter, TJSpaceBoxSpansTheGap) {
    // Rotated a quarter turn: the space runs up the page like its neighbours.
    auto up = run("BT /F1 10 Tf 0 1 -1 0 300 100 Tm [(H)-500(i)] TJ ET", &fonts, 4);
    ASSERT_EQ(textOf(up), "H i");
    EXPECT_EQ(up[1].angle, 90);
    EXPECT_EQ(up[1].page, 4);
    expectBox(up[1], 300, 100 + 7.22, 300 - 10, 100 + 7.22 + 5);
    EXPECT_NEAR(up[2].y0, 100 + 7.22 + 5, 1e-9);
    // The records of a page handed over at once stay on that page.
    auto other = run("BT /F1 10 Tf 100 700 Td [(H)-500(i)] TJ ET", &fonts, 7);
    ASSERT_EQ(other.size(), 3u);
    EXPECT_EQ(other[1].page, 7);
}

TEST_F(TextInterpreter, TJSpaceCountsAgainstTheCharacterLimit) {
    CPdfText text;
    text.setCharLimitForTesting(2);
    std::vector<TextChar> chars;
    // Two shown bytes are within the limit; the space record is one more.
    const std::string content = "BT /F1 10 Tf 100 700 Td [(ab)-500] TJ ET";
    EXPECT_THROW(text.interpretContentForTesting(reinterpret_cast<const unsigned char*>(content.data()), content.size(),
                                                 &fonts, 1, chars),
                 CPdfException);
}

TEST_F(TextInterpreter, QuoteOperatorsMoveToTheNextLine) {
    // Each line after the first starts with a separating space.
    auto chars = run("BT /F1 10 Tf 14 TL 100 700 Td (H) Tj (i) ' 1 2 (H) \" ET", &fonts);
    ASSERT_EQ(textOf(chars), "H i H");
    EXPECT_NEAR(chars[2].y0, 686, 1e-9);
    EXPECT_NEAR(chars[2].x0, 100, 1e-9);
    EXPECT_NEAR(chars[4].y0, 672, 1e-9);
    auto td = run("BT /F1 10 Tf 100 700 Td 0 -12 TD (H) Tj T* (i) Tj ET", &fonts);
    ASSERT_EQ(textOf(td), "H i");
    EXPECT_NEAR(td[0].y0, 688, 1e-9);
    EXPECT_NEAR(td[2].y0, 676, 1e-9);
}

TEST_F(TextInterpreter, TmSetsTheLineOrigin) {
    // The Td after the H leaves a gap of 2.78, above a word space at size 10.
    auto chars = run("BT /F1 10 Tf 5 5 Td 1 0 0 1 300 400 Tm (H) Tj 10 0 Td (i) Tj ET", &fonts);
    ASSERT_EQ(textOf(chars), "H i");
    EXPECT_NEAR(chars[0].x0, 300, 1e-9);
    EXPECT_NEAR(chars[0].y0, 400, 1e-9);
    EXPECT_NEAR(chars[2].x0, 310, 1e-9);
}

TEST_F(TextInterpreter, TextBeforeTfGivesNothing) {
    EXPECT_TRUE(run("BT 100 700 Td (Hi) Tj ET", &fonts).empty());
    EXPECT_TRUE(run("BT /F1 12 Tf 100 700 Td (Hi) Tj ET", nullptr).empty());
}

TEST_F(TextInterpreter, UnknownFontKeepsThePreviousOne) {
    auto chars = run("BT /F1 10 Tf /F9 20 Tf 100 700 Td (H) Tj ET", &fonts);
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_NEAR(chars[0].y1 - chars[0].y0, 10, 1e-9);
}

TEST_F(TextInterpreter, ZeroBytesAreCodesLikeAnyOther) {
    // Code 0 of this font stands for nothing known (a 0 record); what follows shows.
    auto chars = run("BT /F1 10 Tf 100 700 Td <48690048> Tj ET", &fonts);
    ASSERT_EQ(chars.size(), 4u);
    EXPECT_EQ(textOf(chars), std::string("Hi\0H", 4));
    EXPECT_NEAR(chars[3].x0, chars[2].x1, 1e-9);
}

TEST_F(TextInterpreter, ManyOperandsDoNotEndThePage) {
    // The operator uses the last operands; the ones before are dropped (a DeviceN
    // colour has one per colorant).
    EXPECT_EQ(textOf(run("BT /F1 10 Tf 100 700 Td 1 2 3 4 5 6 7 (H) Tj (i) Tj ET", &fonts)), "Hi");
    EXPECT_EQ(textOf(run("BT /F1 10 Tf 100 700 Td (H) Tj 1 2 3 4 5 6 7 8 9 10 11 scn (i) Tj (H) Tj ET", &fonts)),
              "HiH");
    EXPECT_EQ(textOf(run("BT 1 2 3 4 5 6 7 8 9 /F1 10 Tf 100 700 Td (H) Tj ET", &fonts)), "H");
}

TEST_F(TextInterpreter, InlineImageIsPassedOver) {
    // Six dictionary entries and image bytes that form tokens of their own.
    std::string content =
        "BT /F1 10 Tf 1 1 Td (A) Tj ET BI /W 4 /H 2 /BPC 8 /CS /G /F /AHx /D [1 0] ID\n"
        "1 2 3 4 5 6 7 8 9 10 ) { Tj (x) Tj >\nEI BT /F1 10 Tf 1 1 Td (B) Tj ET";
    EXPECT_EQ(textOf(run(content, &fonts)), "AB");
    // Outside an inline image its words are operands of no use: they are dropped.
    EXPECT_EQ(textOf(run("BT /F1 10 Tf 1 1 Td (A) Tj ET /W 4 /H 2 /BPC 8 /CS /G /F /AHx ID EI BT (B) Tj ET", &fonts)),
              "AB");
}

TEST_F(TextInterpreter, WrongOrMissingOperandsAreIgnored) {
    struct Case {
        const char* content;
        const char* text;
    } cases[] = {
        {"BT /F1 10 Tf 100 700 Td 5 Tj ET", ""},
        {"BT /F1 10 Tf 100 700 Td Tj ET", ""},
        {"BT (F1) 10 Tf 100 700 Td (H) Tj ET", ""},
        {"BT /F1 10 Tf 100 700 Td (H) TJ ET", ""},
        {"BT /F1 10 Tf 100 700 Td [(H)] Tj ET", ""},
        {"BT /F1 10 Tf 100 Td (H) Tj ET", "H"},
        {"BT /F1 10 Tf 100 700 Td (H) Tz (H) Tj foo (i) Tj ET", "Hi"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textOf(run(c.content, &fonts)), c.text) << c.content;
}

TEST_F(TextInterpreter, QRestoresFontButKeepsPosition) {
    PageFonts two;
    addHelvetica(two, "F1");
    addHelvetica(two, "F2");
    auto chars = run("BT /F1 10 Tf 100 700 Td q /F2 20 Tf 50 0 Td Q (H) Tj ET", &two);
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_NEAR(chars[0].x0, 150, 1e-9);
    EXPECT_NEAR(chars[0].y1 - chars[0].y0, 10, 1e-9);
    // A Q without q does nothing.
    EXPECT_EQ(run("Q Q BT /F1 10 Tf 1 1 Td (H) Tj ET", &two).size(), 1u);
}

TEST_F(TextInterpreter, DeepSaveNestingIsBounded) {
    std::string content;
    for (int i = 0; i < 200000; ++i)
        content += "q ";
    content += "BT /F1 10 Tf 100 700 Td (H) Tj ET";
    for (int i = 0; i < 200000; ++i)
        content += " Q";
    content += " BT (i) Tj ET";
    auto chars = run(content, &fonts);
    // The font was set inside the saves, so after the last Q none is selected.
    EXPECT_EQ(textOf(chars), "H");
}

TEST_F(TextInterpreter, PathOperatorsDoNotMoveText) {
    auto chars = run("BT /F1 10 Tf ET 10 20 m BT (H) Tj ET", &fonts);
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_NEAR(chars[0].x0, 0, 1e-9);  // BT resets the position
    auto moved = run("/F1 10 Tf 10 20 m (H) Tj 30 40 5 6 re (i) Tj", &fonts);
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_NEAR(moved[0].x0, 0, 1e-9);
    EXPECT_NEAR(moved[0].y0, 0, 1e-9);
    EXPECT_NEAR(moved[1].x0, 7.22, 1e-9);
    EXPECT_NEAR(moved[1].y0, 0, 1e-9);
}

TEST_F(TextInterpreter, VerticalTextRunsUp) {
    // Text turned 90 degrees counter-clockwise: advance along +y, glyph height along -x.
    auto chars = run("BT /F1 10 Tf 0 1 -1 0 300 100 Tm (Hi) Tj ET", &fonts);
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0].angle, 90);
    expectBox(chars[0], 300, 100, 290, 107.22);
    expectBox(chars[1], 300, 107.22, 290, 109.44);
}

TEST_F(TextInterpreter, UpsideDownTextRunsLeft) {
    auto chars = run("BT /F1 10 Tf -1 0 0 -1 500 300 Tm (Hi) Tj ET", &fonts);
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0].angle, 0);
    expectBox(chars[0], 500, 300, 492.78, 290);
    expectBox(chars[1], 492.78, 300, 490.56, 290);
}

TEST_F(TextInterpreter, EveryRunStartsFresh) {
    // The same content read again, as the next page or by another phase, gives the same
    // places: nothing carries over from what was read before.
    auto first = run("BT /F1 10 Tf 100 700 Td (H) Tj ET", &fonts, 1);
    auto second = run("BT /F1 10 Tf 100 700 Td (H) Tj ET", &fonts, 2);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].page, 2);
    EXPECT_EQ(second[0].x0, first[0].x0);
    EXPECT_EQ(second[0].x1, first[0].x1);
}

TEST_F(TextInterpreter, BrokenSyntaxDoesNotEndThePage) {
    // A stream object, stray brackets and unknown words inside content are passed over.
    auto chars = run("BT /F1 10 Tf 100 700 Td (H) Tj << /Length 3 >> stream\nabcdef garbage ) ] >> (i) Tj ET", &fonts);
    EXPECT_EQ(textOf(chars), "Hi");
}

// Character bytes of simple fonts.
struct ByteCase {
    const char* name;
    const char* const* encoding;
    unsigned char code;
    uint32_t unicode;  // 0: none
    unsigned char expected;
};

class CharByte : public ::testing::TestWithParam<ByteCase> {};

TEST_P(CharByte, FollowsTheRule) {
    const ByteCase& c = GetParam();
    PageFonts fonts;
    auto* f = new SimpleTestFont("F1");
    f->useEncoding(c.encoding);
    f->unicode[c.code] = c.unicode;
    fonts.addSlot(std::unique_ptr<CPdfFont>(f));
    char content[64];
    std::snprintf(content, sizeof content, "BT /F1 10 Tf 1 1 Td <%02X> Tj ET", c.code);
    auto chars = run(content, &fonts);
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_EQ(static_cast<unsigned char>(chars[0].text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Simple, CharByte,
                         ::testing::Values(
                             // MacRoman quoteright is re-encoded to the WinAnsi slot of that name.
                             ByteCase{"MacRomanQuoteRight", MacRomanEncoding, 0xD5, 0, 0x92},
                             ByteCase{"MacRomanEacute", MacRomanEncoding, 0x8E, 0, 0xE9},
                             // The Unicode value first, as its Windows-1252 byte, for every code.
                             ByteCase{"WinAnsiWithToUnicode", WinAnsiEncoding, 0x92, 0x2019, 0x92},
                             ByteCase{"WinAnsiPlain", WinAnsiEncoding, 0x92, 0, 0x92},
                             ByteCase{"ToUnicodeBelow128", StandardEncoding, 0x20, 0x41, 'A'},
                             ByteCase{"ToUnicodeEuro", StandardEncoding, 0x41, 0x20AC, 0x80},
                             // Glyph names count below 128 as well: StandardEncoding's quoteright.
                             ByteCase{"StandardQuoteRight", StandardEncoding, 0x27, 0, 0x92},
                             // A value without a Windows-1252 byte is no letter it is not.
                             ByteCase{"NoWindows1252Byte", StandardEncoding, 0x41, 0x0100, kUnmappedCharByte},
                             ByteCase{"CyrillicOverC", StandardEncoding, 0x43, 0x0443, kUnmappedCharByte},
                             // A value that says nothing leaves the glyph name to speak.
                             ByteCase{"ZeroValue", StandardEncoding, 0x41, 0x0000, 'A'},
                             ByteCase{"PrivateUseValue", StandardEncoding, 0x41, 0xF041, 'A'},
                             ByteCase{"ReencodedWithUnicode", MacRomanEncoding, 0xD5, 0x2019, 0x92},
                             // Bullet is the Windows-1252 bullet, not one of its duplicate slots.
                             ByteCase{"Bullet", MacRomanEncoding, 0xA5, 0, 0x95},
                             // Mac's apple is a private-use character.
                             ByteCase{"AppleGlyph", MacRomanEncoding, 0xF0, 0, kUnmappedCharByte},
                             // Without a name or value, a code that is a character's byte stands for itself;
                             // a control code for nothing known.
                             ByteCase{"NoNameCharacterCode", StandardEncoding, 0xB0, 0, 0xB0},
                             ByteCase{"NoNameControlCode", StandardEncoding, 0x05, 0, 0}),
                         [](const ::testing::TestParamInfo<ByteCase>& i) { return std::string(i.param.name); });

TEST(CompositeText, TypeZeroWithoutCMapGivesZeroBytes) {
    PageFonts fonts;
    fonts.addSlot(std::unique_ptr<CPdfFont>(new CompositeTestFont("F0", false)));
    auto chars = run("BT /F0 12 Tf 100 700 Td (abcd) Tj ET", &fonts);
    ASSERT_EQ(chars.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(chars[i].text, 0);
        EXPECT_NEAR(chars[i].x0, 100 + 12 * i, 1e-9);
        EXPECT_NEAR(chars[i].x1, 112 + 12 * i, 1e-9);
    }
}

TEST(CompositeText, TJWordGapsBecomeOneSpace) {
    PageFonts fonts;
    auto* f = new CompositeTestFont("F0", true);
    f->map = {{0x0003, 0x0041}, {0x0004, 0x0020}};
    fonts.addSlot(std::unique_ptr<CPdfFont>(f));
    struct Case {
        const char* content;
        const char* text;
    };
    const Case cases[] = {
        {"BT /F0 10 Tf 100 700 Td [<00030003>-333<0003>] TJ ET", "AA A"},
        {"BT /F0 10 Tf 100 700 Td [<0003>-50<0003>] TJ ET", "AA"},
        {"BT /F0 10 Tf 100 700 Td [<00030004>-333<0003>] TJ ET", "A A"},
        {"BT /F0 10 Tf 100 700 Td [<0003>250<0003>] TJ ET", "AA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(textOf(run(c.content, &fonts)), c.text);
    }
    // Each code is one unit wide at size 10: the space fills the 3.33 gap.
    auto chars = run(cases[0].content, &fonts);
    ASSERT_EQ(chars.size(), 4u);
    EXPECT_NEAR(chars[2].x0, 120, 1e-9);
    EXPECT_NEAR(chars[2].x1, 123.33, 1e-9);
    EXPECT_NEAR(chars[2].y1, 710, 1e-9);
    EXPECT_NEAR(chars[3].x0, 123.33, 1e-9);
}

TEST(CompositeText, TwoByteCodesGiveWindows1252Bytes) {
    PageFonts fonts;
    auto* f = new CompositeTestFont("F0", true);
    f->map = {{0x0003, 0x0041}, {0x0004, 0x2019}, {0x0005, 0x00E9}, {0x0006, 0x4E2D}};
    fonts.addSlot(std::unique_ptr<CPdfFont>(f));
    // Zero bytes inside two-byte codes do not end the string; an odd last byte is one
    // character of its own; code 7 has no Unicode value.
    auto chars = run("BT /F0 10 Tf 100 700 Td <0003000400050006000700> Tj ET", &fonts);
    ASSERT_EQ(chars.size(), 6u);
    const unsigned char expected[] = {'A', 0x92, 0xE9, kUnmappedCharByte, 0, 0};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(chars[i].text), expected[i]) << i;
        EXPECT_NEAR(chars[i].x0, 100 + 10 * i, 1e-9);
    }
}

}  // namespace
