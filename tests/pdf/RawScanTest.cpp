// Where a value inside raw object text lies, found by the lexer's token rules: the
// span the parser would read for that path, whatever strings, comments, escapes and
// stray tokens come before it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/CPdfRawScan.h"

namespace {

std::vector<CPdfRawStep> Path(std::initializer_list<CPdfRawStep> steps) { return steps; }
CPdfRawStep Key(const char* k) { return CPdfRawStep{k, 0}; }
CPdfRawStep Item(int i) { return CPdfRawStep{std::string(), i}; }

}  // namespace

TEST(RawScan, LocatesValuesAsTheParserReadsThem) {
    struct Case {
        const char* name;
        std::string body;  // after "5 0 obj "
        std::vector<CPdfRawStep> path;
        std::string value;  // "" when there is none
    };
    const std::vector<Case> cases = {
        {"key", "<< /A 1 /Kids [3 0 R] >>", Path({Key("Kids")}), "[3 0 R]"},
        {"item of a key", "<< /Kids [3 0 R << /T /Page >> 4 0 R] >>", Path({Key("Kids"), Item(1)}), "<< /T /Page >>"},
        {"reference item", "<< /Kids [3 0 R << /T /Page >> 4 0 R] >>", Path({Key("Kids"), Item(2)}), "4 0 R"},
        {"signed numbers are numbers", "<< /Kids [+3 0 R << /T /Page >> +4.5] >>", Path({Key("Kids"), Item(1)}),
         "<< /T /Page >>"},
        {"array object", "[1 (a]b) << /K [] >>]", Path({Item(2)}), "<< /K [] >>"},
        {"key inside a string is no key", "<< /T (/Kids [9]) /Kids [1] >>", Path({Key("Kids")}), "[1]"},
        {"key inside a comment is no key", "<< % /Kids [9]\n /Kids [1] >>", Path({Key("Kids")}), "[1]"},
        {"nested key is not the object's", "<< /A << /Kids [9] >> /Kids [1] >>", Path({Key("Kids")}), "[1]"},
        {"first of a repeated key", "<< /Kids [1] /Kids [2] >>", Path({Key("Kids")}), "[1]"},
        {"escaped key name", "<< /K#69ds [1] >>", Path({Key("Kids")}), "[1]"},
        {"stray token in key position", "<< 7 /Kids [1] >>", Path({Key("Kids")}), "[1]"},
        {"items with comments and strings", "[(x) % c ]\n <ab> /N 2 0 R]", Path({Item(3)}), "2 0 R"},
        {"past the last item", "[1 2]", Path({Item(2)}), ""},
        {"missing key", "<< /A 1 >>", Path({Key("Kids")}), ""},
        {"index into a dictionary", "<< /A 1 >>", Path({Item(0)}), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = "5 0 obj " + c.body + "\nendobj\n";
        size_t b = 0, e = 0;
        const bool found = CPdfRawScan::LocateValue(text, c.path, b, e);
        EXPECT_EQ(found, !c.value.empty());
        if (found) {
            EXPECT_EQ(text.substr(b, e - b), c.value);
        }
    }
}

TEST(RawScan, ScanObjectStopsAtTheKeywordsTheLexerReads) {
    struct Case {
        std::string bytes;  // after "obj"
        CPdfRawScan::ObjectEnd end;
        std::string rest;  // what follows the keyword
    };
    const std::vector<Case> cases = {
        {" (endobj) endobj X", CPdfRawScan::kAtEndobj, " X"},
        {" << /S (stream) >> stream\nDATA", CPdfRawScan::kAtStream, "\nDATA"},
        {" 12 stream endobj Y", CPdfRawScan::kAtEndobj, " Y"},  // "stream" not after ">>"
        {" <</A 1>>%c\nstream\n", CPdfRawScan::kAtStream, "\n"},
        {" [/endobj <656e> endobjx] endobj", CPdfRawScan::kAtEndobj, ""},
        {" (never closed endobj", CPdfRawScan::kNoEnd, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        CPdfMemoryCursor cur(c.bytes);
        EXPECT_EQ(CPdfRawScan::ScanObject(cur), c.end);
        if (c.end != CPdfRawScan::kNoEnd) {
            EXPECT_EQ(c.bytes.substr(static_cast<size_t>(cur.pos())), c.rest);
        }
    }
}

TEST(RawScan, LocatesManyValuesInOneReading) {
    const std::string text =
        "7 0 obj\n<< /Kids [<< /Type /Page >> 3 0 R << /Kids [<< /A (x]) >>] >> << /B 1 >>]\n"
        " /Kids [9 0 R] /T (<< /Kids >>) >>\nendobj\n";
    const std::vector<std::vector<CPdfRawStep>> paths = {
        Path({Key("Kids"), Item(3)}),
        Path({Key("Kids"), Item(0)}),
        Path({Key("Kids"), Item(2), Key("Kids"), Item(0)}),
        Path({Key("Kids"), Item(1)}),
        Path({Key("Kids"), Item(4)}),  // past the end
        Path({Key("T")}),
    };
    const std::vector<std::string> want = {"<< /B 1 >>", "<< /Type /Page >>", "<< /A (x]) >>", "3 0 R",
                                           "",           "(<< /Kids >>)"};
    const std::vector<std::pair<size_t, size_t>> spans = CPdfRawScan::LocateValues(text, paths);
    ASSERT_EQ(spans.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(text.substr(spans[i].first, spans[i].second - spans[i].first), want[i]);
    }
}
