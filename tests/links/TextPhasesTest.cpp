// The text phases through whole runs: link creation over found text, text and link
// files, removal by the text under a link, and the report file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "links/CQuillmarkHandler.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfXRef.h"
#include "tests/writer/TestPdf.h"
#include "text/CPdfText.h"

namespace {

std::string Stream(const std::string& content) {
    return "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream";
}

const char* kFont = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";

std::string Page(const std::string& contents, const std::string& annots) {
    return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> "
           "/Contents " +
           contents + " " + annots + " >>";
}

std::string UriLink(const std::string& uri, const std::string& rect) {
    return "<< /Type /Annot /Subtype /Link /Rect " + rect + " /A << /S /URI /URI (" + uri + ") >> >>";
}

// Page 1 (object 3, contents 5): "   Click here" at 100 700 and "go to go" at 100 600, with
// links 6 (over Click here), 7 (over nothing) and 8 (same place as 6, on page 2).
// Page 2 (object 9, contents 10): "Click here" at 300 500 with link 8 at page 1's spot
// (over nothing there) and link 11 over the text.
std::vector<std::string> TwoPageDoc() {
    return {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 9 0 R] /Count 2 >>",
        Page("5 0 R", "/Annots [6 0 R 7 0 R]"),
        kFont,
        Stream("BT /F1 12 Tf 100 700 Td (   Click here) Tj ET BT /F1 12 Tf 100 600 Td (go to go) Tj ET"),
        UriLink("http://click.example/", "[98 698 175 714]"),
        UriLink("http://none.example/", "[400 100 450 120]"),
        UriLink("http://other.example/", "[98 698 175 714]"),
        Page("10 0 R", "/Annots [8 0 R 11 0 R]"),
        Stream("BT /F1 12 Tf 300 500 Td (Click here) Tj ET"),
        UriLink("http://p2.example/", "[298 498 360 514]"),
    };
}

class TextPhases : public ::testing::Test {
protected:
    std::string run(const std::vector<std::string>& bodies, std::vector<std::string> args, const std::string& name) {
        in = testpdf::TempPath("text_" + name + ".pdf");
        out = testpdf::TempPath("text_" + name + ".out.pdf");
        std::remove(out.c_str());
        testpdf::WriteFile(in, testpdf::Build(bodies));
        return runAgain(args);
    }
    std::string runAgain(std::vector<std::string> args) {
        h.reset(new CQuillmarkHandler());
        std::vector<std::string> argv = {"quillmark", in, out};
        argv.insert(argv.end(), args.begin(), args.end());
        testing::internal::CaptureStdout();
        std::string err = testpdf::Run(*h, argv);
        stdoutText = testing::internal::GetCapturedStdout();
        return err;
    }
    std::string tmp(const std::string& name) {
        std::string p = testpdf::TempPath("text_" + name);
        std::remove(p.c_str());
        return p;
    }
    // Annotation numbers of a page of the output.
    std::vector<int32_t> annotsOf(int32_t pageNum) {
        CPdfDocument doc;
        doc.open(out.c_str());
        std::vector<int32_t> nums;
        CPdfElement page = doc.getXRef()->fetch(pageNum, 0);
        CPdfElement annots = page.getDictionary()->lookup("Annots");
        if (!annots.isArray()) return nums;
        for (int i = 0; i < annots.getArray()->getLength(); ++i)
            nums.push_back(annots.getArray()->getRaw(i).getRefNum());
        return nums;
    }

    std::unique_ptr<CQuillmarkHandler> h;
    std::string in, out, stdoutText;
};

}  // namespace

TEST_F(TextPhases, CreateLinksOverEveryOccurrence) {
    ASSERT_EQ(run(TwoPageDoc(), {"-create", "-text", "go", "-link", "http://go.example/"}, "create"), "");
    ASSERT_EQ(h->FoundLinks().size(), 2u);
    EXPECT_DOUBLE_EQ(h->FoundLinks()[0].x1, 100);
    EXPECT_DOUBLE_EQ(h->FoundLinks()[0].y1, 600);
    EXPECT_NEAR(h->FoundLinks()[0].x2, 100 + 12 * (0.556 + 0.556), 1e-9);
    EXPECT_EQ(h->FoundLinks()[0].page, 1);
    EXPECT_NE(stdoutText.find("1Matched text: go - link: 'http://go.example/'..\n"), std::string::npos);
    // Page 2's text follows, so neither find is the final window.
    EXPECT_EQ(stdoutText.find("1Matched text: go - link: 'http://go.example/'...\n"), std::string::npos);
    std::vector<int32_t> annots = annotsOf(3);
    ASSERT_EQ(annots.size(), 4u);  // two old, two new
    EXPECT_EQ(annots[0], 6);
}

TEST_F(TextPhases, RemoveByTextLinkOnlyOnTheSamePage) {
    ASSERT_EQ(run(TwoPageDoc(), {"-remove", "-textlink", "Click here"}, "remove_textlink"), "");
    // Link 8 sits where the text is on page 1, but on page 2: it stays.
    EXPECT_EQ(annotsOf(3), (std::vector<int32_t>{7}));
    EXPECT_EQ(annotsOf(9), (std::vector<int32_t>{8}));
    EXPECT_NE(stdoutText.find("1Matched text:  - link: ''........\n"), std::string::npos);
}

TEST_F(TextPhases, ChangeByTextLink) {
    ASSERT_EQ(
        run(TwoPageDoc(), {"-change", "-textlink", "Click here", "-newlink", "http://new.example/"}, "change_textlink"),
        "");
    CPdfDocument doc;
    doc.open(out.c_str());
    auto uri = [&](int32_t n) {
        CPdfElement a = doc.getXRef()->fetch(n, 0).getDictionary()->lookup("A");
        return a.getDictionary()->lookup("URI").getBytes();
    };
    EXPECT_EQ(uri(6), "http://new.example/");
    EXPECT_EQ(uri(7), "http://none.example/");
    EXPECT_EQ(uri(8), "http://other.example/");
    EXPECT_EQ(uri(11), "http://new.example/");  // the link under the text on page 2
}

TEST_F(TextPhases, ReportLinesWithAndWithoutPositions) {
    const std::string report = tmp("report.txt");
    ASSERT_EQ(run(TwoPageDoc(), {"-report", report}, "report"), "");
    EXPECT_EQ(testpdf::ReadFile(report),
              "1 | Click here | http://click.example/ \r\n"
              "1 |  | http://none.example/ \r\n"
              "2 |  | http://other.example/ \r\n"
              "2 | Click here | http://p2.example/ \r\n");
    EXPECT_FALSE(testpdf::FileExists(out));  // a report run leaves no PDF

    ASSERT_EQ(runAgain({"-report", report, "-reportpos", "-e1"}), "");
    EXPECT_EQ(testpdf::ReadFile(report),
              "1 | Click here | http://click.example/ | 98.00 | 698.00 | 175.00 | 714.00\r\n"
              "1 |  | http://none.example/ | 400.00 | 100.00 | 450.00 | 120.00\r\n");

    ASSERT_EQ(runAgain({"-report", report, "-reportappend", "-s2"}), "");
    EXPECT_EQ(testpdf::ReadFile(report),
              "1 | Click here | http://click.example/ | 98.00 | 698.00 | 175.00 | 714.00\r\n"
              "1 |  | http://none.example/ | 400.00 | 100.00 | 450.00 | 120.00\r\n"
              "2 |  | http://other.example/ \r\n"
              "2 | Click here | http://p2.example/ \r\n");
}

TEST_F(TextPhases, ReportWithCreateGivesTextOnceAndNoPdf) {
    const std::string report = tmp("report_create.txt");
    ASSERT_EQ(run(TwoPageDoc(), {"-create", "-text", "go", "-link", "http://go.example/", "-report", report},
                  "report_create"),
              "");
    EXPECT_EQ(testpdf::ReadFile(report),
              "1 | Click here | http://click.example/ \r\n"
              "1 |  | http://none.example/ \r\n"
              "2 |  | http://other.example/ \r\n"
              "2 | Click here | http://p2.example/ \r\n");
    EXPECT_FALSE(testpdf::FileExists(out));
}

TEST_F(TextPhases, ReportWithoutAnyTextIsStillWritten) {
    // Links over nothing but images (here: over empty pages) are reported with an
    // empty text, and the report replaces the old one unless it is appended to.
    std::vector<std::string> bodies = TwoPageDoc();
    bodies[4] = Stream("");
    bodies[9] = Stream("");
    const std::string report = tmp("report_none.txt");
    const std::string lines =
        "1 |  | http://click.example/ \r\n1 |  | http://none.example/ \r\n"
        "2 |  | http://other.example/ \r\n2 |  | http://p2.example/ \r\n";
    testpdf::WriteFile(report, "old\r\n");
    ASSERT_EQ(run(bodies, {"-report", report}, "report_none"), "");
    EXPECT_EQ(testpdf::ReadFile(report), lines);
    ASSERT_EQ(runAgain({"-report", report, "-reportappend"}), "");
    EXPECT_EQ(testpdf::ReadFile(report), lines + lines);
}

TEST_F(TextPhases, ReportFileThatCannotBeWrittenFailsTheFile) {
    const std::string missingFolder = testpdf::TempPath("no_such_dir/deeper/report.txt");
    const std::vector<std::string> reports = {missingFolder, "/dev/full"};
    for (const std::string& report : reports) {
        for (const char* append : {"-reportpos", "-reportappend"}) {
            EXPECT_EQ(run(TwoPageDoc(), {"-report", report, append}, "report_bad"),
                      "Document error\nThe report file cannot be written\n")
                << report;
            EXPECT_NE(stdoutText.find("\nError! Unable to write report file: '" + report + "'\n"), std::string::npos)
                << stdoutText;
        }
    }
}

TEST_F(TextPhases, TextFileLongerMatchInBothOrders) {
    std::vector<std::string> bodies = TwoPageDoc();
    bodies[4] = Stream("BT /F1 12 Tf 100 700 Td (Acme Rocket Works and Acme Rocket) Tj ET");
    const std::string list = tmp("names.txt");
    testpdf::WriteFile(list, "Acme Rocket Works\r\nAcme Rocket\n");
    ASSERT_EQ(run(bodies, {"-textfile", list, "-link", "http://a.example/[FILEMATCH]"}, "textfile1"), "");
    EXPECT_NE(stdoutText.find("\nReading text file: " + list + "\n"), std::string::npos);
    EXPECT_NE(stdoutText.find("Already matched longer: 'Acme Rocket Works' to 'Acme Rocket'\n"), std::string::npos);
    ASSERT_EQ(h->FoundLinks().size(), 1u);
    EXPECT_EQ(h->FoundLinks()[0].target, "http://a.example/Acme Rocket Works");

    testpdf::WriteFile(list, "Acme Rocket\n \nAcme Rocket Works\n");
    ASSERT_EQ(runAgain({"-textfile", list, "-link", "L"}), "");
    // "Acme Rocket" twice (the second as the final window), then the longer name.
    EXPECT_EQ(h->FoundLinks().size(), 3u);
}

TEST_F(TextPhases, MissingTextFile) {
    const std::string list = tmp("missing.txt");
    ASSERT_EQ(run(TwoPageDoc(), {"-textfile", list, "-link", "L"}, "textfile_missing"), "");
    EXPECT_NE(stdoutText.find("Error! Unable to read text file: " + list + "\n"), std::string::npos);
    EXPECT_TRUE(h->FoundLinks().empty());
}

TEST_F(TextPhases, LinkFileLineStartingWithASpace) {
    const std::string list = tmp("links.txt");
    testpdf::WriteFile(list,
                       " Click here|http://c.example/\n|empty text|\nno bar line\ngo|http://g.example/|100|600|1\n");
    ASSERT_EQ(run(TwoPageDoc(), {"-linkfile", list}, "linkfile"), "");
    ASSERT_EQ(h->FoundLinks().size(), 3u);
    EXPECT_EQ(h->FoundLinks()[0].target, "http://c.example/");
    EXPECT_EQ(h->FoundLinks()[0].page, 1);
    EXPECT_EQ(h->FoundLinks()[1].page, 2);
    EXPECT_EQ(h->FoundLinks()[2].target, "http://g.example/");  // only the "go" at 100 600
    EXPECT_DOUBLE_EQ(h->FoundLinks()[2].x1, 100);
    EXPECT_NE(stdoutText.find("looking for matching text: 'go' with link 'http://g.example/', pos h:100, v:600\n"),
              std::string::npos);
}

TEST_F(TextPhases, WebScanOverPageText) {
    std::vector<std::string> bodies = TwoPageDoc();
    bodies[4] = Stream("BT /F1 12 Tf 100 700 Td (see <http://a.example/x>, and www.b.example.) Tj ET");
    ASSERT_EQ(run(bodies, {"-create"}, "webscan"), "");
    ASSERT_EQ(h->FoundLinks().size(), 2u);
    EXPECT_EQ(h->FoundLinks()[0].target, "http://a.example/x");
    EXPECT_EQ(h->FoundLinks()[1].target, "http://www.b.example");  // a reader's target
}

TEST_F(TextPhases, SearchTextsAreMatchedInWinAnsiAndShownAsTyped) {
    std::vector<std::string> bodies = TwoPageDoc();
    bodies[4] = Stream("BT /F1 12 Tf 100 700 Td (Caf\\351 au lait) Tj ET");
    const std::string list = tmp("utf8.txt");
    testpdf::WriteFile(list, "Caf\xc3\xa9|http://x.example/\xc3\xa9\n");
    ASSERT_EQ(run(bodies, {"-create", "-text", "Caf\xc3\xa9", "-link", "http://cafe.example/"}, "utf8"), "");
    ASSERT_EQ(h->FoundLinks().size(), 1u);
    EXPECT_NE(stdoutText.find("1Matched text: Caf\xc3\xa9 - link: 'http://cafe.example/'"), std::string::npos)
        << stdoutText;
    ASSERT_EQ(runAgain({"-linkfile", list}), "");
    ASSERT_EQ(h->FoundLinks().size(), 1u);
    EXPECT_EQ(h->FoundLinks()[0].target, "http://x.example/\xc3\xa9");  // targets stay byte for byte
    EXPECT_NE(stdoutText.find("Matched text: Caf\xc3\xa9 - link: 'http://x.example/\xc3\xa9', page: 1\n"),
              std::string::npos)
        << stdoutText;
}

TEST_F(TextPhases, ByteOrderMarkOfATextFileIsNotText) {
    const std::string list = tmp("bom.txt");
    testpdf::WriteFile(list, "\xEF\xBB\xBFgo\r\n");
    ASSERT_EQ(run(TwoPageDoc(), {"-textfile", list, "-link", "L"}, "bom"), "");
    EXPECT_EQ(h->FoundLinks().size(), 2u);
    testpdf::WriteFile(list,
                       "\xEF\xBB\xBF"
                       "Click here|http://c.example/\n");
    ASSERT_EQ(runAgain({"-linkfile", list}), "");
    EXPECT_EQ(h->FoundLinks().size(), 2u);
}
