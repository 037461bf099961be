#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "tests/pdf/PdfTestUtil.h"
#include "tests/pdf/TestPdfBuilder.h"

using pdftest::describe;

namespace {

// Opens data as a document; returns "" or the exception message.
struct DocFile {
    std::string path;
    CPdfDocument doc;
    std::string error;
    std::string reason;
    DocFile(const std::string& data, const std::string& name) {
        path = TestPdfBuilder::writeTemp(data, name);
        try {
            doc.open(path.c_str());
        } catch (const CPdfException& e) {
            error = e.getMessage();
            reason = e.getReason();
        }
    }
    ~DocFile() {
        doc.close();
        std::remove(path.c_str());
    }
};

// The catalog failure behind "Problem with input file": loads the catalog of
// data directly and returns its message.
std::string catalogError(const std::string& data, const std::string& name) {
    std::string path = TestPdfBuilder::writeTemp(data, name);
    FILE* f = std::fopen(path.c_str(), "rb");
    CPdfFileStream* s = new CPdfFileStream(f, 0, 0, CPdfElement());
    std::string msg;
    {
        CPdfXRef x(s);
        try {
            x.open();
            CPdfCatalog c(&x);
            c.load();
        } catch (const CPdfException& e) {
            msg = e.getMessage();
        }
    }
    s->release();
    std::fclose(f);
    std::remove(path.c_str());
    return msg;
}

TestPdfBuilder twoPages() {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    b.add(3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << >> >> /Contents 5 0 R >>");
    b.add(4, "<< /Type /Page /Parent 2 0 R /Resources 6 0 R /Contents [5 0 R 5 0 R] /Rotate 90 >>");
    b.addStream(5, "", "BT ET");
    b.add(6, "<< /ProcSet [/PDF] >>");
    return b;
}

TEST(Document, OpensPagesInOrder) {
    TestPdfBuilder b = twoPages();
    DocFile f(b.build(), "two.pdf");
    ASSERT_EQ(f.error, "");
    ASSERT_TRUE(f.doc.isOpen());
    ASSERT_EQ(f.doc.getNumPages(), 2);
    const CPdfPage& p1 = f.doc.getPage(0);
    const CPdfPage& p2 = f.doc.getPage(1);
    EXPECT_EQ(p1.getNumber(), 1);
    EXPECT_EQ(p2.getNumber(), 2);
    EXPECT_EQ(p1.getObjNum(), 3);
    EXPECT_EQ(p2.getObjNum(), 4);
    EXPECT_EQ(p1.getObjGen(), 0);
    EXPECT_EQ(p1.getRotation(), 0);
    EXPECT_EQ(p2.getRotation(), 90);
    EXPECT_EQ(describe(p1.getContents()), "Ref:5,0");
    EXPECT_EQ(describe(p2.getContents()), "[Ref:5,0 Ref:5,0]");
    EXPECT_EQ(describe(p1.getResources()), "{Font:{}}");
    EXPECT_EQ(describe(p2.getResources()), "{ProcSet:[N:PDF]}");
    EXPECT_EQ(p1.getXRef(), f.doc.getXRef());
    EXPECT_NE(f.doc.getFile(), nullptr);
    EXPECT_EQ(f.doc.getHeaderOffset(), 0);
    f.doc.close();
    EXPECT_FALSE(f.doc.isOpen());
    EXPECT_EQ(f.doc.getNumPages(), 0);
    f.doc.close();  // a second close does nothing
}

TEST(Document, CantOpenFile) {
    CPdfDocument d;
    try {
        d.open("/nonexistent/dir/file.pdf");
        FAIL();
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.getMessage(), "Can't open file");
    }
    EXPECT_FALSE(d.isOpen());
}

TEST(Document, JunkBeforeHeader) {
    TestPdfBuilder b = twoPages();
    b.junk = std::string(100, 'x') + "\n";
    DocFile f(b.build(), "junk.pdf");
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.doc.getHeaderOffset(), 101);
    EXPECT_EQ(f.doc.getNumPages(), 2);
    std::string raw;
    ASSERT_TRUE(f.doc.getXRef()->getRawObjectText(6, raw));
    EXPECT_EQ(raw, "6 0 obj\n<< /ProcSet [/PDF] >>\nendobj\n");
}

TEST(Document, NoHeaderReadsFromStartOfFile) {
    TestPdfBuilder b = twoPages();
    b.header = "%XYZ\n";
    DocFile f(b.build(), "nohead.pdf");
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.doc.getHeaderOffset(), 0);
    EXPECT_EQ(f.doc.getNumPages(), 2);
}

TEST(Document, HeaderBeyondSearchWindowIsNotFound) {
    // 1100 bytes of junk: the header is not found, offsets count from the file
    // start and the table cannot be read; it is rebuilt from the objects found.
    TestPdfBuilder b = twoPages();
    b.junk = std::string(1100, 'x');
    DocFile f(b.build(), "farhead.pdf");
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.doc.getHeaderOffset(), 0);
    EXPECT_EQ(f.doc.getNumPages(), 2);
    EXPECT_TRUE(f.doc.getXRef()->wasRepaired());
}

TEST(Document, XRefStreamFile) {
    TestPdfBuilder b = twoPages();
    DocFile f(b.buildWithXRefStream(), "xs.pdf");
    ASSERT_EQ(f.error, "");
    EXPECT_EQ(f.doc.getNumPages(), 2);
}

TEST(Document, RotationNormalised) {
    struct {
        const char* rotate;
        int expected;
    } cases[] = {
        {"-90", 270},
        {"450", 90},
        {"90.0", 0},
        {"360", 0},
        {"-720", 0},
        {"180", 180},
        {"/x", 0},
        {"7 0 R", 270},
        {"2147483647", 2147483647 % 360},
        {"-2147483648", 360 - 2147483648LL % 360},
    };
    int k = 0;
    for (auto& c : cases) {
        TestPdfBuilder b;
        b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.add(3, std::string("<< /Type /Page /Resources << >> /Rotate ") + c.rotate + " >>");
        b.add(7, "-90");
        DocFile f(b.build(), "rot" + std::to_string(k++) + ".pdf");
        ASSERT_EQ(f.error, "") << c.rotate;
        EXPECT_EQ(f.doc.getPage(0).getRotation(), c.expected) << c.rotate;
    }
}

TEST(Document, InheritedResourcesAndRotate) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 3 /Resources << /R /top >> /Rotate 90 >>");
    b.add(3, "<< /Kids [4 0 R 5 0 R] /Count 2 /Rotate 180 /Resources 8 0 R >>");  // no Type: inner node
    b.add(4, "<< /Type /Page >>");
    b.add(5, "<< /Type /Page /Rotate 270 /Resources << /R /own >> >>");
    b.add(6, "<< /Type /Page /Rotate 90.0 >>");
    b.add(8, "<< /R /middle >>");
    DocFile f(b.build(), "inherit.pdf");
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.doc.getNumPages(), 3);
    EXPECT_EQ(describe(f.doc.getPage(0).getResources()), "{R:N:middle}");
    EXPECT_EQ(f.doc.getPage(0).getRotation(), 180);
    EXPECT_EQ(describe(f.doc.getPage(1).getResources()), "{R:N:own}");
    EXPECT_EQ(f.doc.getPage(1).getRotation(), 270);
    EXPECT_EQ(describe(f.doc.getPage(2).getResources()), "{R:N:top}");
    // The page's own Rotate decides, even when it is not an integer.
    EXPECT_EQ(f.doc.getPage(2).getRotation(), 0);
    EXPECT_EQ(f.doc.getPage(0).getObjNum(), 4);
    EXPECT_EQ(f.doc.getPage(2).getObjNum(), 6);
    EXPECT_EQ(describe(f.doc.getPage(0).getContents()), "Null");
}

TEST(Document, SharedResourcesObjectServesEveryPageThatNamesIt) {
    // Pages naming one resources object, another one, the first again, a missing one
    // (null: the inherited dictionary applies) and the first by an earlier generation
    // (a freed object: null too).
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R 7 0 R 10 0 R] /Count 6 /Resources << /R /top >> >>");
    b.add(3, "<< /Type /Page /Resources 8 1 R >>");
    b.add(4, "<< /Type /Page /Resources 8 1 R >>");
    b.add(5, "<< /Type /Page /Resources 9 0 R >>");
    b.add(6, "<< /Type /Page /Resources 8 1 R >>");
    b.add(7, "<< /Type /Page /Resources null >>");
    b.add(10, "<< /Type /Page /Resources 8 0 R >>");
    b.add(8, "<< /R /shared >>", 1);
    b.add(9, "<< /R /other >>");
    DocFile f(b.build(), "sharedres.pdf");
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.doc.getNumPages(), 6);
    const char* expect[] = {"{R:N:shared}", "{R:N:shared}", "{R:N:other}", "{R:N:shared}", "{R:N:top}", "{R:N:top}"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(describe(f.doc.getPage(i).getResources()), expect[i]) << "page " << i + 1;
}

TEST(Document, PageNumbersFollowDocumentOrderAcrossSubtrees) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 4 >>");
    b.add(3, "<< /Type /Pages /Kids [5 0 R 6 0 R] /Count 2 >>");
    b.add(4, "<< /Type /Pages /Kids [7 0 R << /Type /Page /Resources << >> >>] /Count 2 >>");
    for (int i = 5; i <= 7; ++i)
        b.add(i, "<< /Type /Page /Resources << >> /Contents (x) >>");
    DocFile f(b.build(), "order.pdf");
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.doc.getNumPages(), 4);
    // The page written directly in Kids gets the first number after the table's.
    int objs[] = {5, 6, 7, 8};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f.doc.getPage(i).getNumber(), i + 1);
        EXPECT_EQ(f.doc.getPage(i).getObjNum(), objs[i]);
    }
    // A Contents value of another kind becomes Null.
    EXPECT_EQ(describe(f.doc.getPage(0).getContents()), "Null");
}

struct CatalogCase {
    const char* name;
    std::string catalog, pages, extra;
    const char* message;
};

TEST(Document, CatalogErrors) {
    CatalogCase cases[] = {
        {"catalog", "5", "<< /Type /Pages /Kids [] /Count 0 >>", "", "Catalog object is wrong type"},
        {"pages", "<< /Type /Catalog /Pages 0 0 R >>", "<< >>", "", "Top-level pages object is wrong type"},
        {"pages_array", "<< /Type /Catalog /Pages [] >>", "<< >>", "", "Top-level pages object is wrong type"},
        {"count", "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] >>", "",
         "Page count in top-level pages object is wrong type"},
        {"count_name", "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count /x >>", "",
         "Page count in top-level pages object is wrong type"},
        {"kids", "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 1 >>", "", "Kids object is wrong type"},
        {"kid", "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [5] /Count 1.0 >>", "",
         "Kid object is wrong type"},
        {"missing_kid", "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [0 0 R] /Count 1 >>", "",
         "Kid object is wrong type"},
        {"self_loop", "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [2 0 R] /Count 1 >>", "",
         "Page tree has a loop"},
        {"kid_loop", "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Pages /Kids [2 0 R] >>", "Page tree has a loop"},
    };
    for (auto& c : cases) {
        TestPdfBuilder b;
        b.add(1, c.catalog);
        b.add(2, c.pages);
        if (!c.extra.empty()) b.add(3, c.extra);
        std::string pdf = b.build();
        EXPECT_EQ(catalogError(pdf, std::string("cat_") + c.name + ".pdf"), c.message) << c.name;
        // Through the document every one of them is "Problem with input file" (the
        // table rebuilt from the objects the file holds reads no better), and the
        // reason is that the file is damaged beyond repair.
        DocFile f(pdf, std::string("catdoc_") + c.name + ".pdf");
        EXPECT_EQ(f.error, "Problem with input file") << c.name;
        EXPECT_EQ(f.reason, CPdfReason::kDamaged) << c.name;
        EXPECT_FALSE(f.doc.isOpen());
    }
}

TEST(Document, LongPageTreeChainIsRefusedNotOverflowed) {
    // 5000 nested Pages nodes, each the only kid of the one before.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    const int n = 5000;
    for (int i = 2; i < 2 + n; ++i)
        b.add(i, "<< /Type /Pages /Kids [" + std::to_string(i + 1) + " 0 R] /Count 1 >>");
    b.add(2 + n, "<< /Type /Page /Resources << >> >>");
    DocFile f(b.build(), "chain.pdf");
    EXPECT_EQ(f.error, "Problem with input file");
}

// Trees whose nodes, pages or Kids arrays are reached more than once: each page is
// listed once, where it is first met, and the walk stays as small as the file.
TEST(Document, ObjectsReachedTwiceAreListedOnce) {
    struct Case {
        const char* name;
        std::vector<std::string> bodies;  // objects 2, 3, ...
        std::vector<int> pages;           // expected page object numbers
    };
    const std::string page = "<< /Type /Page /Resources << >> >>";
    const std::vector<Case> cases = {
        {"page twice in one Kids", {"<< /Type /Pages /Kids [3 0 R 4 0 R 3 0 R] /Count 3 >>", page, page}, {3, 4}},
        {"page under two nodes",
         {"<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 >>", "<< /Type /Pages /Kids [5 0 R 6 0 R] /Count 2 >>",
          "<< /Type /Pages /Kids [6 0 R] /Count 1 >>", page, page},
         {5, 6}},
        {"node twice",
         {"<< /Type /Pages /Kids [3 0 R 3 0 R 4 0 R] /Count 3 >>", "<< /Type /Pages /Kids [5 0 R] >>", page, page},
         {5, 4}},
        {"nodes sharing a Kids array",
         {"<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 4 >>", "<< /Type /Pages /Kids 5 0 R >>",
          "<< /Type /Pages /Kids 5 0 R >>", "[6 0 R 7 0 R]", page, page},
         {6, 7}},
        {"direct nodes sharing a Kids array",
         {"<< /Type /Pages /Kids [<< /Kids 3 0 R >> << /Kids 3 0 R >> << /Kids 3 0 R >>] /Count 9 >>",
          "[4 0 R 5 0 R 4 0 R]", page, page},
         {4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestPdfBuilder b;
        b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        for (size_t i = 0; i < c.bodies.size(); ++i)
            b.add(static_cast<int>(i) + 2, c.bodies[i]);
        DocFile f(b.build(), "once.pdf");
        ASSERT_EQ(f.error, "");
        std::vector<int> got;
        for (int i = 0; i < f.doc.getNumPages(); ++i) {
            got.push_back(f.doc.getPage(i).getObjNum());
            EXPECT_EQ(f.doc.getPage(i).getNumber(), i + 1);
        }
        EXPECT_EQ(got, c.pages);
    }
}

TEST(Document, SharedKidsArraysDoNotMultiplyThePages) {
    // Twenty levels of two direct nodes that share the next level's Kids array: a walk
    // that followed every path would list 2^20 pages of one object.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids 10 0 R /Count 1 >>");
    b.add(3, "<< /Type /Page /Resources << >> >>");
    const int levels = 20;
    for (int i = 0; i < levels; ++i) {
        const std::string next = std::to_string(11 + i) + " 0 R";
        b.add(10 + i, i + 1 < levels ? "[<< /Kids " + next + " >> << /Kids " + next + " >>]" : "[3 0 R 3 0 R]");
    }
    DocFile f(b.build(), "sharedkids.pdf");
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.doc.getNumPages(), 1);
    EXPECT_EQ(f.doc.getPage(0).getObjNum(), 3);
}

// A page dictionary written directly in Kids is a page, as readers show it: it gets an
// object number of its own, and the object that held it refers to it there.
TEST(Document, DirectPagesGetObjectsOfTheirOwn) {
    struct Case {
        const char* name;
        std::vector<std::string> bodies;  // objects 2, 3, ...
        int container;                    // object that held the direct pages
        std::vector<int> pages;
        std::string containerText;  // its raw text afterwards
    };
    const std::vector<Case> cases = {
        {"in the root's Kids",
         {"<< /Type /Pages /Kids [3 0 R << /Type /Page /Resources << >> /Contents (two) >> 3 0 R] /Count 2 >>",
          "<< /Type /Page /Resources << >> /Contents (one) >>"},
         2,
         {3, 4},
         "2 0 obj\n<< /Type /Pages /Kids [3 0 R 4 0 R 3 0 R] /Count 2 >>\nendobj\n"},
        {"in a Kids array object, two of them",
         {"<< /Type /Pages /Kids 3 0 R /Count 2 >>",
          "[<< /Type /Page /Resources << >> /Contents (a) >>\n  % note\n << /Type /Page /Resources << >> >>]"},
         3,
         {4, 5},
         "3 0 obj\n[4 0 R\n  % note\n 5 0 R]\nendobj\n"},
        {"inside a direct node",
         {"<< /Type /Pages /Kids [<< /Type /Pages /Kids [<< /Type /Page /Resources << >> >>] >>] /Count 1 >>"},
         2,
         {3},
         "2 0 obj\n<< /Type /Pages /Kids [<< /Type /Pages /Kids [3 0 R] >>] /Count 1 >>\nendobj\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestPdfBuilder b;
        b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        for (size_t i = 0; i < c.bodies.size(); ++i)
            b.add(static_cast<int>(i) + 2, c.bodies[i]);
        DocFile f(b.build(), "direct.pdf");
        ASSERT_EQ(f.error, "");
        std::vector<int> got;
        for (int i = 0; i < f.doc.getNumPages(); ++i)
            got.push_back(f.doc.getPage(i).getObjNum());
        EXPECT_EQ(got, c.pages);
        CPdfXRef* x = f.doc.getXRef();
        std::string raw;
        ASSERT_TRUE(x->getRawObjectText(c.container, raw));
        EXPECT_EQ(raw, c.containerText);
        // The new objects read back as the page dictionaries, through raw text and fetch.
        const int first = static_cast<int>(c.bodies.size()) + 2;
        for (int num = first; num < x->getNumEntries(); ++num) {
            EXPECT_EQ(x->getEntry(num).kind, XRefKind::InMemory);
            ASSERT_TRUE(x->getRawObjectText(num, raw));
            EXPECT_EQ(raw.compare(0, std::to_string(num).size() + 7, std::to_string(num) + " 0 obj\n"), 0) << raw;
            CPdfElement page = x->fetch(num, 0);
            ASSERT_TRUE(page.isDictionary());
            EXPECT_TRUE(page.getDictionary()->isType("Page"));
            int64_t pos = 0;
            size_t len = 0;
            EXPECT_FALSE(x->getRawObjectSpan(num, pos, len));  // not in the file
        }
        CPdfElement container = x->fetch(c.container, 0);
        EXPECT_NE(describe(container).find("Ref:" + std::to_string(first) + ",0"), std::string::npos)
            << describe(container);
    }
}

TEST(Document, EncryptedIsRefused) {
    TestPdfBuilder b = twoPages();
    b.trailerExtra = "/Encrypt 6 0 R";
    DocFile f(b.build(), "enc.pdf");
    EXPECT_EQ(f.error, "Problem with input file");
}

TEST(Document, FailedOpenCanBeRetried) {
    TestPdfBuilder bad = twoPages();
    bad.trailerExtra = "/Encrypt 6 0 R";
    std::string badPath = TestPdfBuilder::writeTemp(bad.build(), "retry_bad.pdf");
    TestPdfBuilder good = twoPages();
    std::string goodPath = TestPdfBuilder::writeTemp(good.build(), "retry_good.pdf");
    CPdfDocument d;
    EXPECT_THROW(d.open(badPath.c_str()), CPdfException);
    EXPECT_FALSE(d.isOpen());
    EXPECT_EQ(d.getFile(), nullptr);
    d.open(goodPath.c_str());
    EXPECT_TRUE(d.isOpen());
    EXPECT_EQ(d.getNumPages(), 2);
    std::remove(badPath.c_str());
    std::remove(goodPath.c_str());
}

TEST(Document, ElementsOutliveTheDocument) {
    TestPdfBuilder b = twoPages();
    std::string path = TestPdfBuilder::writeTemp(b.build(), "outlive.pdf");
    CPdfElement res;
    {
        CPdfDocument d;
        d.open(path.c_str());
        res = d.getPage(1).getResources();
    }
    EXPECT_EQ(describe(res), "{ProcSet:[N:PDF]}");
    std::remove(path.c_str());
}

}  // namespace

namespace {

TEST(Document, ContentArrayWithAWrongLengthReadsBothStreams) {
    // The second content stream has a Length that misses "endstream": its data ends
    // at "endstream", so the parser reads both streams whole.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.add(3, "<< /Type /Page /Resources << >> /Contents [4 0 R 5 0 R] >>");
    b.addStream(4, "", "BT ET");
    b.add(5, "<< /Length 2 >>\nstream\nq Q q Q\nendstream");
    DocFile f(b.build(), "brokencontent.pdf");
    ASSERT_EQ(f.error, "");
    CPdfXRef* x = f.doc.getXRef();
    CPdfElement contents = f.doc.getPage(0).getContents().fetch(x);
    ASSERT_TRUE(contents.isArray());
    CPdfParser p(x, contents);
    std::string ops;
    for (CPdfElement o = p.readObject(); !o.isEndOfInput(); o = p.readObject())
        ops += describe(o) + " ";
    EXPECT_EQ(ops, "C:BT C:ET C:q C:Q C:q C:Q ");
    EXPECT_TRUE(x->wasRepaired());
}

}  // namespace

namespace {

// A file access that sees only the first `visible` bytes of the file and counts the
// reads, standing for a device that stops delivering.
class CutFileAccess : public FileAccess {
public:
    explicit CutFileAccess(int64_t visible) : visible_(visible) {}
    size_t readAt(FILE* f, int64_t pos, unsigned char* out, size_t n) const override {
        ++reads;
        if (pos >= visible_) return 0;
        if (static_cast<int64_t>(n) > visible_ - pos) n = static_cast<size_t>(visible_ - pos);
        if (std::fseek(f, static_cast<long>(pos), SEEK_SET) != 0) return 0;
        return std::fread(out, 1, n, f);
    }
    int64_t size(FILE*) const override { return visible_; }
    mutable int reads = 0;

private:
    int64_t visible_;
};

}  // namespace

TEST(Document, ReadsOnlyThroughTheAccessHandedIn) {
    const std::string data = twoPages().build();
    const std::string path = TestPdfBuilder::writeTemp(data, "access.pdf");
    struct Case {
        int64_t visible;
        bool opens;
    } cases[] = {
        {static_cast<int64_t>(data.size()), true},
        {static_cast<int64_t>(data.size()) / 2, false},  // the table and trailer are cut off
        {0, false},
    };
    for (const Case& c : cases) {
        CutFileAccess access(c.visible);
        CPdfDocument doc(&access);
        bool opened = true;
        try {
            doc.open(path.c_str());
        } catch (const CPdfException&) {
            opened = false;
        }
        EXPECT_EQ(opened, c.opens) << c.visible;
        EXPECT_GT(access.reads, 0) << c.visible;
        if (opened) {
            EXPECT_EQ(doc.getNumPages(), 2);
        }
        doc.close();
    }
    std::remove(path.c_str());
}
