// The CFF reader: INDEXes, Top DICT operands, charsets, encodings, CID fonts, and
// hostile input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "font/CFoFiType1C.h"
#include "font/CPdfBuiltinTables.h"
#include "tests/font/CffBuilder.h"

using namespace cfftest;

namespace {

std::unique_ptr<CFoFiType1C> open(const std::string& data) {
    return CFoFiType1C::openCff(reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
}

// Glyphs .notdef, A (sid 34), B (35), myglyph (391); codes 65, 66, 200.
CffSpec basicFont() {
    CffSpec s;
    s.charset = std::string(1, 0) + u16(34) + u16(35) + u16(391);
    s.encoding = std::string{0, 3, 65, 66, static_cast<char>(200)};
    return s;
}

const char* enc(const CFoFiType1C& f, int code) {
    const char* const* e = f.getEncoding();
    return e ? e[code] : "(no encoding)";
}

}  // namespace

TEST(Cff, BasicFontGivesNameAndEncoding) {
    auto f = open(build(basicFont()));
    ASSERT_TRUE(f);
    EXPECT_STREQ(f->getName(), "TestFont");
    EXPECT_EQ(f->getGlyphCount(), 4);
    EXPECT_STREQ(enc(*f, 65), "A");
    EXPECT_STREQ(enc(*f, 66), "B");
    EXPECT_STREQ(enc(*f, 200), "myglyph");
    EXPECT_EQ(enc(*f, 67), nullptr);
    EXPECT_EQ(f->getCharsetId(3), 391);
    EXPECT_EQ(f->getSubrBias(), 107);
}

TEST(Cff, LeadingByteBeforeTheHeader) {
    auto f = open(" " + build(basicFont()));
    ASSERT_TRUE(f);
    EXPECT_STREQ(f->getName(), "TestFont");
    EXPECT_STREQ(enc(*f, 200), "myglyph");
}

TEST(Cff, RealOperand) {
    CffSpec s = basicFont();
    // 1.5e-3 as nibbles 1 a 5 c 3 f; -2.25 as e 2 a 2 5 f; ItalicAngle and UnderlinePosition.
    s.extraTop = std::string("\x1e\x1a\x5c\x3f", 4) + op(0x0c02) + std::string("\x1e\xe2\xa2\x5f", 4) + op(0x0c03);
    auto f = open(build(s));
    ASSERT_TRUE(f);
    EXPECT_DOUBLE_EQ(f->getTopDict().italicAngle, 1.5e-3);
    EXPECT_DOUBLE_EQ(f->getTopDict().underlinePosition, -2.25);
    EXPECT_DOUBLE_EQ(f->getTopDict().underlineThickness, 50);
}

TEST(Cff, OperandForms) {
    CffSpec s = basicFont();
    // FontBBox: -107 (byte 32), 108 (247 0), -1131 (254 255), 32767 (28 7f ff).
    s.extraTop = std::string("\x20\xf7\x00\xfe\xff\x1c\x7f\xff", 8) + op(5);
    auto f = open(build(s));
    ASSERT_TRUE(f);
    const double* b = f->getTopDict().fontBBox;
    EXPECT_EQ(b[0], -107);
    EXPECT_EQ(b[1], 108);
    EXPECT_EQ(b[2], -1131);
    EXPECT_EQ(b[3], 32767);
}

TEST(Cff, EmptyStringIndexStillFindsTheGlobalSubrs) {
    CffSpec s;
    s.strings.clear();
    s.charset = std::string(1, 0) + u16(34) + u16(35) + u16(36);
    s.encoding = std::string{0, 1, 65};
    // 1240 empty subroutines: the bias tells that this INDEX was found.
    std::vector<std::string> subrs(1240, std::string());
    s.gsubrs = index(subrs);
    auto f = open(build(s));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->getSubrBias(), 1131);
    EXPECT_STREQ(enc(*f, 65), "A");
}

TEST(Cff, CharsetFormats) {
    struct Case {
        std::string charset;
        std::vector<int> ids;
    } cases[] = {
        {std::string(1, 0) + u16(5) + u16(6) + u16(7), {0, 5, 6, 7}},
        {std::string(1, 1) + u16(10) + std::string(1, 1) + u16(40) + std::string(1, 5), {0, 10, 11, 40}},
        {std::string(1, 2) + u16(300) + u16(10), {0, 300, 301, 302}},
    };
    for (auto& c : cases) {
        CffSpec s = basicFont();
        s.charset = c.charset;
        s.encoding.clear();
        auto f = open(build(s));
        ASSERT_TRUE(f);
        for (int g = 0; g < 4; ++g)
            EXPECT_EQ(f->getCharsetId(g), c.ids[static_cast<size_t>(g)]) << g;
    }
}

TEST(Cff, PredefinedCharsetsAndEncodings) {
    CffSpec s;
    s.predefinedCharset = 0;
    s.predefinedEncoding = 0;
    auto f = open(build(s));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->getEncoding(), StandardEncoding);
    EXPECT_EQ(f->getCharsetId(3), kCffISOAdobeCharset[3]);
    s.predefinedCharset = 1;
    s.predefinedEncoding = 1;
    f = open(build(s));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->getEncoding(), ExpertEncoding);
    EXPECT_EQ(f->getCharsetId(2), kCffExpertCharset[2]);
    s.predefinedCharset = 2;
    f = open(build(s));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->getCharsetId(3), kCffExpertSubsetCharset[3]);
}

TEST(Cff, EncodingFormatOneWithSupplement) {
    CffSpec s = basicFont();
    // Format 1 | 0x80: one range starting at 'a' with two more codes; two supplements.
    s.encoding = std::string{static_cast<char>(0x81), 1, 'a', 2, 2, 'Z'} + u16(391) + std::string(1, '[') + u16(34);
    auto f = open(build(s));
    ASSERT_TRUE(f);
    EXPECT_STREQ(enc(*f, 'a'), "A");
    EXPECT_STREQ(enc(*f, 'b'), "B");
    EXPECT_STREQ(enc(*f, 'c'), "myglyph");
    EXPECT_STREQ(enc(*f, 'Z'), "myglyph");
    EXPECT_STREQ(enc(*f, '['), "A");
}

TEST(Cff, EncodingFormatZeroWithMoreCodesThanGlyphs) {
    CffSpec s = basicFont();
    s.encoding = std::string{static_cast<char>(0x80), 6, 'a', 'b', 'c', 'd', 'e', 'f', 1, 'Q'} + u16(35);
    auto f = open(build(s));
    ASSERT_TRUE(f);
    EXPECT_STREQ(enc(*f, 'c'), "myglyph");
    EXPECT_EQ(enc(*f, 'd'), nullptr);
    EXPECT_STREQ(enc(*f, 'Q'), "B");
}

TEST(Cff, StringIdBeyondTheStringIndexFails) {
    CffSpec s = basicFont();
    s.charset = std::string(1, 0) + u16(34) + u16(35) + u16(392);
    EXPECT_FALSE(open(build(s)));
}

TEST(Cff, LongStringsAreCut) {
    CffSpec s = basicFont();
    s.strings = {std::string(300, 'g')};
    s.name = std::string(400, 'N');
    auto f = open(build(s));
    ASSERT_TRUE(f);
    EXPECT_EQ(std::strlen(enc(*f, 200)), 255u);
    EXPECT_EQ(std::strlen(f->getName()), 255u);
}

TEST(Cff, CidFont) {
    CffSpec s;
    s.cid = true;
    s.charset = std::string(1, 2) + u16(1) + u16(2);
    s.fdSelect = std::string(1, 3) + u16(2) + u16(0) + std::string(1, 0) + u16(2) + std::string(1, 1) + u16(4);
    // Two font dicts without a Private DICT of their own.
    s.fdArray = index({"", ""});
    auto f = open(build(s));
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->isCIDFont());
    EXPECT_EQ(f->getEncoding(), nullptr);
    EXPECT_EQ(f->getCharsetId(3), 3);
}

TEST(Cff, CidFontWithBadFDSelectFails) {
    CffSpec s;
    s.cid = true;
    s.charset = std::string(1, 2) + u16(1) + u16(2);
    s.fdSelect = std::string(1, 5);
    s.fdArray = index({""});
    EXPECT_FALSE(open(build(s)));
    s.fdSelect = std::string(1, 3) + u16(1) + u16(0) + std::string(1, 0) + u16(9);  // beyond the glyphs
    EXPECT_FALSE(open(build(s)));
}

TEST(Cff, StructuralFaultsFail) {
    EXPECT_FALSE(open(""));
    EXPECT_FALSE(open(std::string("\x01\x00\x04", 3)));
    CffSpec s = basicFont();
    std::string good = build(s);
    // Offset size 5 in the Name INDEX.
    std::string bad = good;
    bad[6] = 5;
    EXPECT_FALSE(open(bad));
    // No CharStrings.
    CffSpec t = basicFont();
    t.noCharStrings = true;
    EXPECT_FALSE(open(build(t)));
}

TEST(Cff, TooManyOperandsFail) {
    CffSpec s = basicFont();
    for (int i = 0; i < 49; ++i)
        s.extraTop += std::string(1, static_cast<char>(139));
    s.extraTop += op(0x0c07);
    EXPECT_FALSE(open(build(s)));
    CffSpec t = basicFont();
    for (int i = 0; i < 48; ++i)
        t.extraTop += std::string(1, static_cast<char>(139));
    t.extraTop += op(0x0c07);
    EXPECT_TRUE(open(build(t)));
}

TEST(Cff, MalformedPrivateDictFails) {
    CffSpec s = basicFont();
    s.privateDict = std::string("\x1e\x12", 2);  // a real number that never ends
    EXPECT_FALSE(open(build(s)));
}

TEST(Cff, EveryTruncationAndByteFlipIsSafe) {
    // Nothing may crash or read outside the data (checked under the sanitizers).
    const std::string good = build(basicFont());
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<unsigned char> cut(good.begin(), good.begin() + static_cast<long>(n));
        auto f = CFoFiType1C::openCff(cut.empty() ? nullptr : cut.data(), static_cast<int>(n));
        if (f) (void)f->getName();
    }
    for (size_t i = 0; i < good.size(); ++i) {
        for (int v : {0x00, 0x1c, 0x1d, 0x1e, 0x0c, 0x7f, 0xff}) {
            std::vector<unsigned char> bytes(good.begin(), good.end());
            bytes[i] = static_cast<unsigned char>(v);
            auto f = CFoFiType1C::openCff(bytes.data(), static_cast<int>(bytes.size()));
            if (f && f->getEncoding())
                for (int c = 0; c < 256; ++c)
                    if (f->getEncoding()[c]) (void)std::strlen(f->getEncoding()[c]);
        }
    }
}
