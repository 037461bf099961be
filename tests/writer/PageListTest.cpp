// The page list: nested nodes, inherited boxes and rotation, Count, loops.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "tests/writer/DocTestBase.h"
#include "writer/PageList.h"

namespace {

class PageListWalk : public DocTestBase {
protected:
    void build(int32_t count) {
        const float letter[4] = {0, 0, 612, 792};
        list.BuildPageList(*xref, 0, count, raw(2), letter);
    }
    void expectPage(size_t i, int32_t num, float x1, float y1, float x2, float y2, int32_t rotate) {
        ASSERT_LT(i, list.size());
        const PageListEntry& p = list[i];
        EXPECT_EQ(p.objNum, num) << "page " << i;
        EXPECT_FLOAT_EQ(p.cropBox[0], x1) << "page " << i;
        EXPECT_FLOAT_EQ(p.cropBox[1], y1) << "page " << i;
        EXPECT_FLOAT_EQ(p.cropBox[2], x2) << "page " << i;
        EXPECT_FLOAT_EQ(p.cropBox[3], y2) << "page " << i;
        EXPECT_EQ(p.rotate, rotate) << "page " << i;
    }
    PageList list;
};

const std::vector<std::string> kNested = {
    "<< /Type /Catalog /Pages 2 0 R >>",
    "<< /Type /Pages /Kids [3 0 R 6 0 R 7 0 R] /Count 4 /MediaBox [0 0 595 842] /Rotate 90 >>",
    "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R] /Count 2 /CropBox [10 10 500 800] >>",
    "<< /Type /Page /Parent 3 0 R /CropBox [1 2 3 4] >>",
    "<< /Type /Page /Parent 3 0 R /Rotate -180 >>",
    "<< /Type /Page /Parent 2 0 R >>",
    "<< /Type /Page /Parent 2 0 R /MediaBox [100 100 0 0] /CropBox 8 0 R >>",
    "[20 30 40 50]",
};

}  // namespace

TEST_F(PageListWalk, NestedNodesAndInheritedBoxes) {
    open(kNested, "pagelist_nested");
    build(4);
    ASSERT_EQ(list.size(), 4u);
    expectPage(0, 4, 1, 2, 3, 4, 90);         // own crop box wins over the parent's
    expectPage(1, 5, 10, 10, 500, 800, 180);  // parent's crop box; own rotation
    expectPage(2, 6, 0, 0, 595, 842, 90);     // no crop box anywhere: the inherited media box
    expectPage(3, 7, 20, 30, 40, 50, 90);     // crop box by reference
}

TEST_F(PageListWalk, CountLimitsTheList) {
    open(kNested, "pagelist_count");
    build(3);
    ASSERT_EQ(list.size(), 3u);
    expectPage(2, 6, 0, 0, 595, 842, 90);
}

TEST_F(PageListWalk, LetterWhenNoBoxExistsAndAHugeCountSizesNothing) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 2000000000 >>",
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1] >>"},
         "pagelist_letter");
    build(2000000000);
    ASSERT_EQ(list.size(), 1u);
    expectPage(0, 3, 0, 0, 612, 792, 0);  // a media box of three numbers is no box
}

TEST_F(PageListWalk, LoopingTreeEndsTheWalk) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 9 >>",
          "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R 3 0 R 5 0 R] /Count 1 >>", "<< /Type /Page /Parent 2 0 R >>",
          "<< /Type /Page /Parent 3 0 R >>"},
         "pagelist_loop");
    build(9);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].objNum, 5);
    EXPECT_EQ(list[1].objNum, 4);
}

TEST_F(PageListWalk, MissingKidIsDamage) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
          "<< /Type /Page /Parent 2 0 R >>", "null"},
         "pagelist_null");
    EXPECT_THROW(build(2), CPdfException);
}

namespace {

// Opens path with a page-tree recorder, then makes the page list both from the record
// and by the page list's own walk. The walk must list the document's pages (as far as
// Count reaches), since text found on page n is linked on entry n. Returns whether the
// record could be used; when it was, both lists must be equal entry for entry.
bool RecordMatchesWalk(const std::string& path, std::vector<PageListEntry>* walkedOut = nullptr) {
    CPdfDocument doc;
    std::unique_ptr<CPdfPageTreeObserver> record = PageList::NewPageTreeRecorder();
    try {
        doc.open(path.c_str(), record.get());
    } catch (const CPdfException&) {
        return false;  // files that do not open have no page list
    }
    CPdfXRef& xref = *doc.getXRef();
    CPdfElement catalog = xref.fetch(xref.getRootNum(), xref.getRootGen());
    CPdfElement pages = catalog.getDictionary()->lookupRaw("Pages");
    if (!pages.isReference()) return false;
    const int32_t rootNum = pages.getRefNum();
    CPdfElement root = pages.fetch(&xref);
    CPdfElement countValue = root.getDictionary()->lookup("Count");
    const int32_t count = countValue.isInteger() && countValue.getInteger() > 0 ? countValue.getInteger() : 0;
    std::string rootText;
    EXPECT_TRUE(xref.getRawObjectText(rootNum, rootText));
    const float letter[4] = {0, 0, 612, 792};
    PageList walk;
    walk.BuildPageList(xref, rootNum, count, rootText, letter);
    const std::vector<PageListEntry> walked(walk.begin(), walk.end());
    if (walkedOut) *walkedOut = walked;
    const size_t listed =
        std::min<size_t>(static_cast<size_t>(doc.getNumPages()), count > 0 ? static_cast<size_t>(count) : SIZE_MAX);
    EXPECT_EQ(walked.size(), listed);
    for (size_t i = 0; i < walked.size() && i < listed; ++i)
        EXPECT_EQ(walked[i].objNum, doc.getPage(static_cast<int>(i)).getObjNum()) << "page " << i + 1;
    PageList recorded;
    if (!recorded.UseRecordedPageList(xref, record.get(), rootNum, count, letter)) return false;
    EXPECT_EQ(recorded.size(), walked.size());
    for (size_t i = 0; i < walked.size() && i < recorded.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(recorded[i].objNum, walked[i].objNum);
        EXPECT_EQ(std::memcmp(recorded[i].cropBox, walked[i].cropBox, sizeof walked[i].cropBox), 0);
        EXPECT_EQ(recorded[i].rotate, walked[i].rotate);
    }
    return true;
}

}  // namespace

TEST(RecordedPageList, EqualsTheWalkOnEveryCorpusFile) {
    int used = 0, files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QM_SOURCE_DIR "/tests/corpus")) {
        if (entry.path().extension() != ".pdf") continue;
        SCOPED_TRACE(entry.path().filename().string());
        ++files;
        if (RecordMatchesWalk(entry.path().string())) ++used;
    }
    EXPECT_GE(files, 30);
    EXPECT_GE(used, files / 2);  // the record serves the usual files
}

TEST(RecordedPageList, TreesTheWalkSeesOtherwiseFallBackToIt) {
    struct Case {
        const char* name;
        std::vector<std::string> bodies;
        bool recordUsed;
    };
    const std::vector<Case> cases = {
        {"plain",
         {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /Rotate 90 >>",
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << >> >>",
          "<< /Type /Page /Parent 2 0 R /CropBox [5 5 50 50] /Rotate 0 /Resources << >> >>"},
         true},
        {"nested, boxes by reference",
         {"<< /Type /Catalog /Pages 2 0 R >>",
          "<< /Type /Pages /Kids [3 0 R 6 0 R 7 0 R] /Count 4 /MediaBox [0 0 595 842] /Rotate 90 /Resources << >> >>",
          "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R] /Count 2 /CropBox [10 10 500 800] >>",
          "<< /Type /Page /Parent 3 0 R /CropBox [1 2 3 4] >>", "<< /Type /Page /Parent 3 0 R /Rotate -180 >>",
          "<< /Type /Page /Parent 2 0 R >>", "<< /Type /Page /Parent 2 0 R /MediaBox [100 100 0 0] /CropBox 8 0 R >>",
          "[20 30 40 50]"},
         true},
        // Reached twice or written directly: the document lists each page once and gives
        // a direct page an object of its own, and the walk sees the same.
        {"page listed twice",
         {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 3 0 R] /Count 2 >>",
          "<< /Type /Page /Parent 2 0 R /Resources << >> >>"},
         true},
        {"direct page",
         {"<< /Type /Catalog /Pages 2 0 R >>",
          "<< /Type /Pages /Kids [3 0 R << /Type /Page /Resources << >> >>] /Count 2 >>",
          "<< /Type /Page /Parent 2 0 R /Resources << >> >>"},
         true},
        {"node twice",
         {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R 3 0 R] /Count 9 >>",
          "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 4 0 R] /Rotate 90 >>",
          "<< /Type /Page /Parent 2 0 R /Resources << >> >>", "<< /Type /Page /Parent 3 0 R /Resources << >> >>"},
         true},
        {"nodes sharing a Kids array",
         {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 9 >>",
          "<< /Type /Pages /Parent 2 0 R /Kids 5 0 R /CropBox [1 1 9 9] >>",
          "<< /Type /Pages /Parent 2 0 R /Kids 5 0 R >>", "[6 0 R 7 0 R]",
          "<< /Type /Page /Parent 3 0 R /Resources << >> >>", "<< /Type /Page /Parent 3 0 R /Resources << >> >>"},
         true},
        {"direct nodes",
         {"<< /Type /Catalog /Pages 2 0 R >>",
          "<< /Type /Pages /Kids [<< /Kids 3 0 R /Rotate 90 >> << /Kids [4 0 R 3 0 R] >>] /Count 9 >>", "[4 0 R 5 0 R]",
          "<< /Type /Page /Resources << >> >>", "<< /Type /Page /Resources << >> >>"},
         false},
        {"count below the pages",
         {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 1 >>",
          "<< /Type /Page /Parent 2 0 R /Resources << >> >>", "<< /Type /Page /Parent 2 0 R /Resources << >> >>"},
         false},
        // Readers list the kids of a root typed as a page, as the document does.
        {"root typed as a page",
         {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Page /Kids [3 0 R] /Count 1 /Resources << >> >>",
          "<< /Type /Page /Parent 2 0 R >>"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = testpdf::TempPath(std::string("recorded_") + std::to_string(&c - &cases[0]) + ".pdf");
        testpdf::WriteFile(path, testpdf::Build(c.bodies));
        EXPECT_EQ(RecordMatchesWalk(path), c.recordUsed);
    }
}

TEST(RecordedPageList, BoxNumbersAreReadByTheParsersRules) {
    // A page's boxes and rotation read straight from its text must come out as the
    // parsed page gives them: "+300" is 300 (a sign is allowed), "1-2" is two numbers,
    // a real is read by strtod and an integer is clamped to 32 bits.
    struct Case {
        const char* entries;
        float box[4];
        int32_t rotate;
    } cases[] = {
        {"/CropBox [+100 0 +300 400]", {100, 0, 300, 400}, 0},
        {"/CropBox [0 0 300 400] /Rotate +90", {0, 0, 300, 400}, 90},
        {"/CropBox [+.5 +0 300.5 +400.]", {0.5f, 0, 300.5f, 400}, 0},
        {"/CropBox [+-1 0 300 400]", {0, -1, 0, 300}, 0},  // "+" is 0 and "-1" a number
        {"/CropBox [-.5 0. 300.25 400]", {-0.5f, 0, 300.25f, 400}, 0},
        {"/CropBox [0.1 0.2 100.3 200.7]", {0.1f, 0.2f, 100.3f, 200.7f}, 0},
        {"/CropBox [1-2 0 300 400]", {0, -2, 1, 300}, 0},
        {"/CropBox [0 0 300 400] /Rotate 99999999999", {0, 0, 300, 400}, 0},  // clamped: no quarter turn
        {"/CropBox [0 0 300 400] /Rotate -90.9", {0, 0, 300, 400}, 0},        // no quarter turn
        {"/CropBox [0 0 300 400 500] /Rotate 450", {0, 0, 300, 400}, 90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entries);
        const std::string path = testpdf::TempPath("signs_" + std::to_string(&c - &cases[0]) + ".pdf");
        testpdf::WriteFile(
            path, testpdf::Build({"<< /Type /Catalog /Pages 2 0 R >>",
                                  "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 595 842] >>",
                                  std::string("<< /Type /Page /Parent 2 0 R /Resources << >> ") + c.entries + " >>"}));
        std::vector<PageListEntry> walked;
        EXPECT_TRUE(RecordMatchesWalk(path, &walked));
        ASSERT_EQ(walked.size(), 1u);
        for (int k = 0; k < 4; ++k)
            EXPECT_FLOAT_EQ(walked[0].cropBox[k], c.box[k]) << k;
        EXPECT_EQ(walked[0].rotate, c.rotate);
    }
}

TEST(PageListRotate, ReducedModulo360ToQuarterTurnsOnEveryPath) {
    // Each value sits on a page read straight from its text, on a page whose Rotate
    // is a reference (read through the parser) and on a node the third page inherits
    // from; the page list of the walk and of the recorded tree agree.
    const struct {
        const char* value;
        int32_t turn;
    } cases[] = {
        {"90", 90},
        {"-90", 270},
        {"450", 90},
        {"-630", 90},
        {"90.0", 90},
        {"540.0", 180},
        {"360", 0},
        {"-0", 0},
        {"45", 0},
        {"100.5", 0},
        {"2147483610", 90},
        {"3600000090", 0},
        {"-2147483648", 0},
        {"1000000000000000000000000000000.0", 0},
        {"-1000000000000000000000000000000", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const std::string v = c.value;
        const std::string path = testpdf::TempPath("rotate_values.pdf");
        testpdf::WriteFile(path,
                           testpdf::Build({"<< /Type /Catalog /Pages 2 0 R >>",
                                           "<< /Type /Pages /Kids [3 0 R 4 0 R 6 0 R] /Count 3 /Resources << >> >>",
                                           "<< /Type /Page /Parent 2 0 R /Rotate " + v + " >>",
                                           "<< /Type /Page /Parent 2 0 R /Rotate 5 0 R >>", v,
                                           "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R] /Count 1 /Rotate " + v + " >>",
                                           "<< /Type /Page /Parent 6 0 R >>"}));
        CPdfDocument doc;
        ASSERT_NO_THROW(doc.open(path.c_str()));
        std::string rootText;
        ASSERT_TRUE(doc.getXRef()->getRawObjectText(2, rootText));
        const float letter[4] = {0, 0, 612, 792};
        PageList list;
        list.BuildPageList(*doc.getXRef(), 2, 3, rootText, letter);
        ASSERT_EQ(list.size(), 3u);
        for (const PageListEntry& p : list)
            EXPECT_EQ(p.rotate, c.turn) << "page " << p.objNum;
        EXPECT_TRUE(RecordMatchesWalk(path));
    }
}
