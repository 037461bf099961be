#include "text/CPdfContentLexer.h"

#include <algorithm>
#include <cstring>

#include "stream/CPdfStream.h"

namespace {

// Character classes: 0 regular, 1 white space, 2 delimiter.
struct Classes {
    unsigned char cls[256];
    Classes() {
        std::memset(cls, 0, sizeof cls);
        for (unsigned char c : {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20})
            cls[c] = 1;
        for (unsigned char c : {'%', '(', ')', '/', '<', '>', '[', ']', '{', '}'})
            cls[c] = 2;
    }
};
const Classes kClasses;

inline bool isWhite(int c) { return c >= 0 && kClasses.cls[c] == 1; }
inline bool isRegular(int c) { return c >= 0 && kClasses.cls[c] == 0; }

inline int hexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The number a token spells, as content streams write them: signs (a doubled sign
// written by careless producers counts once), digits, at most one point. False when
// anything else is in it.
bool parseNumber(const std::string& s, double* out) {
    size_t i = 0;
    bool negative = false;
    while (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    double value = 0;
    bool digits = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        double scale = 0.1;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
            value += (s[i] - '0') * scale;
            scale *= 0.1;
            digits = true;
        }
    }
    if (!digits || i != s.size()) return false;
    *out = negative ? -value : value;
    return true;
}

}  // namespace

CPdfContentLexer::CPdfContentLexer(std::vector<CPdfStream*> streams) : streams_(std::move(streams)) {}

CPdfContentLexer::~CPdfContentLexer() {
    for (CPdfStream* s : streams_)
        s->release();
}

bool CPdfContentLexer::refill() {
    consumed_ += bufEnd_;
    bufRead_ = bufEnd_ = 0;
    while (index_ < streams_.size()) {
        size_t n = 0;
        try {
            n = streams_[index_]->readBlock(buf_, kBufSize);
        } catch (...) {
            // Data that cannot be decoded ends this stream where the failure came.
            n = 0;
        }
        if (n > 0) {
            bufEnd_ = n;
            return true;
        }
        ++index_;
        streamEnded_ = true;
    }
    return false;
}

int CPdfContentLexer::readByte() {
    if (bufRead_ < bufEnd_) return buf_[bufRead_++];
    if (!refill()) return -1;
    return buf_[bufRead_++];
}

int CPdfContentLexer::peekByte() {
    if (bufRead_ < bufEnd_) return buf_[bufRead_];
    if (!refill()) return -1;
    return buf_[bufRead_];
}

size_t CPdfContentLexer::skipBytes(size_t n) {
    size_t done = 0;
    while (done < n) {
        if (bufRead_ >= bufEnd_ && !refill()) break;
        size_t k = bufEnd_ - bufRead_;
        if (k > n - done) k = n - done;
        bufRead_ += k;
        done += k;
    }
    return done;
}

void CPdfContentLexer::readLiteral() {
    bytes_.clear();
    int depth = 1;
    // Where the next ')' of the buffer is (its end when there is none), and the next
    // '(' and '\\' before it (that ')' when there is none), valid while the buffer holds
    // the same block: every byte is searched once for each, so a string is read in runs
    // of plain bytes however many escapes it holds.
    const unsigned char* open = nullptr;
    const unsigned char* close = nullptr;
    const unsigned char* escape = nullptr;
    uint64_t block = ~uint64_t(0);
    auto find = [](const unsigned char* from, const unsigned char* end, int c) {
        const void* p = std::memchr(from, c, static_cast<size_t>(end - from));
        return p ? static_cast<const unsigned char*>(p) : end;
    };
    for (;;) {
        if (bufRead_ >= bufEnd_ && !refill()) return;
        const unsigned char* from = buf_ + bufRead_;
        const unsigned char* end = buf_ + bufEnd_;
        if (block != consumed_) {
            block = consumed_;
            open = close = escape = nullptr;
        }
        if (!close || close < from) {
            close = find(from, end, ')');
            open = escape = nullptr;
        }
        if (!open || open < from) open = find(from, close, '(');
        if (!escape || escape < from) escape = find(from, close, '\\');
        const unsigned char* stop = std::min(open, std::min(close, escape));
        if (stop > from && bytes_.size() < kMaxStringBytes) {
            size_t take = static_cast<size_t>(stop - from);
            if (take > kMaxStringBytes - bytes_.size()) take = kMaxStringBytes - bytes_.size();
            bytes_.append(reinterpret_cast<const char*>(from), take);
        }
        bufRead_ = static_cast<size_t>(stop - buf_);
        if (stop == end) continue;
        int c = buf_[bufRead_++];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) return;
        } else {
            c = readByte();
            if (c < 0) return;
            switch (c) {
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'b':
                    c = '\b';
                    break;
                case 'f':
                    c = '\f';
                    break;
                case '\r':
                    if (peekByte() == '\n') readByte();
                    continue;
                case '\n':
                    continue;
                default:
                    if (c >= '0' && c <= '7') {
                        int v = c - '0';
                        for (int k = 0; k < 2 && peekByte() >= '0' && peekByte() <= '7'; ++k)
                            v = v * 8 + (readByte() - '0');
                        c = v & 0xFF;
                    }
                    break;
            }
        }
        if (bytes_.size() < kMaxStringBytes) bytes_.push_back(static_cast<char>(c));
    }
}

void CPdfContentLexer::readHex() {
    bytes_.clear();
    int high = -1;
    for (;;) {
        int c = readByte();
        if (c < 0 || c == '>') break;
        int v = hexValue(c);
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            if (bytes_.size() < kMaxStringBytes) bytes_.push_back(static_cast<char>((high << 4) | v));
            high = -1;
        }
    }
    if (high >= 0 && bytes_.size() < kMaxStringBytes) bytes_.push_back(static_cast<char>(high << 4));
}

void CPdfContentLexer::readWord(int first) {
    bytes_.clear();
    bytes_.push_back(static_cast<char>(first));
    for (;;) {
        if (bufRead_ >= bufEnd_) {
            streamEnded_ = false;
            if (!refill() || streamEnded_) return;  // the end of a stream ends the word
        }
        size_t i = bufRead_;
        while (i < bufEnd_ && kClasses.cls[buf_[i]] == 0)
            ++i;
        if (bytes_.size() < kMaxWordBytes) {
            size_t take = i - bufRead_;
            if (take > kMaxWordBytes - bytes_.size()) take = kMaxWordBytes - bytes_.size();
            bytes_.append(reinterpret_cast<const char*>(buf_ + bufRead_), take);
        }
        bufRead_ = i;
        if (i < bufEnd_) return;
    }
}

// A name after its '/': its regular bytes, #xx giving the byte of two hex digits.
void CPdfContentLexer::readName() {
    bytes_.clear();
    for (;;) {
        int d = peekByte();
        if (!isRegular(d)) break;
        readByte();
        if (d == '#') {
            int h1 = hexValue(peekByte());
            if (h1 >= 0) {
                readByte();
                int h2 = hexValue(peekByte());
                if (h2 >= 0) {
                    readByte();
                    d = (h1 << 4) | h2;
                } else {
                    d = h1;
                }
            }
        }
        if (bytes_.size() < kMaxWordBytes) bytes_.push_back(static_cast<char>(d));
    }
}

CPdfContentLexer::Kind CPdfContentLexer::next() {
    int c;
    for (;;) {
        c = readByte();
        if (c < 0) return kEnd;
        if (isWhite(c)) continue;
        if (c == '%') {
            while ((c = readByte()) >= 0 && c != '\n' && c != '\r') {
            }
            continue;
        }
        if (c == ')') continue;  // a stray closing parenthesis is no token
        break;
    }
    switch (c) {
        case '(':
            readLiteral();
            return kString;
        case '<':
            if (peekByte() == '<') {
                readByte();
                return kDictOpen;
            }
            readHex();
            return kString;
        case '>':
            if (peekByte() == '>') readByte();
            return kDictClose;
        case '[':
            return kArrayOpen;
        case ']':
            return kArrayClose;
        case '{':
        case '}':
            bytes_.assign(1, static_cast<char>(c));
            return kOperator;
        case '/':
            readName();
            return kName;
        default:
            break;
    }
    readWord(c);
    const char f = bytes_[0];
    if ((f >= '0' && f <= '9') || f == '-' || f == '+' || f == '.') {
        if (parseNumber(bytes_, &number_)) return kNumber;
    }
    return kOperator;
}

namespace {

// Bytes that content (operators, numbers, names, strings of text) is made of: printable
// ASCII and white space.
inline bool isContentByte(int c) { return c == '\t' || c == '\n' || c == '\r' || c == '\f' || (c >= 32 && c < 127); }

}  // namespace

void CPdfContentLexer::skipInlineImage(int64_t length) {
    // One white-space byte separates ID from the data.
    if (isWhite(peekByte())) readByte();
    if (length >= 0) {
        skipBytes(static_cast<size_t>(length));
        while (isWhite(peekByte()))
            readByte();
        if (peekByte() == 'E') {
            readByte();
            if (peekByte() == 'I') {
                readByte();
                if (!isRegular(peekByte())) return;
            }
        }
        // The length did not lead to EI: look for it as for data of unknown length.
    }
    int prev = ' ';
    for (;;) {
        int c = readByte();
        if (c < 0) return;
        if (c == 'E' && isWhite(prev) && peekByte() == 'I') {
            readByte();
            int after = peekByte();
            if (after < 0) return;
            if (isWhite(after) || after == '%') {
                // Plausible when what follows in the buffer looks like content.
                bool plausible = true;
                for (size_t i = bufRead_; i < bufEnd_ && i < bufRead_ + 32; ++i) {
                    if (!isContentByte(buf_[i])) {
                        plausible = false;
                        break;
                    }
                }
                if (plausible) return;
            }
            prev = 'I';
            continue;
        }
        prev = c;
    }
}
