// Cross-reference section, trailer and the numbering of appended objects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/CPdfException.h"
#include "tests/writer/TestPdf.h"
#include "writer/OutputWriter.h"

namespace {

// A writer with no input: its table grows by the objects the test reserves.
class XRefTrailer : public ::testing::Test {
protected:
    void SetUp() override {
        path = testpdf::TempPath("xref.bin");
        ASSERT_TRUE(w.Open(path));
    }
    void entries(int n) {
        for (int i = 0; i < n; ++i)
            w.ReserveObject();
    }
    std::string finish() {
        EXPECT_TRUE(w.Commit());
        return testpdf::ReadFile(path);
    }
    COutputWriter w{nullptr, nullptr};
    std::string path;
};

}  // namespace

TEST_F(XRefTrailer, GoldenBytes) {
    entries(4);
    w.Write("%PDF-1.4\n");
    w.CopyObject(1, "1 0 obj\n<<>>\nendobj\n");
    w.WriteRewrittenObject(3, "3 0 obj\nnull\nendobj\n");
    w.SetTrailerRefs(1, 0, 0, 0);
    uint64_t p = w.Position();
    w.WriteXRef();
    w.WriteTrailer(p);
    std::string file = finish();
    EXPECT_EQ(file.substr(static_cast<size_t>(p)),
              "xref\n0 4\r"
              "0000000000 65535 f \r"
              "0000000009 00000 n \r"
              "0000000000 00000 f \r"
              "0000000029 00000 n \r"
              "trailer\n<<\n/Size 4\n/Root 1 0 R\n>>\nstartxref\n49\n%%EOF");
}

TEST_F(XRefTrailer, InfoAndGenerationsInTheTrailer) {
    entries(6);
    w.CopyObject(5, "5 0 obj\nnull\nendobj\n");
    w.SetTrailerRefs(3, 3, 5, 1);
    w.WriteTrailer(1234);
    EXPECT_EQ(finish(),
              "5 0 obj\nnull\nendobj\ntrailer\n<<\n/Size 6\n/Root 3 3 R\n/Info 5 1 R\n>>\nstartxref\n1234\n%%EOF");
}

TEST_F(XRefTrailer, InfoThatWasNotWrittenIsLeftOut) {
    entries(6);
    w.SetTrailerRefs(3, 0, 5, 0);
    w.WriteTrailer(7);
    EXPECT_EQ(finish(), "trailer\n<<\n/Size 6\n/Root 3 0 R\n>>\nstartxref\n7\n%%EOF");
}

TEST(XRefEntry, OffsetsAndGenerationsUseTheirWholeFields) {
    struct Case {
        OutputEntry entry;
        const char* bytes;  // nullptr: refused
    } cases[] = {
        {{1234567890123ull / 1000, 0, 1}, "1234567890 00000 n \r"},  // 1,234,567,890
        {{9999999999ull, 7, 1}, "9999999999 00007 n \r"},
        {{17, 70000, 1}, "0000000017 65535 n \r"},  // generations stop at 65535
        {{17, -3, 1}, "0000000017 00000 n \r"},
        {{9999999999ull, 7, 0}, "0000000000 00000 f \r"},  // not written: free
        {{10000000000ull, 0, 1}, nullptr},
    };
    for (const Case& c : cases) {
        char entry[20];
        if (!c.bytes) {
            EXPECT_THROW(COutputWriter::FormatXRefEntry(c.entry, entry), CPdfException);
            continue;
        }
        COutputWriter::FormatXRefEntry(c.entry, entry);
        EXPECT_EQ(std::string(entry, 20), c.bytes) << c.entry.offset;
    }
}

TEST_F(XRefTrailer, AppendedObjectsAreNumberedFromTheInputCount) {
    entries(20);
    std::vector<int32_t> nums;
    for (int i = 0; i < 6; ++i)
        nums.push_back(w.AppendObject(" 0 obj\nnull\nendobj\n"));
    EXPECT_EQ(nums, (std::vector<int32_t>{20, 21, 22, 23, 24, 25}));
    uint64_t p = w.Position();
    w.WriteXRef();
    w.SetTrailerRefs(1, 0, 0, 0);
    w.WriteTrailer(p);
    std::string file = finish();
    EXPECT_EQ(file.substr(0, 38), "20 0 obj\nnull\nendobj\n21 0 obj\nnull\nend");
    EXPECT_EQ(file.substr(static_cast<size_t>(p), 10), "xref\n0 26\r");
    EXPECT_NE(file.find("/Size 26\n"), std::string::npos);
    // Entry 21 points at "21 0 obj".
    size_t entry21 = static_cast<size_t>(p) + 10 + 21 * 20;
    EXPECT_EQ(file.substr(entry21, 20), "0000000021 00000 n \r");
}
