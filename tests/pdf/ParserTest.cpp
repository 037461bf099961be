#include <gtest/gtest.h>

#include <string>

#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "tests/pdf/PdfTestUtil.h"

using pdftest::describe;
using pdftest::memStream;
using pdftest::parseAll;

namespace {

struct Case {
    const char* name;
    std::string input;
    std::string expected;
};

class ParseCase : public ::testing::TestWithParam<Case> {};

TEST_P(ParseCase, Objects) {
    const Case& c = GetParam();
    EXPECT_EQ(parseAll(c.input), c.expected) << c.name;
}

const Case kCases[] = {
    // Numbers.
    {"integer", "42", "I:42"},
    {"negative", "-17", "I:-17"},
    {"real", "3.25", "R:3.25"},
    {"leading dot", "-.5", "R:-0.5"},
    {"trailing dot", "4.", "R:4"},
    {"minus ends number", "5-3", "I:5 I:-3"},
    {"leading plus", "+5", "I:5"},
    {"leading plus real", "+.5 +300.25", "R:0.5 R:300.25"},
    {"lone plus", "+", "I:0"},
    {"plus then minus", "+-3", "I:0 I:-3"},
    {"plus ends number", "5+3", "I:5 I:3"},
    {"lone minus", "-", "I:0"},
    {"clamp high", "2147483648", "I:2147483647"},
    {"clamp low", "-2147483649", "I:-2147483648"},
    {"huge", "99999999999999999999999", "I:2147483647"},
    {"two dots", "1.2.3", "R:1.2"},
    // Keywords.
    {"booleans and null", "true false null", "B:1 B:0 Null"},
    {"keywords", "obj endobj R", "C:obj C:endobj C:R"},
    {"keyword ends at delimiter", "abc/def", "C:abc N:def"},
    {"vertical tab is regular",
     std::string("a\x0b"
                 "b"),
     "C:a\\x0Bb"},
    {"high bytes regular", "\xE9t\xE9", "C:\\xE9t\\xE9"},
    // Names.
    {"name", "/Type", "N:Type"},
    {"empty name", "/", "N:"},
    {"names back to back", "/a/b", "N:a N:b"},
    {"hex escape", "/A#42", "N:AB"},
    {"half hex escape consumes next", "/A#4x", "N:A@"},
    {"bad hex keeps hash", "/A#zz", "N:A#zz"},
    {"hash at end", "/A#", "N:A#"},
    {"escaped space", "/A#20B", "N:A B"},
    {"zero byte in name", "/A#00B", "N:A\\x00B"},
    // Literal strings.
    {"simple string", "(hello)", "S:hello"},
    {"octal", "(a\\101b)", "S:aAb"},
    {"octal three digits max", "(\\0053)", "S:\\x053"},
    {"octal overflow keeps low bits", "(\\777)", "S:\\xFF"},
    {"octal one digit", "(\\7x)", "S:\\x07x"},
    {"nested parens", "(a(b)c)", "S:a(b)c"},
    {"escaped parens", "(a\\(b\\)c)", "S:a(b)c"},
    {"escapes", "(\\n\\r\\t\\b\\f\\\\)", "S:\\x0A\\x0D\\x09\\x08\\x0C\\x5C"},
    {"unknown escape", "(\\q)", "S:q"},
    {"line continuation lf", "(a\\\nb)", "S:ab"},
    {"line continuation crlf", "(a\\\r\nb)", "S:ab"},
    {"line continuation cr", "(a\\\rb)", "S:ab"},
    {"raw newlines kept", "(a\r\nb)", "S:a\\x0D\\x0Ab"},
    {"unterminated string", "(abc", "S:abc"},
    {"backslash at end", "(abc\\", "S:abc"},
    {"zero byte kept", std::string("(a\0b)", 5), "S:a\\x00b"},
    // Hex strings.
    {"hex", "<4142>", "S:AB"},
    {"hex odd with space", "<4a 6>", "S:J`"},
    {"hex non digit is zero", "<4g>", "S:@"},
    {"hex empty", "<>", "S:"},
    {"hex unterminated", "<41", "S:A"},
    {"hex lower upper", "<aAfF>", "S:\\xAA\\xFF"},
    // Delimiters and errors.
    {"errors", ") { } >", "Err Err Err Err"},
    {"stray close bracket", "]", "C:]"},
    {"stray dict close", ">>", "C:>>"},
    // Comments.
    {"comment", "1 % comment\n2", "I:1 I:2"},
    {"comment cr", "1 %c\r2", "I:1 I:2"},
    {"comment at end", "1 % no line end", "I:1"},
    {"percent in string", "(50%)", "S:50%"},
    // Arrays and references.
    {"array", "[1 2 3]", "[I:1 I:2 I:3]"},
    {"reference", "1 0 R", "Ref:1,0"},
    {"reference in array", "[1 0 R 2]", "[Ref:1,0 I:2]"},
    {"real generation is no reference", "1 0.0 R", "I:1 R:0 C:R"},
    {"two integers", "1 2", "I:1 I:2"},
    {"nested arrays", "[[1][2 [3]]]", "[[I:1] [I:2 [I:3]]]"},
    {"unterminated array", "[1 2", "[I:1 I:2]"},
    {"unterminated nested", "[1 [2", "[I:1 [I:2]]"},
    // Dictionaries.
    {"dictionary", "<< /B 2 /A 1 >>", "{A:I:1 B:I:2}"},
    {"first key wins", "<< /K 1 /K 2 >>", "{K:I:1}"},
    {"first of three wins among others", "<< /Z 0 /K 1 /A 9 /K 2 /K 3 /B 8 >>", "{A:I:9 B:I:8 K:I:1 Z:I:0}"},
    {"dictionaries one after another", "<< /A 1 /B 2 >> << /C 3 >> << >>", "{A:I:1 B:I:2} {C:I:3} {}"},
    {"sibling and nested dictionaries", "[<< /A << /X 1 /X 2 >> >> << /B << /Y 3 >> /A 4 >>]",
     "[{A:{X:I:1}} {A:I:4 B:{Y:I:3}}]"},
    {"stray token skipped", "<< /A 1 5 /B 2 >>", "{A:I:1 B:I:2}"},
    {"error value drops key", "<< /A ) /B 2 >>", "{B:I:2}"},
    {"reference value", "<< /P 3 0 R >>", "{P:Ref:3,0}"},
    {"key order is bytes", "<< /b 1 /B 2 /a 3 /AA 4 /A 5 >>", "{A:I:5 AA:I:4 B:I:2 a:I:3 b:I:1}"},
    {"unterminated dictionary", "<< /A 1", "{A:I:1}"},
    {"nested dictionary", "<< /D << /X [1] >> >>", "{D:{X:[I:1]}}"},
    {"key without value ends dictionary", "<< /A 1 /B>> /C 3 >>", "{A:I:1} N:C I:3 C:>>"},
    {"key without value ends nested", "<< /D << /X>> /Y 2 >>", "{D:{} Y:I:2}"},
    {"endobj ends an array", "[1 2 endobj ]", "[I:1 I:2] C:endobj C:]"},
    {"endobj ends a dictionary", "<< /A 1 x endobj /B 2 >>", "{A:I:1} C:endobj N:B I:2 C:>>"},
    {"endobj as a value ends", "<< /A endobj >>", "{} C:endobj C:>>"},
    {"indirect object", "12 0 obj << /A 1 >> endobj", "I:12 I:0 C:obj {A:I:1} C:endobj"},
};

INSTANTIATE_TEST_SUITE_P(Tokens, ParseCase, ::testing::ValuesIn(kCases));

TEST(Parser, NumberEndsAtStreamBoundaryButStringsGoOn) {
    // Page contents split over two streams: a number ends with the first
    // stream; a literal string, hex string and comment run on into the second.
    struct {
        std::string a, b, expected;
    } cases[] = {
        {"12", "34", "I:12 I:34"}, {"/Na", "me", "N:Na C:me"},       {"(ab", "c)", "S:abc"},
        {"<41", "42>", "S:AB"},    {"1 %co", "mment\n2", "I:1 I:2"},
    };
    for (auto& c : cases) {
        CPdfElement arr;
        arr.setNewArray(nullptr);
        CPdfStream* s1 = memStream(c.a);
        CPdfStream* s2 = memStream(c.b);
        CPdfElement e1, e2;
        e1.setStream(s1);
        e2.setStream(s2);
        s1->release();
        s2->release();
        arr.getArray()->add(e1);
        CPdfElement notStream;
        notStream.setInteger(5);
        arr.getArray()->add(notStream);  // skipped
        arr.getArray()->add(e2);
        CPdfParser p(nullptr, arr);
        std::string out;
        for (;;) {
            CPdfElement e = p.readObject();
            if (e.isEndOfInput()) break;
            out += (out.empty() ? "" : " ") + describe(e);
        }
        EXPECT_EQ(out, c.expected) << c.a << "|" << c.b;
    }
}

TEST(Parser, EmptyInputs) {
    CPdfElement none;
    none.setInteger(3);
    CPdfParser p(nullptr, none);
    EXPECT_TRUE(p.readObject().isEndOfInput());
    EXPECT_TRUE(p.readObject().isEndOfInput());
    CPdfParser q(nullptr, static_cast<CPdfStream*>(nullptr));
    EXPECT_TRUE(q.readObject().isEndOfInput());
}

TEST(Parser, DeepNestingIsRefusedWithoutRecursion) {
    // Far deeper than any stack allows if each level recursed.
    // The levels up to the limit are kept, the rest is one error, and the
    // unterminated input ends the whole object.
    const size_t kept = CPdfParser::kMaxDepth;
    std::string open(2000000, '[');
    EXPECT_EQ(parseAll(open + " 7"), std::string(kept, '[') + "Err" + std::string(kept, ']'));
    std::string dicts;
    for (int i = 0; i < 200000; ++i)
        dicts += "<</A ";
    std::string expected;
    for (size_t i = 0; i < kept; ++i)
        expected += "{A:";
    expected += "Err" + std::string(kept, '}');
    EXPECT_EQ(parseAll(dicts), expected);
}

TEST(Parser, NestingJustBeyondTheLimitKeepsTheRestInStep) {
    int depth = CPdfParser::kMaxDepth + 5;
    std::string s = std::string(depth, '[') + "1" + std::string(depth, ']') + " 7";
    std::string out = parseAll(s);
    // The outer arrays are kept, the too deep one is an error, and the number
    // after the whole structure is read normally.
    EXPECT_NE(out.find("Err"), std::string::npos);
    EXPECT_EQ(out.substr(0, 2), "[[");
    EXPECT_EQ(out.substr(out.size() - 4), " I:7");

    std::string ok = std::string(CPdfParser::kMaxDepth, '[') + std::string(CPdfParser::kMaxDepth, ']');
    EXPECT_EQ(parseAll(ok).find("Err"), std::string::npos);
}

TEST(Parser, StreamInMemory) {
    CPdfParser p(nullptr, memStream("<< /Length 5 >>\nstream\nhello\nendstream 7"));
    CPdfElement s = p.readObject();
    ASSERT_TRUE(s.isStream());
    EXPECT_EQ(pdftest::readAllBytes(s.getStream()), "hello");
    ASSERT_NE(s.getDictionary(), nullptr);
    EXPECT_EQ(s.getDictionary()->lookup("Length").getInteger(), 5);
    EXPECT_EQ(describe(p.readObject()), "I:7");
}

TEST(Parser, StreamLineEnds) {
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        CPdfParser p(nullptr, memStream(std::string("<< /Length 3 >> stream") + eol + "abc endstream"));
        CPdfElement s = p.readObject();
        ASSERT_TRUE(s.isStream());
        EXPECT_EQ(pdftest::readAllBytes(s.getStream()), "abc");
    }
}

TEST(Parser, StreamLengthZeroIsEmpty) {
    CPdfParser p(nullptr, memStream("<< /Length 0 >>\nstream\n\nendstream (after)"));
    CPdfElement s = p.readObject();
    ASSERT_TRUE(s.isStream());
    EXPECT_EQ(pdftest::readAllBytes(s.getStream()), "");
    EXPECT_EQ(describe(p.readObject()), "S:after");
}

TEST(Parser, StreamWithoutEndstreamThrows) {
    CPdfParser p(nullptr, memStream("<< /Length 2 >>\nstream\nhello\nendstream"));
    try {
        p.readObject();
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.getMessage(), "Missing 'endstream'");
    }
}

TEST(Parser, StreamLengthBeyondEndThrows) {
    CPdfParser p(nullptr, memStream("<< /Length 500 >>\nstream\nhello\nendstream"));
    EXPECT_THROW(p.readObject(), CPdfException);
}

TEST(Parser, StreamWithBadLengthIsError) {
    EXPECT_EQ(describe(CPdfParser(nullptr, memStream("<< /Length /X >>\nstream\nab\nendstream")).readObject()), "Err");
    EXPECT_EQ(describe(CPdfParser(nullptr, memStream("<< /Length -4 >>\nstream\nab\nendstream")).readObject()), "Err");
    EXPECT_EQ(describe(CPdfParser(nullptr, memStream("<< >>\nstream\nab\nendstream")).readObject()), "Err");
    // Without a table an indirect Length cannot be resolved.
    EXPECT_EQ(describe(CPdfParser(nullptr, memStream("<< /Length 3 0 R >>\nstream\nab\nendstream")).readObject()),
              "Err");
}

TEST(Parser, UnsupportedFilterIsErrorAndParsingGoesOn) {
    CPdfParser p(nullptr, memStream("<< /Length 2 /Filter /DCTDecode >>\nstream\nab\nendstream 9"));
    EXPECT_EQ(describe(p.readObject()), "Err");
    EXPECT_EQ(describe(p.readObject()), "I:9");
}

TEST(Parser, StopAtStreamGivesDictionaryAndDataPosition) {
    std::string text = "<< /Length 3 /Type /ObjStm >>\nstream\nabc\nendstream";
    CPdfParser p(nullptr, memStream(text));
    p.setStopAtStream(true);
    CPdfElement d = p.readObject();
    ASSERT_TRUE(d.isDictionary());
    EXPECT_TRUE(p.stoppedAtStream());
    EXPECT_EQ(p.getStreamDataPos(), static_cast<int64_t>(text.find("abc")));
    EXPECT_TRUE(d.getDictionary()->isType("ObjStm"));
}

TEST(Parser, LexerOperations) {
    CPdfParser p(nullptr, memStream("a b"));
    // The look-ahead has read both tokens; the rest of the input is empty.
    EXPECT_EQ(p.readChar(), -1);
    EXPECT_EQ(p.peekChar(), -1);
    CPdfParser q(nullptr, memStream("x\r\nyz"));
    // "x" and "yz" are the look-ahead tokens.
    EXPECT_EQ(describe(q.readObject()), "C:x");
    EXPECT_EQ(describe(q.readObject()), "C:yz");
}

TEST(Parser, ManyItemsAreBounded) {
    // A container is read to its end however many items it has; the items kept
    // are bounded.
    std::string s = "[";
    s.reserve(CPdfParser::kMaxItems * 2 + 100);
    for (size_t i = 0; i < CPdfParser::kMaxItems + 10; ++i)
        s += "0 ";
    s += "] 5";
    CPdfParser p(nullptr, memStream(s));
    CPdfElement a = p.readObject();
    ASSERT_TRUE(a.isArray());
    EXPECT_EQ(static_cast<size_t>(a.getArray()->getLength()), CPdfParser::kMaxItems);
    EXPECT_EQ(describe(p.readObject()), "I:5");
}

}  // namespace
