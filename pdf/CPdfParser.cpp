#include "pdf/CPdfParser.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfSecurityHandler.h"
#include "stream/CPdfFilters.h"
#include "stream/CPdfMemoryStream.h"
#include "stream/CPdfStream.h"

namespace {

// Character classes: 0 regular, 1 white space, 2 delimiter.
enum : unsigned char { kRegular = 0, kWhite = 1, kDelim = 2 };

struct CharClasses {
    unsigned char cls[256];
    CharClasses() {
        for (int i = 0; i < 256; ++i)
            cls[i] = kRegular;
        for (unsigned char c : {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20})
            cls[c] = kWhite;
        for (unsigned char c : {'%', '(', ')', '/', '<', '>', '[', ']', '{', '}'})
            cls[c] = kDelim;
    }
};

const CharClasses kClasses;

inline bool isWhite(int c) { return c >= 0 && kClasses.cls[c] == kWhite; }
inline bool isRegular(int c) { return c >= 0 && kClasses.cls[c] == kRegular; }

inline int hexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Longest string kept from one literal or hexadecimal string, and from one name,
// number or keyword token. Longer tokens are read to their end but cut: only
// decompressed data can hold them, and they must not grow without bound.
const size_t kMaxStringBytes = size_t(16) << 20;
const size_t kMaxWordBytes = size_t(64) << 10;

// Command checks on the hot path, without strlen and string compare.
inline bool isCmd(const CPdfElement& e, char a) {
    if (!e.isCommandKind()) return false;
    const std::string& b = e.getBytes();
    return b.size() == 1 && b[0] == a;
}

inline bool isCmd(const CPdfElement& e, char a, char b) {
    if (!e.isCommandKind()) return false;
    const std::string& s = e.getBytes();
    return s.size() == 2 && s[0] == a && s[1] == b;
}

// Stable sort by key: insertion sort for the usual handful of entries (no
// temporary buffer), the library's merge sort for large dictionaries.
void sortEntries(std::vector<std::pair<std::string, CPdfElement>>& v) {
    auto less = [](const std::pair<std::string, CPdfElement>& x, const std::pair<std::string, CPdfElement>& y) {
        return x.first < y.first;
    };
    if (v.size() > 32) {
        std::stable_sort(v.begin(), v.end(), less);
        return;
    }
    for (size_t i = 1; i < v.size(); ++i) {
        if (!less(v[i], v[i - 1])) continue;
        std::pair<std::string, CPdfElement> tmp = std::move(v[i]);
        size_t j = i;
        while (j > 0 && less(tmp, v[j - 1])) {
            v[j] = std::move(v[j - 1]);
            --j;
        }
        v[j] = std::move(tmp);
    }
}

// Containers being read right now by every parser on the stack: a parser that
// resolves a stream's Length runs another parser inside its own recursion, so
// the limit on the whole stack is shared (the program runs on one thread).
thread_local int tActiveDepth = 0;
const int kMaxTotalDepth = 2 * CPdfParser::kMaxDepth;

struct DepthGuard {
    DepthGuard() { ++tActiveDepth; }
    ~DepthGuard() { --tActiveDepth; }
};

// Room for the entries of the dictionaries and the items of the arrays being read,
// one vector per active level. Each level is held apart, so that adding a level
// moves none below.
using Entries = std::vector<std::pair<std::string, CPdfElement>>;
using Items = std::vector<CPdfElement>;
thread_local std::vector<std::unique_ptr<Entries>> tDictScratch;
thread_local std::vector<std::unique_ptr<Items>> tArrayScratch;

// The vector of the current level (inside the container's DepthGuard), empty; it is
// emptied again when the container is done, also when reading it failed, and gives
// its room back when a large container made it large.
template <typename V>
struct ScratchLevel {
    V& v;
    explicit ScratchLevel(std::vector<std::unique_ptr<V>>& pool) : v(at(pool, static_cast<size_t>(tActiveDepth))) {
        v.clear();
    }
    ~ScratchLevel() {
        v.clear();
        if (v.capacity() > 256) V().swap(v);
    }
    static V& at(std::vector<std::unique_ptr<V>>& pool, size_t level) {
        while (pool.size() <= level) {
            pool.emplace_back(new V());
            pool.back()->reserve(16);
        }
        return *pool[level];
    }
};

inline void store(std::string& s, size_t cap, int c) {
    if (s.size() < cap) s.push_back(static_cast<char>(c));
}

}  // namespace

CPdfParser::CPdfParser(CPdfXRef* xref, CPdfStream* stream) : xref_(xref) {
    if (stream) streams_.push_back(stream);
    lex(tok_[0]);
    lex(tok_[1]);
}

CPdfParser::CPdfParser(CPdfXRef* xref, const CPdfElement& content) : xref_(xref) {
    if (content.isStream()) {
        content.getStream()->addRef();
        streams_.push_back(content.getStream());
    } else if (content.isArray()) {
        CPdfArray* a = content.getArray();
        try {
            for (int i = 0; i < a->getLength(); ++i) {
                CPdfElement item = a->get(i);
                if (item.isStream()) {
                    item.getStream()->addRef();
                    streams_.push_back(item.getStream());
                }
            }
        } catch (...) {
            // A failed fetch ends construction: the destructor will not run.
            for (CPdfStream* s : streams_)
                s->release();
            throw;
        }
    }
    lex(tok_[0]);
    lex(tok_[1]);
}

CPdfParser::~CPdfParser() {
    for (CPdfStream* s : streams_)
        s->release();
}

bool CPdfParser::refill() {
    bufRead_ = 0;
    // The first block is small: most parsers read one short object (a fetch of a
    // page or an annotation); longer reads get full blocks from the second on.
    bufEnd_ = streams_[index_]->readBlock(buf_, refillSize_);
    refillSize_ = kBufSize;
    return bufEnd_ > 0;
}

int CPdfParser::readChar() {
    if (bufRead_ < bufEnd_) return buf_[bufRead_++];
    while (index_ < streams_.size()) {
        if (refill()) return buf_[bufRead_++];
        if (index_ + 1 >= streams_.size()) return -1;
        ++index_;
    }
    return -1;
}

int CPdfParser::peekChar() {
    if (bufRead_ < bufEnd_) return buf_[bufRead_];
    if (index_ < streams_.size() && refill()) return buf_[bufRead_];
    return -1;
}

int64_t CPdfParser::getPos() const {
    if (index_ >= streams_.size()) return 0;
    return streams_[index_]->getPos() - static_cast<int64_t>(bufEnd_ - bufRead_);
}

void CPdfParser::skipToLineEnd() {
    for (;;) {
        int c = readChar();
        if (c < 0 || c == '\n') return;
        if (c == '\r') {
            if (peekChar() == '\n') readChar();
            return;
        }
    }
}

// Inline: the lexer calls it for every name and keyword.
inline void CPdfParser::appendRun(std::string& s, size_t cap, bool stopAtHash) {
    for (;;) {
        if (bufRead_ >= bufEnd_ && peekChar() < 0) return;
        size_t i = bufRead_;
        while (i < bufEnd_ && kClasses.cls[buf_[i]] == kRegular && !(stopAtHash && buf_[i] == '#'))
            ++i;
        if (s.size() < cap)
            s.append(reinterpret_cast<const char*>(buf_ + bufRead_), std::min(i - bufRead_, cap - s.size()));
        const bool more = i == bufEnd_;  // the run may go on in the next block
        bufRead_ = i;
        if (!more) return;
    }
}

// Skips white space and comments; returns the first byte of the next token, or -1 at
// the end of the input.
inline int CPdfParser::skipSpaceAndComments() {
    for (;;) {
        // White space is skipped in runs within the buffer.
        while (bufRead_ < bufEnd_ && kClasses.cls[buf_[bufRead_]] == kWhite)
            ++bufRead_;
        const int c = readChar();
        if (c < 0) return -1;
        if (isWhite(c)) continue;
        if (c == '%') {
            // A comment runs up to and including the next CR or LF.
            for (;;) {
                int d = readChar();
                if (d < 0) endedOpen_ = true;
                if (d < 0 || d == '\r' || d == '\n') break;
            }
            continue;
        }
        return c;
    }
}

// After "(": the string up to its balancing ")", with its escapes resolved.
void CPdfParser::lexLiteralString(CPdfElement& tok, std::string& s) {
    int depth = 1;
    for (;;) {
        // Plain bytes (no parenthesis, no backslash) are taken in runs of the buffer.
        size_t i = bufRead_;
        while (i < bufEnd_ && buf_[i] != '(' && buf_[i] != ')' && buf_[i] != '\\')
            ++i;
        if (i > bufRead_) {
            if (s.size() < kMaxStringBytes)
                s.append(reinterpret_cast<const char*>(buf_ + bufRead_),
                         std::min(i - bufRead_, kMaxStringBytes - s.size()));
            bufRead_ = i;
        }
        int d = readChar();
        if (d < 0) {
            endedOpen_ = true;
            break;
        }
        if (d == '(') {
            ++depth;
            store(s, kMaxStringBytes, d);
        } else if (d == ')') {
            if (--depth == 0) break;
            store(s, kMaxStringBytes, d);
        } else if (d == '\\') {
            if (!lexEscape(s)) {
                endedOpen_ = true;
                break;
            }
        } else {
            store(s, kMaxStringBytes, d);
        }
    }
    tok.setString(s.data(), s.size());
    if (crypt_) decryptToken(tok);
}

// After a backslash in a literal string: stores the escaped byte (none for a line
// continuation); false at the end of the input.
bool CPdfParser::lexEscape(std::string& s) {
    int e = readChar();
    if (e < 0) return false;
    switch (e) {
        case 'n':
            store(s, kMaxStringBytes, 0x0A);
            break;
        case 'r':
            store(s, kMaxStringBytes, 0x0D);
            break;
        case 't':
            store(s, kMaxStringBytes, 0x09);
            break;
        case 'b':
            store(s, kMaxStringBytes, 0x08);
            break;
        case 'f':
            store(s, kMaxStringBytes, 0x0C);
            break;
        case '\n':
            break;
        case '\r':
            if (peekChar() == '\n') readChar();
            break;
        default:
            if (e >= '0' && e <= '7') {
                int v = e - '0';
                for (int k = 0; k < 2; ++k) {
                    int p = peekChar();
                    if (p < '0' || p > '7') break;
                    readChar();
                    v = v * 8 + (p - '0');
                }
                store(s, kMaxStringBytes, v & 0xFF);
            } else {
                store(s, kMaxStringBytes, e);
            }
            break;
    }
    return true;
}

// After "<": the dictionary opener "<<", or a hexadecimal string up to ">" (white
// space skipped, a byte that is no hex digit read as 0, an odd last digit followed by 0).
inline void CPdfParser::lexAngleOpen(CPdfElement& tok, std::string& s) {
    if (peekChar() == '<') {
        readChar();
        tok.setCommand("<<", 2);
        return;
    }
    int high = -1;
    for (;;) {
        int d = readChar();
        if (d < 0) endedOpen_ = true;
        if (d < 0 || d == '>') break;
        if (isWhite(d)) continue;
        int v = hexValue(d);
        if (v < 0) v = 0;
        if (high < 0) {
            high = v;
        } else {
            store(s, kMaxStringBytes, (high << 4) | v);
            high = -1;
        }
    }
    if (high >= 0) store(s, kMaxStringBytes, high << 4);
    tok.setString(s.data(), s.size());
    if (crypt_) decryptToken(tok);
}

// After ">": the dictionary closer ">>"; a lone ">" is an error token.
inline void CPdfParser::lexAngleClose(CPdfElement& tok) {
    if (peekChar() == '>') {
        readChar();
        tok.setCommand(">>", 2);
    } else {
        tok.setError();
    }
}

// After "/": the name's regular characters, "#xx" escapes resolved.
inline void CPdfParser::lexName(CPdfElement& tok, std::string& s) {
    for (;;) {
        appendRun(s, kMaxWordBytes, true);
        int p = peekChar();
        if (!isRegular(p)) break;
        readChar();
        if (p == '#') {
            int h = peekChar();
            int hv = hexValue(h);
            if (hv >= 0) {
                readChar();
                int l = readChar();
                int lv = hexValue(l);
                store(s, kMaxWordBytes, (hv << 4) | (lv >= 0 ? lv : 0));
            } else {
                store(s, kMaxWordBytes, '#');
            }
        } else {
            store(s, kMaxWordBytes, p);
        }
    }
    tok.setName(s.data(), s.size());
}

// From its first byte c (a sign, a digit or '.'): an integer, or a real when a '.'
// is among its characters. A number may carry a sign: "-3" and "+3" alike (some
// writers put the '+').
inline void CPdfParser::lexNumber(CPdfElement& tok, std::string& s, int c) {
    bool real = c == '.';
    if (c != '+')  // "+3" reads as "3"
        s.push_back(static_cast<char>(c));
    for (;;) {
        // Digits in runs within the buffer.
        size_t i = bufRead_;
        while (i < bufEnd_ && buf_[i] >= '0' && buf_[i] <= '9')
            ++i;
        if (i > bufRead_ && s.size() < kMaxWordBytes)
            s.append(reinterpret_cast<const char*>(buf_ + bufRead_), std::min(i - bufRead_, kMaxWordBytes - s.size()));
        bufRead_ = i;
        int p = peekChar();
        if (!((p >= '0' && p <= '9') || p == '.')) break;
        readChar();
        if (p == '.') real = true;
        store(s, kMaxWordBytes, p);
    }
    if (real) {
        tok.setReal(std::strtod(s.c_str(), nullptr));
        return;
    }
    // Base 10 with a leading '-', clamped to 32 bits (as strtol into an int32).
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && s[i] == '-') {
        neg = true;
        ++i;
    }
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (v <= INT64_C(4294967296)) v = v * 10 + (s[i] - '0');
    }
    if (neg) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    tok.setInteger(static_cast<int32_t>(v));
}

// From its first byte c: true, false, null, or a keyword (an operator, "obj", "R",
// "endobj" ...).
inline void CPdfParser::lexKeyword(CPdfElement& tok, std::string& s, int c) {
    s.push_back(static_cast<char>(c));
    appendRun(s, kMaxWordBytes, false);
    // Most keywords are operators and "obj", "R", "endobj": told apart by length first.
    if (s.size() == 4 && s.compare(0, 4, "true", 4) == 0)
        tok.setBoolean(true);
    else if (s.size() == 5 && s.compare(0, 5, "false", 5) == 0)
        tok.setBoolean(false);
    else if (s.size() == 4 && s.compare(0, 4, "null", 4) == 0)
        tok.setNull();
    else
        tok.setCommand(s.data(), s.size());
}

// The next token into tok: dispatched on its first byte.
void CPdfParser::lex(CPdfElement& tok) {
    const int c = skipSpaceAndComments();
    if (c < 0) {
        tok.setEndOfInput();
        return;
    }
    // Names, strings and keywords are collected in one buffer kept by the parser.
    std::string& s = scratch_;
    s.clear();
    switch (c) {
        case '(':
            lexLiteralString(tok, s);
            return;
        case '<':
            lexAngleOpen(tok, s);
            return;
        case '>':
            lexAngleClose(tok);
            return;
        case '[':
        case ']': {
            char b = static_cast<char>(c);
            tok.setCommand(&b, 1);
            return;
        }
        case ')':
        case '{':
        case '}':
            tok.setError();
            return;
        case '/':
            lexName(tok, s);
            return;
        case '+':
        case '-':
        case '.':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
            lexNumber(tok, s, c);
            return;
        default:
            lexKeyword(tok, s, c);
            return;
    }
}

void CPdfParser::setDecryption(const CPdfSecurityHandler* handler, int32_t num, int32_t gen) {
    crypt_ = handler;
    cryptNum_ = num;
    cryptGen_ = gen;
    // The two tokens read ahead already belong to the object.
    for (CPdfElement& t : tok_) {
        if (t.isString()) decryptToken(t);
    }
}

void CPdfParser::decryptToken(CPdfElement& tok) {
    if (!crypt_) return;
    const std::string plain = crypt_->decryptString(tok.getBytes(), cryptNum_, cryptGen_);
    tok.setString(plain.data(), plain.size());
}

CPdfElement CPdfParser::nextToken() {
    CPdfElement tok;
    lex(tok);
    return tok;
}

void CPdfParser::shift() {
    // The two tokens trade places; the one consumed is overwritten with the next,
    // keeping its buffer.
    cur_ ^= 1;
    lex(tok_[cur_ ^ 1]);
}

CPdfElement CPdfParser::readObject() {
    budget_ = kMaxItems;
    stoppedAtStream_ = false;
    return readObjectAt(0);
}

void CPdfParser::skipNested() {
    // Consume a whole container without building it (and without recursion).
    size_t open = 0;
    for (;;) {
        if (current().isEndOfInput()) return;
        if (isCmd(current(), '[') || isCmd(current(), '<', '<'))
            ++open;
        else if (isCmd(current(), ']') || isCmd(current(), '>', '>'))
            --open;
        shift();
        if (open == 0) return;
    }
}

// After "[": the array up to its "]" (what was read so far when the input ends first).
CPdfElement CPdfParser::readArray(int depth) {
    CPdfElement result;
    if (depth >= kMaxDepth || tActiveDepth >= kMaxTotalDepth) {
        skipNested();
        result.setError();
        return result;
    }
    DepthGuard guard;
    shift();
    result.setNewArray(xref_);
    CPdfArray* a = result.getArray();
    // Items are collected in the level's vector; the array takes exactly the room
    // it needs, also when it ends early.
    ScratchLevel<Items> level(tArrayScratch);
    Items& items = level.v;
    while (!isCmd(current(), ']')) {
        // Unterminated: what was read so far. "endobj" ends the array as it ends the
        // object's text, so that the array is read as every copy of that text is.
        if (current().isEndOfInput() || current().isCommandOf("endobj", 6)) {
            if (current().isEndOfInput()) endedOpen_ = true;
            a->adopt(items);
            return result;
        }
        CPdfElement item = readObjectAt(depth + 1);
        if (item.isCommandOf("obj", 3)) ranPastEnd_ = true;
        if (stoppedAtStream_) {
            a->adopt(items);
            return result;
        }
        if (budget_ > 0) {
            --budget_;
            items.push_back(std::move(item));
        }
    }
    a->adopt(items);
    shift();
    return result;
}

// After "<<": the dictionary up to its ">>", or the stream object it begins.
CPdfElement CPdfParser::readDictionary(int depth) {
    CPdfElement result;
    if (depth >= kMaxDepth || tActiveDepth >= kMaxTotalDepth) {
        skipNested();
        result.setError();
        return result;
    }
    DepthGuard guard;
    shift();
    // Entries are collected in a vector kept per level of the containers being
    // read (by all parsers of the thread), so that its room is reused from one
    // dictionary and one parse to the next; the dictionary then takes exactly as
    // much as it needs.
    ScratchLevel<Entries> level(tDictScratch);
    Entries& entries = level.v;
    while (!isCmd(current(), '>', '>')) {
        if (current().isEndOfInput()) {
            endedOpen_ = true;
            break;
        }
        if (!current().isName()) {
            // "endobj" ends the dictionary, as it ends the object's text.
            if (current().isCommandOf("endobj", 6)) break;
            if (current().isCommandOf("obj", 3)) ranPastEnd_ = true;
            shift();
            continue;
        }
        std::string key = current().getBytes();
        shift();
        if (current().isError() || current().isEndOfInput()) continue;
        // A key with no value before ">>" ("/Key>>") or "endobj" is left out (as a null
        // value would be), and that ends the dictionary: taken as the key's value, it
        // would let the dictionary run on past its end, while the object's text (and
        // every copy of it) ends there.
        if (isCmd(current(), '>', '>') || current().isCommandOf("endobj", 6)) break;
        CPdfElement value = readObjectAt(depth + 1);
        if (stoppedAtStream_) break;
        if (budget_ > 0) {
            --budget_;
            entries.emplace_back(std::move(key), std::move(value));
        }
    }
    // Sort once (stable, so a repeated key keeps its first value first) and add
    // in key order: each add then appends.
    sortEntries(entries);
    result.setNewDictionary(xref_);
    CPdfDictionary* d = result.getDictionary();
    d->adoptSorted(entries);
    if (stoppedAtStream_) return result;
    if (isCmd(current(), '>', '>') && ahead().isCommand("stream")) return readStreamObject(result);
    if (!current().isCommandOf("endobj", 6)) shift();  // "endobj" stays, for the object's end
    return result;
}

CPdfElement CPdfParser::readObjectAt(int depth) {
    if (isCmd(current(), '[')) return readArray(depth);
    if (isCmd(current(), '<', '<')) return readDictionary(depth);
    CPdfElement result;
    if (current().isInteger()) {
        int32_t n = current().getInteger();
        shift();
        if (current().isInteger() && isCmd(ahead(), 'R')) {
            result.setReference(n, current().getInteger());
            shift();
            shift();
        } else {
            result.setInteger(n);
        }
        return result;
    }

    result = std::move(current());
    shift();
    return result;
}

CPdfElement CPdfParser::readStreamObject(CPdfElement& dict) {
    // current() is ">>" and ahead() is "stream"; the lexer stopped right after the keyword.
    skipToLineEnd();
    int64_t dataStart = getPos();
    CPdfElement result;
    if (stopAtStream_) {
        stoppedAtStream_ = true;
        streamDataPos_ = dataStart;
        return dict;
    }
    CPdfElement len = dict.getDictionary()->lookup("Length");
    if (!len.isInteger() || len.getInteger() < 0 || index_ >= streams_.size()) {
        lengthFailed_ = lengthFailed_ || index_ < streams_.size();
        result.setError();
        return result;
    }
    int64_t length = len.getInteger();
    CPdfStream* cur = streams_[index_];
    CPdfStreamRef sub(cur->openWindow(dataStart, length, dict));
    if (sub && length == 0) {
        // A window of length 0 would mean "to the end of the file": the data is empty.
        sub = CPdfStreamRef(new CPdfMemoryStream(nullptr, 0, dict));
    }
    if (sub) {
        // Only a stream that can give a window can be repositioned.
        dropBuffer();
        cur->setPos(dataStart + length, 0);
    }
    shift();
    shift();
    if (!current().isCommand("endstream")) {
        lengthFailed_ = true;
        throw CPdfException("Missing 'endstream'");
    }
    shift();
    if (sub && crypt_) {
        CPdfStream* raw = sub.detach();
        sub = CPdfStreamRef(
            crypt_->decryptStream(raw, crypt_->cipherForStream(dict.getDictionary()), cryptNum_, cryptGen_));
    }
    CPdfStream* decoded = sub ? applyFilters(sub.get(), dict) : nullptr;
    if (decoded) {
        sub.detach();  // the decoder (or sub itself) now holds that reference
        result.setStream(decoded);
        decoded->release();
    } else {
        result.setError();
    }
    return result;
}
