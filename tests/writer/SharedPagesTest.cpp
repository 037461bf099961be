// Page edits that must land on the edited page only: references to missing or freed
// Annots and Contents, and Annots arrays, Contents arrays, annotations and actions
// shared between pages. Whole runs; the output is read back page by page.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "links/CQuillmarkHandler.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "tests/writer/TestPdf.h"
#include "text/CPdfText.h"

namespace {

const char* kFont = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";

std::string Stream(const std::string& prefix, const std::string& content) {
    return prefix + "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream";
}
std::string Text(const std::string& words) { return Stream("", "BT /F1 12 Tf 72 720 Td (" + words + ") Tj ET"); }
std::string Link(const std::string& uri, const std::string& rect = "[70 715 200 735]") {
    return "<< /Type /Annot /Subtype /Link /Rect " + rect + " /A << /S /URI /URI (" + uri + ") >> >>";
}
std::string Page(const std::string& entries) {
    return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> " +
           entries + " >>";
}
// Catalog 1, page tree 2 over pages (object numbers), font 3, then more.
std::vector<std::string> Doc(const std::vector<int>& pages, std::vector<std::string> more) {
    std::string kids;
    for (int p : pages) kids += std::to_string(p) + " 0 R ";
    std::vector<std::string> b = {"<< /Type /Catalog /Pages 2 0 R >>",
                                  "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>",
                                  kFont};
    b.insert(b.end(), more.begin(), more.end());
    return b;
}

// What one page of the output shows.
struct PageView {
    std::vector<std::string> uris;    // the URI of each annotation, in Annots order
    std::vector<int32_t> annotNums;   // their object numbers (0 when written inline)
    int contents = 0;                 // content streams
};

class SharedPages : public ::testing::Test {
protected:
    std::vector<PageView> run(const std::vector<std::string>& bodies, std::vector<std::string> args) {
        resetLineTrackerForTesting();
        const std::string in = testpdf::TempPath("shared.pdf");
        const std::string out = testpdf::TempPath("shared.out.pdf");
        testpdf::WriteFile(in, testpdf::Build(bodies));
        std::vector<std::string> argv = {"quillmark", in, out};
        argv.insert(argv.end(), args.begin(), args.end());
        CQuillmarkHandler::fontNameSeedForTesting = 7;
        testing::internal::CaptureStdout();
        CQuillmarkHandler h;
        const std::string err = testpdf::Run(h, argv);
        stdoutText = testing::internal::GetCapturedStdout();
        EXPECT_EQ(err, "") << stdoutText;
        std::vector<PageView> pages;
        if (!err.empty()) return pages;
        CPdfDocument doc;
        try {
            doc.open(out.c_str());
            readPages(doc, pages);
        } catch (const CPdfException& e) {
            ADD_FAILURE() << "the output does not read back: " << e.getMessage();
        }
        doc.close();
        return pages;
    }

    // A page's entry resolved; a reference to a number beyond the table reads as null.
    static CPdfElement Entry(CPdfXRef* xref, CPdfDictionary* page, const char* key) {
        CPdfElement raw = page->lookupRaw(key);
        if (raw.isReference() && (raw.getRefNum() <= 0 || raw.getRefNum() >= xref->getNumEntries())) return CPdfElement();
        return raw.fetch(xref);
    }

    void readPages(CPdfDocument& doc, std::vector<PageView>& pages) {
        CPdfXRef* xref = doc.getXRef();
        for (int i = 0; i < doc.getNumPages(); ++i) {
            PageView v;
            const int32_t num = doc.getPage(i).getObjNum();
            CPdfElement page = xref->fetch(num, 0);
            CPdfElement annots = Entry(xref, page.getDictionary(), "Annots");
            if (CPdfArray* a = annots.getArray()) {
                for (int j = 0; j < a->getLength(); ++j) {
                    CPdfElement raw = a->getRaw(j);
                    const bool inTable = !raw.isReference() || raw.getRefNum() < xref->getNumEntries();
                    CPdfElement annot = inTable ? a->get(j) : CPdfElement();
                    std::string uri = "?";
                    if (CPdfDictionary* d = annot.isDictionary() ? annot.getDictionary() : nullptr) {
                        CPdfElement action = d->lookup("A");
                        if (action.isDictionary()) uri = action.getDictionary()->lookup("URI").getBytes();
                    }
                    v.uris.push_back(uri);
                    v.annotNums.push_back(raw.isReference() ? raw.getRefNum() : 0);
                }
            }
            CPdfElement contents = Entry(xref, page.getDictionary(), "Contents");
            if (CPdfArray* a = contents.getArray()) {
                for (int j = 0; j < a->getLength(); ++j) {
                    const CPdfElement raw = a->getRaw(j);
                    if (raw.isReference() && raw.getRefNum() < xref->getNumEntries() && a->get(j).isStream())
                        ++v.contents;
                }
            } else if (contents.isStream()) {
                v.contents = 1;
            }
            pages.push_back(v);
        }
    }

    std::string stdoutText;
};

using Uris = std::vector<std::vector<std::string>>;

struct Case {
    const char* name;
    std::vector<std::string> bodies;
    std::vector<std::string> args;
    Uris uris;                  // per page
    std::vector<int> contents;  // per page
};

void Expect(const std::vector<PageView>& pages, const Case& c) {
    ASSERT_EQ(pages.size(), c.uris.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].uris, c.uris[i]) << "page " << i + 1;
        EXPECT_EQ(pages[i].contents, c.contents[i]) << "page " << i + 1;
    }
}

const std::string kStamp = "http://s/";

// Three pages (4, 5, 6) that share Annots array 7 (links 9, 10) and Contents array 8.
std::vector<std::string> SharedArrays() {
    const std::string page = Page("/Annots 7 0 R /Contents 8 0 R");
    return Doc({4, 5, 6}, {page, page, page, "[9 0 R 10 0 R]", "[11 0 R]", Link("http://a/"),
                           Link("http://b/", "[70 600 200 620]"), Text("Hello http://c.example/ there")});
}

// Two pages (4, 5) with their own Annots arrays that share link 6, and links 7 and 8
// that share action 9.
std::vector<std::string> SharedAnnotations() {
    return Doc({4, 5}, {Page("/Annots [6 0 R 7 0 R] /Contents 10 0 R"), Page("/Annots [6 0 R 8 0 R] /Contents 10 0 R"),
                        Link("http://a/"), "<< /Type /Annot /Subtype /Link /Rect [70 600 200 620] /A 9 0 R >>",
                        "<< /Type /Annot /Subtype /Link /Rect [70 500 200 520] /A 9 0 R >>",
                        "<< /S /URI /URI (http://b/) >>", Text("Hello there")});
}

}  // namespace

TEST_F(SharedPages, StampLandsWhereAnnotsOrContentsCannotBeHad) {
    const std::string comment = "% " + std::string(300, 'c') + "\n";
    const std::vector<Case> cases = {
        {"Annots and Contents point at freed objects",
         Doc({4}, {Page("/Annots 6 0 R /Contents 7 0 R"), Text("x"), testpdf::kFree, testpdf::kFree}),
         {"-text", "S", "-link", kStamp},
         {{kStamp}},
         {1}},
        {"Annots and Contents point beyond the table",
         Doc({4}, {Page("/Annots 60 0 R /Contents 70 0 R")}),
         {"-text", "S", "-link", kStamp},
         {{kStamp}},
         {1}},
        {"Annots points at no array",
         Doc({4}, {Page("/Annots 5 0 R /Contents 6 0 R"), "<< /Not /AnArray >>", Text("x")}),
         {"-text", "S", "-link", kStamp},
         {{kStamp}},
         {2}},
        // The kind of a referenced object is known from the object itself, also when
        // a long comment comes first.
        {"Contents stream behind a long comment",
         Doc({4}, {Page("/Contents 5 0 R"), Stream(comment, "BT ET")}),
         {"-text", "S", "-link", kStamp},
         {{kStamp}},
         {2}},
        {"Contents array behind a long comment",
         Doc({4}, {Page("/Contents 5 0 R"), comment + "[6 0 R]", Text("x")}),
         {"-text", "S", "-link", kStamp},
         {{kStamp}},
         {2}},
        {"created links where Annots points at a freed object",
         Doc({4}, {Page("/Annots 6 0 R /Contents 5 0 R"), Text("see http://c.example/"), testpdf::kFree}),
         {"-create"},
         {{"http://c.example/"}},
         {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Expect(run(c.bodies, c.args), c);
    }
}

TEST_F(SharedPages, EditsOfOnePageLeaveTheOthersAlone) {
    const std::vector<Case> cases = {
        {"stamp on two of three pages sharing Annots and Contents arrays",
         SharedArrays(),
         {"-text", "S", "-link", kStamp, "-s1", "-e2"},
         {{"http://a/", "http://b/", kStamp}, {"http://a/", "http://b/", kStamp}, {"http://a/", "http://b/"}},
         {2, 2, 1}},
        {"links created on pages sharing an Annots array",
         SharedArrays(),
         {"-create", "-s2"},
         {{"http://a/", "http://b/"},
          {"http://a/", "http://b/", "http://c.example/"},
          {"http://a/", "http://b/", "http://c.example/"}},
         {1, 1, 1}},
        {"links removed from one page of three sharing an Annots array",
         SharedArrays(),
         {"-remove", "-s1", "-e1"},
         {{}, {"http://a/", "http://b/"}, {"http://a/", "http://b/"}},
         {1, 1, 1}},
        {"links removed from every page sharing an Annots array",
         SharedArrays(),
         {"-remove"},
         {{}, {}, {}},
         {1, 1, 1}},
        {"a shared link removed from one page",
         SharedAnnotations(),
         {"-remove", "-s1", "-e1", "-link", "http://a/"},
         {{"http://b/"}, {"http://a/", "http://b/"}},
         {1, 1}},
        {"a link with a shared action changed on one page",
         SharedAnnotations(),
         {"-change", "-link", "http://b/", "-newlink", "http://new/", "-s1", "-e1"},
         {{"http://a/", "http://new/"}, {"http://a/", "http://b/"}},
         {1, 1}},
        {"a shared link changed in part on one page",
         SharedAnnotations(),
         {"-changepart", "-link", "a/", "-newlink", "z/", "-s2"},
         {{"http://a/", "http://b/"}, {"http://z/", "http://b/"}},
         {1, 1}},
        {"a shared link in a shared Annots array changed on one page",
         SharedArrays(),
         {"-change", "-link", "http://a/", "-newlink", "http://new/", "-s3"},
         {{"http://a/", "http://b/"}, {"http://a/", "http://b/"}, {"http://new/", "http://b/"}},
         {1, 1, 1}},
        {"a shared link changed on every page that has it",
         SharedAnnotations(),
         {"-changepart", "-link", "a/", "-newlink", "z/"},
         {{"http://z/", "http://b/"}, {"http://z/", "http://b/"}},
         {1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Expect(run(c.bodies, c.args), c);
    }
}

TEST_F(SharedPages, EachEditedPageGetsItsOwnAnnotations) {
    // Created links of one page never show on another that shared its Annots array.
    std::vector<PageView> pages = run(SharedArrays(), {"-text", "S", "-link", kStamp});
    ASSERT_EQ(pages.size(), 3u);
    std::set<int32_t> stampAnnots;
    for (const PageView& p : pages) {
        ASSERT_EQ(p.annotNums.size(), 3u);
        EXPECT_EQ(p.annotNums[0], 9);
        EXPECT_EQ(p.annotNums[1], 10);
        stampAnnots.insert(p.annotNums[2]);
    }
    EXPECT_EQ(stampAnnots.size(), 3u);
}
