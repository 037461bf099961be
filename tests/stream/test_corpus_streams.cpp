// Real streams of the corpus files, read through file sub-streams and the
// filter selection, against the decoded data qpdf gives for them (length and
// CRC-32).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "StreamTestUtil.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfFilters.h"

namespace {

CPdfElement nameEl(const char* n) {
    CPdfElement e;
    e.setName(n, std::char_traits<char>::length(n));
    return e;
}

CPdfElement intEl(int v) {
    CPdfElement e;
    e.setInteger(v);
    return e;
}

struct CorpusStream {
    const char* file;
    int object;
    int64_t start;  // first data byte
    int64_t length;
    bool chain;  // [/ASCII85Decode /FlateDecode]
    int predictor, columns;
    size_t decodedLength;
    uint32_t crc;
};

const CorpusStream kStreams[] = {
    {"reportlab-ascii85-flate-filter-chain.pdf", 21, 46741, 710, true, 1, 1, 1422, 0x5740d42du},
    {"predictors-png-tiff-content-streams.pdf", 42, 3073, 1209, false, 15, 48, 1296, 0xbe10eedcu},
    {"predictors-png-tiff-content-streams.pdf", 45, 10359, 926, false, 2, 32, 1248, 0xeed7b4e7u},
    {"predictors-png-tiff-content-streams.pdf", 46, 11434, 1265, false, 15, 48, 1344, 0x864d87a2u},
    {"predictors-png-tiff-content-streams.pdf", 47, 12948, 52, false, 12, 4, 192, 0x051bbf01u},
};

TEST(CorpusStreams, DecodeLikeQpdf) {
    for (const CorpusStream& c : kStreams) {
        SCOPED_TRACE(std::string(c.file) + " object " + std::to_string(c.object));
        std::string path = std::string(QM_SOURCE_DIR) + "/tests/corpus/" + c.file;
        FILE* f = fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr) << path;
        {
            CPdfElement dict;
            dict.setNewDictionary(nullptr);
            if (c.chain) {
                CPdfElement filters;
                filters.setNewArray(nullptr);
                filters.getArray()->add(nameEl("ASCII85Decode"));
                filters.getArray()->add(nameEl("FlateDecode"));
                dict.getDictionary()->add("Filter", filters);
            } else {
                dict.getDictionary()->add("Filter", nameEl("FlateDecode"));
                CPdfElement parms;
                parms.setNewDictionary(nullptr);
                parms.getDictionary()->add("Predictor", intEl(c.predictor));
                parms.getDictionary()->add("Columns", intEl(c.columns));
                dict.getDictionary()->add("DecodeParms", parms);
            }
            CPdfStreamRef whole(new CPdfFileStream(f, 0, 0, CPdfElement()));
            // The offsets are those of the fixed corpus files: check they still hold.
            unsigned char around[16];
            CPdfFileStream* wf = static_cast<CPdfFileStream*>(whole.get());
            ASSERT_EQ(wf->readAt(c.start - 7, around, 7), 7u);
            ASSERT_EQ(std::string(reinterpret_cast<char*>(around), 7), "stream\n");
            ASSERT_EQ(wf->readAt(c.start + c.length, around, 10), 10u);
            ASSERT_NE(std::string(reinterpret_cast<char*>(around), 10).find("endstream"), std::string::npos);

            CPdfStream* sub = whole->openWindow(c.start, c.length, dict);
            CPdfStreamRef s(applyFilters(sub, dict));
            ASSERT_TRUE(s);
            EXPECT_EQ(s->getDict(), dict.getDictionary());
            std::string data = readAllBlocks(s.get(), 100);
            EXPECT_EQ(data.size(), c.decodedLength);
            EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())), c.crc);
        }
        fclose(f);
    }
}

}  // namespace
