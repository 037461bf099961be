#include "writer/COutputFile.h"

#include <gtest/gtest.h>

#include "pdf/CPdfException.h"
#include "platform/Platform.h"
#include "tests/writer/TestPdf.h"

TEST(COutputFile, PositionCountsEveryByteAcrossBufferAndDirectWrites) {
    const std::string path = testpdf::TempPath("outfile.bin");
    COutputFile f;
    ASSERT_TRUE(f.open(path));
    std::string expected;
    f.write("abc");
    expected += "abc";
    f.put('d');
    expected += 'd';
    // Bigger than the buffer: goes to the file directly, after what is buffered.
    std::string big(3u << 20, 'x');
    big[0] = 'B';
    big.back() = 'E';
    f.write(big);
    expected += big;
    // Pieces that straddle the buffer's end, over several writeback steps (8 MB).
    for (int i = 0; i < 60000; ++i) {
        std::string piece(333, static_cast<char>('a' + i % 26));
        f.write(piece);
        expected += piece;
    }
    EXPECT_EQ(f.position(), expected.size());
    f.close();
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(testpdf::ReadFile(path), expected);
}

TEST(COutputFile, NullDeviceTakesLongOutputs) {
    // The writeback request fails harmlessly on a device.
    COutputFile f;
    ASSERT_TRUE(f.open(Platform::NullDevice()));
    std::string piece(1u << 20, 'n');
    for (int i = 0; i < 20; ++i)
        f.write(piece);
    EXPECT_EQ(f.position(), 20u << 20);
    EXPECT_NO_THROW(f.close());
}

TEST(COutputFile, OpenFailsForAMissingFolder) {
    COutputFile f;
    EXPECT_FALSE(f.open(testpdf::TempPath("no/such/folder/out.pdf")));
}

TEST(COutputFile, WriteErrorIsReportedNotSwallowed) {
    COutputFile f;
    if (!f.open("/dev/full")) GTEST_SKIP() << "no /dev/full";
    f.write(std::string(100, 'x'));
    EXPECT_THROW(f.close(), CPdfException);
}
