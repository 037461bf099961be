// ToUnicode maps: the map itself, the tokenizer and the bfchar / bfrange reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "font/CMapParser.h"
#include "font/UnicodeMapping.h"

namespace {

std::vector<uint32_t> lookup(const UnicodeMapping& m, uint32_t code) {
    uint32_t out[8];
    int n = m.lookupUnicode(code, out, 8);
    return std::vector<uint32_t>(out, out + n);
}

UnicodeMapping parsed(const std::string& text, int codeBits = 8) {
    UnicodeMapping m;
    parseCMapInto(&m, text.data(), text.size(), codeBits);
    return m;
}

std::vector<std::string> tokens(const std::string& text) {
    CMapTokenizer t(text.data(), text.size());
    std::vector<std::string> out;
    char buf[256];
    int len;
    while (t.nextToken(buf, &len))
        out.emplace_back(buf, static_cast<size_t>(len));
    return out;
}

using V = std::vector<uint32_t>;

}  // namespace

TEST(UnicodeMapping, SingleValuesAndSequences) {
    UnicodeMapping m;
    m.addEntry(0x41, "0042", 4, 0);
    m.addEntry(0x66, "00660069", 8, 0);
    m.addEntry(0x20, "41", 2, 3);
    EXPECT_EQ(lookup(m, 0x41), V({0x42}));
    EXPECT_EQ(lookup(m, 0x66), V({0x66, 0x69}));
    EXPECT_EQ(lookup(m, 0x20), V({0x44}));
    EXPECT_EQ(lookup(m, 0x42), V());
    EXPECT_EQ(lookup(m, 5000), V());  // beyond the table
}

TEST(UnicodeMapping, OffsetGoesToTheLastValueOfASequence) {
    UnicodeMapping m;
    m.addEntry(7, "00660069", 8, 2);
    EXPECT_EQ(lookup(m, 7), V({0x66, 0x6B}));
}

TEST(UnicodeMapping, CapacityLimitsTheAnswer) {
    UnicodeMapping m;
    m.addEntry(1, "000100020003", 12, 0);
    uint32_t out[2];
    EXPECT_EQ(m.lookupUnicode(1, out, 2), 2);
    EXPECT_EQ(out[1], 2u);
}

TEST(UnicodeMapping, AtMostEightValues) {
    UnicodeMapping m;
    std::string hex;
    for (int i = 1; i <= 10; ++i)
        hex += "000" + std::to_string(i % 10);
    m.addEntry(3, hex.data(), static_cast<int>(hex.size()), 0);
    EXPECT_EQ(lookup(m, 3).size(), 8u);
}

TEST(UnicodeMapping, FirstSequenceOfACodeWins) {
    UnicodeMapping m;
    m.addEntry(9, "00410042", 8, 0);
    m.addEntry(9, "00430044", 8, 0);
    EXPECT_EQ(lookup(m, 9), V({0x41, 0x42}));
    // A later single value takes over, a later sequence clears it again and the first
    // sequence shows once more.
    m.addEntry(9, "0045", 4, 0);
    EXPECT_EQ(lookup(m, 9), V({0x45}));
    m.addEntry(9, "00460047", 8, 0);
    EXPECT_EQ(lookup(m, 9), V({0x41, 0x42}));
    EXPECT_EQ(m.sequenceCount(), 1u);
}

TEST(UnicodeMapping, GrowsInBlocksOf256UpToSixteenBitCodes) {
    UnicodeMapping m;
    EXPECT_EQ(m.directSize(), 256u);
    m.addEntry(300, "0041", 4, 0);
    EXPECT_EQ(m.directSize(), 512u);
    // Wide codes do not grow the table.
    m.addEntry(0xFFFFFFF0u, "0042", 4, 0);
    m.addEntry(0x10000, "00430044", 8, 0);
    EXPECT_EQ(m.directSize(), 512u);
    EXPECT_EQ(lookup(m, 0xFFFFFFF0u), V({0x42}));
    EXPECT_EQ(lookup(m, 0x10000), V({0x43, 0x44}));
    EXPECT_EQ(lookup(m, 0x10001), V());
    m.addEntry(UnicodeMapping::kMaxDirectCode, "0041", 4, 0);
    EXPECT_EQ(m.directSize(), 65536u);
    EXPECT_EQ(lookup(m, UnicodeMapping::kMaxDirectCode), V({0x41}));
}

TEST(UnicodeMapping, WideCodesAndSequencesAreCapped) {
    UnicodeMapping m;
    const uint32_t n = static_cast<uint32_t>(UnicodeMapping::kMaxEntries) + 100;
    for (uint32_t i = 0; i < n; ++i)
        m.addEntry(0x1000000 + i, "0041", 4, 0);
    EXPECT_EQ(lookup(m, 0x1000000), V({0x41}));
    EXPECT_EQ(lookup(m, 0x1000000 + n - 1), V());
    // An existing wide code can still be changed.
    m.addEntry(0x1000000, "0045", 4, 0);
    EXPECT_EQ(lookup(m, 0x1000000), V({0x45}));
    for (uint32_t i = 0; i < n; ++i)
        m.addEntry(0x2000000 + i, "00410042", 8, 0);
    EXPECT_EQ(m.sequenceCount(), UnicodeMapping::kMaxEntries);
}

TEST(CMapTokenizer, Tokens) {
    struct Case {
        const char* text;
        std::vector<std::string> want;
    } cases[] = {
        {"  /CIDInit /ProcSet findresource", {"/CIDInit", "/ProcSet", "findresource"}},
        {"<41><0042>", {"<41>", "<0042>"}},
        {"(a\\)b) c", {"(a\\)b)", "c"}},
        {"(a(b)c)", {"(a(b)", "c", ")"}},
        {"[<01> <02>]", {"[", "<01>", "<02>", "]"}},
        {"% comment\r\nbegin % more\nend", {"begin", "end"}},
        {"{dup}", {"{dup", "}"}},
        {"<12 34>x", {"<12 34>", "x"}},
        {"", {}},
        {"   \t\r\n\f", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tokens(c.text), c.want) << c.text;
    }
}

TEST(CMapTokenizer, NulByteEndsTheInput) {
    std::string text("abc def\0ghi", 11);
    EXPECT_EQ(tokens(text), std::vector<std::string>({"abc", "def"}));
}

TEST(CMapTokenizer, LongTokensAreCutTo255) {
    std::string text(600, 'x');
    text += " y";
    auto t = tokens(text);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].size(), 255u);
    EXPECT_EQ(t[1], "y");
}

TEST(CMapTokenizer, Callback) {
    struct Src {
        const char* p;
    } src{"<41> x"};
    CMapTokenizer t(
        [](void* ctx) -> int {
            Src* s = static_cast<Src*>(ctx);
            return *s->p ? static_cast<unsigned char>(*s->p++) : -1;
        },
        &src);
    char buf[256];
    int len;
    ASSERT_TRUE(t.nextToken(buf, &len));
    EXPECT_STREQ(buf, "<41>");
    EXPECT_EQ(len, 4);
    ASSERT_TRUE(t.nextToken(buf, &len));
    EXPECT_STREQ(buf, "x");
    EXPECT_FALSE(t.nextToken(buf, &len));
}

TEST(ParseCMap, BfcharAndBfrangeForms) {
    UnicodeMapping m = parsed(
        "/CIDInit /ProcSet findresource begin\n"
        "12 dict begin begincmap\n"
        "1 begincodespacerange <00> <FF> endcodespacerange\n"
        "2 beginbfchar\n<41> <0042>\n<66> <00660069>\nendbfchar\n"
        "% a comment between blocks\n"
        "2 beginbfrange\n<20> <22> <0041>\n<30> <32> [<0061> /x <0063>]\nendbfrange\n"
        "endcmap CMapName currentdict /CMap defineresource pop end end\n");
    EXPECT_EQ(lookup(m, 0x41), V({0x42}));
    EXPECT_EQ(lookup(m, 0x66), V({0x66, 0x69}));
    EXPECT_EQ(lookup(m, 0x20), V({0x41}));
    EXPECT_EQ(lookup(m, 0x21), V({0x42}));
    EXPECT_EQ(lookup(m, 0x22), V({0x43}));
    EXPECT_EQ(lookup(m, 0x23), V());
    EXPECT_EQ(lookup(m, 0x30), V({0x61}));
    EXPECT_EQ(lookup(m, 0x31), V());
    EXPECT_EQ(lookup(m, 0x32), V({0x63}));
}

TEST(ParseCMap, SixteenBitSourcesAreIgnoredWithEightBits) {
    const std::string text = "1 beginbfchar <0041> <0058> endbfchar 1 beginbfrange <0050> <0051> <0061> endbfrange";
    UnicodeMapping m8 = parsed(text, 8);
    EXPECT_EQ(lookup(m8, 0x41), V());
    EXPECT_EQ(lookup(m8, 0x50), V());
    UnicodeMapping m16 = parsed(text, 16);
    EXPECT_EQ(lookup(m16, 0x41), V({0x58}));
    EXPECT_EQ(lookup(m16, 0x51), V({0x62}));
    // And 8-bit sources with 16 bits.
    UnicodeMapping n16 = parsed("1 beginbfchar <41> <0058> endbfchar", 16);
    EXPECT_EQ(lookup(n16, 0x41), V());
}

TEST(ParseCMap, MixedWidthsAcceptsOneToFourByteSources) {
    UnicodeMapping m = parsed("3 beginbfchar <41> <0058> <8140> <3000> <00012345> <0059> endbfchar", 0);
    EXPECT_EQ(lookup(m, 0x41), V({0x58}));
    EXPECT_EQ(lookup(m, 0x8140), V({0x3000}));
    EXPECT_EQ(lookup(m, 0x12345), V({0x59}));
}

TEST(ParseCMap, NulByteInTheMiddleEndsTheMap) {
    std::string text = "2 beginbfchar <41> <0042> ";
    text += '\0';
    text += " <43> <0044> endbfchar";
    UnicodeMapping m = parsed(text);
    EXPECT_EQ(lookup(m, 0x41), V({0x42}));
    EXPECT_EQ(lookup(m, 0x43), V());
}

TEST(ParseCMap, MalformedEntriesAreSkipped) {
    UnicodeMapping m = parsed(
        "4 beginbfchar <4> <0042> <zz> <0043> <44> 0045 <45> <0046> endbfchar\n"
        "1 beginbfrange <50> <52> endbfrange\n"
        "1 beginbfrange <60> <61>");
    EXPECT_EQ(lookup(m, 0x04), V());
    EXPECT_EQ(lookup(m, 0x44), V());
    EXPECT_EQ(lookup(m, 0x45), V({0x46}));
    EXPECT_EQ(lookup(m, 0x50), V());
}

TEST(ParseCMap, MissingEndEndsAtEndOfInput) {
    UnicodeMapping m = parsed("1 beginbfchar <41> <0042> <43>");
    EXPECT_EQ(lookup(m, 0x41), V({0x42}));
    UnicodeMapping r = parsed("1 beginbfrange <41> <42> [<0061> <0062>");
    EXPECT_EQ(lookup(r, 0x42), V({0x62}));
}

TEST(ParseCMap, ArrayLongerThanTheRangeDoesNotDerailTheBlock) {
    UnicodeMapping m = parsed("2 beginbfrange <20> <21> [<0061> <0062> <0063> <0064>] <30> <30> <0078> endbfrange");
    EXPECT_EQ(lookup(m, 0x21), V({0x62}));
    EXPECT_EQ(lookup(m, 0x22), V());
    EXPECT_EQ(lookup(m, 0x30), V({0x78}));
}

TEST(ParseCMap, DestinationWithWhiteSpace) {
    UnicodeMapping m = parsed("1 beginbfchar <66> <0066 0069> endbfchar");
    EXPECT_EQ(lookup(m, 0x66), V({0x66, 0x69}));
}

TEST(ParseCMap, UsecmapIsNotedAndSkipped) {
    UnicodeMapping m = parsed("/Adobe-Identity-UCS usecmap 1 beginbfchar <41> <0042> endbfchar");
    EXPECT_EQ(lookup(m, 0x41), V({0x42}));
}

TEST(ParseCMap, HugeRangesStayBounded) {
    // Four-byte codes far beyond the table and a range over the whole 32-bit space:
    // the map must stay small and the parse quick.
    UnicodeMapping m =
        parsed("2 beginbfrange <00000000> <FFFFFFFF> <0041> <FFFFFF00> <FFFFFFFF> <00410042> endbfrange", 32);
    EXPECT_EQ(m.directSize(), 65536u);
    EXPECT_EQ(lookup(m, 0), V({0x41}));
    EXPECT_EQ(lookup(m, 0x10000), V({0x10041}));
    EXPECT_EQ(lookup(m, 0xFFFFFF10u), V());
}

TEST(ParseCMap, ManyOverlappingSequenceRangesStayBounded) {
    std::string text = "200 beginbfrange\n";
    for (int i = 0; i < 200; ++i)
        text += "<0000> <FFFF> <00410042>\n";
    text += "endbfrange";
    UnicodeMapping m = parsed(text, 16);
    EXPECT_EQ(m.sequenceCount(), 65536u);
    EXPECT_EQ(lookup(m, 0xFFFF), V({0x41, 0x42 + 0xFFFF}));
}
