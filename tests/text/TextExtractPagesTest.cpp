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
    std::string content;  ///< one content stream (ignored when contentsEntry is set)
    int rotate;
    std::string contentsEntry;  ///< a /Contents value written as given
};

// Builds a document whose pages share the font dictionary F1 (object 3) and the
// extra objects given; page i's content stream is object 100 + i.
std::string buildDoc(const std::vector<PageDef>& pages, const std::string& font = kHelvetica,
                     const std::vector<std::pair<int, std::string>>& extra = {},
                     const std::vector<std::pair<int, std::pair<std::string, std::string>>>& streams = {}) {
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
        if (p.contentsEntry.empty()) b.addStream(static_cast<int>(100 + i), "", p.content);
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
    Doc(const std::string& data, const std::string& name) {
        path = TestPdfBuilder::writeTemp(data, name);
        doc.open(path.c_str());
    }
    ~Doc() {
        doc.close();
        std::remove(path.c_str());
    }
};

// The spaces that start pages are left out, except when all is set.
std::vector<TextChar> extract(const std::string& data, int first = 1, int last = 99999, bool all = false) {
    Doc d(data, "text.pdf");
    std::vector<TextChar> chars;
    CPdfText text;
    text.extractPages(&d.doc, first, last, chars);
    if (!all) {
        std::vector<TextChar> kept;
        for (size_t i = 0; i < chars.size(); ++i) {
            const bool pageStart = i == 0 || chars[i].page != chars[i - 1].page;
            if (!(pageStart && (chars[i].flags & kCharGenerated))) kept.push_back(chars[i]);
        }
        chars.swap(kept);
    }
    return chars;
}

std::string textOf(const std::vector<TextChar>& chars) {
    std::string s;
    for (const auto& c : chars)
        s += c.text;
    return s;
}

std::string errorOf(const std::string& data) {
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

TEST(ExtractPages, HelveticaHi) {
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

TEST(ExtractPages, PageRangeAndOrder) {
    std::string doc = buildDoc({{"BT /F1 10 Tf 10 10 Td (a) Tj ET"},
                                {"BT /F1 10 Tf 20 20 Td (b) Tj ET"},
                                {"BT /F1 10 Tf 30 30 Td (c) Tj ET"}});
    EXPECT_EQ(textOf(extract(doc)), "abc");
    auto mid = extract(doc, 2, 2);
    ASSERT_EQ(mid.size(), 1u);
    EXPECT_EQ(mid[0].page, 2);
    EXPECT_EQ(textOf(extract(doc, 2, 3)), "bc");
}

TEST(ExtractPages, PageByPageGivesTheSameRecords) {
    std::string doc = buildDoc({{"BT /F1 10 Tf 10 10 Td (ab) Tj ET"}, {"BT /F1 10 Tf 10 10 Td (cd) Tj ET"}});
    auto all = extract(doc, 1, 99999, true);
    struct Sink : TextPageSink {
        std::vector<TextChar> got;
        std::vector<int> pages;
        void pageDone(int page, std::vector<TextChar>& chars) override {
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

TEST(ExtractPages, PageByPageHandsOverTheRecordsBeforeAnError) {
    // The second page goes beyond the run's limit: the records made before stay.
    std::string doc = buildDoc({{"BT /F1 10 Tf 10 10 Td (ab) Tj ET"},
                                {"BT /F1 10 Tf 10 10 Td (cdefgh) Tj ET"},
                                {"BT /F1 10 Tf 10 10 Td (i) Tj ET"}});
    struct Sink : TextPageSink {
        std::string text;
        void pageDone(int page, std::vector<TextChar>& chars) override {
            for (const auto& c : chars)
                text += c.text;
            text += '|';
        }
    } sink;
    Doc d(doc, "sinkerr.pdf");
    CPdfText text;
    text.setCharLimitForTesting(6);
    EXPECT_THROW(text.extractPages(&d.doc, 1, 99999, sink), CPdfException);
    EXPECT_EQ(sink.text, " ab| cd|");
}

// What a page yields never depends on what was read before it: pages with the same
// layout give the same places, and so does a second run over the same page.
TEST(ExtractPages, EveryPageIsReadFresh) {
    const char* content = "BT /F1 10 Tf 100 700 Td (Hi) Tj ET";
    auto chars = extract(buildDoc({{content}, {content}, {content}}));
    ASSERT_EQ(chars.size(), 6u);
    for (size_t i = 0; i < chars.size(); ++i) {
        EXPECT_EQ(chars[i].page, static_cast<int>(i / 2 + 1));
        EXPECT_EQ(chars[i].x0, chars[i % 2].x0) << i;
    }
    EXPECT_NEAR(chars[2].x0, 100, 1e-9);
    auto again = extract(buildDoc({{content}, {content}, {content}}), 3, 3);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].x0, chars[4].x0);
}

// A page whose MediaBox comes from its parent node: an extractor used for one file
// and then another takes the box of the second file's node, in either form of the run.
TEST(ExtractPages, InheritedMediaBoxIsReadForEachFile) {
    auto docWithBox = [](const char* box, const char* content) {
        TestPdfBuilder b;
        b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.add(2, std::string("<< /Type /Pages /Kids [10 0 R] /Count 1 /MediaBox ") + box + " >>");
        b.add(3, kHelvetica);
        b.add(10, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 3 0 R >> >> /Contents 100 0 R >>");
        b.addStream(100, "", content);
        return b.build();
    };
    // The first file's page is small; the second file's text stands outside it.
    const std::string small = docWithBox("[0 0 200 200]", "BT /F1 10 Tf 100 100 Td (a) Tj ET");
    const std::string large = docWithBox("[0 0 612 792]", "BT /F1 10 Tf 400 700 Td (b) Tj ET");
    struct Sink : TextPageSink {
        std::string text;
        void pageDone(int, std::vector<TextChar>& chars) override {
            for (const auto& c : chars)
                text += c.text;
        }
    };
    for (const bool pageByPage : {false, true}) {
        SCOPED_TRACE(pageByPage ? "page by page" : "one list");
        Doc first(small, "box-small.pdf");
        Doc second(large, "box-large.pdf");
        CPdfText text;
        std::string got[2];
        CPdfDocument* docs[2] = {&first.doc, &second.doc};
        for (int i = 0; i < 2; ++i) {
            if (pageByPage) {
                Sink sink;
                text.extractPages(docs[i], 1, 99999, sink);
                got[i] = sink.text;
            } else {
                std::vector<TextChar> chars;
                text.extractPages(docs[i], 1, 99999, chars);
                got[i] = textOf(chars);
            }
        }
        EXPECT_EQ(got[0], " a");
        EXPECT_EQ(got[1], " b");
    }
}

TEST(ExtractPages, RotationDoesNotChangeBoxes) {
    const char* content = "BT /F1 10 Tf 100 700 Td (Hi) Tj 0 -20 Td (Hi) Tj ET";
    std::vector<PageDef> pages;
    for (int r : {0, 90, 180, 270, -90, 450})
        pages.push_back({content, r});
    auto chars = extract(buildDoc(pages));
    ASSERT_EQ(chars.size(), 30u);  // "Hi Hi" on each page
    for (size_t i = 0; i < chars.size(); ++i) {
        const TextChar& ref = chars[i % 5];
        EXPECT_EQ(chars[i].x0, ref.x0) << i;
        EXPECT_EQ(chars[i].y0, ref.y0) << i;
        EXPECT_EQ(chars[i].x1, ref.x1) << i;
        EXPECT_EQ(chars[i].y1, ref.y1) << i;
        EXPECT_EQ(chars[i].angle, 0);
    }
    EXPECT_NEAR(chars[13].x0, 100, 1e-9);
    EXPECT_NEAR(chars[13].y0, 680, 1e-9);
}

TEST(ExtractPages, ContentArrayIsOneSequence) {
    std::string doc = buildDoc({{"", 0, "[20 0 R 21 0 R]"}}, kHelvetica, {},
                               {{20, {"", "BT /F1 10 Tf 100 700 Td (H"}}, {21, {"", "i) Tj (x) Tj ET"}}});
    EXPECT_EQ(textOf(extract(doc)), "Hix");
}

TEST(ExtractPages, MissingContentsGiveNoText) { EXPECT_TRUE(extract(buildDoc({{"", 0, "null"}})).empty()); }

// Contents that cannot be read give no text and take nothing else with them: the
// other elements of the page and the later pages are read.
TEST(ExtractPages, UnreadableContentsAreLeftOut) {
    struct Case {
        const char* contents;
        const char* text;
    } cases[] = {
        {"20 0 R", ""},                      // a dictionary
        {"21 0 R", ""},                      // a number
        {"[200 0 R 20 0 R 201 0 R]", "ab"},  // an element that is no stream
        {"[200 0 R 77 0 R 201 0 R]", "ab"},  // a missing object
        {"[200 0 R 22 0 R 201 0 R]", "ab"},  // a stream that cannot be decoded
    };
    for (const auto& c : cases) {
        std::string doc = buildDoc({{"", 0, c.contents}, {"BT /F1 10 Tf 10 10 Td (z) Tj ET"}}, kHelvetica,
                                   {{20, "<< /Foo 1 >>"}, {21, "42"}},
                                   {{200, {"", "BT /F1 10 Tf 100 700 Td (a) Tj ET"}},
                                    {201, {"", "BT /F1 10 Tf 100 680 Td (b) Tj ET"}},
                                    {22, {"/Filter /FlateDecode", "not flate data at all"}}});
        SCOPED_TRACE(c.contents);
        EXPECT_EQ(errorOf(doc), "");
        std::string text;
        for (const TextChar& ch : extract(doc))
            if (ch.text != ' ') text += ch.text;
        EXPECT_EQ(text, std::string(c.text) + "z");
    }
}

TEST(ExtractPages, SharedContentCannotGrowWithoutBound) {
    // Every page shows the same stream; the run stops at its character limit.
    std::vector<PageDef> pages;
    for (int i = 0; i < 50; ++i)
        pages.push_back({"", 0, "500 0 R"});
    std::string doc = buildDoc(pages, kHelvetica, {}, {{500, {"", "BT /F1 10 Tf 10 10 Td (0123456789) Tj ET"}}});
    Doc d(doc, "shared.pdf");
    std::vector<TextChar> chars;
    CPdfText text;
    text.extractPages(&d.doc, 1, 99999, chars);
    EXPECT_EQ(chars.size(), 550u);  // each page starts with its space
    chars.clear();
    text.setCharLimitForTesting(225);
    EXPECT_THROW(text.extractPages(&d.doc, 1, 99999, chars), CPdfException);
    EXPECT_EQ(chars.size(), 225u);
}

// The limits grow with the file: four characters and 64 content bytes per byte of the
// file, with floors for small files and a ceiling for characters.
// A glyph wholly outside the page's MediaBox gives no record, whether the string is
// shown at once or glyph by glyph; the glyphs on the page keep their places.
TEST(ExtractPages, GlyphsOffThePageGiveNoRecord) {
    struct Case {
        const char* start;  // positioning after the font is chosen
        const char* text;
        const char* expected;  // the page's text
    };
    // Helvetica x is 0.5 em: 5 units at size 10. The page runs from 0 to 612 across.
    const Case cases[] = {
        {"590 700 Td", "xxxxxxxx", "xxxxx"},         // the last starts at 610, ends past 612
        {"-20 700 Td", "xxxxxx", "xxx"},             // the first to reach 0 ends at 0
        {"100 -20 Td", "xxxx", ""},                  // below the page
        {"100 -5 Td", "xxxx", "xxxx"},               // reaching into it from below
        {"100 800 Td", "xxxx", ""},                  // above it
        {"0 1 -1 0 300 780 Tm", "xxxxxxxx", "xxx"},  // up the page and off its top
        {"590 700 Td 2 Tc", "xxxxxxxx", "x x x x"},  // spaced letters: the last at 611
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " " + c.text);
        const std::string head = std::string("BT /F1 10 Tf ") + c.start + " ";
        std::string each;
        for (const char* p = c.text; *p; ++p)
            each += std::string("(") + *p + ") Tj ";
        const auto whole = extract(buildDoc({PageDef((head + "(" + c.text + ") Tj ET").c_str())}));
        const auto single = extract(buildDoc({PageDef((head + each + "ET").c_str())}));
        EXPECT_EQ(textOf(whole), c.expected);
        ASSERT_EQ(whole.size(), single.size());
        for (size_t i = 0; i < whole.size(); ++i) {
            EXPECT_EQ(whole[i].text, single[i].text);
            EXPECT_EQ(whole[i].flags, single[i].flags);
            EXPECT_NEAR(whole[i].x0, single[i].x0, 1e-9);
            EXPECT_NEAR(whole[i].y0, single[i].y0, 1e-9);
            EXPECT_NEAR(whole[i].x1, single[i].x1, 1e-9);
            EXPECT_NEAR(whole[i].y1, single[i].y1, 1e-9);
        }
    }
    // Off the right edge and back onto the page: a line of its own.
    const auto back = extract(buildDoc({{"BT /F1 10 Tf 590 700 Td [(xxxxxxxx) 12000 (yy)] TJ ET"}}));
    EXPECT_EQ(textOf(back), "xxxxx yy");
    ASSERT_EQ(back.size(), 8u);
    EXPECT_NEAR(back[6].x0, 630 - 120, 1e-9);
    EXPECT_EQ(back[5].flags, kCharLineStart | kCharGenerated);
}

TEST(ExtractPages, RunLimitsFollowTheFileSize) {
    struct Case {
        int64_t size;
        size_t chars;
        uint64_t content;
    } cases[] = {
        {0, size_t(1) << 22, uint64_t(256) << 20},
        {60000, size_t(1) << 22, uint64_t(256) << 20},
        {1000000, 64000000, 1024000000},
        {10000000, 640000000, 10240000000ull},
        {100000000, size_t(1) << 30, 102400000000ull},
        {int64_t(1) << 60, size_t(1) << 30, ~uint64_t(0)},  // no overflow
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CPdfText::charLimitFor(c.size), c.chars) << c.size;
        EXPECT_EQ(CPdfText::contentLimitFor(c.size), c.content) << c.size;
    }
}

// A page may make at most so many records (memory); other pages go on counting from
// nothing. The records before the limit stay.
TEST(ExtractPages, PageLimitBoundsEachPage) {
    const std::string doc = buildDoc({{"BT /F1 1 Tf 10 10 Td (0123456789) Tj ET"},
                                      {"BT /F1 1 Tf 10 10 Td (0123456789) Tj ET"},
                                      {"BT /F1 1 Tf 10 10 Td (0123456789012345) Tj ET"}});
    Doc d(doc, "pagelimit.pdf");
    for (size_t limit : {11u, 12u, 16u}) {
        SCOPED_TRACE(limit);
        CPdfText text;
        text.setPageCharLimitForTesting(limit);
        std::vector<TextChar> chars;
        // Each page: its leading space and its digits.
        EXPECT_THROW(text.extractPages(&d.doc, 1, 99999, chars), CPdfException);
        EXPECT_EQ(chars.size(), 22 + limit);
        EXPECT_EQ(chars.back().page, 3);
    }
    CPdfText text;
    text.setPageCharLimitForTesting(17);
    std::vector<TextChar> chars;
    text.extractPages(&d.doc, 1, 99999, chars);
    EXPECT_EQ(chars.size(), 39u);
}

namespace {

// Pages drawing forms: the pages' resources name the forms given.
std::string formDoc(const std::vector<std::string>& pageContents, const std::vector<std::string>& pageXObjects,
                    const std::vector<std::pair<int, std::pair<std::string, std::string>>>& streams) {
    TestPdfBuilder b;
    std::string kids;
    for (size_t i = 0; i < pageContents.size(); ++i)
        kids += std::to_string(10 + i) + " 0 R ";
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pageContents.size()) + " >>");
    b.add(3, kHelvetica);
    for (size_t i = 0; i < pageContents.size(); ++i) {
        b.add(static_cast<int>(10 + i),
              "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font "
              "<< /F1 3 0 R >> /XObject << " +
                  pageXObjects[i] + " >> >> /Contents " + std::to_string(100 + i) + " 0 R >>");
        b.addStream(static_cast<int>(100 + i), "", pageContents[i]);
    }
    for (const auto& st : streams)
        b.addStream(st.first, st.second.first, st.second.second);
    return b.build();
}

const char* kForm = "/Type /XObject /Subtype /Form /BBox [0 0 612 792]";

}  // namespace

// A form that shows no text is read once however often it is drawn: a page drawing
// such a form a thousand times stays within a content budget it would pass forty times
// over; a form of text drawn as often counts each time.
TEST(ExtractPages, FormsWithoutTextAreReadOnce) {
    std::string paths;
    for (int i = 0; i < 200; ++i)
        paths += std::to_string(i) + " 0 m " + std::to_string(i) + " 700 l S\n";  // about 4 KB
    std::string draws;
    for (int i = 0; i < 1000; ++i)
        draws += "/P Do ";
    const std::string form = std::string(kForm) + " /Resources << >>";
    struct Case {
        std::string formContent;
        bool fails;
    } cases[] = {
        {paths, false},
        {paths + "BT ET", false},                           // a text object without text
        {paths + "BT /F1 10 Tf 10 10 Td (x) Tj ET", true},  // text, even without a font there
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.formContent.substr(c.formContent.size() - 20));
        Doc d(formDoc({draws + "BT /F1 10 Tf 100 100 Td (end) Tj ET"}, {"/P 500 0 R"}, {{500, {form, c.formContent}}}),
              "textless.pdf");
        CPdfText text;
        text.setContentLimitForTesting(100000);
        std::vector<TextChar> chars;
        if (c.fails) {
            EXPECT_THROW(text.extractPages(&d.doc, 1, 99999, chars), CPdfException);
        } else {
            text.extractPages(&d.doc, 1, 99999, chars);
            EXPECT_EQ(textOf(chars), " end");
        }
    }
}

// A form that showed nothing may show text when drawn elsewhere, and is then read
// again: when it looks its XObjects up in the resources of what draws it, and when a
// form it draws was left out for depth.
TEST(ExtractPages, FormsThatMayShowTextElsewhereAreReadAgain) {
    // Form 500 has no resources of its own: /X is an image on page 1 and a form of text
    // on page 2.
    const std::string inherited = formDoc(
        {"/A Do", "/A Do"}, {"/A 500 0 R /X 501 0 R", "/A 500 0 R /X 502 0 R"},
        {{500, {kForm, "/X Do"}},
         {501,
          {"/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
           "/BitsPerComponent 8",
           "\x80"}},
         {502, {std::string(kForm) + " /Resources << /Font << /F1 3 0 R >> >>", "BT /F1 10 Tf 10 10 Td (two) Tj ET"}}});
    EXPECT_EQ(textOf(extract(inherited)), "two");
    // Forms 600..616 draw one another; 616 shows text. From page 1 the chain is cut
    // before 616 (depth), so 615 shows nothing there; page 2 draws 615 directly.
    std::vector<std::pair<int, std::pair<std::string, std::string>>> chain;
    for (int k = 600; k < 616; ++k)
        chain.push_back(
            {k,
             {std::string(kForm) + " /Resources << /XObject << /N " + std::to_string(k + 1) + " 0 R >> >>", "/N Do"}});
    chain.push_back(
        {616, {std::string(kForm) + " /Resources << /Font << /F1 3 0 R >> >>", "BT /F1 10 Tf 10 10 Td (deep) Tj ET"}});
    const auto deep = extract(formDoc({"/F Do", "/G Do"}, {"/F 600 0 R", "/G 615 0 R"}, chain));
    EXPECT_EQ(textOf(deep), "deep");
    ASSERT_FALSE(deep.empty());
    EXPECT_EQ(deep[0].page, 2);
}

const char* kToUnicode =
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "1 begincodespacerange <00> <FF> endcodespacerange\n"
    "6 beginbfchar <92> <2019> <20> <0041> <0C> <00660069> <43> <0443> <01> <0000> <02> <E001> endbfchar\n"
    "endcmap CMapName currentdict /CMap defineresource pop end end\n";

struct FontByteCase {
    const char* font;
    const char* content;
    const char* expected;
};

class RealFontBytes : public ::testing::TestWithParam<FontByteCase> {};

TEST_P(RealFontBytes, Match) {
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
                     "BT /F1 10 Tf 1 1 Td (\\222) Tj ET", "\x92"},
        // Helvetica's StandardEncoding names code 0x27 quoteright.
        FontByteCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", "BT /F1 10 Tf 1 1 Td (') Tj ET", "\x92"},
        // A ligature in ToUnicode, a Cyrillic letter over code C, values that say
        // nothing (the glyph name is used instead).
        FontByteCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Differences [1 /a /b] >> "
                     "/ToUnicode 30 0 R >>",
                     "BT /F1 10 Tf 1 1 Td (\014le C\001\002) Tj ET",
                     "fileA\x81"
                     "ab"},
        // TeX's encoding below 128: quotes, dashes and ligatures by glyph name; names
        // in the uni and underscore forms; a name nobody knows keeps the code.
        FontByteCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding << /Differences "
                     "[11 /ff /fi /fl /ffi /ffl 34 /quotedblright 92 /quotedblleft 96 /quoteleft 123 /endash "
                     "/emdash 1 /uni00E9 /f_f_l /Gamma 77 /g77] >> >>",
                     "BT /F1 10 Tf 1 1 Td (\013\014\015\016\017 \\\\x\" `{| \001\002\003M) Tj ET",
                     "fffiflffiffl \x93x\x94 \x91\x96\x97 \xE9"
                     "ffl\x81M"},
        FontByteCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 30 0 R >>",
                     "BT /F1 10 Tf 1 1 Td (x y) Tj ET", "xAy"}));

TEST(ExtractPages, TypeZeroFontWithoutCMapGivesZeroBytes) {
    std::string font =
        "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /UnknownCMap /DescendantFonts [40 0 R] >>";
    std::string doc = buildDoc({{"BT /F1 10 Tf 100 700 Td (wxyz) Tj ET"}}, font,
                               {{40,
                                 "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Foo /CIDSystemInfo "
                                 "<< /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 500 >>"}});
    auto chars = extract(doc);
    ASSERT_EQ(chars.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(chars[i].text, 0) << i;
        EXPECT_NEAR(chars[i].x0, 100 + 5 * i, 1e-9);
    }
}

}  // namespace
