// Whole-document extraction: page contents, real fonts, rotation, page ranges and errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "tests/pdf/TestPdfBuilder.h"
#include "text/CPdfText.h"

namespace {

const char* kHelvetica = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";

struct PageDef {
    PageDef(const char* c, int r = 0, const char* entry = "") : content(c), rotate(r), contentsEntry(entry) {}
    std::string content;        ///< one content stream (ignored when contentsEntry is set)
    int rotate;
    std::string contentsEntry;  ///< a /Contents value written as given
};

// Builds a document whose pages share the font dictionary F1 (object 3) and the
// extra objects given; page i's content stream is object 100 + i.
std::string buildDoc(const std::vector<PageDef>& pages, const std::string& font = kHelvetica,
                     const std::vector<std::pair<int, std::string>>& extra = {},
                     const std::vector<std::pair<int, std::pair<std::string, std::string>>>& streams = {})
{
    TestPdfBuilder b;
    std::string kids;
    for (size_t i = 0; i < pages.size(); ++i)
        kids += std::to_string(10 + i) + " 0 R ";
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
    b.add(3, font);
    for (size_t i = 0; i < pages.size(); ++i) {
        const PageDef& p = pages[i];
        std::string contents = p.contentsEntry.empty() ? std::to_string(100 + i) + " 0 R" : p.contentsEntry;
        b.add(static_cast<int>(10 + i), "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate " +
                                            std::to_string(p.rotate) +
                                            " /Resources << /Font << /F1 3 0 R >> >> /Contents " + contents + " >>");
        if (p.contentsEntry.empty())
            b.addStream(static_cast<int>(100 + i), "", p.content);
    }
    for (const auto& e : extra)
        b.add(e.first, e.second);
    for (const auto& s : streams)
        b.addStream(s.first, s.second.first, s.second.second);
    return b.build();
}

struct Doc {
    std::string path;
    CPdfDocument doc;
    Doc(const std::string& data, const std::string& name)
    {
        path = TestPdfBuilder::writeTemp(data, name);
        doc.open(path.c_str());
    }
    ~Doc()
    {
        doc.close();
        std::remove(path.c_str());
    }
};

std::vector<TextChar> extract(const std::string& data, int first = 1, int last = 99999)
{
    Doc d(data, "text.pdf");
    std::vector<TextChar> chars;
    CPdfText text;
    text.extractPages(&d.doc, first, last, chars);
    return chars;
}

std::string textOf(const std::vector<TextChar>& chars)
{
    std::string s;
    for (const auto& c : chars)
        s += c.text;
    return s;
}

std::string errorOf(const std::string& data)
{
    Doc d(data, "err.pdf");
    std::vector<TextChar> chars;
    CPdfText text;
    try {
        text.extractPages(&d.doc, 1, 99999, chars);
    } catch (const CPdfException& e) {
        return e.getMessage();
    }
    return "";
}

TEST(ExtractPages, HelveticaHi)
{
    auto chars = extract(buildDoc({{"BT /F1 12 Tf 100 700 Td (Hi) Tj ET"}}));
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_NEAR(chars[0].x0, 100, 1e-9);
    EXPECT_NEAR(chars[0].y0, 700, 1e-9);
    EXPECT_NEAR(chars[0].x1, 108.664, 1e-9);
    EXPECT_NEAR(chars[0].y1, 712, 1e-9);
    EXPECT_NEAR(chars[1].x0, 108.664, 1e-9);
    EXPECT_NEAR(chars[1].x1, 111.328, 1e-9);
    EXPECT_EQ(textOf(chars), "Hi");
    EXPECT_EQ(chars[0].page, 1);
}

TEST(ExtractPages, PageRangeAndOrder)
{
    std::string doc = buildDoc({{"BT /F1 10 Tf 10 10 Td (a) Tj ET"},
                                {"BT /F1 10 Tf 20 20 Td (b) Tj ET"},
                                {"BT /F1 10 Tf 30 30 Td (c) Tj ET"}});
    EXPECT_EQ(textOf(extract(doc)), "abc");
    auto mid = extract(doc, 2, 2);
    ASSERT_EQ(mid.size(), 1u);
    EXPECT_EQ(mid[0].page, 2);
    EXPECT_EQ(textOf(extract(doc, 2, 3)), "bc");
}

TEST(ExtractPages, PageByPageGivesTheSameRecords)
{
    std::string doc = buildDoc({{"BT /F1 10 Tf 10 10 Td (ab) Tj ET"}, {"BT /F1 10 Tf 10 10 Td (cd) Tj ET"}});
    auto all = extract(doc);
    struct Sink : TextPageSink {
        std::vector<TextChar> got;
        std::vector<int> pages;
        void pageDone(int page, std::vector<TextChar>& chars) override
        {
            pages.push_back(page);
            got.insert(got.end(), chars.begin(), chars.end());
        }
    } sink;
    Doc d(doc, "sink.pdf");
    CPdfText text;
    text.extractPages(&d.doc, 1, 99999, sink);
    ASSERT_EQ(sink.got.size(), all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(sink.got[i].x0, all[i].x0);
        EXPECT_EQ(sink.got[i].page, all[i].page);
        EXPECT_EQ(sink.got[i].text, all[i].text);
    }
    EXPECT_EQ(sink.pages, (std::vector<int>{1, 2}));
}

TEST(ExtractPages, PageByPageHandsOverTheRecordsBeforeAnError)
{
    std::string doc = buildDoc({{"BT /F1 10 Tf 10 10 Td (ab) Tj ET"},
                                {"BT /F1 10 Tf 10 10 Td (c) Tj ET << /Length 3 >> stream\nabcdef garbage"},
                                {"BT /F1 10 Tf 10 10 Td (d) Tj ET"}});
    struct Sink : TextPageSink {
        std::string text;
        void pageDone(int page, std::vector<TextChar>& chars) override
        {
            for (const auto& c : chars)
                text += c.text;
            text += '|';
        }
    } sink;
    Doc d(doc, "sinkerr.pdf");
    CPdfText text;
    try {
        text.extractPages(&d.doc, 1, 99999, sink);
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.getMessage(), "Document parse error\n");
    }
    EXPECT_EQ(sink.text, "ab|c|");
}

TEST(ExtractPages, TrackerCarriesAcrossPages)
{
    // The second page starts at the rounded origin where the first ended, so its first
    // character continues the first page's advance.
    auto chars = extract(buildDoc({{"BT /F1 10 Tf 100 700 Td (H) Tj ET"}, {"BT /F1 10 Tf 100.5 700.2 Td (i) Tj ET"}}));
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[1].page, 2);
    EXPECT_NEAR(chars[1].x0, 107.22, 1e-9);
}

TEST(ExtractPages, RotationDoesNotChangeBoxes)
{
    const char* content = "BT /F1 10 Tf 100 700 Td (Hi) Tj 0 -20 Td (Hi) Tj ET";
    std::vector<PageDef> pages;
    for (int r : {0, 90, 180, 270, -90, 450})
        pages.push_back({content, r});
    auto chars = extract(buildDoc(pages));
    ASSERT_EQ(chars.size(), 24u);
    for (size_t i = 0; i < chars.size(); ++i) {
        const TextChar& ref = chars[i % 4];
        EXPECT_EQ(chars[i].x0, ref.x0) << i;
        EXPECT_EQ(chars[i].y0, ref.y0) << i;
        EXPECT_EQ(chars[i].x1, ref.x1) << i;
        EXPECT_EQ(chars[i].y1, ref.y1) << i;
        EXPECT_EQ(chars[i].angle, 0);
    }
    // The line tracker restarts on each new line on rotated pages as well.
    EXPECT_NEAR(chars[10].x0, 100, 1e-9);
    EXPECT_NEAR(chars[10].y0, 680, 1e-9);
}

TEST(ExtractPages, ContentArrayIsOneSequence)
{
    std::string doc = buildDoc({{"", 0, "[20 0 R 21 0 R]"}}, kHelvetica, {},
                               {{20, {"", "BT /F1 10 Tf 100 700 Td (H"}}, {21, {"", "i) Tj (x) Tj ET"}}});
    EXPECT_EQ(textOf(extract(doc)), "Hix");
}

TEST(ExtractPages, MissingContentsGiveNoText)
{
    EXPECT_TRUE(extract(buildDoc({{"", 0, "null"}})).empty());
}

TEST(ExtractPages, WeirdContents)
{
    struct Case {
        const char* contents;
    } cases[] = {{"20 0 R"}, {"[100 0 R 20 0 R]"}, {"21 0 R"}};
    for (const auto& c : cases) {
        std::string doc = buildDoc({{"", 0, c.contents}}, kHelvetica, {{20, "<< /Foo 1 >>"}, {21, "42"}},
                                   {{100, {"", "BT ET"}}});
        EXPECT_EQ(errorOf(doc), "\nWeird page contents\n") << c.contents;
    }
}

TEST(ExtractPages, LaterPagesAreNotReadAfterAnError)
{
    Doc d(buildDoc({{"BT /F1 10 Tf 10 10 Td (a) Tj ET"}, {"", 0, "20 0 R"}, {"BT /F1 10 Tf 10 10 Td (c) Tj ET"}},
                   kHelvetica, {{20, "<< >>"}}),
          "later.pdf");
    std::vector<TextChar> chars;
    CPdfText text;
    EXPECT_THROW(text.extractPages(&d.doc, 1, 99999, chars), CPdfException);
    EXPECT_EQ(textOf(chars), "a");
    // The extractor can be used again afterwards.
    chars.clear();
    text.extractPages(&d.doc, 3, 3, chars);
    EXPECT_EQ(textOf(chars), "c");
}

TEST(ExtractPages, SharedContentCannotGrowWithoutBound)
{
    // Every page shows the same stream; the run stops at its character limit.
    std::vector<PageDef> pages;
    for (int i = 0; i < 50; ++i)
        pages.push_back({"", 0, "500 0 R"});
    std::string doc = buildDoc(pages, kHelvetica, {}, {{500, {"", "BT /F1 10 Tf 10 10 Td (0123456789) Tj ET"}}});
    Doc d(doc, "shared.pdf");
    std::vector<TextChar> chars;
    CPdfText text;
    text.extractPages(&d.doc, 1, 99999, chars);
    EXPECT_EQ(chars.size(), 500u);
    chars.clear();
    text.setCharLimitForTesting(205);
    try {
        text.extractPages(&d.doc, 1, 99999, chars);
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.getMessage(), "Damage contents stream");
    }
    EXPECT_EQ(chars.size(), 200u);
}

const char* kToUnicode =
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "1 begincodespacerange <00> <FF> endcodespacerange\n"
    "2 beginbfchar <92> <2019> <20> <0041> endbfchar\n"
    "endcmap CMapName currentdict /CMap defineresource pop end end\n";

struct FontByteCase {
    const char* font;
    const char* content;
    const char* expected;
};

class RealFontBytes : public ::testing::TestWithParam<FontByteCase> {};

TEST_P(RealFontBytes, Match)
{
    const FontByteCase& c = GetParam();
    std::string doc = buildDoc({{c.content}}, c.font, {}, {{30, {"", kToUnicode}}});
    EXPECT_EQ(textOf(extract(doc)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, RealFontBytes,
    ::testing::Values(
        FontByteCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /MacRomanEncoding >>",
                     "BT /F1 10 Tf 1 1 Td (\\325\\216) Tj ET", "\x92\xE9"},
        FontByteCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding "
                     "/ToUnicode 30 0 R >>",
                     "BT /F1 10 Tf 1 1 Td (\\222) Tj ET", "\x19"},
        FontByteCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", "BT /F1 10 Tf 1 1 Td (') Tj ET",
                     "'"},
        FontByteCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 30 0 R >>",
                     "BT /F1 10 Tf 1 1 Td (x y) Tj ET", "xAy"}));

TEST(ExtractPages, TypeZeroFontWithoutCMapGivesZeroBytes)
{
    std::string font =
        "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /UnknownCMap /DescendantFonts [40 0 R] >>";
    std::string doc = buildDoc({{"BT /F1 10 Tf 100 700 Td (wxyz) Tj ET"}}, font,
                               {{40, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Foo /CIDSystemInfo "
                                     "<< /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 500 >>"}});
    auto chars = extract(doc);
    ASSERT_EQ(chars.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(chars[i].text, 0) << i;
        EXPECT_NEAR(chars[i].x0, 100 + 5 * i, 1e-9);
    }
}

}  // namespace
