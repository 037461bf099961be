// The page list: nested nodes, inherited boxes and rotation, Count, loops.
#include "tests/writer/DocTestBase.h"

namespace {

class PageList : public DocTestBase {
protected:
    void build(int32_t count) {
        h.pagesCount = count;
        const float letter[4] = {0, 0, 612, 792};
        h.BuildPageList(raw(2), letter);
    }
    void expectPage(size_t i, int32_t num, float x1, float y1, float x2, float y2, int32_t rotate) {
        ASSERT_LT(i, h.pageList.size());
        const PageListEntry& p = h.pageList[i];
        EXPECT_EQ(p.objNum, num) << "page " << i;
        EXPECT_FLOAT_EQ(p.cropBox[0], x1) << "page " << i;
        EXPECT_FLOAT_EQ(p.cropBox[1], y1) << "page " << i;
        EXPECT_FLOAT_EQ(p.cropBox[2], x2) << "page " << i;
        EXPECT_FLOAT_EQ(p.cropBox[3], y2) << "page " << i;
        EXPECT_EQ(p.rotate, rotate) << "page " << i;
    }
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

TEST_F(PageList, NestedNodesAndInheritedBoxes) {
    open(kNested, "pagelist_nested");
    build(4);
    ASSERT_EQ(h.pageList.size(), 4u);
    expectPage(0, 4, 1, 2, 3, 4, 90);          // own crop box wins over the parent's
    expectPage(1, 5, 10, 10, 500, 800, 180);   // parent's crop box; own rotation
    expectPage(2, 6, 0, 0, 595, 842, 90);      // no crop box anywhere: the inherited media box
    expectPage(3, 7, 20, 30, 40, 50, 90);      // crop box by reference
}

TEST_F(PageList, CountLimitsTheList) {
    open(kNested, "pagelist_count");
    build(3);
    ASSERT_EQ(h.pageList.size(), 3u);
    expectPage(2, 6, 0, 0, 595, 842, 90);
}

TEST_F(PageList, LetterWhenNoBoxExistsAndAHugeCountSizesNothing) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 2000000000 >>",
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1] >>"},
         "pagelist_letter");
    build(2000000000);
    ASSERT_EQ(h.pageList.size(), 1u);
    expectPage(0, 3, 0, 0, 612, 792, 0);  // a media box of three numbers is no box
}

TEST_F(PageList, LoopingTreeEndsTheWalk) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 9 >>",
          "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R 3 0 R 5 0 R] /Count 1 >>",
          "<< /Type /Page /Parent 2 0 R >>", "<< /Type /Page /Parent 3 0 R >>"},
         "pagelist_loop");
    build(9);
    ASSERT_EQ(h.pageList.size(), 2u);
    EXPECT_EQ(h.pageList[0].objNum, 5);
    EXPECT_EQ(h.pageList[1].objNum, 4);
}

TEST_F(PageList, MissingKidIsDamage) {
    open({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
          "<< /Type /Page /Parent 2 0 R >>", "null"},
         "pagelist_null");
    EXPECT_THROW(build(2), CPdfException);
}
