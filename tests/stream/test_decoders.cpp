// ASCIIHex, ASCII85, RunLength and LZW decoding.
#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "StreamTestUtil.h"
#include "stream/CPdfASCII85Stream.h"
#include "stream/CPdfASCIIHexStream.h"
#include "stream/CPdfLZWStream.h"
#include "stream/CPdfRunLengthStream.h"

namespace {

enum Kind { kHex, kA85, kRL, kLZW, kLZW0 };

CPdfStreamRef decoder(Kind k, const std::string& in, size_t maxBlock = 0) {
    CPdfStream* base = new TestBytesStream(in, maxBlock);
    switch (k) {
        case kHex:
            return CPdfStreamRef(new CPdfASCIIHexStream(base));
        case kA85:
            return CPdfStreamRef(new CPdfASCII85Stream(base));
        case kRL:
            return CPdfStreamRef(new CPdfRunLengthStream(base));
        case kLZW:
            return CPdfStreamRef(new CPdfLZWStream(base, 1));
        case kLZW0:
            return CPdfStreamRef(new CPdfLZWStream(base, 0));
    }
    return CPdfStreamRef();
}

struct Case {
    const char* name;
    Kind kind;
    std::string in;
    std::string want;
};

// Reads the case every way (per byte, in blocks, mixed with peeks, over a base
// that gives one byte per block read) and expects the same bytes each time.
void checkCase(const Case& c) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(readAllChars(decoder(c.kind, c.in).get()), c.want);
    EXPECT_EQ(readAllBlocks(decoder(c.kind, c.in, 1).get(), 3), c.want);
    EXPECT_EQ(readAllBlocks(decoder(c.kind, c.in).get(), 70000), c.want);
    bool mismatch = false;
    CPdfStreamRef s = decoder(c.kind, c.in, 2);
    EXPECT_EQ(readMixed(s.get(), &mismatch), c.want);
    EXPECT_FALSE(mismatch);
    EXPECT_EQ(s->getChar(), -1);
    EXPECT_EQ(s->peekChar(), -1);
}

std::string S(const char* p, size_t n) { return std::string(p, n); }

TEST(ASCIIHex, Cases) {
    const Case cases[] = {
        {"plain", kHex, "48656C6C6F>", "Hello"},
        {"white space and lower case", kHex, S("48 65\n6c\t6C\r\f6f\0>", 17), "Hello"},
        {"odd final digit", kHex, "414>", "A@"},
        {"no end marker", kHex, "41 4", "A@"},
        {"empty", kHex, ">", ""},
        {"nothing at all", kHex, "", ""},
        {"data after the end marker", kHex, "41>4243", "A"},
        {"invalid byte ends the data", kHex, "41zz42>", "A"},
        {"invalid byte after an odd digit", kHex, "41 4G55", "A@"},
    };
    for (const Case& c : cases)
        checkCase(c);
}

TEST(ASCII85, Cases) {
    const Case cases[] = {
        {"full groups", kA85, "87cURD]j7BEbo7~>", "Hello world"},
        {"one group", kA85, "9jqo^~>", "Man "},
        {"final group of two", kA85, "9jn~>", "Ma"},
        {"final group of four", kA85, "9jqo~>", "Man"},
        {"group then two", kA85, "9jqo^@/~>", "Man a"},
        {"z", kA85, "z@:B~>", S("\0\0\0\0ab", 6)},
        {"z after a group", kA85, "9jqo^zz~>", S("Man \0\0\0\0\0\0\0\0", 12)},
        {"maximum group", kA85, "s8W-!~>", "\xFF\xFF\xFF\xFF"},
        {"group above 2^32-1 ends the data", kA85, "9jqo^s8W-\"9jqo^~>", "Man "},
        {"z inside a group ends the data", kA85, "9jqo^9jzo^~>", "Man "},
        {"invalid byte ends the data", kA85, "9jqo^9jqo{9jqo^~>", "Man "},
        {"white space anywhere", kA85, " 9j\nqo\r^\t9 j n ~>", "Man Ma"},
        {"single final character is dropped", kA85, "9jqo^9~>", "Man "},
        {"no end marker", kA85, "9jqo^9jn", "Man Ma"},
        {"tilde alone ends", kA85, "9jqo^~9jqo^", "Man "},
        {"leading <~", kA85, "<~9jqo^~>", "Man "},
        {"empty", kA85, "~>", ""},
        {"nothing at all", kA85, "", ""},
        {"data after the end", kA85, "9jn~>9jqo^", "Ma"},
    };
    for (const Case& c : cases)
        checkCase(c);
}

TEST(RunLength, Cases) {
    const Case cases[] = {
        {"literal", kRL,
         "\x02"
         "abc\x80",
         "abc"},
        {"repeat", kRL, "\xFEx\x80", "xxx"},
        {"longest repeat", kRL, "\x81y\x80", std::string(128, 'y')},
        {"longest literal", kRL, "\x7F" + std::string(128, 'q') + "\x80", std::string(128, 'q')},
        {"end marker first", kRL,
         "\x80"
         "abc",
         ""},
        {"literal cut off", kRL,
         "\x05"
         "ab",
         "ab"},
        {"repeat cut off", kRL, "\xFE", ""},
        {"no end marker", kRL,
         S("\x00"
           "a\xFF"
           "b",
           4),
         "abb"},
        {"nothing at all", kRL, "", ""},
        {"data after the end marker", kRL,
         S("\x00"
           "a\x80\x00"
           "b",
           5),
         "a"},
    };
    for (const Case& c : cases)
        checkCase(c);
}

// ---------------------------------------------------------------- encoders for round trips

std::string a85Encode(const std::string& in) {
    std::string out;
    size_t col = 0;
    for (size_t i = 0; i < in.size(); i += 4) {
        size_t n = std::min<size_t>(4, in.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(in[i + k]) : 0);
        if (n == 4 && v == 0) {
            out.push_back('z');
        } else {
            char g[5];
            for (int k = 4; k >= 0; --k) {
                g[k] = static_cast<char>('!' + v % 85);
                v /= 85;
            }
            out.append(g, n + 1);
        }
        if (++col % 15 == 0) out.push_back('\n');
    }
    return out + "~>";
}

std::string rlEncode(const std::string& in) {
    std::string out;
    size_t i = 0;
    while (i < in.size()) {
        size_t run = 1;
        while (i + run < in.size() && run < 128 && in[i + run] == in[i])
            ++run;
        if (run >= 2) {
            out.push_back(static_cast<char>(257 - run));
            out.push_back(in[i]);
            i += run;
            continue;
        }
        size_t lit = 1;
        while (i + lit < in.size() && lit < 128 && !(i + lit + 1 < in.size() && in[i + lit] == in[i + lit + 1]))
            ++lit;
        out.push_back(static_cast<char>(lit - 1));
        out.append(in, i, lit);
        i += lit;
    }
    return out + "\x80";
}

class BitWriter {
public:
    void put(uint32_t code, int width) {
        acc_ = (acc_ << width) | code;
        bits_ += width;
        while (bits_ >= 8) {
            bits_ -= 8;
            out_.push_back(static_cast<char>((acc_ >> bits_) & 0xFF));
        }
    }
    std::string finish() {
        if (bits_ > 0) out_.push_back(static_cast<char>((acc_ << (8 - bits_)) & 0xFF));
        bits_ = 0;
        return out_;
    }

private:
    uint64_t acc_ = 0;
    int bits_ = 0;
    std::string out_;
};

// LZW as PDF writes it. clearEvery > 0 emits a clear code after that many
// codes; clearWhenFull emits one when the table fills (else the full table is
// kept and codes stay 12 bits wide).
std::string lzwEncode(const std::string& in, int early, size_t clearEvery, bool clearWhenFull, bool endCode = true) {
    BitWriter bw;
    std::unordered_map<std::string, int> dict;
    int next = 258;
    auto width = [&]() {
        int w = 9;
        while (w < 12 && next - 1 + early >= (1 << w))
            ++w;
        return w;
    };
    auto code = [&](const std::string& s) { return s.size() == 1 ? static_cast<unsigned char>(s[0]) : dict.at(s); };
    bw.put(256, 9);
    std::string w;
    size_t emitted = 0;
    for (char c : in) {
        std::string wc = w + c;
        if (w.empty() || dict.count(wc) || wc.size() == 1) {
            w = wc;
            continue;
        }
        bw.put(static_cast<uint32_t>(code(w)), width());
        ++emitted;
        if (next < 4096) dict[wc] = next++;
        if ((clearWhenFull && next == 4096) || (clearEvery && emitted % clearEvery == 0)) {
            bw.put(256, width());
            dict.clear();
            next = 258;
        }
        w = std::string(1, c);
    }
    if (!w.empty()) {
        bw.put(static_cast<uint32_t>(code(w)), width());
        if (next < 4096) ++next;  // the decoder adds an entry for this last code
    }
    if (endCode) bw.put(257, width());
    return bw.finish();
}

TEST(LZW, KnownSequence) {
    // The classic example: "-----A---B" with EarlyChange 1.
    const std::string enc = S("\x80\x0B\x60\x50\x22\x0C\x0C\x85\x01", 9);
    EXPECT_EQ(lzwEncode("-----A---B", 1, 0, true), enc);  // the test encoder agrees
    checkCase({"example", kLZW, enc, "-----A---B"});
}

TEST(LZW, Cases) {
    const Case cases[] = {
        {"end code only", kLZW, lzwEncode("", 1, 0, true), ""},
        {"nothing at all", kLZW, "", ""},
        {"no end code", kLZW, lzwEncode("abababab", 1, 0, true, false), "abababab"},
        // 9-bit codes: clear 256, 'a', code 300 (not yet defined) -> ends.
        {"undefined code ends the data", kLZW,
         [] {
             BitWriter b;
             b.put(256, 9);
             b.put('a', 9);
             b.put(300, 9);
             b.put('b', 9);
             return b.finish();
         }(),
         "a"},
        {"defined-now code (KwKwK)", kLZW,
         [] {
             BitWriter b;
             b.put(256, 9);
             b.put('a', 9);
             b.put(258, 9);
             b.put(257, 9);
             return b.finish();
         }(),
         "aaa"},
        {"non-literal after clear ends", kLZW,
         [] {
             BitWriter b;
             b.put(256, 9);
             b.put(258, 9);
             return b.finish();
         }(),
         ""},
        {"no leading clear", kLZW,
         [] {
             BitWriter b;
             b.put('x', 9);
             b.put('y', 9);
             b.put(258, 9);
             b.put(257, 9);
             return b.finish();
         }(),
         "xyxy"},
        {"data after the end code", kLZW,
         [] {
             BitWriter b;
             b.put('x', 9);
             b.put(257, 9);
             b.put('y', 9);
             return b.finish();
         }(),
         "x"},
    };
    for (const Case& c : cases)
        checkCase(c);
}

struct LzwRound {
    const char* name;
    std::string plain;
    int early;
    size_t clearEvery;
    bool clearWhenFull;
};

TEST(LZW, RoundTripsAcrossWidthsAndClears) {
    const std::string text = pseudoRandom(60000, 21, 6);
    const std::string noisy = pseudoRandom(30000, 22);
    const LzwRound rounds[] = {
        {"early 1, clear when full", text, 1, 0, true},
        {"early 0, clear when full", text, 0, 0, true},
        {"early 1, full table kept", noisy, 1, 0, false},
        {"early 0, full table kept", noisy, 0, 0, false},
        {"early 1, clear every 300 codes", text, 1, 300, false},
        {"early 0, clear every 511 codes", noisy, 0, 511, false},
        {"long runs", std::string(100000, 'z') + text.substr(0, 5000), 1, 0, true},
    };
    for (const LzwRound& r : rounds) {
        std::string enc = lzwEncode(r.plain, r.early, r.clearEvery, r.clearWhenFull);
        checkCase({r.name, r.early ? kLZW : kLZW0, enc, r.plain});
    }
    // The wrong EarlyChange does not give the data back (and does not crash).
    std::string enc = lzwEncode(text, 1, 0, true);
    EXPECT_NE(readAllChars(decoder(kLZW0, enc).get()), text);
}

TEST(LZW, WithPngPredictor) {
    std::string plain = pseudoRandom(4 * 100, 23, 8);
    std::string enc;
    std::string prev(4, '\0');
    for (size_t r = 0; r < 100; ++r) {
        enc.push_back(2);  // Up
        for (size_t i = 0; i < 4; ++i)
            enc.push_back(static_cast<char>(plain[r * 4 + i] - prev[i]));
        prev = plain.substr(r * 4, 4);
    }
    CPdfStreamRef s(new CPdfLZWStream(new TestBytesStream(lzwEncode(enc, 1, 0, true)), 1, 12, 4));
    EXPECT_EQ(readAllChars(s.get()), plain);
    // Absurd predictor parameters: nothing.
    CPdfStreamRef bad(new CPdfLZWStream(new TestBytesStream(lzwEncode(enc, 1, 0, true)), 1, 12, 0));
    EXPECT_EQ(readAllChars(bad.get()), "");
}

TEST(Decoders, RoundTripsOfLargeData) {
    const std::string data[] = {
        pseudoRandom(100000, 31),
        pseudoRandom(100000, 32, 3),
        std::string(50000, '\0') + pseudoRandom(1000, 33),
    };
    for (const std::string& d : data) {
        std::string hex;
        static const char digits[] = "0123456789abcdef";
        for (size_t i = 0; i < d.size(); ++i) {
            hex.push_back(digits[static_cast<unsigned char>(d[i]) >> 4]);
            hex.push_back(digits[d[i] & 15]);
            if (i % 40 == 39) hex.push_back('\n');
        }
        checkCase({"hex", kHex, hex + ">", d});
        checkCase({"a85", kA85, a85Encode(d), d});
        checkCase({"rl", kRL, rlEncode(d), d});
    }
}

// Every decoder gives back what its encoder made, for data of every length up to a
// few groups (so every kind of final group: ASCII85's partial groups of one to three
// bytes, an odd last hex digit pair, runs and literals cut by the end) and of bytes
// that make every rounding visible (0xFF bytes, zeros, random).
TEST(Decoders, EveryLengthRoundTrips) {
    const std::string patterns[] = {
        std::string(48, '\xFF'),
        std::string(48, '\0'),
        pseudoRandom(48, 41),
        pseudoRandom(48, 42, 2),
        std::string("\xFF\xFE\xFD\x80\x7F\x01\x00\xFF\xFF\xFF\x00\x00") + pseudoRandom(36, 43),
    };
    static const char digits[] = "0123456789ABCDEF";
    for (const std::string& pattern : patterns) {
        for (size_t n = 0; n <= pattern.size(); ++n) {
            const std::string d = pattern.substr(0, n);
            std::string hex;
            for (unsigned char c : d) {
                hex.push_back(digits[c >> 4]);
                hex.push_back(digits[c & 15]);
            }
            const std::string name = "length " + std::to_string(n);
            struct Round {
                const char* what;
                Kind kind;
                std::string encoded;
            } rounds[] = {
                {"hex", kHex, hex + ">"},
                {"a85", kA85, a85Encode(d)},
                {"rl", kRL, rlEncode(d)},
                {"lzw", kLZW, lzwEncode(d, 1, 0, true)},
                {"lzw early 0", kLZW0, lzwEncode(d, 0, 0, true)},
            };
            for (const Round& r : rounds)
                checkCase({(name + " " + r.what).c_str(), r.kind, r.encoded, d});
        }
    }
}

TEST(Decoders, ReleaseTheirBaseAndForwardItsOperations) {
    for (int k = kHex; k <= kLZW0; ++k) {
        bool destroyed = false;
        auto* base = new TestBytesStream("0123456789", 0, &destroyed);
        CPdfStream* s = nullptr;
        switch (k) {
            case kHex:
                s = new CPdfASCIIHexStream(base);
                break;
            case kA85:
                s = new CPdfASCII85Stream(base);
                break;
            case kRL:
                s = new CPdfRunLengthStream(base);
                break;
            default:
                s = new CPdfLZWStream(base, k == kLZW ? 1 : 0);
                break;
        }
        EXPECT_EQ(s->getLength(), 10);
        EXPECT_EQ(s->getDict(), nullptr);
        EXPECT_EQ(s->openWindow(0, 1, CPdfElement()), nullptr);
        readAllChars(s);
        s->release();
        EXPECT_TRUE(destroyed) << k;
    }
}

}  // namespace
