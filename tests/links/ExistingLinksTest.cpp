// Reading, removing and changing existing links, through whole runs over small PDFs.
// The results are read back through the cross-reference table of the output, so a
// test sees what a reader of the output sees.
#include <gtest/gtest.h>

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

const char* kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
const char* kPages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";

std::string PageWith(const std::string& annots) {
    return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> " + annots + " >>";
}

std::string UriLink(const std::string& uri, const std::string& rect = "[100 700 200 720]") {
    return "<< /Type /Annot /Subtype /Link /Rect " + rect + " /A << /S /URI /URI " + uri + " >> >>";
}

class Links : public ::testing::Test {
protected:
    // Writes the input, runs the program with args after input and output names.
    std::string run(const std::vector<std::string>& bodies, std::vector<std::string> args, const std::string& name) {
        in = testpdf::TempPath("links_" + name + ".pdf");
        out = testpdf::TempPath("links_" + name + ".out.pdf");
        std::remove(out.c_str());
        testpdf::WriteFile(in, testpdf::Build(bodies));
        std::vector<std::string> argv = {"quillmark", in, out};
        argv.insert(argv.end(), args.begin(), args.end());
        testing::internal::CaptureStdout();
        std::string err = testpdf::Run(h, argv);
        stdoutText = testing::internal::GetCapturedStdout();
        return err;
    }

    // Opens the output for reading back.
    void openOutput() {
        doc.reset(new CPdfDocument());
        doc->open(out.c_str());
    }
    CPdfElement object(int32_t num) { return doc->getXRef()->fetch(num, 0); }
    bool isFree(int32_t num) {
        return num >= doc->getXRef()->getNumEntries() || doc->getXRef()->getEntry(num).kind == XRefKind::Free;
    }
    std::string rawOut(int32_t num) {
        std::string t;
        doc->getXRef()->getRawObjectText(num, t);
        return t;
    }
    // The URI of the inline or referenced action of annotation num.
    std::string uriOf(int32_t num) {
        CPdfElement annot = object(num);
        CPdfElement a = annot.getDictionary()->lookup("A");
        return a.getDictionary()->lookup("URI").getBytes();
    }

    CQuillmarkHandler h;
    std::unique_ptr<CPdfDocument> doc;
    std::string in, out, stdoutText;
};

}  // namespace

TEST_F(Links, ReadsTargetsRectanglesAndFileSpecifications) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R 5 0 R 6 0 R 7 0 R 8 0 R 9 0 R 11 0 R]"),
        UriLink("(http://a.example/)", "[1 2 3 4 5 6]"),
        "<< /Subtype /Text /Rect [0 0 1 1] >>",
        "<< /Subtype /Link /Rect [10 20 30 40] /A << /S /Launch /F (plain.pdf) >> >>",
        "<< /Subtype /Link /Rect [10 20 30 40] /A << /S /Launch /F << /Type /Filespec /F (only-f.pdf) >> >> >>",
        "<< /Subtype /Link /Rect [10 20 30 40] /A << /S /Launch /F 10 0 R >> >>",
        "<< /Subtype /link /Rect [0 0 9 9] /A << /S /URI /URI <687474703a2f2f782f> >> >>",
        "<< /Type /Filespec /F (f.pdf) /UF (uf.pdf) >>",
        "<< /Subtype /Link /Rect [0 0 9 9] /Dest [3 0 R /Fit] >>",
    };
    ASSERT_EQ(run(bodies, {"-report", testpdf::TempPath("links_read.txt")}, "read"), "");
    ASSERT_EQ(h.ExistingLinks().size(), 5u);
    const ExistingLink& first = h.ExistingLinks()[0];
    EXPECT_EQ(first.target, "http://a.example/");
    EXPECT_EQ(first.annotNum, 4);
    EXPECT_EQ(first.page, 1);
    EXPECT_FLOAT_EQ(first.rect[0], 1);
    EXPECT_FLOAT_EQ(first.rect[3], 4);  // only the first four numbers are kept
    EXPECT_EQ(h.ExistingLinks()[1].target, "plain.pdf");
    EXPECT_EQ(h.ExistingLinks()[2].target, "only-f.pdf");
    EXPECT_EQ(h.ExistingLinks()[3].target, "uf.pdf");  // /UF preferred
    EXPECT_EQ(h.ExistingLinks()[4].target, "http://x/");
    EXPECT_EQ(h.ExistingLinks()[4].annotNum, 9);
}

TEST_F(Links, RemoveWithoutFiltersKeepsOtherAnnotations) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R 5 0 R 6 0 R]"),
        UriLink("(http://a/)"),
        "<< /Subtype /Text /Rect [0 0 1 1] /Contents (note) >>",
        UriLink("(http://b/)"),
    };
    ASSERT_EQ(run(bodies, {"-remove"}, "remove_all"), "");
    std::string bytes = testpdf::ReadFile(out);
    EXPECT_NE(bytes.find("/Annots [ 5 0 R ]\n"), std::string::npos);
    openOutput();
    EXPECT_TRUE(isFree(4));
    EXPECT_TRUE(isFree(6));
    EXPECT_FALSE(isFree(5));
    CPdfElement page = object(3);
    CPdfElement annots = page.getDictionary()->lookup("Annots");
    ASSERT_TRUE(annots.isArray());
    ASSERT_EQ(annots.getArray()->getLength(), 1);
    EXPECT_EQ(annots.getArray()->getRaw(0).getRefNum(), 5);
}

TEST_F(Links, RemoveByLinkIgnoresCaseAndLaunchLinks) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R 5 0 R 6 0 R 7 0 R]"),
        UriLink("(HTTP://A.example/)"),
        UriLink("(http://b.example/)"),
        "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /Launch /F (http://a.example/) >> >>",
        "<< /Subtype /LINK /Rect [1 1 2 2] /A << /S /URI /URI (http://a.example/) >> >>",
    };
    ASSERT_EQ(run(bodies, {"-remove", "-link", "http://a.example/"}, "remove_link"), "");
    openOutput();
    EXPECT_TRUE(isFree(4));
    EXPECT_FALSE(isFree(5));
    EXPECT_FALSE(isFree(6));
    EXPECT_TRUE(isFree(7));  // Subtype in another letter case is a link too
    std::string page = rawOut(3);
    EXPECT_NE(page.find("/Annots [ 5 0 R 6 0 R ]\n"), std::string::npos);
}

TEST_F(Links, RemoveFromAnnotsArrayByReference) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots 4 0 R"),
        "[5 0 R 6 0 R]",
        UriLink("(http://a/)"),
        "<< /Subtype /Text /Rect [0 0 1 1] >>",
    };
    ASSERT_EQ(run(bodies, {"-remove"}, "remove_ref"), "");
    openOutput();
    EXPECT_TRUE(isFree(5));
    std::string array = rawOut(4);
    EXPECT_NE(array.find("obj [ 6 0 R ]\n"), std::string::npos) << array;
    EXPECT_NE(rawOut(3).find("/Annots 4 0 R"), std::string::npos);
}

TEST_F(Links, RemoveKeepsInlineAnnotationsWhole) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [<< /Subtype /Text /Rect [1 2 3 4] /Contents (a]b) >> 4 0 R] /Rotate 0"),
        UriLink("(http://a/)"),
    };
    ASSERT_EQ(run(bodies, {"-remove"}, "remove_inline"), "");
    openOutput();
    EXPECT_TRUE(isFree(4));
    std::string page = rawOut(3);
    EXPECT_NE(page.find("/Annots [ << /Subtype /Text /Rect [1 2 3 4] /Contents (a]b) >> ]\n"), std::string::npos)
        << page;
    EXPECT_NE(page.find("/Rotate 0"), std::string::npos);
}

TEST_F(Links, ChangeActionByReference) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R]"),
        "<< /Subtype /Link /Rect [1 1 2 2] /A 5 0 R >>",
        "<< /S /URI /URI (abc) >>",
    };
    ASSERT_EQ(run(bodies, {"-change", "-link", "ABC", "-newlink", "XYZ"}, "change_action_ref"), "");
    openOutput();
    EXPECT_EQ(object(5).getDictionary()->lookup("URI").getBytes(), "XYZ");
    EXPECT_NE(rawOut(4).find("/A 5 0 R"), std::string::npos);
}

TEST_F(Links, ChangePartIsCaseSensitive) {
    std::vector<std::string> bodies = {kCatalog, kPages, PageWith("/Annots [4 0 R 5 0 R]"), UriLink("(abc)"),
                                       UriLink("(http://w.example.com/x.example.com)")};
    ASSERT_EQ(run(bodies, {"-changepart", "-link", "ABC", "-newlink", "XYZ"}, "changepart_case"), "");
    openOutput();
    EXPECT_EQ(uriOf(4), "abc");
    doc.reset();
    CQuillmarkHandler h2;
    std::vector<std::string> argv = {"quillmark",    in,         out,           "-changepart", "-link",
                                     ".example.com", "-newlink", ".example.org"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(testpdf::Run(h2, argv), "");
    testing::internal::GetCapturedStdout();
    openOutput();
    EXPECT_EQ(uriOf(5), "http://w.example.org/x.example.com");  // the first occurrence only
}

TEST_F(Links, ChangeFileSpecificationByReference) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R 6 0 R 7 0 R]"),
        "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /Launch /F 5 0 R >> >>",
        "<< /Type /Filespec /F (old.pdf) /UF (old.pdf) >>",
        "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /Launch /F (OLD.pdf) >> >>",
        "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /Launch /F << /F (old.pdf) >> >> >>",
    };
    ASSERT_EQ(run(bodies, {"-change", "-link", "old.pdf", "-newlink", "new.pdf"}, "change_filespec"), "");
    openOutput();
    CPdfElement fileSpec = object(5);
    EXPECT_EQ(fileSpec.getDictionary()->lookup("UF").getBytes(), "new.pdf");
    EXPECT_EQ(fileSpec.getDictionary()->lookup("F").getBytes(), "old.pdf");
    CPdfElement a6 = object(6).getDictionary()->lookup("A");
    EXPECT_EQ(a6.getDictionary()->lookup("F").getBytes(), "new.pdf");
    CPdfElement a7 = object(7).getDictionary()->lookup("A");
    CPdfElement f7 = a7.getDictionary()->lookup("F");
    EXPECT_EQ(f7.getDictionary()->lookup("F").getBytes(), "new.pdf");
}

TEST_F(Links, ChangeReplacesEscapedAndHexTargetsWhole) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R 5 0 R]"),
        UriLink("(http://x/a\\(1\\).html) /Extra (keep)"),
        UriLink("<687474703a2f2f782f612831292e68746d6c>"),
    };
    ASSERT_EQ(run(bodies, {"-change", "-link", "http://x/a(1).html", "-newlink", "http://y/(b"}, "change_escaped"), "");
    openOutput();
    EXPECT_EQ(uriOf(4), "http://y/(b");
    EXPECT_EQ(uriOf(5), "http://y/(b");
    EXPECT_NE(rawOut(4).find("/URI (http://y/\\(b) /Extra (keep)"), std::string::npos) << rawOut(4);
    EXPECT_NE(rawOut(5).find("/URI (http://y/\\(b)"), std::string::npos) << rawOut(5);
}

TEST_F(Links, ChangeLeavesLinksOutsideTheRange) {
    std::vector<std::string> bodies = {
        kCatalog,
        "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>",
        PageWith("/Annots [4 0 R]"),
        UriLink("(http://a/)"),
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> /Annots [6 0 R] >>",
        UriLink("(http://a/)"),
    };
    ASSERT_EQ(run(bodies, {"-change", "-link", "http://a/", "-newlink", "http://b/", "-s2"}, "change_range"), "");
    openOutput();
    EXPECT_EQ(uriOf(4), "http://a/");
    EXPECT_EQ(uriOf(6), "http://b/");
}

TEST_F(Links, OddAnnotsElementsAreDroppedOrLeftWithoutHarm) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R 99 0 R 12 5 0 R]"),
        UriLink("(http://a/)"),
        "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /URI /URI 6 0 R >> >>",
        "(http://by-ref/)",
    };
    // 99 0 R does not exist, 12 is a number: both go; 5 stays (its URI is not a string).
    ASSERT_EQ(run(bodies, {"-remove", "-link", "http://a/"}, "remove_odd"), "");
    openOutput();
    EXPECT_NE(rawOut(3).find("/Annots [ 5 0 R ]\n"), std::string::npos) << rawOut(3);
    EXPECT_TRUE(isFree(4));
}

TEST_F(Links, ChangeLeavesAnIndirectUriStringAlone) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R]"),
        "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /URI /URI 5 0 R >> >>",
        "(http://by-ref/)",
    };
    ASSERT_EQ(run(bodies, {"-change", "-link", "http://by-ref/", "-newlink", "http://new/"}, "change_indirect"), "");
    openOutput();
    EXPECT_NE(rawOut(4).find("/URI 5 0 R"), std::string::npos);
    EXPECT_EQ(object(5).getBytes(), "http://by-ref/");
}

TEST_F(Links, ChangePartOfAFileLink) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R]"),
        "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /Launch /F << /Type /Filespec /F (docs/old.pdf) "
        "/UF (docs/old.pdf) >> >> >>",
    };
    ASSERT_EQ(run(bodies, {"-changepart", "-link", "old", "-newlink", "new"}, "changepart_file"), "");
    openOutput();
    CPdfElement a = object(4).getDictionary()->lookup("A");
    CPdfElement f = a.getDictionary()->lookup("F");
    EXPECT_EQ(f.getDictionary()->lookup("UF").getBytes(), "docs/new.pdf");
    EXPECT_EQ(f.getDictionary()->lookup("F").getBytes(), "docs/old.pdf");  // /UF is the one used
}

TEST_F(Links, ChangeAnInlineAnnotationInThePage) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [<< /Subtype /Text /Contents (x) >> << /Subtype /Link /Rect [1 2 3 4] "
                 "/A << /S /URI /URI (http://old/) >> >>]"),
    };
    ASSERT_EQ(run(bodies, {"-change", "-link", "http://old/", "-newlink", "http://new/"}, "change_inline"), "");
    openOutput();
    std::string page = rawOut(3);
    EXPECT_NE(page.find("/A << /S /URI /URI (http://new/) >> >>]"), std::string::npos) << page;
    EXPECT_NE(page.find("<< /Subtype /Text /Contents (x) >>"), std::string::npos);
}

TEST_F(Links, OnlyPagesWithAMatchingLinkAreEdited) {
    std::vector<std::string> bodies = {
        kCatalog,
        "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>",
        PageWith("/Annots [4 0 R]"),
        UriLink("(http://A/)"),
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> /Annots [6 0 R] >>",
        UriLink("(http://b/)"),
    };
    ASSERT_EQ(run(bodies, {"-change", "-link", "http://a/", "-newlink", "http://c/"}, "change_pages"), "");
    openOutput();
    EXPECT_EQ(uriOf(4), "http://c/");
    EXPECT_EQ(uriOf(6), "http://b/");
    // The page without a matching link and its link keep their bytes.
    EXPECT_EQ(rawOut(5), "5 0 obj\n" + bodies[4] + "\nendobj\n");
    EXPECT_EQ(rawOut(6), "6 0 obj\n" + bodies[5] + "\nendobj\n");

    // With both modes -change applies, with its letter-case rule.
    doc.reset();
    CQuillmarkHandler h2;
    std::vector<std::string> argv = {"quillmark", in,          out,        "-changepart", "-change",
                                     "-link",     "http://a/", "-newlink", "http://d/"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(testpdf::Run(h2, argv), "");
    testing::internal::GetCapturedStdout();
    openOutput();
    EXPECT_EQ(uriOf(4), "http://d/");
}

TEST_F(Links, UnicodeFileNamesAreReadAndWrittenInTheirForm) {
    std::vector<std::string> bodies = {
        kCatalog,
        kPages,
        PageWith("/Annots [4 0 R 5 0 R]"),
        // UF: UTF-16BE "caf\u00e9.pdf"; F of the second: UTF-8 with its mark, "na\u00efve.pdf".
        "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /Launch /F << /F (cafe.pdf) "
        "/UF <FEFF00630061006600E9002E007000640066> >> >> >>",
        "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /Launch /F (\xEF\xBB\xBFna\xC3\xAFve.pdf) >> >>",
    };
    const std::string report = testpdf::TempPath("links_unicode.txt");
    ASSERT_EQ(run(bodies, {"-change", "-link", "CAF\xC3\xA9.pdf", "-newlink", "th\xC3\xA9.pdf", "-report", report},
                  "unicode_names"),
              "");
    ASSERT_EQ(h.ExistingLinks().size(), 2u);
    EXPECT_EQ(h.ExistingLinks()[0].target, "caf\xC3\xA9.pdf");
    EXPECT_EQ(h.ExistingLinks()[1].target, "na\xC3\xAFve.pdf");

    // A report run writes no PDF: change again without the report.
    CQuillmarkHandler h2;
    std::vector<std::string> argv = {"quillmark",     in, out, "-change", "-link", "caf\xC3\xA9.pdf", "-newlink",
                                     "th\xC3\xA9.pdf"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(testpdf::Run(h2, argv), "");
    testing::internal::GetCapturedStdout();
    openOutput();
    CPdfElement a = object(4).getDictionary()->lookup("A");
    CPdfElement f = a.getDictionary()->lookup("F");
    EXPECT_EQ(f.getDictionary()->lookup("UF").getBytes(),
              std::string("\xFE\xFF\x00t\x00h\x00\xE9\x00.\x00p\x00\x64\x00\x66", 16));
}

// Every way a matching target can be written is still found, whether or not the
// annotation's raw text allows it to be passed over unparsed; links that cannot match
// keep their bytes.
TEST_F(Links, ChangeFindsTargetsInEveryWrittenForm) {
    struct Case {
        const char* name;
        std::vector<std::string> objects;  // objects 4.. ; object 4 is the annotation
        std::vector<std::string> args;
        std::string expect;  // the target read back from the output
    };
    const std::string launch = "<< /Subtype /Link /Rect [1 1 2 2] /A << /S /Launch /F ";
    const std::vector<Case> cases = {
        {"plain", {UriLink("(http://old.example/a)")}, {"-changepart", "-link", "old"}, "http://new.example/a"},
        {"other letter case, -change",
         {UriLink("(HTTP://Old.Example/)")},
         {"-change", "-link", "http://old.example/"},
         "new"},
        {"escaped letters",
         {UriLink("(http://\\157ld.example/a)")},
         {"-changepart", "-link", "old"},
         "http://new.example/a"},
        {"line continuation",
         {UriLink("(http://ol\\\nd.example/a)")},
         {"-changepart", "-link", "old"},
         "http://new.example/a"},
        {"hexadecimal", {UriLink("<687474703A2F2F6F6C64>")}, {"-changepart", "-link", "old"}, "http://new"},
        {"action by reference after a line break",
         {"<< /Subtype /Link /Rect [1 1 2 2] /A 5 0\nR >>", "<< /S /URI /URI (http://old.example/) >>"},
         {"-changepart", "-link", "old"},
         "http://new.example/"},
        {"action by reference",
         {"<< /Subtype /Link /Rect [1 1 2 2] /A 5 0 R >>", "<< /S /URI /URI (http://old.example/) >>"},
         {"-changepart", "-link", "old"},
         "http://new.example/"},
        {"action by reference without a space",
         {"<< /Subtype /Link /Rect [1 1 2 2] /A 5 0R >>", "<< /S /URI /URI (http://old.example/) >>"},
         {"-changepart", "-link", "old"},
         "http://new.example/"},
        {"UTF-16 file name",
         {launch + "<FEFF006F006C0064002E007000640066> >> >>"},
         {"-changepart", "-link", "old"},
         "new.pdf"},
        {"UTF-16 file name, literal",
         {launch + std::string("(\xFE\xFF\x00o\x00l\x00"
                               "d) >> >>",
                               17)},
         {"-changepart", "-link", "old"},
         "new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> bodies = {kCatalog, kPages, PageWith("/Annots [4 0 R]")};
        bodies.insert(bodies.end(), c.objects.begin(), c.objects.end());
        in = testpdf::TempPath("links_forms.pdf");
        out = testpdf::TempPath("links_forms.out.pdf");
        std::remove(out.c_str());
        testpdf::WriteFile(in, testpdf::Build(bodies));
        std::vector<std::string> argv = {"quillmark", in, out};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.insert(argv.end(), {"-newlink", "new"});
        CQuillmarkHandler one;
        testing::internal::CaptureStdout();
        const std::string err = testpdf::Run(one, argv);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(err, "");
        openOutput();
        CPdfElement a = object(4).getDictionary()->lookup("A");
        CPdfDictionary* action = a.getDictionary();
        ASSERT_NE(action, nullptr);
        CPdfElement target = action->lookup("URI");
        if (!target.isString()) target = action->lookup("F");
        ASSERT_TRUE(target.isString());
        std::string got = target.getBytes();
        if (got.size() >= 2 && static_cast<unsigned char>(got[0]) == 0xFE) {
            std::string ascii;  // UTF-16BE of ASCII letters
            for (size_t i = 3; i < got.size(); i += 2)
                ascii += got[i];
            got = ascii;
        }
        EXPECT_EQ(got, c.expect);
        doc.reset();
    }
}

TEST_F(Links, LinksThatCannotMatchKeepTheirBytes) {
    const std::string simple = UriLink("(http://other.example/a)");
    std::vector<std::string> bodies = {kCatalog, kPages, PageWith("/Annots [4 0 R 5 0 R]"), simple,
                                       UriLink("(http://old.example/)")};
    ASSERT_EQ(run(bodies, {"-changepart", "-link", "old", "-newlink", "new"}, "nomatch"), "");
    openOutput();
    EXPECT_EQ(rawOut(4), "4 0 obj\n" + simple + "\nendobj\n");
    EXPECT_EQ(uriOf(5), "http://new.example/");
}
