// Filter selection: single filters, abbreviations, chains with per-filter
// parameters, and refusals that leave the sub-stream with the caller.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "StreamTestUtil.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "stream/CPdfFilters.h"

namespace {

CPdfElement name(const char* n) {
    CPdfElement e;
    e.setName(n, std::char_traits<char>::length(n));
    return e;
}

CPdfElement integer(int v) {
    CPdfElement e;
    e.setInteger(v);
    return e;
}

CPdfElement null() {
    CPdfElement e;
    e.setNull();
    return e;
}

CPdfElement array(std::initializer_list<CPdfElement> items) {
    CPdfElement e;
    e.setNewArray(nullptr);
    for (const CPdfElement& i : items)
        e.getArray()->add(i);
    return e;
}

CPdfElement dict(std::initializer_list<std::pair<const char*, CPdfElement>> entries) {
    CPdfElement e;
    e.setNewDictionary(nullptr);
    for (const auto& kv : entries)
        e.getDictionary()->add(kv.first, kv.second);
    return e;
}

CPdfElement pngParams(int columns) { return dict({{"Predictor", integer(12)}, {"Columns", integer(columns)}}); }

std::string hexEncode(const std::string& in) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : in) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out + ">";
}

std::string a85Encode(const std::string& in) {
    std::string out;
    for (size_t i = 0; i < in.size(); i += 4) {
        size_t n = std::min<size_t>(4, in.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(in[i + k]) : 0);
        char g[5];
        for (int k = 4; k >= 0; --k) {
            g[k] = static_cast<char>('!' + v % 85);
            v /= 85;
        }
        out.append(g, n + 1);
    }
    return out + "~>";
}

// Up-predicted rows of `columns` bytes.
std::string upRows(const std::string& plain, size_t columns) {
    std::string out, prev(columns, '\0');
    for (size_t r = 0; r * columns < plain.size(); ++r) {
        out.push_back(2);
        for (size_t i = 0; i < columns; ++i)
            out.push_back(static_cast<char>(plain[r * columns + i] - prev[i]));
        prev = plain.substr(r * columns, columns);
    }
    return out;
}

// RunLength of literal runs only: enough to check the chain order.
std::string rlLiteral(const std::string& in) {
    std::string out;
    for (size_t i = 0; i < in.size(); i += 128) {
        size_t n = std::min<size_t>(128, in.size() - i);
        out.push_back(static_cast<char>(n - 1));
        out.append(in, i, n);
    }
    return out + "\x80";
}

const std::string kPlain = "BT /F1 12 Tf 72 712 Td (Hello, filters) Tj ET\n" + pseudoRandom(2000, 41, 10);

struct FilterCase {
    const char* name;
    CPdfElement dict;
    std::string stored;  // the bytes of the stream object
    std::string want;    // decoded
};

TEST(ApplyFilters, SupportedFiltersAndChains) {
    const std::string rows = pseudoRandom(4 * 50, 42, 16);
    const FilterCase cases[] = {
        {"no filter", dict({}), kPlain, kPlain},
        {"Filter null", dict({{"Filter", null()}}), kPlain, kPlain},
        {"empty filter array", dict({{"Filter", array({})}}), kPlain, kPlain},
        {"FlateDecode", dict({{"Filter", name("FlateDecode")}}), zCompress(kPlain), kPlain},
        {"Fl", dict({{"Filter", name("Fl")}}), zCompress(kPlain), kPlain},
        {"F instead of Filter", dict({{"F", name("FlateDecode")}}), zCompress(kPlain), kPlain},
        {"ASCIIHexDecode", dict({{"Filter", name("ASCIIHexDecode")}}), hexEncode(kPlain), kPlain},
        {"AHx", dict({{"Filter", name("AHx")}}), hexEncode(kPlain), kPlain},
        {"ASCII85Decode", dict({{"Filter", name("ASCII85Decode")}}), a85Encode(kPlain), kPlain},
        {"A85", dict({{"Filter", name("A85")}}), a85Encode(kPlain), kPlain},
        {"RunLengthDecode", dict({{"Filter", name("RunLengthDecode")}}), rlLiteral(kPlain), kPlain},
        {"RL", dict({{"Filter", name("RL")}}), rlLiteral(kPlain), kPlain},
        {"one-item array with a parameter dictionary",
         dict({{"Filter", array({name("FlateDecode")})}, {"DecodeParms", pngParams(4)}}), zCompress(upRows(rows, 4)),
         rows},
        {"one-item array with a parameter array",
         dict({{"Filter", array({name("FlateDecode")})}, {"DecodeParms", array({pngParams(4)})}}),
         zCompress(upRows(rows, 4)), rows},
        {"name with a parameter array", dict({{"Filter", name("FlateDecode")}, {"DecodeParms", array({pngParams(4)})}}),
         zCompress(upRows(rows, 4)), rows},
        {"DP instead of DecodeParms", dict({{"Filter", name("FlateDecode")}, {"DP", pngParams(5)}}),
         zCompress(upRows(rows, 5)), rows},
        {"A85 then Flate", dict({{"Filter", array({name("ASCII85Decode"), name("FlateDecode")})}}),
         a85Encode(zCompress(kPlain)), kPlain},
        {"A85 then Flate, parameters [null <<...>>]",
         dict({{"Filter", array({name("ASCII85Decode"), name("FlateDecode")})},
               {"DecodeParms", array({null(), pngParams(4)})}}),
         a85Encode(zCompress(upRows(rows, 4))), rows},
        {"A85 then Flate, lone dictionary belongs to the last filter",
         dict({{"Filter", array({name("ASCII85Decode"), name("FlateDecode")})}, {"DecodeParms", pngParams(4)}}),
         a85Encode(zCompress(upRows(rows, 4))), rows},
        {"parameter array shorter than the chain",
         dict({{"Filter", array({name("FlateDecode"), name("ASCIIHexDecode")})}, {"DecodeParms", array({null()})}}),
         zCompress(hexEncode(kPlain)), kPlain},
        {"five filters", dict({{"Filter", array({name("AHx"), name("A85"), name("RL"), name("Fl"), name("Fl")})}}),
         hexEncode(a85Encode(rlLiteral(zCompress(zCompress(kPlain))))), kPlain},
        {"non-integer parameters keep the defaults",
         dict({{"Filter", name("FlateDecode")}, {"DecodeParms", dict({{"Predictor", name("X")}})}}), zCompress(kPlain),
         kPlain},
        {"predictor 1 ignores absurd columns",
         dict({{"Filter", name("FlateDecode")}, {"DecodeParms", dict({{"Columns", integer(-1)}})}}), zCompress(kPlain),
         kPlain},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        bool destroyed = false;
        CPdfStream* sub = new TestBytesStream(c.stored, 0, &destroyed);
        CPdfStream* s = applyFilters(sub, c.dict);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(readAllChars(s), c.want);
        s->release();
        EXPECT_TRUE(destroyed);  // the chain owned the sub-stream
    }
}

TEST(ApplyFilters, LzwParametersFromTheDictionary) {
    // "-----A---B" in LZW with EarlyChange 1; EarlyChange 0 reads it differently
    // only once codes grow past 9 bits, so a short sample decodes either way.
    const std::string enc("\x80\x0B\x60\x50\x22\x0C\x0C\x85\x01", 9);
    for (const char* n : {"LZWDecode", "LZW"}) {
        CPdfElement d = dict({{"Filter", name(n)}, {"DecodeParms", dict({{"EarlyChange", integer(0)}})}});
        CPdfStreamRef s(applyFilters(new TestBytesStream(enc), d));
        ASSERT_TRUE(s);
        EXPECT_EQ(readAllChars(s.get()), "-----A---B");
    }
}

TEST(ApplyFilters, RefusalsLeaveTheSubStreamWithTheCaller) {
    std::string many;
    const FilterCase cases[] = {
        {"DCTDecode", dict({{"Filter", name("DCTDecode")}}), "", ""},
        {"image filter in a chain", dict({{"Filter", array({name("FlateDecode"), name("DCTDecode")})}}), "", ""},
        {"JBIG2Decode", dict({{"Filter", name("JBIG2Decode")}}), "", ""},
        {"CCITTFaxDecode", dict({{"Filter", name("CCITTFaxDecode")}}), "", ""},
        {"JPXDecode", dict({{"Filter", name("JPXDecode")}}), "", ""},
        {"case matters", dict({{"Filter", name("flatedecode")}}), "", ""},
        {"integer filter", dict({{"Filter", integer(3)}}), "", ""},
        {"non-name item", dict({{"Filter", array({integer(1)})}}), "", ""},
        {"zero columns", dict({{"Filter", name("FlateDecode")}, {"DecodeParms", pngParams(0)}}), "", ""},
        {"negative columns", dict({{"Filter", name("FlateDecode")}, {"DecodeParms", pngParams(-4)}}), "", ""},
        {"absurd columns", dict({{"Filter", name("FlateDecode")}, {"DecodeParms", pngParams(2147483647)}}), "", ""},
        {"absurd colors",
         dict({{"Filter", name("LZWDecode")},
               {"DecodeParms", dict({{"Predictor", integer(2)}, {"Colors", integer(1 << 30)}})}}),
         "", ""},
        {"bits per component 32",
         dict({{"Filter", name("FlateDecode")},
               {"DecodeParms", dict({{"Predictor", integer(15)}, {"BitsPerComponent", integer(32)}})}}),
         "", ""},
        {"absurd columns in a chain's parameter array",
         dict({{"Filter", array({name("A85"), name("Fl")})}, {"DecodeParms", array({null(), pngParams(0)})}}), "", ""},
        {"chain of seventeen",
         dict({{"Filter", array({name("Fl"), name("Fl"), name("Fl"), name("Fl"), name("Fl"), name("Fl"), name("Fl"),
                                 name("Fl"), name("Fl"), name("Fl"), name("Fl"), name("Fl"), name("Fl"), name("Fl"),
                                 name("Fl"), name("Fl"), name("Fl")})}}),
         "", ""},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        bool destroyed = false;
        CPdfStream* sub = new TestBytesStream("data", 0, &destroyed);
        EXPECT_EQ(applyFilters(sub, c.dict), nullptr);
        EXPECT_FALSE(destroyed);
        EXPECT_EQ(sub->getChar(), 'd');  // untouched
        sub->release();
        EXPECT_TRUE(destroyed);
    }
}

TEST(ApplyFilters, NoDictionaryMeansNoFilter) {
    CPdfStreamRef sub(new TestBytesStream("abc"));
    EXPECT_EQ(applyFilters(sub.get(), null()), sub.get());
    EXPECT_EQ(applyFilters(sub.get(), CPdfElement()), sub.get());
}

}  // namespace
