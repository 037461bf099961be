#include "font/CMapParser.h"

#include <cstring>
#include <string>

#include "font/FontFile.h"
#include "font/UnicodeMapping.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfElement.h"
#include "stream/CPdfStream.h"

namespace {

// Upper bound on the codes that bfrange blocks of one CMap may expand to, so that a
// few lines of hostile text cannot keep the reader busy for minutes.
constexpr uint64_t kMaxRangeWork = uint64_t{1} << 20;
// Largest ToUnicode stream read (a real one is far smaller).
constexpr size_t kMaxCMapBytes = size_t{4} << 20;

inline bool isWhite(int c) { return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }
inline bool isDelim(int c) {
    return c == '%' || c == '(' || c == ')' || c == '/' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}';
}
inline bool isRegular(int c) { return c >= 0 && !isWhite(c) && !isDelim(c); }

struct Token {
    char buf[CMapTokenizer::kMaxToken + 1];
    int len = 0;
    bool is(const char* s) const {
        size_t n = std::strlen(s);
        return static_cast<size_t>(len) == n && std::memcmp(buf, s, n) == 0;
    }
    bool isHex() const { return len >= 2 && buf[0] == '<' && buf[len - 1] == '>'; }
};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A source code token: <..> with the width codeBits asks for. Gives the leading hex
// digits as the code; false when the token does not qualify.
bool sourceCode(const Token& t, int codeBits, uint32_t* code) {
    if (!t.isHex()) return false;
    int digits = t.len - 2;
    if (codeBits == 0) {
        if (digits != 2 && digits != 4 && digits != 6 && digits != 8) return false;
    } else if (digits != codeBits / 4) {
        return false;
    }
    uint32_t v = 0;
    int i = 1;
    for (; i < t.len - 1; ++i) {
        int d = hexValue(t.buf[i]);
        if (d < 0) break;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    if (i == 1) return false;
    *code = v;
    return true;
}

// The digits of a destination token <...> with white space dropped (hex strings may
// be broken by white space).
int destinationDigits(const Token& t, char* out) {
    int n = 0;
    for (int i = 1; i < t.len - 1; ++i) {
        char c = t.buf[i];
        if (isWhite(static_cast<unsigned char>(c))) continue;
        out[n++] = c;
    }
    out[n] = 0;
    return n;
}

}  // namespace

CMapTokenizer::CMapTokenizer(int (*getChar)(void*), void* context) : getChar_(getChar), context_(context) {}

CMapTokenizer::CMapTokenizer(const char* text, size_t len) : text_(text), len_(len) {}

bool CMapTokenizer::nextToken(char buf[kMaxToken + 1], int* len) {
    int c;
    for (;;) {
        c = get();
        if (c < 0) {
            buf[0] = 0;
            *len = 0;
            return false;
        }
        if (isWhite(c)) continue;
        if (c == '%') {
            while ((c = peek()) >= 0 && c != '\r' && c != '\n')
                get();
            continue;
        }
        break;
    }
    int n = 0;
    auto put = [&](int ch) {
        if (n < kMaxToken) buf[n++] = static_cast<char>(ch);
    };
    put(c);
    if (c == '(') {
        int prev = c;
        while ((c = get()) >= 0) {
            put(c);
            if (c == ')' && prev != '\\') break;
            prev = c;
        }
    } else if (c == '<') {
        while ((c = get()) >= 0) {
            put(c);
            if (c == '>') break;
        }
    } else if (c == '[' || c == ']') {
        // one character
    } else {
        while (isRegular(peek()))
            put(get());
    }
    buf[n] = 0;
    *len = n;
    return true;
}

namespace {

// Reads the blocks of ToUnicode CMap text into a map: one function per block kind.
// Everything outside the blocks is passed over.
class ToUnicodeReader {
public:
    ToUnicodeReader(UnicodeMapping* map, const char* text, size_t len, int codeBits)
        : tok_(text, len), map_(map), codeBits_(codeBits) {}
    void run();

private:
    bool next(Token& t) { return tok_.nextToken(t.buf, &t.len); }
    void readBfChars();
    void readBfRanges();
    void readBfRangeArray(uint32_t low, uint32_t high, bool ok);

    CMapTokenizer tok_;
    UnicodeMapping* map_;
    int codeBits_;
    uint64_t work_ = 0;  // codes the bfrange blocks expanded to so far
    char digits_[CMapTokenizer::kMaxToken + 1];
};

void ToUnicodeReader::run() {
    Token prev, cur;
    if (!next(prev)) return;
    while (next(cur)) {
        if (cur.is("usecmap")) {
            // The named base CMap is not loaded; ToUnicode maps stand alone.
        } else if (cur.is("beginbfchar")) {
            readBfChars();
        } else if (cur.is("beginbfrange")) {
            readBfRanges();
        } else {
            prev = cur;
            continue;
        }
        // The token after a block's end is passed over.
        if (!next(prev)) break;
    }
}

// bfchar: pairs of a source code and its destination.
void ToUnicodeReader::readBfChars() {
    Token a, b;
    for (;;) {
        if (!next(a) || a.is("endbfchar")) break;
        if (!next(b) || b.is("endbfchar")) break;
        uint32_t code;
        if (b.isHex() && sourceCode(a, codeBits_, &code)) {
            int n = destinationDigits(b, digits_);
            map_->addEntry(code, digits_, n, 0);
        }
    }
}

// bfrange: a low and a high source code, then a destination that the codes count up
// from, or an array of one destination per code.
void ToUnicodeReader::readBfRanges() {
    Token a, b, c;
    for (;;) {
        if (!next(a) || a.is("endbfrange")) break;
        if (!next(b) || b.is("endbfrange")) break;
        if (!next(c) || c.is("endbfrange")) break;
        uint32_t low = 0, high = 0;
        bool ok = sourceCode(a, codeBits_, &low) && sourceCode(b, codeBits_, &high);
        if (c.is("[")) {
            readBfRangeArray(low, high, ok);
        } else if (ok && c.isHex() && low <= high) {
            int n = destinationDigits(c, digits_);
            for (uint64_t code = low; code <= high && work_ < kMaxRangeWork; ++code, ++work_) {
                map_->addEntry(static_cast<uint32_t>(code), digits_, n, static_cast<uint32_t>(code - low));
            }
        }
    }
}

// The array form of a bfrange entry, after its "[": one destination per code; the
// array is read to its end even when it holds more entries than the range has codes.
void ToUnicodeReader::readBfRangeArray(uint32_t low, uint32_t high, bool ok) {
    Token d;
    uint64_t code = low;
    while (next(d) && !d.is("]")) {
        if (ok && code <= high && d.isHex()) {
            int n = destinationDigits(d, digits_);
            map_->addEntry(static_cast<uint32_t>(code), digits_, n, 0);
        }
        ++code;
    }
}

}  // namespace

void parseCMapInto(UnicodeMapping* map, const char* text, size_t len, int codeBits) {
    if (!map || !text) return;
    ToUnicodeReader reader(map, text, len, codeBits);
    reader.run();
}

std::unique_ptr<UnicodeMapping> loadToUnicode(CPdfDictionary* fontDict, int codeBits, UnicodeMapping* map) {
    std::unique_ptr<UnicodeMapping> fresh;
    if (!fontDict) return fresh;
    CPdfElement tu = fontDict->lookup("ToUnicode");
    if (!tu.isStream() || !tu.getStream()) return fresh;
    std::string text;
    readWholeStream(tu.getStream(), kMaxCMapBytes, true, text);
    if (!map) {
        fresh.reset(new UnicodeMapping());
        map = fresh.get();
    }
    parseCMapInto(map, text.data(), text.size(), codeBits);
    return fresh;
}
