// Cross-reference section, trailer and the numbering of appended objects.
#include <gtest/gtest.h>

#include "links/CQuillmarkHandler.h"
#include "tests/writer/TestPdf.h"
#include "writer/COutputFile.h"

namespace {

class XRefTrailer : public ::testing::Test {
protected:
    void SetUp() override {
        path = testpdf::TempPath("xref.bin");
        h.out.reset(new COutputFile());
        ASSERT_TRUE(h.out->open(path));
    }
    std::string finish() {
        h.out->close();
        return testpdf::ReadFile(path);
    }
    CQuillmarkHandler h;
    std::string path;
};

}  // namespace

TEST_F(XRefTrailer, GoldenBytes) {
    h.outEntries.resize(4);
    h.out->write("%PDF-1.4\n");
    h.CopyObject(1, "1 0 obj\n<<>>\nendobj\n");
    h.outEntries[3].written = 1;  // a rewritten object at offset 0 with generation 2
    h.outEntries[3].generation = 2;
    h.rootNum = 1;
    h.infoNum = 0;
    uint64_t p = h.out->position();
    h.WriteXRef();
    h.WriteTrailer(p);
    std::string file = finish();
    EXPECT_EQ(file.substr(static_cast<size_t>(p)),
              "xref\n0 4\r"
              "0000000000 65535 f \r"
              "0000000009 00000 n \r"
              "0000000000 00000 f \r"
              "0000000000 00002 n \r"
              "trailer\n<<\n/Size 4\n/Root 1 0 R\n>>\nstartxref\n29\n%%EOF");
}

TEST_F(XRefTrailer, InfoAndGenerationsInTheTrailer) {
    h.outEntries.resize(6);
    h.outEntries[5].written = 1;
    h.rootNum = 3;
    h.rootGen = 3;
    h.infoNum = 5;
    h.infoGen = 1;
    h.WriteTrailer(1234);
    EXPECT_EQ(finish(), "trailer\n<<\n/Size 6\n/Root 3 3 R\n/Info 5 1 R\n>>\nstartxref\n1234\n%%EOF");
}

TEST_F(XRefTrailer, InfoThatWasNotWrittenIsLeftOut) {
    h.outEntries.resize(6);
    h.rootNum = 3;
    h.infoNum = 5;
    h.WriteTrailer(7);
    EXPECT_EQ(finish(), "trailer\n<<\n/Size 6\n/Root 3 0 R\n>>\nstartxref\n7\n%%EOF");
}

TEST_F(XRefTrailer, LargeOffsetsUseAllTenDigits) {
    h.outEntries.resize(3);
    h.outEntries[1] = {1234567890123ull / 1000, 0, 1};  // 1,234,567,890
    h.outEntries[2] = {9999999999ull, 7, 1};
    h.WriteXRef();
    EXPECT_EQ(finish(), "xref\n0 3\r0000000000 65535 f \r1234567890 00000 n \r9999999999 00007 n \r");
}

TEST_F(XRefTrailer, OffsetsBeyondTenDigitsFail) {
    h.outEntries.resize(2);
    h.outEntries[1] = {10000000000ull, 0, 1};
    EXPECT_THROW(h.WriteXRef(), CPdfException);
}

TEST_F(XRefTrailer, AppendedObjectsAreNumberedFromTheInputCount) {
    h.outEntries.resize(20);
    std::vector<int32_t> nums;
    for (int i = 0; i < 6; ++i) nums.push_back(h.AppendObject(" 0 obj\nnull\nendobj\n"));
    EXPECT_EQ(nums, (std::vector<int32_t>{20, 21, 22, 23, 24, 25}));
    uint64_t p = h.out->position();
    h.WriteXRef();
    h.rootNum = 1;
    h.WriteTrailer(p);
    std::string file = finish();
    EXPECT_EQ(file.substr(0, 38), "20 0 obj\nnull\nendobj\n21 0 obj\nnull\nend");
    EXPECT_EQ(file.substr(static_cast<size_t>(p), 10), "xref\n0 26\r");
    EXPECT_NE(file.find("/Size 26\n"), std::string::npos);
    // Entry 21 points at "21 0 obj".
    size_t entry21 = static_cast<size_t>(p) + 10 + 21 * 20;
    EXPECT_EQ(file.substr(entry21, 20), "0000000021 00000 n \r");
}
