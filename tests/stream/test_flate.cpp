// Flate decoding and the PNG/TIFF predictor stage.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "StreamTestUtil.h"
#include "stream/CPdfFlateStream.h"
#include "stream/CPdfPredictor.h"

namespace {

CPdfStreamRef flateOver(const std::string& compressed, size_t maxBlock = 0, int predictor = 1, int columns = 1,
                        int colors = 1, int bpc = 8) {
    return CPdfStreamRef(
        new CPdfFlateStream(new TestBytesStream(compressed, maxBlock), predictor, columns, colors, bpc));
}

// ---------------------------------------------------------------- Flate

struct FlateCase {
    const char* name;
    std::string plain;
};

std::vector<FlateCase> flateCases() {
    return {
        {"empty", ""},
        {"one byte", "x"},
        {"1024 bytes", pseudoRandom(1024, 1, 4)},
        {"random 100k", pseudoRandom(100000, 2)},
        {"text 300k", pseudoRandom(300000, 3, 16)},
        {"zeros 2M", std::string(2 << 20, '\0')},
    };
}

TEST(Flate, RoundTripsEveryWayOfReading) {
    for (const FlateCase& c : flateCases()) {
        SCOPED_TRACE(c.name);
        std::string z = zCompress(c.plain);
        for (size_t maxBlock : {0, 1, 13}) {
            if (maxBlock == 1 && c.plain.size() > 300000) continue;
            EXPECT_EQ(readAllChars(flateOver(z, maxBlock).get()), c.plain) << "block " << maxBlock;
            EXPECT_EQ(readAllBlocks(flateOver(z, maxBlock).get(), 100000), c.plain);
            EXPECT_EQ(readAllBlocks(flateOver(z, maxBlock).get(), 5), c.plain);
            bool mismatch = false;
            EXPECT_EQ(readMixed(flateOver(z, maxBlock).get(), &mismatch), c.plain);
            EXPECT_FALSE(mismatch);
        }
    }
}

TEST(Flate, MissingChecksumStillDeliversEverything) {
    std::string plain = pseudoRandom(200000, 4, 20);
    std::string z = zCompress(plain);
    z.resize(z.size() - 4);  // drop the Adler-32 trailer
    EXPECT_EQ(readAllChars(flateOver(z).get()), plain);
    EXPECT_EQ(readAllBlocks(flateOver(z, 3).get()), plain);
}

TEST(Flate, TruncatedDataDeliversAPrefix) {
    std::string plain = pseudoRandom(200000, 5, 20);
    std::string z = zCompress(plain);
    for (size_t keep : {size_t(0), size_t(1), size_t(2), size_t(100), z.size() / 2, z.size() - 5}) {
        std::string got = readAllBlocks(flateOver(z.substr(0, keep)).get());
        EXPECT_LE(got.size(), plain.size());
        EXPECT_EQ(got, plain.substr(0, got.size())) << "keep " << keep;
    }
}

// What one-shot zlib produces from data before it reports an error.
std::string referenceInflate(const std::string& z, bool* failed) {
    z_stream zs{};
    inflateInit(&zs);
    std::string out(8 << 20, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(z.data()));
    zs.avail_in = static_cast<uInt>(z.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    int r = inflate(&zs, Z_FINISH);
    *failed = r != Z_STREAM_END && r != Z_BUF_ERROR && r != Z_OK;
    out.resize(zs.total_out);
    inflateEnd(&zs);
    return out;
}

TEST(Flate, CorruptInTheMiddleDeliversTheGoodPartThenEnds) {
    std::string plain = pseudoRandom(400000, 6, 12);
    std::string z = zCompress(plain);
    int tried = 0;
    for (size_t at = z.size() / 2; at < z.size() / 2 + 4000 && tried < 5; at += 97) {
        std::string bad = z;
        for (size_t i = 0; i < 24; ++i)
            bad[at + i] = static_cast<char>(0xFF ^ i);
        bool failed = false;
        std::string ref = referenceInflate(bad, &failed);
        if (!failed || ref.size() >= plain.size()) continue;  // damage zlib does not notice before the end
        ++tried;
        for (size_t maxBlock : {0, 5}) {
            CPdfStreamRef s = flateOver(bad, maxBlock);
            std::string got = readAllBlocks(s.get());
            // Everything zlib decodes before it meets the damage is delivered,
            // then the data ends.
            EXPECT_EQ(got.size(), ref.size());
            EXPECT_TRUE(got == ref);
            EXPECT_EQ(got.substr(0, plain.size() / 4), plain.substr(0, plain.size() / 4));
            EXPECT_EQ(s->getChar(), -1);
            EXPECT_EQ(s->peekChar(), -1);
            EXPECT_EQ(s->getChar(), -1);
        }
    }
    EXPECT_GT(tried, 0);
}

TEST(Flate, GarbageAndTrailingBytes) {
    EXPECT_EQ(readAllChars(flateOver("this is not zlib data at all").get()), "");
    std::string z = zCompress("hello") + "trailing junk after the end";
    EXPECT_EQ(readAllChars(flateOver(z).get()), "hello");
}

TEST(Flate, RawCharsAndForwardedOperations) {
    bool destroyed = false;
    std::string z = zCompress("abc");
    TestBytesStream* base = new TestBytesStream(z, 0, &destroyed);
    {
        CPdfStreamRef s(new CPdfFlateStream(base));
        EXPECT_EQ(s->getRawChar(), 'a');
        EXPECT_EQ(s->peekChar(), 'b');
        EXPECT_EQ(s->getChar(), 'b');
        s->reset();  // no effect on decoders
        EXPECT_EQ(s->getChar(), 'c');
        EXPECT_EQ(s->getChar(), -1);
        EXPECT_EQ(s->getLength(), static_cast<int64_t>(z.size()));
        EXPECT_EQ(s->getPos(), static_cast<int64_t>(z.size()));
        EXPECT_EQ(s->startOffset(), 0);
        EXPECT_EQ(s->getDict(), nullptr);
        EXPECT_EQ(s->openWindow(0, 1, CPdfElement()), nullptr);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);  // the decoder released its base
}

TEST(Flate, LargeOutputIsProducedLazily) {
    // 64 MB of zeros compress to about 64 KB; reading a few bytes must not
    // inflate all of it.
    std::string plain(64 << 20, '\0');
    std::string z = zCompress(plain, 9);
    plain.clear();
    plain.shrink_to_fit();
    CPdfStreamRef s = flateOver(z);
    unsigned char buf[10];
    EXPECT_EQ(s->readBlock(buf, sizeof buf), sizeof buf);
    EXPECT_EQ(buf[9], 0);
}

// ---------------------------------------------------------------- predictors

unsigned char paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<unsigned char>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// PNG-encodes rows of rowLen bytes with the given row types (cycled).
std::string pngEncode(const std::string& plain, size_t rowLen, size_t bpp, const std::vector<int>& types) {
    std::string out;
    std::string prev(rowLen, '\0');
    for (size_t r = 0; r * rowLen < plain.size(); ++r) {
        std::string cur = plain.substr(r * rowLen, rowLen);
        int t = types[r % types.size()];
        out.push_back(static_cast<char>(t));
        for (size_t i = 0; i < cur.size(); ++i) {
            int x = static_cast<unsigned char>(cur[i]);
            int a = i >= bpp ? static_cast<unsigned char>(cur[i - bpp]) : 0;
            int b = static_cast<unsigned char>(prev[i]);
            int c = i >= bpp ? static_cast<unsigned char>(prev[i - bpp]) : 0;
            int pred = 0;
            switch (t) {
                case 1:
                    pred = a;
                    break;
                case 2:
                    pred = b;
                    break;
                case 3:
                    pred = (a + b) / 2;
                    break;
                case 4:
                    pred = paeth(a, b, c);
                    break;
                default:
                    pred = 0;
                    break;
            }
            out.push_back(static_cast<char>(x - pred));
        }
        prev = cur;
    }
    return out;
}

struct PngCase {
    const char* name;
    int predictor;
    int columns, colors, bpc;
    std::vector<int> types;
};

TEST(Predictor, PngRowTypes) {
    const PngCase cases[] = {
        {"none", 10, 7, 1, 8, {0}},
        {"sub", 11, 7, 3, 8, {1}},
        {"up", 12, 5, 1, 8, {2}},
        {"average", 13, 9, 4, 8, {3}},
        {"paeth", 14, 6, 3, 8, {4}},
        {"optimum, all five", 15, 11, 2, 8, {0, 1, 2, 3, 4}},
        {"16-bit paeth and sub", 15, 5, 3, 16, {4, 1, 3}},
        {"1-bit, 13 columns", 15, 13, 1, 1, {2, 4, 1, 3}},
        {"4-bit gray average", 15, 9, 1, 4, {3, 2}},
        {"tag beyond 4 copies the row", 15, 6, 1, 8, {5, 200, 2}},
    };
    for (const PngCase& c : cases) {
        SCOPED_TRACE(c.name);
        size_t bpp = (size_t(c.colors) * c.bpc + 7) / 8;
        size_t rowLen = (size_t(c.columns) * c.colors * c.bpc + 7) / 8;
        std::string plain = pseudoRandom(rowLen * 40, 11, 256);
        std::string enc = pngEncode(plain, rowLen, bpp, c.types);
        // Tags beyond 4 mean "copy": the encoder above leaves those rows unpredicted.
        std::string z = zCompress(enc);
        for (size_t maxBlock : {0, 3}) {
            EXPECT_EQ(readAllChars(flateOver(z, maxBlock, c.predictor, c.columns, c.colors, c.bpc).get()), plain);
            EXPECT_EQ(readAllBlocks(flateOver(z, maxBlock, c.predictor, c.columns, c.colors, c.bpc).get(), 11), plain);
            bool mismatch = false;
            EXPECT_EQ(readMixed(flateOver(z, maxBlock, c.predictor, c.columns, c.colors, c.bpc).get(), &mismatch),
                      plain);
            EXPECT_FALSE(mismatch);
        }
    }
}

TEST(Predictor, CrossReferenceRowsOfFiveColumns) {
    // Three entries of W [1 2 2] with the Up predictor: rows of 6 bytes, 5 out.
    std::string entries = std::string("\x01\x00\x10\x00\x00", 5) + std::string("\x01\x00\x20\x00\x00", 5) +
                          std::string("\x02\x00\x05\x00\x03", 5);
    std::string enc = pngEncode(entries, 5, 1, {2});
    ASSERT_EQ(enc.size(), 18u);
    EXPECT_EQ(readAllChars(flateOver(zCompress(enc), 0, 12, 5).get()), entries);
}

TEST(Predictor, RowCutOffByTheEndIsDropped) {
    std::string plain = pseudoRandom(50, 12);
    std::string enc = pngEncode(plain, 10, 1, {1});
    enc.resize(enc.size() - 3);  // last row loses 3 bytes
    EXPECT_EQ(readAllChars(flateOver(zCompress(enc), 0, 11, 10).get()), plain.substr(0, 40));
    // Tag byte alone at the end.
    std::string enc2 = pngEncode(plain, 10, 1, {0}) + std::string(1, '\0');
    EXPECT_EQ(readAllChars(flateOver(zCompress(enc2), 0, 10, 10).get()), plain);
}

TEST(Predictor, NumbersWithoutAMethodPassWholeRows) {
    // Predictors other than 1, 2 and 10..15 still cut the data into rows.
    for (int predictor : {0, 3, 9, -7}) {
        EXPECT_EQ(readAllChars(flateOver(zCompress("abcdefghij"), 0, predictor, 4).get()), "abcdefgh") << predictor;
    }
}

TEST(Predictor, PeekThenGetGivesTheSameByte) {
    std::string enc = pngEncode("ABCDEFGH", 4, 1, {1});
    CPdfStreamRef s = flateOver(zCompress(enc), 0, 12, 4);
    EXPECT_EQ(s->peekChar(), 'A');
    EXPECT_EQ(s->peekChar(), 'A');
    EXPECT_EQ(s->getChar(), 'A');
    EXPECT_EQ(s->getRawChar(), 1);  // the second row's tag byte, not yet predicted
}

// TIFF: values of bpc bits, most significant first; each stored as the
// difference to the value Colors earlier.
uint32_t getBits(const std::string& row, size_t k, int bpc) {
    uint32_t v = 0;
    for (int b = 0; b < bpc; ++b) {
        size_t bit = k * bpc + b;
        v = (v << 1) | ((static_cast<unsigned char>(row[bit / 8]) >> (7 - bit % 8)) & 1);
    }
    return v;
}

void putBits(std::string& row, size_t k, int bpc, uint32_t v) {
    for (int b = 0; b < bpc; ++b) {
        size_t bit = k * bpc + b;
        unsigned char m = static_cast<unsigned char>(0x80 >> (bit % 8));
        unsigned char& byte = reinterpret_cast<unsigned char&>(row[bit / 8]);
        if ((v >> (bpc - 1 - b)) & 1)
            byte |= m;
        else
            byte &= static_cast<unsigned char>(~m);
    }
}

std::string tiffEncode(const std::string& plain, int columns, int colors, int bpc) {
    size_t rowLen = (size_t(columns) * colors * bpc + 7) / 8;
    size_t values = size_t(columns) * colors;
    uint32_t mask = (uint32_t(1) << bpc) - 1;
    std::string out;
    for (size_t r = 0; r * rowLen < plain.size(); ++r) {
        std::string cur = plain.substr(r * rowLen, rowLen);
        std::string enc = cur;
        for (size_t k = colors; k < values; ++k)
            putBits(enc, k, bpc, (getBits(cur, k, bpc) - getBits(cur, k - colors, bpc)) & mask);
        out += enc;
    }
    return out;
}

struct TiffCase {
    int columns, colors, bpc;
};

TEST(Predictor, TiffEveryComponentSize) {
    const TiffCase cases[] = {
        {8, 1, 8},  {7, 3, 8}, {13, 1, 1}, {5, 3, 1},  {9, 1, 2},  {6, 3, 2},
        {11, 1, 4}, {4, 3, 4}, {5, 1, 16}, {3, 3, 16}, {7, 2, 12}, {6, 1, 5},
    };
    for (const TiffCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.columns) + "x" + std::to_string(c.colors) + "x" + std::to_string(c.bpc));
        size_t rowLen = (size_t(c.columns) * c.colors * c.bpc + 7) / 8;
        std::string plain = pseudoRandom(rowLen * 30, 13);
        // Padding bits at the end of a row are not values; keep them zero so the
        // comparison is about values only.
        size_t usedBits = size_t(c.columns) * c.colors * c.bpc;
        if (usedBits % 8) {
            unsigned char keep = static_cast<unsigned char>(0xFF << (8 - usedBits % 8));
            for (size_t r = 0; r < 30; ++r)
                plain[r * rowLen + rowLen - 1] = static_cast<char>(plain[r * rowLen + rowLen - 1] & keep);
        }
        std::string enc = tiffEncode(plain, c.columns, c.colors, c.bpc);
        ASSERT_EQ(enc.size(), plain.size());
        EXPECT_EQ(readAllChars(flateOver(zCompress(enc), 0, 2, c.columns, c.colors, c.bpc).get()), plain);
        EXPECT_EQ(readAllBlocks(flateOver(zCompress(enc), 5, 2, c.columns, c.colors, c.bpc).get(), 9), plain);
    }
}

struct ParamCase {
    int columns, colors, bpc;
    bool valid;
};

TEST(Predictor, AbsurdParametersAreRefused) {
    const ParamCase cases[] = {
        {5, 1, 8, true},
        {1, 1, 1, true},
        {1 << 20, 1, 8, true},
        {(1 << 20) + 1, 1, 8, false},
        {0, 1, 8, false},
        {-5, 1, 8, false},
        {1, 0, 8, false},
        {1, -3, 8, false},
        {1, 1, 0, false},
        {1, 1, 17, false},
        {1, 1, 32, false},
        {INT_MAX, 1, 8, false},
        {INT_MAX, INT_MAX, 16, false},
        {65536, 65536, 1, false},
    };
    for (const ParamCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.columns) + " " + std::to_string(c.colors) + " " + std::to_string(c.bpc));
        EXPECT_EQ(CPdfPredictor::validParams(c.columns, c.colors, c.bpc), c.valid);
        if (!c.valid) {
            // Built anyway, the stream delivers nothing rather than misbehave.
            std::string z = zCompress(pseudoRandom(1000, 1));
            EXPECT_EQ(readAllChars(flateOver(z, 0, 12, c.columns, c.colors, c.bpc).get()), "");
            // Predictor 1 ignores the other parameters.
            EXPECT_EQ(readAllChars(flateOver(z, 0, 1, c.columns, c.colors, c.bpc).get()).size(), 1000u);
        }
    }
}

}  // namespace
