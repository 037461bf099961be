// Page rewrites of the stamp and create modes: Contents, Resources/Font and Annots,
// direct, by reference, absent and inherited.
#include "tests/writer/DocTestBase.h"
#include "writer/PageUpdate.h"

namespace {

class PageUpdate : public DocTestBase {
protected:
    PageUpdater& updater() {
        if (!up) up.reset(new PageUpdater(*writer, shared));
        return *up;
    }
    // The stamp font is object 21, the stream that saves the state 20.
    void stampSetup() { updater().SetStampFont("F123", 21); }
    // Page num stamped with the annotation 22 and the content stream 23.
    void stamp(int32_t num) { updater().UpdateStampedPage(num, raw(num), 23, 20, 22); }
    // The bytes written for object num (from its recorded offset to the next "endobj").
    std::string written(const std::string& out, int32_t num) {
        const OutputEntry e = writer->Entry(num);
        EXPECT_EQ(e.written, 1) << num;
        size_t end = out.find("endobj", static_cast<size_t>(e.offset));
        return out.substr(static_cast<size_t>(e.offset), end - static_cast<size_t>(e.offset));
    }
    std::unique_ptr<PageUpdater> up;
};

}  // namespace

TEST_F(PageUpdate, StampOnPageWithStreamContentsDirectFontsAndAnnots) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
          "<< /Type /Page /Parent 2 0 R /Contents 4 0 R\n/Resources << /Font << /F1 5 0 R >> >> /Annots [6 0 R] >>",
          "<< /Length 0 >>\nstream\n\nendstream", "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
          "<< /Type /Annot /Subtype /Text /Rect [0 0 1 1] >>"},
         "stamp_direct");
    stampSetup();
    stamp(3);
    std::string page = written(output(), 3);
    EXPECT_EQ(page,
              "3 0 obj\n<< /Type /Page /Parent 2 0 R /Contents [ 20 0 R 4 0 R 23 0 R ]\n"
              "/Resources << /Font << /F123 21 0 R  /F1 5 0 R >> >> /Annots [6 0 R 22 0 R ] >>\n");
}

TEST_F(PageUpdate, StampOnPageWithoutContentsFontOrAnnots) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
          "<</Type /Page /Parent 2 0 R /Resources << /ProcSet [/PDF] >> >>"},
         "stamp_absent");
    stampSetup();
    stamp(3);
    EXPECT_EQ(written(output(), 3),
              "3 0 obj\n<</Annots [ 22 0 R ]/Contents [ 20 0 R  23 0 R ]/Type /Page /Parent 2 0 R "
              "/Resources <</Font << /F123 21 0 R >> /ProcSet [/PDF] >> >>\n");
}

TEST_F(PageUpdate, StampEditsReferencedObjectsBeforeThePage) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
          "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources 5 0 R /Annots 7 0 R >>", "[8 0 R]",
          "<< /Font 6 0 R >>", "<< /F1 9 0 R >>", "[]", "<< /Length 0 >>\nstream\n\nendstream", "<< /Type /Font >>"},
         "stamp_refs");
    stampSetup();
    stamp(3);
    std::string out = output();
    EXPECT_EQ(written(out, 4), "4 0 obj\n[ 20 0 R 8 0 R 23 0 R ]\n");
    EXPECT_EQ(written(out, 6), "6 0 obj\n<< /F123 21 0 R  /F1 9 0 R >>\n");
    EXPECT_EQ(written(out, 7), "7 0 obj\n[ 22 0 R ]\n");
    EXPECT_EQ(writer->Entry(5).written, 0);  // the resources object itself is unchanged
    EXPECT_EQ(written(out, 3),
              "3 0 obj\n<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources 5 0 R /Annots 7 0 R >>\n");
    EXPECT_LT(writer->Entry(4).offset, writer->Entry(6).offset);
    EXPECT_LT(writer->Entry(6).offset, writer->Entry(7).offset);
    EXPECT_LT(writer->Entry(7).offset, writer->Entry(3).offset);
}

TEST_F(PageUpdate, SharedFontObjectIsEditedOnce) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
          "<< /Type /Page /Parent 2 0 R /Resources << /Font 5 0 R >> >>",
          "<< /Type /Page /Parent 2 0 R /Resources << /Font 5 0 R >> >>", "<< /F1 6 0 R >>", "<< /Type /Font >>"},
         "stamp_shared");
    stampSetup();
    stamp(3);
    stamp(4);
    std::string out = output();
    size_t first = out.find("5 0 obj");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(out.find("5 0 obj", first + 1), std::string::npos);
    EXPECT_EQ(written(out, 5), "5 0 obj\n<< /F123 21 0 R  /F1 6 0 R >>\n");
}

TEST_F(PageUpdate, InheritedDirectResourcesAreCopiedIntoThePage) {
    open({"<< /Type /Catalog /Pages 2 0 R >>",
          "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources << /Font << /F1 4 0 R >> /ProcSet [/PDF] >> >>",
          "<< /Type /Page /Parent 2 0 R /Contents [] >>", "<< /Type /Font >>"},
         "stamp_inherited_direct");
    stampSetup();
    stamp(3);
    std::string out = output();
    EXPECT_EQ(written(out, 3),
              "3 0 obj\n<</Annots [ 22 0 R ]/Resources << /Font << /F123 21 0 R  /F1 4 0 R >> /ProcSet [/PDF] >>\n"
              " /Type /Page /Parent 2 0 R /Contents [ 20 0 R  23 0 R ] >>\n");
    EXPECT_EQ(writer->Entry(2).written, 0);  // the parent stays as it is
}

TEST_F(PageUpdate, InheritedReferencedResourcesAreEditedInPlace) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources 4 0 R >>",
          "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R] /Count 1 >>", "<< /ProcSet [/PDF] >>",
          "<< /Type /Page /Parent 3 0 R >>"},
         "stamp_inherited_ref");
    stampSetup();
    stamp(5);
    std::string out = output();
    EXPECT_EQ(written(out, 4), "4 0 obj\n<</Font << /F123 21 0 R >> /ProcSet [/PDF] >>\n");
    EXPECT_EQ(written(out, 5),
              "5 0 obj\n<</Annots [ 22 0 R ]/Contents [ 20 0 R  23 0 R ] /Type /Page /Parent 3 0 R >>\n");
}

TEST_F(PageUpdate, NoResourcesAnywhereGivesThePageItsOwn) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
          "<< /Type /Page /Parent 2 0 R /Annots [] >>"},
         "stamp_no_resources");
    stampSetup();
    stamp(3);
    EXPECT_EQ(written(output(), 3),
              "3 0 obj\n<</Resources << /Font << /F123 21 0 R >> >>\n/Contents [ 20 0 R  23 0 R ] "
              "/Type /Page /Parent 2 0 R /Annots [ 22 0 R ] >>\n");
}

TEST_F(PageUpdate, LinkedPageAnnotsAbsentDirectAndReferenced) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
          "<< /Type /Page /Parent 2 0 R >>",
          // Direct annotation dictionaries with their own arrays inside the Annots array.
          "<< /Type /Page /Parent 2 0 R /Annots [<< /Rect [0 0 1 1] /Contents (x]) >> 9 0 R] >>",
          "<< /Type /Page /Parent 2 0 R /Annots 6 0 R >>", "[ 7 0 R ]"},
         "linked");
    updater().UpdateLinkedPage(3, raw(3), {30, 31});
    updater().UpdateLinkedPage(4, raw(4), {32});
    updater().UpdateLinkedPage(5, raw(5), {33, 34});
    std::string out = output();
    EXPECT_EQ(written(out, 3), "3 0 obj\n<</Annots [ 30 0 R 31 0 R ]\n /Type /Page /Parent 2 0 R >>\n");
    EXPECT_EQ(
        written(out, 4),
        "4 0 obj\n<< /Type /Page /Parent 2 0 R /Annots [<< /Rect [0 0 1 1] /Contents (x]) >> 9 0 R 32 0 R ] >>\n");
    EXPECT_EQ(written(out, 6), "6 0 obj\n[ 7 0 R  33 0 R  34 0 R ]\n");
    EXPECT_EQ(written(out, 5), "5 0 obj\n<< /Type /Page /Parent 2 0 R /Annots 6 0 R >>\n");
}

TEST_F(PageUpdate, LinkedPageWithoutFoundLinks) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
          "<< /Type /Page /Parent 2 0 R >>"},
         "linked_empty");
    updater().UpdateLinkedPage(3, raw(3), {});
    EXPECT_EQ(written(output(), 3), "3 0 obj\n<</Annots [ ]\n /Type /Page /Parent 2 0 R >>\n");
}

TEST_F(PageUpdate, NullEntriesAreReplacedAndSiblingsShareTheInheritedCopy) {
    open({"<< /Type /Catalog /Pages 2 0 R >>",
          "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /Resources << /ProcSet [/PDF] >> >>",
          "<< /Type /Page /Parent 2 0 R /Contents null /Annots null /Resources null >>",
          "<< /Type /Page /Parent 2 0 R /Contents [] >>"},
         "stamp_null");
    stampSetup();
    stamp(3);
    stamp(4);
    std::string out = output();
    EXPECT_EQ(written(out, 3),
              "3 0 obj\n<< /Type /Page /Parent 2 0 R /Contents [ 20 0 R  23 0 R ] /Annots [ 22 0 R ] "
              "/Resources <</Font << /F123 21 0 R >> /ProcSet [/PDF] >> >>\n");
    EXPECT_EQ(written(out, 4),
              "4 0 obj\n<</Annots [ 22 0 R ]/Resources <</Font << /F123 21 0 R >> /ProcSet [/PDF] >>\n"
              " /Type /Page /Parent 2 0 R /Contents [ 20 0 R  23 0 R ] >>\n");
}

namespace {

// A page's Contents before and after the stamp.
struct ContentsCase {
    const char* page;
    const char* written;
};

class StampedContents : public PageUpdate, public ::testing::WithParamInterface<ContentsCase> {};

// Whatever the page's Contents is, the state-saving stream 20 comes first and the
// stamp's stream 23 last, the page's own streams in between as they were.
const ContentsCase kContentsCases[] = {
    {"<< /Type /Page /Parent 2 0 R /Contents [4 0 R 5 0 R] >>",
     "<</Annots [ 22 0 R ] /Type /Page /Parent 2 0 R /Contents [ 20 0 R 4 0 R 5 0 R 23 0 R ] >>"},
    {"<< /Type /Page /Parent 2 0 R /Contents[4 0 R % a comment\n5 0 R]/Annots [] >>",
     "<< /Type /Page /Parent 2 0 R /Contents[ 20 0 R 4 0 R % a comment\n5 0 R 23 0 R ]/Annots [ 22 0 R ] >>"},
    {"<< /Type /Page /Parent 2 0 R /Contents 4 0 R/Annots [] >>",
     "<< /Type /Page /Parent 2 0 R /Contents [ 20 0 R 4 0 R 23 0 R ]/Annots [ 22 0 R ] >>"},
    {"<< /Type /Page /Parent 2 0 R /Contents [] >>",
     "<</Annots [ 22 0 R ] /Type /Page /Parent 2 0 R /Contents [ 20 0 R  23 0 R ] >>"},
    {"<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Annots [] >>",  // an array object: edited there
     "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Annots [ 22 0 R ] >>"},
};

}  // namespace

TEST_P(StampedContents, SaveTheStateBeforeThePageAndRestoreItAtTheEnd) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", GetParam().page,
          "<< /Length 0 >>\nstream\n\nendstream", "<< /Length 0 >>\nstream\n\nendstream", "[4 0 R\n5 0 R]"},
         "stamp_contents");
    stampSetup();
    stamp(3);
    const std::string out = output();
    std::string page = written(out, 3);
    // The resources the page gets are not the subject here.
    const size_t res = page.find("/Resources");
    if (res != std::string::npos) page.erase(res, page.find('\n', res) + 1 - res);
    EXPECT_EQ(page, std::string("3 0 obj\n") + GetParam().written + "\n");
    if (page.find("6 0 R") != std::string::npos) {
        EXPECT_EQ(written(out, 6), "6 0 obj\n[ 20 0 R 4 0 R\n5 0 R 23 0 R ]\n");
    }
}

INSTANTIATE_TEST_SUITE_P(PageUpdate, StampedContents, ::testing::ValuesIn(kContentsCases));
