// File streams, windows and the base class.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "StreamTestUtil.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "stream/CPdfEmbedStream.h"
#include "stream/CPdfFileStream.h"

namespace {

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = pseudoRandom(300000, 7);
        file_ = tmpfile();
        ASSERT_NE(file_, nullptr);
        ASSERT_EQ(fwrite(data_.data(), 1, data_.size(), file_), data_.size());
        fflush(file_);
    }
    void TearDown() override {
        if (file_) fclose(file_);
    }
    CPdfStreamRef open(int64_t start, int64_t length) {
        return CPdfStreamRef(new CPdfFileStream(file_, start, length, CPdfElement()));
    }
    std::string expected(int64_t start, int64_t length) const {
        if (length < 0 || start >= static_cast<int64_t>(data_.size())) return std::string();
        return data_.substr(static_cast<size_t>(start), length == 0 ? std::string::npos : static_cast<size_t>(length));
    }

    std::string data_;
    FILE* file_ = nullptr;
};

struct Range {
    int64_t start;
    int64_t length;
};

const Range kRanges[] = {
    {0, 10},          // short stream at the start
    {250, 10},        // straddles byte 256
    {4090, 20},       // straddles the first refill
    {4096, 4096},     // exactly one refill
    {12280, 40000},   // several growing refills
    {0, 0},           // whole file
    {299990, 0},      // last bytes, unlimited
    {299990, 100},    // length past the end of the file
    {300000, 10},     // starts at the end
    {400000, 0},      // starts beyond the end
    {100, -1},        // negative length: no bytes
    {70000, 150000},  // long, for the direct block path
};

TEST_F(FileStreamTest, LimitsHoldForEveryWayOfReading) {
    for (const Range& r : kRanges) {
        SCOPED_TRACE("start " + std::to_string(r.start) + " length " + std::to_string(r.length));
        std::string want = expected(r.start, r.length);
        {
            CPdfStreamRef s = open(r.start, r.length);
            EXPECT_EQ(readAllChars(s.get()), want);
            EXPECT_EQ(s->getChar(), -1);
            EXPECT_EQ(s->peekChar(), -1);
        }
        for (size_t chunk : {1, 255, 4097, 65536, 200000}) {
            CPdfStreamRef s = open(r.start, r.length);
            EXPECT_EQ(readAllBlocks(s.get(), chunk), want) << "chunk " << chunk;
        }
        {
            CPdfStreamRef s = open(r.start, r.length);
            bool mismatch = false;
            EXPECT_EQ(readMixed(s.get(), &mismatch), want);
            EXPECT_FALSE(mismatch);
        }
    }
}

TEST_F(FileStreamTest, PositionFollowsReading) {
    CPdfStreamRef s = open(1000, 0);
    EXPECT_EQ(s->getPos(), 1000);
    EXPECT_EQ(s->startOffset(), 1000);
    EXPECT_EQ(s->getLength(), 0);
    unsigned char buf[100000];
    EXPECT_EQ(s->readBlock(buf, 5), 5u);
    EXPECT_EQ(s->getPos(), 1005);
    EXPECT_EQ(s->readBlock(buf, sizeof buf), sizeof buf);
    EXPECT_EQ(s->getPos(), 101005);
    EXPECT_EQ(s->getChar(), static_cast<unsigned char>(data_[101005]));
    EXPECT_EQ(s->getPos(), 101006);
}

TEST_F(FileStreamTest, AlternatingSubStreamsReadIndependently) {
    const Range pairs[][2] = {
        {{0, 5000}, {250, 5000}},
        {{100, 300}, {100, 300}},
        {{299000, 0}, {10, 2000}},
    };
    for (const auto& p : pairs) {
        std::string wantA = expected(p[0].start, p[0].length);
        std::string wantB = expected(p[1].start, p[1].length);
        CPdfStreamRef a = open(p[0].start, p[0].length);
        CPdfStreamRef b = open(p[1].start, p[1].length);
        CPdfStreamRef whole = open(0, 0);
        std::string gotA, gotB;
        for (;;) {
            int ca = a->getChar();
            int cb = b->getChar();
            whole->setPos(12345, 0);  // a third stream moving the shared handle
            whole->getChar();
            if (ca >= 0) gotA.push_back(static_cast<char>(ca));
            if (cb >= 0) gotB.push_back(static_cast<char>(cb));
            if (ca < 0 && cb < 0) break;
        }
        EXPECT_EQ(gotA, wantA);
        EXPECT_EQ(gotB, wantB);
    }
}

TEST_F(FileStreamTest, ResetReturnsToTheSubStreamStart) {
    CPdfStreamRef s = open(5000, 100);
    std::string first = readAllChars(s.get());
    s->reset();
    EXPECT_EQ(s->getPos(), 5000);
    EXPECT_EQ(readAllChars(s.get()), first);
    EXPECT_EQ(first, expected(5000, 100));
}

TEST_F(FileStreamTest, ShiftStartMovesTheOrigin) {
    CPdfStreamRef s = open(0, 0);
    s->getChar();
    s->shiftStart(100);
    EXPECT_EQ(s->startOffset(), 100);
    EXPECT_EQ(s->getPos(), 100);
    EXPECT_EQ(s->getChar(), static_cast<unsigned char>(data_[100]));
    s->reset();
    EXPECT_EQ(s->getPos(), 100);
}

TEST_F(FileStreamTest, SetPosFromBeginningAndEnd) {
    CPdfStreamRef s = open(0, 0);
    s->setPos(777, 0);
    EXPECT_EQ(s->getPos(), 777);
    EXPECT_EQ(s->getChar(), static_cast<unsigned char>(data_[777]));
    s->setPos(-10, 2);
    EXPECT_EQ(s->getPos(), 299990);
    EXPECT_EQ(readAllChars(s.get()), data_.substr(299990));
    s->setPos(-1000000, 2);  // before the start of the file: the start
    EXPECT_EQ(s->getPos(), 0);
    s->setPos(500000, 0);  // beyond the end: nothing to read
    EXPECT_EQ(s->getChar(), -1);
}

TEST_F(FileStreamTest, RepositioningBackAndForthReadsTheRightBytes) {
    // Jumps inside what was read already, just behind it, and far away.
    CPdfStreamRef s = open(0, 0);
    const int64_t jumps[] = {10, 5, 4000, 3, 4095, 4096, 8191, 100, 250000, 249999, 260000, 0, 299999};
    for (int64_t p : jumps) {
        s->setPos(p, 0);
        EXPECT_EQ(s->getPos(), p);
        std::string got;
        for (int i = 0; i < 300; ++i) {
            int c = s->getChar();
            if (c < 0) break;
            got.push_back(static_cast<char>(c));
        }
        EXPECT_EQ(got, data_.substr(static_cast<size_t>(p), 300)) << "at " << p;
    }
    // A sub-stream repositioned before its end still stops at its end.
    CPdfStreamRef sub = open(1000, 50);
    readAllChars(sub.get());
    sub->setPos(1040, 0);
    EXPECT_EQ(readAllChars(sub.get()), data_.substr(1040, 10));
}

TEST_F(FileStreamTest, ReadAtDoesNotDisturbTheStream) {
    CPdfFileStream* f = new CPdfFileStream(file_, 10, 0, CPdfElement());
    CPdfStreamRef hold(f);
    EXPECT_EQ(f->getChar(), static_cast<unsigned char>(data_[10]));
    unsigned char buf[64];
    EXPECT_EQ(f->readAt(299980, buf, sizeof buf), 20u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 20), data_.substr(299980));
    EXPECT_EQ(f->getChar(), static_cast<unsigned char>(data_[11]));
    EXPECT_EQ(f->fileSize(), 300000);
    EXPECT_EQ(f->getChar(), static_cast<unsigned char>(data_[12]));
    EXPECT_EQ(f->getFile(), file_);
}

TEST_F(FileStreamTest, OpenWindowGivesAFileStreamWithTheDictionary) {
    CPdfElement dict;
    dict.setNewDictionary(nullptr);
    dict.getDictionary()->add("Length", [] {
        CPdfElement e;
        e.setInteger(4);
        return e;
    }());
    CPdfStreamRef whole = open(0, 0);
    EXPECT_EQ(whole->getDict(), nullptr);
    CPdfStreamRef w(whole->openWindow(20, 4, dict));
    ASSERT_TRUE(w);
    EXPECT_EQ(w->getDict(), dict.getDictionary());
    EXPECT_EQ(readAllChars(w.get()), data_.substr(20, 4));
    EXPECT_EQ(w->startOffset(), 20);
    EXPECT_EQ(w->getLength(), 4);
}

TEST_F(FileStreamTest, GetRawCharIsRefusedOnPlainStreams) {
    CPdfStreamRef s = open(0, 0);
    try {
        s->getRawChar();
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.getMessage(), "Internal: called getRawChar() on non-predictor stream");
    }
    s->close();  // no effect
    EXPECT_EQ(s->getChar(), static_cast<unsigned char>(data_[0]));
}

TEST(StreamRefCount, ReleaseAtZeroDestroys) {
    bool destroyed = false;
    CPdfStream* s = new TestBytesStream("abc", 0, &destroyed);
    s->addRef();
    s->release();
    EXPECT_FALSE(destroyed);
    {
        CPdfStreamRef a(s);
        CPdfStreamRef b = a;  // copy adds a reference
        CPdfStreamRef c(std::move(b));
    }
    EXPECT_TRUE(destroyed);
}

TEST(StreamBase, DefaultReadBlockLoopsOverGetChar) {
    // A stream that only implements getChar gets a working block read.
    class CharOnly : public TestBytesStream {
    public:
        using TestBytesStream::TestBytesStream;
        size_t readBlock(unsigned char* b, size_t n) override { return CPdfStream::readBlock(b, n); }
    };
    CPdfStreamRef s(new CharOnly("hello world"));
    EXPECT_EQ(readAllBlocks(s.get(), 4), "hello world");
}

struct WindowCase {
    const char* name;
    bool limited;
    int64_t length;
    std::string want;
};

TEST(EmbedStream, WindowLimits) {
    const std::string base = "0123456789abcdef";
    const WindowCase cases[] = {
        {"limited 0", true, 0, ""},
        {"limited 5", true, 5, "23456"},
        {"limited past the end", true, 100, "23456789abcdef"},
        {"unlimited", false, 0, "23456789abcdef"},
        {"negative", true, -3, ""},
    };
    for (const WindowCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int mode = 0; mode < 3; ++mode) {
            CPdfStreamRef b(new TestBytesStream(base));
            b->getChar();
            b->getChar();
            CPdfElement none;
            CPdfStreamRef w(new CPdfEmbedStream(b.get(), none, c.limited, c.length));
            std::string got;
            bool mismatch = false;
            if (mode == 0)
                got = readAllChars(w.get());
            else if (mode == 1)
                got = readAllBlocks(w.get(), 3);
            else
                got = readMixed(w.get(), &mismatch);
            EXPECT_EQ(got, c.want) << "mode " << mode;
            EXPECT_FALSE(mismatch);
            EXPECT_EQ(w->peekChar(), -1);
            EXPECT_EQ(w->getDict(), nullptr);
            EXPECT_EQ(w->getLength(), 0);
            EXPECT_EQ(w->startOffset(), 0);
            EXPECT_EQ(w->openWindow(0, 1, none), nullptr);
        }
    }
}

TEST(EmbedStream, PositionIsTheBaseStreams) {
    CPdfStreamRef b(new TestBytesStream("abcdefgh"));
    CPdfElement none;
    CPdfStreamRef w(new CPdfEmbedStream(b.get(), none, true, 3));
    w->getChar();
    EXPECT_EQ(w->getPos(), 1);
    w->reset();  // windows cannot be rewound
    EXPECT_EQ(w->getChar(), 'b');
}

}  // namespace
