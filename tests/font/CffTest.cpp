// The CFF reader: INDEXes, Top DICT operands, charsets, encodings, CID fonts, and
// hostile input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "font/CFoFiType1C.h"
#include "font/CPdfBuiltinTables.h"

namespace {

std::string u16(int v) { return std::string{static_cast<char>((v >> 8) & 0xff), static_cast<char>(v & 0xff)}; }

// INDEX with one-byte offsets (four-byte when the data is large).
std::string index(const std::vector<std::string>& items) {
    if (items.empty()) return u16(0);
    size_t total = 1;
    for (auto& i : items) total += i.size();
    int offSize = total > 255 ? 4 : 1;
    std::string out = u16(static_cast<int>(items.size()));
    out += static_cast<char>(offSize);
    size_t off = 1;
    auto put = [&](size_t v) {
        for (int s = (offSize - 1) * 8; s >= 0; s -= 8) out += static_cast<char>((v >> s) & 0xff);
    };
    put(off);
    for (auto& i : items) {
        off += i.size();
        put(off);
    }
    for (auto& i : items) out += i;
    return out;
}

// A DICT integer operand in the fixed five-byte form.
std::string int5(long v) {
    std::string s(1, 29);
    for (int sh = 24; sh >= 0; sh -= 8) s += static_cast<char>((v >> sh) & 0xff);
    return s;
}
std::string op(int o) { return o >= 0x0c00 ? std::string{12, static_cast<char>(o & 0xff)} : std::string(1, static_cast<char>(o)); }

struct CffSpec {
    std::string name = "TestFont";
    std::vector<std::string> strings = {"myglyph"};
    std::string gsubrs = u16(0);
    std::string extraTop;           // more Top DICT entries, placed first
    std::string charset;            // raw charset data, or empty for predefined
    int predefinedCharset = 0;
    std::string encoding;           // raw encoding data, or empty for predefined
    int predefinedEncoding = 0;
    int glyphs = 4;
    std::string privateDict = std::string{static_cast<char>(139 + 10), 20};  // defaultWidthX 10
    bool cid = false;
    bool noCharStrings = false;
    std::string fdArray;            // for CID fonts: the FDArray INDEX items (dict bytes)
    std::string fdSelect;
};

std::string build(const CffSpec& s) {
    std::string header("\x01\x00\x04\x04", 4);
    std::string nameIdx = index({s.name});
    std::string stringIdx = index(s.strings);
    std::vector<std::string> cs(static_cast<size_t>(s.glyphs), std::string(1, '\x0e'));  // endchar
    std::string charStrings = index(cs);
    // Layout after the Global Subr INDEX: charset, encoding, CharStrings, Private, FDSelect, FDArray.
    auto topFor = [&](long charsetOff, long encOff, long csOff, long privOff, long fdsOff, long fdaOff) {
        std::string t;
        if (s.cid) t += int5(0) + int5(0) + int5(0) + op(0x0c1e);
        t += s.extraTop;
        t += int5(charsetOff) + op(15);
        if (!s.cid) t += int5(encOff) + op(16);
        if (!s.noCharStrings) t += int5(csOff) + op(17);
        if (!s.cid) t += int5(static_cast<long>(s.privateDict.size())) + int5(privOff) + op(18);
        if (s.cid) t += int5(fdsOff) + op(0x0c25) + int5(fdaOff) + op(0x0c24);
        return t;
    };
    std::string top = topFor(0, 0, 0, 0, 0, 0);
    long base = static_cast<long>(header.size() + nameIdx.size() + index({top}).size() + stringIdx.size() +
                                  s.gsubrs.size());
    long charsetOff = s.charset.empty() ? s.predefinedCharset : base;
    long encOff = s.encoding.empty() ? s.predefinedEncoding : base + static_cast<long>(s.charset.size());
    long csOff = base + static_cast<long>(s.charset.size() + s.encoding.size());
    long privOff = csOff + static_cast<long>(charStrings.size());
    long fdsOff = privOff + static_cast<long>(s.privateDict.size());
    long fdaOff = fdsOff + static_cast<long>(s.fdSelect.size());
    top = topFor(charsetOff, encOff, csOff, privOff, fdsOff, fdaOff);
    return header + nameIdx + index({top}) + stringIdx + s.gsubrs + s.charset + s.encoding + charStrings +
           s.privateDict + s.fdSelect + s.fdArray;
}

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
        for (int g = 0; g < 4; ++g) EXPECT_EQ(f->getCharsetId(g), c.ids[static_cast<size_t>(g)]) << g;
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
    for (int i = 0; i < 49; ++i) s.extraTop += std::string(1, static_cast<char>(139));
    s.extraTop += op(0x0c07);
    EXPECT_FALSE(open(build(s)));
    CffSpec t = basicFont();
    for (int i = 0; i < 48; ++i) t.extraTop += std::string(1, static_cast<char>(139));
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
