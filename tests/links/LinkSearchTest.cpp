// The searches, the web-address scan, the selections and the report lines, driven by
// hand-made character lists.
#include "links/LinkSearch.h"
#include "pdf/CPdfException.h"
#include "tests/links/WholeListSearch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using LinkSearch::WindowFind;

namespace {

// Appends text as characters of one line: each 6 units wide and 10 high.
void AddLine(std::vector<TextChar>& chars, const std::string& text, int page, double x, double y, double w = 6) {
    for (size_t i = 0; i < text.size(); ++i) {
        TextChar c{};
        c.x0 = x + static_cast<double>(i) * w;
        c.y0 = y;
        c.x1 = c.x0 + w;
        c.y1 = y + 10;
        c.page = page;
        c.text = text[i];
        c.angle = 0;
        c.flags = i == 0 ? kCharLineStart : 0;
        chars.push_back(c);
    }
}

std::vector<WindowFind> FindAll(const std::vector<TextChar>& chars, const std::string& text) {
    std::vector<WindowFind> finds;
    LinkSearch::WindowSearch(chars, LinkSearch::CharBytes(chars), text, [&](const WindowFind& f) {
        finds.push_back(f);
        return true;
    });
    return finds;
}

// The window algorithm exactly as described for the program, used as the reference.
std::vector<WindowFind> ReferenceWindow(const std::vector<TextChar>& chars, const std::string& t) {
    std::vector<WindowFind> out;
    auto add = [&out](size_t first, size_t last, int32_t page, bool isFinal) {
        WindowFind f;
        f.first = first;
        f.last = last;
        f.page = page;
        f.isFinal = isFinal;
        out.push_back(f);
    };
    if (chars.empty()) return out;
    std::string w(1, chars[0].text);
    size_t s = 0;
    int32_t page = chars[0].page;
    for (size_t i = 1; i < chars.size(); ++i) {
        if (w.size() != t.size()) {
            w.push_back(chars[i].text);
        } else {
            if (w == t) add(s, i - 1, page, false);
            w.erase(0, 1);
            ++s;
            w.push_back(chars[i].text);
            page = chars[i].page;
        }
    }
    if (w == t) add(s, chars.size() - 1, page, true);
    return out;
}

std::string Capture(const std::function<void()>& run) {
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(WindowSearch, TwoLetterTextTwiceOnAPage) {
    std::vector<TextChar> chars;
    AddLine(chars, "go to go", 1, 100, 700);
    auto finds = FindAll(chars, "go");
    ASSERT_EQ(finds.size(), 2u);
    EXPECT_EQ(finds[0].first, 0u);
    EXPECT_EQ(finds[0].last, 1u);
    EXPECT_EQ(finds[1].first, 6u);
    EXPECT_EQ(finds[1].last, 7u);
    EXPECT_FALSE(finds[0].isFinal);
    EXPECT_TRUE(finds[1].isFinal);
    FoundLink link = LinkSearch::MakeFoundLink(finds[1], "L");
    EXPECT_DOUBLE_EQ(link.x1, 136);
    EXPECT_DOUBLE_EQ(link.y1, 700);
    EXPECT_DOUBLE_EQ(link.x2, 148);
    EXPECT_DOUBLE_EQ(link.y2, 710);
}

TEST(WindowSearch, OverlappingFinds) {
    std::vector<TextChar> chars;
    AddLine(chars, "xaaaax", 1, 0, 0);
    auto finds = FindAll(chars, "aa");
    ASSERT_EQ(finds.size(), 3u);
    EXPECT_EQ(finds[0].first, 1u);
    EXPECT_EQ(finds[1].first, 2u);
    EXPECT_EQ(finds[2].first, 3u);
}

TEST(WindowSearch, CaseAndSpacesCount) {
    std::vector<TextChar> chars;
    AddLine(chars, "Click here", 1, 0, 0);
    EXPECT_TRUE(FindAll(chars, "click").empty());
    EXPECT_EQ(FindAll(chars, "Click").size(), 1u);
    EXPECT_TRUE(FindAll(chars, "Clickhere").empty());
    EXPECT_EQ(FindAll(chars, "k h").size(), 1u);
}

TEST(WindowSearch, EmptyTextAndEmptyRangeFindNothing) {
    std::vector<TextChar> chars;
    EXPECT_TRUE(FindAll(chars, "a").empty());
    AddLine(chars, "abc", 1, 0, 0);
    EXPECT_TRUE(FindAll(chars, "").empty());
    EXPECT_TRUE(FindAll(chars, "abcd").empty());
}

TEST(WindowSearch, CharacterWithoutTextNeverMatches) {
    std::vector<TextChar> chars;
    AddLine(chars, std::string("ab\0ab", 5), 1, 0, 0);
    EXPECT_EQ(FindAll(chars, "ab").size(), 2u);
    EXPECT_TRUE(FindAll(chars, "ba").empty());                     // the 0 byte sits between them
    EXPECT_EQ(FindAll(chars, std::string("b\0a", 3)).size(), 2u);  // the text ends at its 0 byte: "b"
}

TEST(WindowSearch, SameFindsAndPagesAsTheWindowAlgorithm) {
    // Cross-page finds, overlapping finds, the first window and the final window.
    const std::vector<std::pair<std::vector<std::pair<std::string, int>>, std::string>> cases = {
        {{{"abab", 1}, {"ab", 2}}, "ab"},        {{{"aaa", 1}, {"aaa", 2}, {"a", 3}}, "aa"},
        {{{"xy", 1}, {"zx", 2}}, "yz"},          {{{"abc", 4}}, "abc"},
        {{{"a", 1}, {"b", 2}, {"c", 3}}, "abc"}, {{{"q", 1}, {"q", 2}, {"q", 3}}, "q"},
        {{{"hello", 1}, {" world", 2}}, "o w"},  {{{"abcabcab", 1}, {"cab", 2}}, "cab"},
    };
    for (const auto& c : cases) {
        std::vector<TextChar> chars;
        for (const auto& part : c.first)
            AddLine(chars, part.first, part.second, 0, 0);
        auto got = FindAll(chars, c.second);
        auto want = ReferenceWindow(chars, c.second);
        ASSERT_EQ(got.size(), want.size()) << c.second;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].first, want[i].first) << c.second << " #" << i;
            EXPECT_EQ(got[i].last, want[i].last) << c.second << " #" << i;
            EXPECT_EQ(got[i].page, want[i].page) << c.second << " #" << i;
            EXPECT_EQ(got[i].isFinal, want[i].isFinal) << c.second << " #" << i;
        }
    }
}

TEST(WindowSearch, WindowPageRule) {
    std::vector<TextChar> chars;
    AddLine(chars, "ab", 1, 0, 0);
    AddLine(chars, "cab", 2, 0, 0);
    auto finds = FindAll(chars, "bc");  // starts on page 1, ends on page 2
    ASSERT_EQ(finds.size(), 1u);
    EXPECT_EQ(finds[0].page, 2);
    FoundLink link = LinkSearch::MakeFoundLink(finds[0], "t");
    EXPECT_EQ(link.page, 1);  // a found link takes the page of its first character
    finds = FindAll(chars, "ab");
    ASSERT_EQ(finds.size(), 2u);
    EXPECT_EQ(finds[0].page, 1);
}

TEST(TextSearch, MessagesAndTargets) {
    std::vector<TextChar> chars;
    AddLine(chars, "go go", 1, 0, 0);
    std::vector<FoundLink> found;
    std::string out =
        Capture([&] { LinkSearch::SearchText(chars, LinkSearch::CharBytes(chars), "go", "https://x.org/", found); });
    EXPECT_EQ(out,
              "1Matched text: go - link: 'https://x.org/'..\n"
              "1Matched text: go - link: 'https://x.org/'...\n");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].target, "https://x.org/");
}

// The text-file and link-file searches keep every page, and every search keeps its
// found links: both are bounded by memory (512 MB below 1 MiB of input together with
// the page being read), more for larger inputs.
TEST(TextFile, KeptCharactersAreBounded) {
    const struct {
        int64_t size;
        size_t limit;
    } limits[] = {
        {0, 6u << 20},
        {200000, 6u << 20},
        {1 << 20, 6u << 20},
        {(1 << 20) + 1000, (6u << 20) + 32000},
        {4 << 20, (6u << 20) + (size_t(3) << 20) * 32},
        {20 << 20, size_t(1) << 28},
        {int64_t(1) << 40, size_t(1) << 28},
    };
    for (const auto& l : limits)
        EXPECT_EQ(LinkSearch::KeptCharLimit(l.size), l.limit) << l.size;
    // Kept characters and found links of an input below 1 MiB stay below 512 MB, with
    // the found-link list growing by doubling.
    EXPECT_LT(LinkSearch::KeptCharLimit(999999) * (sizeof(TextChar) + 1) +
                  LinkSearch::FoundLinkLimit(999999) * 3 * sizeof(FoundLink),
              size_t(500) << 20);

    const struct {
        int64_t size;
        size_t limit;
    } found[] = {
        {0, 1u << 20},
        {900000, 1u << 20},
        {(1 << 20) + 1000, (1u << 20) + 16000},
        {int64_t(1) << 40, size_t(1) << 27},
    };
    for (const auto& l : found)
        EXPECT_EQ(LinkSearch::FoundLinkLimit(l.size), l.limit) << l.size;
    std::vector<FoundLink> links(3);
    LinkSearch::CheckFoundLinks(links, 3);
    EXPECT_THROW(LinkSearch::CheckFoundLinks(links, 2), CPdfException);

    LinkSearch::CharPages pages;
    pages.limit = 10;
    std::vector<TextChar> page;
    AddLine(page, "aaaaaa", 1, 0, 0);
    pages.take(page);
    EXPECT_TRUE(page.empty());
    AddLine(page, "bbbb", 2, 0, 0);
    pages.take(page);  // exactly the limit
    EXPECT_EQ(pages.count, 10u);
    AddLine(page, "c", 3, 0, 0);
    EXPECT_THROW(pages.take(page), CPdfException);
    EXPECT_EQ(pages.chars.size(), 2u);
    EXPECT_EQ(pages.count, 10u);
}

TEST(TextFile, CleanLine) {
    EXPECT_EQ(LinkSearch::CleanTextFileLine(" Acme\r\n"), "Acme");
    EXPECT_EQ(LinkSearch::CleanTextFileLine("  two\n"), " two");
    EXPECT_EQ(LinkSearch::CleanTextFileLine("x\n\n\n"), "x\n");
    EXPECT_EQ(LinkSearch::CleanTextFileLine(" \n"), "");
}

TEST(TextFile, LongerMatchRuleLongerFirst) {
    std::vector<TextChar> chars;
    AddLine(chars, "see Acme Rocket Works here and Acme Rocket there", 1, 0, 0);
    const std::string bytes = LinkSearch::CharBytes(chars);
    std::vector<std::string> matched;
    std::vector<FoundLink> found;
    std::string out = Capture([&] {
        LinkSearch::SearchTextFileText(chars, bytes, "Acme Rocket Works", "Acme Rocket Works", "L", matched, found);
        LinkSearch::SearchTextFileText(chars, bytes, "Acme Rocket", "Acme Rocket", "L", matched, found);
    });
    EXPECT_EQ(found.size(), 1u);
    EXPECT_EQ(out,
              "Matched text: Acme Rocket Works - link: 'L'\n"
              "1Matched text: Acme Rocket Works - link: 'L'....\n"
              "Already matched longer: 'Acme Rocket Works' to 'Acme Rocket'\n");
    EXPECT_EQ(matched, std::vector<std::string>{"Acme Rocket Works"});
}

TEST(TextFile, LongerMatchRuleShorterFirst) {
    std::vector<TextChar> chars;
    AddLine(chars, "see Acme Rocket Works here", 1, 0, 0);
    const std::string bytes = LinkSearch::CharBytes(chars);
    std::vector<std::string> matched;
    std::vector<FoundLink> found;
    Capture([&] {
        LinkSearch::SearchTextFileText(chars, bytes, "Acme Rocket", "Acme Rocket", "L", matched, found);
        LinkSearch::SearchTextFileText(chars, bytes, "Acme Rocket Works", "Acme Rocket Works", "L", matched, found);
    });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_DOUBLE_EQ(found[0].x2, found[0].x1 + 11 * 6);
    EXPECT_DOUBLE_EQ(found[1].x2, found[1].x1 + 17 * 6);
}

TEST(TextFile, FileMatchTwice) {
    std::vector<TextChar> chars;
    AddLine(chars, "buy Widget now", 1, 0, 0);
    std::vector<std::string> matched;
    std::vector<FoundLink> found;
    std::string out = Capture([&] {
        LinkSearch::SearchTextFileText(chars, LinkSearch::CharBytes(chars), "Widget", "Widget",
                                       "https://s.example/[FILEMATCH]?q=[FILEMATCH]", matched, found);
    });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].target, "https://s.example/Widget?q=Widget");
    EXPECT_EQ(out,
              "Matched text: Widget - link: 'https://s.example/[FILEMATCH]?q=[FILEMATCH]'\n"
              "Matched text: Widget - link: 'https://s.example/Widget?q=Widget'\n"
              "1Matched text: Widget - link: 'https://s.example/[FILEMATCH]?q=[FILEMATCH]'....\n");
    EXPECT_EQ(LinkSearch::ReplaceFileMatch("[FILEMATCH]", "[FILEMATCH]"), "[FILEMATCH]");
}

TEST(TextFile, FinalWindowUsesFiveDots) {
    std::vector<TextChar> chars;
    AddLine(chars, "end Widget", 1, 0, 0);
    std::vector<std::string> matched;
    std::vector<FoundLink> found;
    std::string out = Capture([&] {
        LinkSearch::SearchTextFileText(chars, LinkSearch::CharBytes(chars), "Widget", "Widget", "L", matched, found);
    });
    EXPECT_EQ(out, "Matched text: Widget - link: 'L'\n1Matched text: Widget - link: 'L'.....\n");
    EXPECT_TRUE(matched.empty());  // the final window adds no matched-text entry
}

TEST(LinkFile, SplitFields) {
    struct Case {
        std::string line;
        bool valid;
        int bars;
        std::string f[5];
    };
    const Case cases[] = {
        {"no bar here\n", false, 0, {"", "", "", "", ""}},
        {"Text|http://a/b|c\r\n", true, 2, {"Text", "http://a/b", "", "", ""}},
        {"Text|http://a\n", true, 1, {"Text", "http://a", "", "", ""}},
        {"T|L|72|700\n", true, 3, {"T", "L", "72", "", ""}},
        {"T|L|72|700|3\n", true, 4, {"T", "L", "72", "700", "3"}},
        {"T|L|72|700|3|9\n", true, 5, {"T", "L", "72", "700", ""}},
        {" T|L\n", true, 1, {" T", "L", "", "", ""}},
    };
    for (const Case& c : cases) {
        auto got = LinkSearch::SplitLinkFileLine(c.line);
        EXPECT_EQ(got.valid, c.valid) << c.line;
        EXPECT_EQ(got.bars, c.bars) << c.line;
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(got.field[i], c.f[i]) << c.line << " field " << i;
    }
    EXPECT_TRUE(LinkSearch::SplitLinkFileLine(" T|L").startsWithSpace);
}

TEST(LinkFile, FieldNumbers) {
    EXPECT_EQ(LinkSearch::FieldNumber("72"), 72);
    EXPECT_EQ(LinkSearch::FieldNumber(" -3x"), -3);
    EXPECT_EQ(LinkSearch::FieldNumber(""), 0);
    EXPECT_EQ(LinkSearch::FieldNumber("abc"), 0);
    EXPECT_EQ(LinkSearch::FieldNumber("99999999999999999999"), 2147483647);
}

TEST(LinkFile, FiveFieldPositionFilter) {
    std::vector<TextChar> chars;
    AddLine(chars, "Price", 1, 72.5, 700.9);
    AddLine(chars, "Price", 3, 72.5, 700.9);
    AddLine(chars, "Price", 3, 200, 700.9);
    AddLine(chars, "Price", 3, 72.5, 650);
    AddLine(chars, "Price", 3, 73, 700);
    AddLine(chars, "end", 3, 0, 0);
    std::vector<std::string> matched;
    std::vector<FoundLink> found;
    std::string out = Capture([&] {
        LinkSearch::SearchLinkFileText(chars, LinkSearch::CharBytes(chars), "Price", "Price", "L", true, 72, 700, 3,
                                       false, matched, found);
    });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].page, 3);
    EXPECT_DOUBLE_EQ(found[0].x1, 72.5);
    EXPECT_EQ(out, "Matched text: Price - link: 'L', page: 3\n");
    EXPECT_EQ(matched.size(), 5u);  // every occurrence enters the matched list
}

TEST(LinkFile, ThreeFieldFormNeverPasses) {
    std::vector<TextChar> chars;
    AddLine(chars, "Price x", 1, 72, 0);
    std::vector<std::string> matched;
    std::vector<FoundLink> found;
    Capture([&] {
        LinkSearch::SearchLinkFileText(chars, LinkSearch::CharBytes(chars), "Price", "Price", "L", true, 72, 0, 0,
                                       false, matched, found);
    });
    EXPECT_TRUE(found.empty());
}

TEST(LinkFile, DebugLineAndNoFilter) {
    std::vector<TextChar> chars;
    AddLine(chars, "Go!", 2, 10, 20);
    std::vector<std::string> matched;
    std::vector<FoundLink> found;
    std::string out = Capture([&] {
        LinkSearch::SearchLinkFileText(chars, LinkSearch::CharBytes(chars), "Go", "Go", "u/[FILEMATCH]", false, 0, 0, 0,
                                       true, matched, found);
    });
    EXPECT_EQ(out,
              "Go, 10.00, 20.00, 22.00, 30.00\n"
              "Matched text: Go - link: 'u/[FILEMATCH]', page: 2\n"
              "Matched text: Go - link: 'u/Go', page: 2\n");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].target, "u/Go");
}

namespace {

std::vector<FoundLink> Scan(const std::vector<TextChar>& chars) {
    std::vector<FoundLink> found;
    testing::internal::CaptureStdout();
    LinkSearch::ScanWebAddresses(chars, "", "", found);
    testing::internal::GetCapturedStdout();
    return found;
}

}  // namespace

// The target a reader expects: the address from its prefix (any letter case, at the
// start of a word or after what is no letter) to its last character, without sentence
// punctuation and closing brackets it did not open; "www" addresses get "http://".
// A find that wraps to the next line or page becomes one found link per line, each
// over its own characters; the spaces between the lines belong to none.
TEST(WindowSearch, FindsSplitPerLineAndPage) {
    struct Case {
        std::vector<std::pair<std::string, int>> lines;  // text, page
        std::string text;
        std::vector<std::pair<int, std::pair<double, double>>> links;  // page, x1, x2
    };
    const Case cases[] = {
        {{{"sales summary", 1}}, "sales summary", {{1, {72, 72 + 13 * 6}}}},
        {{{"the sales", 1}, {" summary here", 1}},
         "sales summary",
         {{1, {72 + 4 * 6, 72 + 9 * 6}}, {1, {72 + 6, 72 + 8 * 6}}}},
        {{{"the sales", 1}, {" summary here", 2}},
         "sales summary",
         {{1, {72 + 4 * 6, 72 + 9 * 6}}, {2, {72 + 6, 72 + 8 * 6}}}},
        {{{"a b c", 1}, {" d", 1}, {" e", 1}}, "c d e", {{1, {96, 102}}, {1, {78, 84}}, {1, {78, 84}}}},
        {{{"x", 1}, {"  ", 1}}, "x  ", {{1, {72, 78}}}},
    };
    for (const Case& c : cases) {
        std::vector<TextChar> chars;
        double y = 700;
        for (const auto& l : c.lines) {
            AddLine(chars, l.first, l.second, 72, y);
            y -= 12;
        }
        std::vector<FoundLink> found;
        Capture([&] { LinkSearch::SearchText(chars, LinkSearch::CharBytes(chars), c.text, "T", found); });
        ASSERT_EQ(found.size(), c.links.size()) << c.text;
        for (size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].page, c.links[i].first) << c.text << " " << i;
            EXPECT_DOUBLE_EQ(found[i].x1, c.links[i].second.first) << c.text << " " << i;
            EXPECT_DOUBLE_EQ(found[i].x2, c.links[i].second.second) << c.text << " " << i;
            EXPECT_EQ(found[i].target, "T");
        }
    }
}

TEST(WebScan, Targets) {
    struct Case {
        std::string line;
        std::vector<std::string> targets;
    };
    const Case cases[] = {
        {"see <http://a.example/x>, then", {"http://a.example/x"}},
        {"mail <https://a.example> now", {"https://a.example"}},
        {"Visit www.example.com.", {"http://www.example.com"}},
        {"go to http://x.example and ftp://y.example ok", {"http://x.example", "ftp://y.example"}},
        {"write mailto:me@x.example;", {"mailto:me@x.example"}},
        {"HTTP://UPPER.example/A", {"HTTP://UPPER.example/A"}},
        {"Www.Mixed.example!", {"http://Www.Mixed.example"}},
        {"plain words only", {}},
        {"(www.paren.example)", {"http://www.paren.example"}},
        {"wiki http://w.example/Foo_(bar).", {"http://w.example/Foo_(bar)"}},
        {"[see ftp://f.example/pub/]", {"ftp://f.example/pub/"}},
        {"URL:https://glued.example/x", {"https://glued.example/x"}},
        {"\x93https://q.example/\x94", {"https://q.example/"}},
        {"ask https://a.example/?", {"https://a.example/"}},
        {"awwwards shttp://x.example wwwhat", {}},
        {"file: alone and http:// alone", {}},
        {"file:///tmp/notes.txt.", {"file:///tmp/notes.txt"}},
        {"caf\xE9 http://x.example/caf\xE9", {"http://x.example/caf\xE9"}},
        {"http://x.example/\x81\x81", {}},  // characters without a Windows-1252 byte
    };
    for (const Case& c : cases) {
        std::vector<TextChar> chars;
        AddLine(chars, c.line, 1, 50, 500);
        auto found = Scan(chars);
        ASSERT_EQ(found.size(), c.targets.size()) << c.line;
        for (size_t i = 0; i < found.size(); ++i)
            EXPECT_EQ(found[i].target, c.targets[i]) << c.line;
    }
}

TEST(WebScan, RectangleCoversTheAddressOnly) {
    std::vector<TextChar> chars;
    AddLine(chars, "at (www.a.example). here", 2, 100, 600);
    std::vector<FoundLink> found;
    std::string out = Capture([&] { LinkSearch::ScanWebAddresses(chars, "", "", found); });
    EXPECT_EQ(out, "1Matched text:  - link: ''.\n");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].page, 2);
    EXPECT_DOUBLE_EQ(found[0].x1, 100 + 4 * 6);
    EXPECT_DOUBLE_EQ(found[0].y1, 600);
    EXPECT_DOUBLE_EQ(found[0].x2, 100 + 17 * 6);
    EXPECT_DOUBLE_EQ(found[0].y2, 610);
}

// Words end at spaces, where a line starts and where the page changes, whatever the
// coordinates: vertical text and text at 0 are words like any other.
TEST(WebScan, WordsEndAtSpacesLinesAndPages) {
    struct Case {
        std::vector<std::pair<std::string, int>> lines;  // text, page
        std::vector<std::string> targets;
    };
    const Case cases[] = {
        {{{"read http://a.example/", 1}, {"path/page more", 1}}, {"http://a.example/"}},
        {{{"end www.last.example", 1}}, {"http://www.last.example"}},
        {{{"www.a", 1}, {"bcd", 1}}, {"http://www.a"}},
        {{{"www.p1.example", 1}, {"tail", 2}}, {"http://www.p1.example"}},
    };
    for (const Case& c : cases) {
        std::vector<TextChar> chars;
        double y = 700;
        for (const auto& l : c.lines) {
            AddLine(chars, l.first, l.second, 72, y);
            y -= 12;
        }
        auto found = Scan(chars);
        ASSERT_EQ(found.size(), c.targets.size()) << c.lines[0].first;
        for (size_t i = 0; i < found.size(); ++i)
            EXPECT_EQ(found[i].target, c.targets[i]);
    }
    // Characters running up the page, and boxes collapsed to 0, join as well.
    std::vector<TextChar> up;
    AddLine(up, "www.up.example", 1, 0, 0, 0);
    auto found = Scan(up);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].target, "http://www.up.example");
    EXPECT_TRUE(Scan({}).empty());
}

// An annotation written directly in Annots has no number: it is selected by its page
// and place, so that removal and change by text reach it too.
TEST(Selection, DirectAnnotationsBySpot) {
    std::vector<FoundLink> found(1);
    found[0].page = 2;
    found[0].x1 = 100;
    found[0].y1 = 700;
    found[0].x2 = 150;
    found[0].y2 = 712;
    std::vector<ExistingLink> existing(3);
    for (ExistingLink& e : existing) {
        e.page = 2;
        e.rect[0] = 98;
        e.rect[1] = 698;
        e.rect[2] = 152;
        e.rect[3] = 714;
    }
    existing[0].annotNum = 7;
    existing[1].annotIndex = 3;
    existing[2].annotIndex = 5;
    existing[2].page = 3;
    std::vector<int32_t> selected;
    std::vector<std::pair<int32_t, int32_t>> direct;
    LinkSearch::SelectCovering(found, existing, selected, &direct);
    EXPECT_EQ(selected, std::vector<int32_t>{7});
    EXPECT_EQ(direct, (std::vector<std::pair<int32_t, int32_t>>{{2, 3}}));
}

TEST(Selection, PlusMinusFiveOnTheSamePage) {
    std::vector<FoundLink> found(1);
    found[0].page = 2;
    found[0].x1 = 100;
    found[0].y1 = 700;
    found[0].x2 = 150;
    found[0].y2 = 712;
    std::vector<ExistingLink> existing(5);
    auto set = [](ExistingLink& e, int num, int page, float x1, float y1, float x2, float y2) {
        e.annotNum = num;
        e.page = page;
        e.rect[0] = x1;
        e.rect[1] = y1;
        e.rect[2] = x2;
        e.rect[3] = y2;
    };
    set(existing[0], 10, 2, 105, 705, 145, 707);     // exactly within the slack
    set(existing[1], 11, 2, 105.5f, 700, 150, 712);  // left edge too far right
    set(existing[2], 12, 1, 100, 700, 150, 712);     // another page
    set(existing[3], 13, 2, 90, 690, 160, 720);
    set(existing[4], 14, 2, 100, 700, 144.9f, 712);  // right edge too far left
    std::vector<int32_t> selected;
    LinkSearch::SelectCovering(found, existing, selected);
    EXPECT_EQ(selected, (std::vector<int32_t>{10, 13}));
}

TEST(SelectionSearch, Dots) {
    std::vector<TextChar> chars;
    AddLine(chars, "ab ab", 1, 0, 0);
    std::vector<FoundLink> found;
    std::string out = Capture([&] { LinkSearch::SearchTextLink(chars, "ab", "", "L", 9, 10, found); });
    EXPECT_EQ(out, "1Matched text:  - link: 'L'.........\n1Matched text:  - link: 'L'..........\n");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].target, "ab");
}

namespace {

ExistingLink Link(int page, float x1, float y1, float x2, float y2, const std::string& target) {
    ExistingLink l;
    l.page = page;
    l.rect[0] = x1;
    l.rect[1] = y1;
    l.rect[2] = x2;
    l.rect[3] = y2;
    l.target = target;
    return l;
}

}  // namespace

TEST(Report, TextUnderLinks) {
    std::vector<TextChar> chars;
    AddLine(chars, "xx", 3, 0, 0);
    AddLine(chars, "   Click here  ", 3, 100, 700);
    AddLine(chars, "Other", 2, 100, 700);
    std::vector<ExistingLink> links = {
        Link(3, 100, 700, 190, 712, "http://t.example/"),
        Link(3, 100, 712, 190, 700, "flipped"),     // y1 above y2 still finds its text
        Link(3, 190, 700, 100, 712, "x reversed"),  // x1 right of x2 finds none
        Link(3, 400, 400, 500, 500, "nothing"),
        Link(2, 97, 697, 105, 711, "slack"),  // corner within the left/bottom slack
    };
    EXPECT_TRUE(LinkSearch::FillLinkTexts(links, chars, 0, chars.size()));
    EXPECT_EQ(links[0].text, "Click here  ");
    EXPECT_EQ(links[1].text, "Click here  ");
    EXPECT_EQ(links[2].text, "");
    EXPECT_EQ(links[3].text, "");
    EXPECT_EQ(links[4].text, "Ot");
    EXPECT_EQ(LinkSearch::FormatReportLine(links[0], false), "3 | Click here   | http://t.example/ \r\n");
    EXPECT_EQ(LinkSearch::FormatReportLine(links[3], false), "3 |  | nothing \r\n");
}

// Spaces the extractor added between words are text inside what a link covers, but
// not at its end; the page's own spaces stay.
TEST(Report, AddedSpacesDoNotEndTheText) {
    struct Case {
        const char* line;
        const char* generated;  // 'g' marks an added space
        const char* text;
    } cases[] = {
        {"go here now", "  g    g   ", "go here"},
        {"go here now", "  g        ", "go here "},
        {"go here now", "           ", "go here "},
    };
    for (const Case& c : cases) {
        std::vector<TextChar> chars;
        AddLine(chars, c.line, 1, 100, 700);
        for (size_t i = 0; i < chars.size(); ++i)
            if (c.generated[i] == 'g') chars[i].flags |= kCharGenerated;
        std::vector<ExistingLink> links = {Link(1, 100, 700, 100 + 7 * 6, 712, "t")};
        LinkSearch::FillLinkTexts(links, chars, 0, chars.size());
        EXPECT_EQ(links[0].text, c.text) << c.generated;
    }
}

TEST(Report, OnlyTheGivenRangeOfCharactersCounts) {
    std::vector<TextChar> chars;
    AddLine(chars, "Hi", 1, 100, 700);
    AddLine(chars, "Hi", 1, 100, 700);  // a second extraction of the same page
    std::vector<ExistingLink> links = {Link(1, 100, 700, 120, 712, "u")};
    EXPECT_TRUE(LinkSearch::FillLinkTexts(links, chars, 2, chars.size()));
    EXPECT_EQ(links[0].text, "Hi");
    EXPECT_FALSE(LinkSearch::FillLinkTexts(links, chars, 4, chars.size()));
    EXPECT_EQ(links[0].text, "");
}

TEST(Report, PositionsFormat) {
    ExistingLink l = Link(1, 72, 700, 144, 712, "https://p.example/");
    l.text = "Docs";
    EXPECT_EQ(LinkSearch::FormatReportLine(l, true),
              "1 | Docs | https://p.example/ | 72.00 | 700.00 | 144.00 | 712.00\r\n");
}

TEST(Report, TextConvertedTargetKept) {
    ExistingLink l = Link(1, 0, 0, 1, 1, "http://x/\xc3\xa9");
    l.text = "caf\xe9";  // Windows-1252 e acute
    EXPECT_EQ(LinkSearch::FormatReportLine(l, false), "1 | caf\xc3\xa9 | http://x/\xc3\xa9 \r\n");
}

namespace {

// The characters split into pages of the given sizes (the rest in a last page).
std::vector<std::vector<TextChar>> Split(const std::vector<TextChar>& chars, const std::vector<size_t>& sizes) {
    std::vector<std::vector<TextChar>> pages;
    size_t pos = 0;
    for (size_t s : sizes) {
        size_t end = std::min(chars.size(), pos + s);
        pages.emplace_back(chars.begin() + static_cast<long>(pos), chars.begin() + static_cast<long>(end));
        pos = end;
    }
    pages.emplace_back(chars.begin() + static_cast<long>(pos), chars.end());
    return pages;
}

}  // namespace

TEST(StreamingWindowSearch, SameFindsAsTheWholeListWhateverThePageSplit) {
    std::vector<TextChar> chars;
    AddLine(chars, "abab", 1, 0, 0);
    AddLine(chars, "aab", 2, 0, 0);
    AddLine(chars, "", 3, 0, 0);
    AddLine(chars, "ba", 4, 0, 0);
    const std::vector<std::string> texts = {"ab", "a", "aba", "bab", "baab", "abababba", "x", "abaabba"};
    const std::vector<std::vector<size_t>> splits = {{}, {1}, {4, 3}, {0, 4, 0, 3, 0}, {1, 1, 1, 1, 1, 1, 1, 1}, {8}};
    for (const std::string& t : texts) {
        const auto want = ReferenceWindow(chars, t);
        for (const auto& split : splits) {
            std::vector<WindowFind> got;
            LinkSearch::StreamingWindowSearch search(t, [&](const WindowFind& f) {
                got.push_back(f);
                return true;
            });
            for (const auto& page : Split(chars, split))
                search.add(page.data(), page.size());
            search.add(nullptr, 0);  // an empty page at the end changes nothing
            search.finish();
            ASSERT_EQ(got.size(), want.size()) << t << " split " << split.size();
            for (size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].first, want[i].first) << t;
                EXPECT_EQ(got[i].last, want[i].last) << t;
                EXPECT_EQ(got[i].page, want[i].page) << t;
                EXPECT_EQ(got[i].isFinal, want[i].isFinal) << t;
                EXPECT_EQ(got[i].firstChar.page, chars[want[i].first].page) << t;
                EXPECT_DOUBLE_EQ(got[i].lastChar.x1, chars[want[i].last].x1) << t;
            }
        }
    }
}

TEST(StreamingWindowSearch, StopsWhenTheStepSaysSo) {
    std::vector<TextChar> chars;
    AddLine(chars, "aaaa", 1, 0, 0);
    int calls = 0;
    LinkSearch::StreamingWindowSearch search("a", [&](const WindowFind&) { return ++calls < 2; });
    search.add(chars.data(), 2);
    search.add(chars.data() + 2, 2);
    search.finish();
    EXPECT_EQ(calls, 2);
}

TEST(WebScan, PageByPageGivesTheSameLinks) {
    std::vector<TextChar> chars;
    AddLine(chars, "go www.a.example/x", 1, 100, 500);
    AddLine(chars, "see http://b.example", 2, 100, 500);
    AddLine(chars, " mailto:c@d.example", 3, 100, 500);
    std::vector<FoundLink> whole;
    testing::internal::CaptureStdout();
    LinkSearch::ScanWebAddresses(chars, "", "", whole);
    for (const auto& split : std::vector<std::vector<size_t>>{{18, 20}, {1, 17, 4, 16}, {3, 3, 3, 3, 3, 3, 3}}) {
        std::vector<FoundLink> paged;
        LinkSearch::WebAddressScanner scanner("", "", paged);
        for (const auto& page : Split(chars, split))
            scanner.add(page.data(), page.size());
        scanner.finish();
        ASSERT_EQ(paged.size(), whole.size());
        for (size_t i = 0; i < paged.size(); ++i) {
            EXPECT_EQ(paged[i].target, whole[i].target);
            EXPECT_EQ(paged[i].page, whole[i].page);
            EXPECT_DOUBLE_EQ(paged[i].x1, whole[i].x1);
            EXPECT_DOUBLE_EQ(paged[i].x2, whole[i].x2);
        }
    }
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_EQ(whole[2].target, "mailto:c@d.example");
    EXPECT_EQ(whole[2].page, 3);
    EXPECT_DOUBLE_EQ(whole[2].x1, 106);  // the word starts after the page's leading space
}

TEST(Report, LineBreaksInATargetCannotAddLines) {
    ExistingLink l = Link(1, 0, 0, 1, 1, std::string("http://x/\r\n9 | fake | y\0z", 25));
    l.text = "a\rb";
    EXPECT_EQ(LinkSearch::FormatReportLine(l, false), "1 | a b | http://x/  9 | fake | y z \r\n");
}
