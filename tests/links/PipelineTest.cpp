// The per-file pipeline through Process: range and clamp, progress, object streams,
// generations, leading junk, in-place rewriting and the failure paths.
#include <gtest/gtest.h>

#include <cstdio>

#include "links/CQuillmarkHandler.h"
#include "tests/writer/TestPdf.h"

namespace {

// A file of n pages, each with one content stream.
std::vector<std::string> Pages(int n, const std::string& content = "BT /F1 12 Tf 72 700 Td (x) Tj ET") {
    std::vector<std::string> b = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids;
    for (int i = 0; i < n; ++i)
        kids += std::to_string(3 + 2 * i) + " 0 R ";
    b[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " /MediaBox [0 0 612 792] >>";
    for (int i = 0; i < n; ++i) {
        b.push_back("<< /Type /Page /Parent 2 0 R /Resources << /ProcSet [/PDF] >> /Contents " +
                    std::to_string(4 + 2 * i) + " 0 R >>");
        b.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
    }
    return b;
}

struct Result {
    std::string error;
    std::string stdoutText;
};

Result RunQm(CQuillmarkHandler& h, const std::vector<std::string>& args) {
    CQuillmarkHandler::fontNameSeedForTesting = 123;
    std::vector<std::string> all = {"quillmark"};
    all.insert(all.end(), args.begin(), args.end());
    testing::internal::CaptureStdout();
    Result r;
    r.error = testpdf::Run(h, all);
    r.stdoutText = testing::internal::GetCapturedStdout();
    return r;
}

int Count(const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1))
        ++n;
    return n;
}

}  // namespace

TEST(Pipeline, EndPageIsClampedExceptTheLastPageMark) {
    const std::string in = testpdf::TempPath("clamp.pdf"), out = testpdf::TempPath("clamp.out.pdf");
    testpdf::WriteFile(in, testpdf::Build(Pages(3)));
    {
        CQuillmarkHandler h;
        Result r = RunQm(h, {in, out, "-e5", "-text", "T", "-link", "L"});
        ASSERT_EQ(r.error, "") << r.stdoutText;
        EXPECT_EQ(h.getSettings().endPage, 3);
        EXPECT_EQ(Count(testpdf::ReadFile(out), "/URI(L)"), 3);
    }
    {
        CQuillmarkHandler h;
        Result r = RunQm(h, {in, out, "-e99999", "-s2", "-text", "T", "-link", "L"});
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(h.getSettings().endPage, 99999);
        EXPECT_EQ(Count(testpdf::ReadFile(out), "/URI(L)"), 2);
    }
}

TEST(Pipeline, StartBeyondThePagesCopiesEverythingAndAddsTheFont) {
    const std::string in = testpdf::TempPath("beyond.pdf"), out = testpdf::TempPath("beyond.out.pdf");
    const std::string input = testpdf::Build(Pages(2));
    testpdf::WriteFile(in, input);
    CQuillmarkHandler h;
    Result r = RunQm(h, {in, out, "-s3", "-text", "T", "-link", "L"});
    ASSERT_EQ(r.error, "");
    std::string o = testpdf::ReadFile(out);
    // Header, font descriptor 7, font 8 and the state-saving stream 9, then objects
    // 1..6 byte for byte.
    size_t objects = input.find("1 0 obj");
    EXPECT_EQ(o.substr(0, objects), input.substr(0, objects));
    size_t first = o.find("1 0 obj");
    size_t xref = input.find("xref\n");
    EXPECT_EQ(o.substr(first, xref - objects), input.substr(objects, xref - objects));
    EXPECT_NE(o.find("7 0 obj\n<<\n/Type /FontDescriptor"), std::string::npos);
    EXPECT_NE(o.find("8 0 obj\n<<\n/Type /Font\n/Name /F123 "), std::string::npos);
    EXPECT_NE(o.find("9 0 obj\n<<\n/Length 2 \n>>\nstream\nq\n"), std::string::npos);
    EXPECT_NE(o.find("xref\n0 10\r"), std::string::npos);
    EXPECT_EQ(Count(o, "/Annots"), 0);
    EXPECT_NE(r.stdoutText.find("Processing\nUsing font: Arial\n"), std::string::npos) << r.stdoutText;
}

TEST(Pipeline, ProgressPrintsADotAfterTheSixthPage) {
    const std::string in = testpdf::TempPath("dots.pdf"), out = testpdf::TempPath("dots.out.pdf");
    struct Case {
        int pages;
        int dots;
    } cases[] = {{5, 0}, {6, 1}, {11, 1}, {12, 2}, {18, 3}};
    for (const Case& c : cases) {
        testpdf::WriteFile(in, testpdf::Build(Pages(c.pages)));
        CQuillmarkHandler h;
        Result r = RunQm(h, {in, out, "-text", "T", "-link", "L"});
        ASSERT_EQ(r.error, "");
        size_t at = r.stdoutText.find("Processing");
        ASSERT_NE(at, std::string::npos);
        std::string after = r.stdoutText.substr(at + 10);
        EXPECT_EQ(Count(after.substr(0, after.find('\n')), "."), 0);  // the font line comes first
        EXPECT_EQ(Count(after, "."), c.dots) << c.pages << " pages: " << r.stdoutText;
    }
}

TEST(Pipeline, ObjectStreamsAreKnownByTheirDictionaryNotByTheWord) {
    const std::string in = testpdf::TempPath("word.pdf"), out = testpdf::TempPath("word.out.pdf");
    testpdf::WriteFile(in, testpdf::Build(Pages(1, "BT /F1 12 Tf 72 700 Td (ObjStm) Tj ET")));
    CQuillmarkHandler h;
    ASSERT_EQ(RunQm(h, {in, out, "-s2", "-text", "T", "-link", "L"}).error, "");
    EXPECT_NE(testpdf::ReadFile(out).find("4 0 obj\n<< /Length"), std::string::npos);
    // 0..4, then the stamp's three file-wide objects.
    EXPECT_NE(testpdf::ReadFile(out).find("/Size 8\n"), std::string::npos);
}

TEST(Pipeline, GenerationsAndLeadingJunk) {
    const std::string in = testpdf::TempPath("gen.pdf"), out = testpdf::TempPath("gen.out.pdf");
    // Object 3 (the page) has generation 2 in its header, its entry and the reference.
    std::vector<std::string> bodies = Pages(1);
    bodies[1].replace(bodies[1].find("[3 0 R ]"), 8, "[3 2 R ]");
    TestPdfBuilder b;
    b.junk = "JUNK BEFORE THE HEADER\n";
    for (size_t i = 0; i < bodies.size(); ++i)
        b.add(static_cast<int>(i + 1), bodies[i], i == 2 ? 2 : 0);
    testpdf::WriteFile(in, b.build());
    CQuillmarkHandler h;
    Result r = RunQm(h, {in, out, "-text", "T", "-link", "L"});
    ASSERT_EQ(r.error, "") << r.stdoutText;
    std::string o = testpdf::ReadFile(out);
    EXPECT_EQ(o.substr(0, 5), "%PDF-");
    // Every written entry points at its object's header.
    size_t x = o.find("xref\n0 ");
    ASSERT_NE(x, std::string::npos);
    size_t e = o.find('\r', x) + 1;
    const size_t size = std::stoul(o.substr(o.find("/Size ") + 6));
    for (size_t n = 0; n < size; ++n, e += 20) {
        std::string line = o.substr(e, 20);
        if (line[17] != 'n') continue;
        size_t off = std::stoul(line.substr(0, 10));
        std::string gen = std::to_string(std::stoi(line.substr(11, 5)));
        EXPECT_EQ(o.substr(off, std::to_string(n).size() + gen.size() + 5), std::to_string(n) + " " + gen + " obj")
            << n;
        if (n == 3) {
            EXPECT_EQ(line.substr(11, 5), "00002");
        }
    }
}

TEST(Pipeline, MiswrittenGenerationsLeadToTheSameObjectsInTheOutput) {
    // The page tree names its page with a generation above the page's, and the page
    // its content with one below the content's (a freed earlier object: none). The
    // output, read again, finds the page and still no content of an earlier object.
    std::vector<std::string> bodies = Pages(1, "BT /F1 12 Tf 72 700 Td (gen) Tj ET");
    bodies[1].replace(bodies[1].find("[3 0 R ]"), 8, "[3 5 R ]");
    TestPdfBuilder b;
    for (size_t i = 0; i < bodies.size(); ++i)
        b.add(static_cast<int>(i + 1), bodies[i], i == 3 ? 1 : 0);
    const std::string in = testpdf::TempPath("miswritten.pdf");
    testpdf::WriteFile(in, b.build());
    std::string from = in;
    for (const char* name : {"miswritten.out1.pdf", "miswritten.out2.pdf"}) {
        const std::string out = testpdf::TempPath(name);
        CQuillmarkHandler h;
        Result r = RunQm(h, {from, out, "-text", "T", "-link", "L"});
        ASSERT_EQ(r.error, "") << name << r.stdoutText;
        const std::string o = testpdf::ReadFile(out);
        EXPECT_NE(o.find("[3 5 R ]"), std::string::npos) << name;
        EXPECT_NE(o.find("4 1 obj"), std::string::npos) << name;
        from = out;
    }
}

TEST(Pipeline, TheHeaderCopyHoldsTheHeaderAndCommentLinesOnly) {
    // The output's header is the input's "%PDF-" line and the comment lines after it,
    // whatever the first entry's offset says, and an object header follows it.
    const std::string head = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    const std::string sound = testpdf::Build(Pages(1));
    const size_t entry1 = sound.find("0000000000 65535 f") + 20;  // entries are 20 bytes
    auto firstEntry = [&](long shift) {
        std::string pdf = sound;
        char line[24];
        std::snprintf(line, sizeof line, "%010ld", static_cast<long>(head.size()) + shift);
        pdf.replace(entry1, 10, line);
        return pdf;
    };
    struct Case {
        const char* name;
        std::string input;
        std::string header;  // what the output starts with, up to its first object
    } cases[] = {
        {"sound", sound, head},
        {"first entry a few bytes late", firstEntry(4), head},
        {"first entry a few bytes early", firstEntry(-3), head},
        {"more comment lines", testpdf::Build(Pages(1)).replace(head.size(), 0, "% made by hand\n\n"),
         head + "% made by hand\n\n"},
        {"a line that is no comment before the first object", std::string(sound).insert(head.size(), "junk\n"), head},
        {"no header", sound.substr(head.size()), head.substr(0, 5) + "1.7\n%\xE2\xE3\xCF\xD3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = testpdf::TempPath("head.pdf"), out = testpdf::TempPath("head.out.pdf");
        testpdf::WriteFile(in, c.input);
        CQuillmarkHandler h;
        Result r = RunQm(h, {in, out, "-text", "T", "-link", "L"});
        ASSERT_EQ(r.error, "") << r.stdoutText;
        const std::string o = testpdf::ReadFile(out);
        EXPECT_EQ(o.substr(0, c.header.size()), c.header);
        size_t p = c.header.size();
        while (p < o.size() && o[p] >= '0' && o[p] <= '9')
            ++p;
        EXPECT_GT(p, c.header.size()) << "an object header follows: " << o.substr(c.header.size(), 12);
        EXPECT_EQ(o.substr(p, 7), " 0 obj\n") << o.substr(c.header.size(), 12);
    }
}

TEST(Pipeline, InPlaceRewriteKeepsAValidFile) {
    const std::string in = testpdf::TempPath("inplace.pdf");
    testpdf::WriteFile(in, testpdf::Build(Pages(2)));
    CQuillmarkHandler h;
    Result r = RunQm(h, {in, in, "-text", "T", "-link", "L"});
    ASSERT_EQ(r.error, "") << r.stdoutText;
    std::string o = testpdf::ReadFile(in);
    EXPECT_EQ(Count(o, "/URI(L)"), 2);
    EXPECT_NE(o.find("3 0 obj\n<</Annots [ "), std::string::npos);
    EXPECT_EQ(o.substr(o.size() - 5), "%%EOF");
}

TEST(Pipeline, FailuresLeaveTheOutputPathAloneAndSayWhy) {
    // "Document error" stays the first line (scripts look for it); the line after it
    // names the cause.
    const std::string out = testpdf::TempPath("fail.out.pdf");
    const std::string damaged = testpdf::TempPath("fail.pdf");
    testpdf::WriteFile(damaged, "%PDF-1.4\nnothing else\n");
    const std::string text = testpdf::TempPath("fail-text.pdf");
    testpdf::WriteFile(text, "Dear reader,\nthis is a letter, not a PDF file.\n");
    const std::string good = testpdf::TempPath("fail-good.pdf");
    testpdf::WriteFile(good, testpdf::Build(Pages(1)));
    struct Case {
        std::vector<std::string> args;
        const char* stdoutEnd;
        const char* reason;
    } cases[] = {
        {{testpdf::TempPath("no-such-file.pdf"), out, "-text", "T"}, "no-such-file.pdf'", "The file cannot be read"},
        {{damaged, out, "-text", "T"}, "fail.pdf'", "The file is damaged beyond repair"},
        {{text, out, "-text", "T"}, "fail-text.pdf'", "The file is not a PDF file"},
        {{good, out, "-font", "NoSuchFace", "-text", "T"},
         "Processing",
         "The font of the stamp is not known: 'NoSuchFace'"},
    };
    for (const Case& c : cases) {
        testpdf::WriteFile(out, "previous output");
        CQuillmarkHandler h;
        Result r = RunQm(h, c.args);
        EXPECT_EQ(r.error, std::string("Document error\n") + c.reason + "\n") << c.args[0];
        EXPECT_EQ(testpdf::ReadFile(out), "previous output") << c.args[0];
        const std::string end = c.stdoutEnd;
        ASSERT_GE(r.stdoutText.size(), end.size());
        EXPECT_EQ(r.stdoutText.substr(r.stdoutText.size() - end.size()), end) << r.stdoutText;
    }
    // An output folder that does not exist.
    CQuillmarkHandler h;
    EXPECT_EQ(RunQm(h, {good, testpdf::TempPath("no/such/dir/out.pdf"), "-text", "T"}).error,
              "Document error\nThe output file cannot be written\n");
}

TEST(Pipeline, ReportRunLeavesNoOutput) {
    const std::string in = testpdf::TempPath("report.pdf"), out = testpdf::TempPath("report.out.pdf");
    const std::string rep = testpdf::TempPath("report.txt");
    testpdf::WriteFile(in, testpdf::Build(Pages(1)));
    std::remove(out.c_str());
    CQuillmarkHandler h;
    Result r = RunQm(h, {in, out, "-report", rep});
    ASSERT_EQ(r.error, "") << r.stdoutText;
    EXPECT_FALSE(testpdf::FileExists(out));
    testpdf::WriteFile(out, "previous output");
    CQuillmarkHandler h2;
    ASSERT_EQ(RunQm(h2, {in, out, "-report", rep}).error, "");
    EXPECT_EQ(testpdf::ReadFile(out), "previous output");
}
