// The file read through a few read-ahead blocks, object headers found near their
// entries, and the raw text of objects in the file: where it begins and ends.
#include "pdf/CPdfXRefImpl.h"

#include <vector>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfObjectScan.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"

// Pointer to file bytes at pos with *avail bytes available (0 at the end of the file).
const unsigned char* XRefImpl::window(int64_t pos, size_t* avail) {
    // A block that holds pos with a little to spare serves the request.
    CPdfXRef::CacheBlock* hit = nullptr;
    for (CPdfXRef::CacheBlock& b : x.cache_) {
        int64_t end = b.pos + static_cast<int64_t>(b.len);
        if (b.len > 0 && pos >= b.pos && pos < end && (end - pos >= 256 || end >= x.fileSize_)) {
            hit = &b;
            break;
        }
    }
    if (!hit) {
        // Reading forward through the file grows the block read at once; a jump
        // elsewhere takes the least recently used block and starts small.
        // In lookup mode only a read that continues a block grows it: lookups
        // hop between objects far apart, and reading every byte between two of
        // them would cost more than the small reads.
        CPdfXRef::CacheBlock* forward = nullptr;
        CPdfXRef::CacheBlock* oldest = &x.cache_[0];
        for (CPdfXRef::CacheBlock& b : x.cache_) {
            int64_t end = b.pos + static_cast<int64_t>(b.len);
            int64_t reach = x.lookupMode_ ? end : end + static_cast<int64_t>(b.fill);
            if (!forward && b.len > 0 && pos >= b.pos && pos <= reach) forward = &b;
            if (b.lastUse < oldest->lastUse) oldest = &b;
        }
        hit = forward ? forward : oldest;
        hit->fill = forward ? std::min(hit->fill * 2, kRawCacheSize) : x.lookupMode_ ? kLookupBlock : kRawCacheFirst;
        if (hit->data.size() < hit->fill) hit->data.resize(hit->fill);
        hit->pos = pos;
        hit->len = pos < x.fileSize_ ? x.file_->readAt(pos, hit->data.data(), hit->fill) : 0;
    }
    hit->lastUse = ++x.cacheClock_;
    int64_t cacheEnd = hit->pos + static_cast<int64_t>(hit->len);
    if (pos >= cacheEnd) {
        *avail = 0;
        return nullptr;
    }
    *avail = static_cast<size_t>(cacheEnd - pos);
    return hit->data.data() + (pos - hit->pos);
}

// File position of the first pat at or after pos and before limit, or -1.
int64_t XRefImpl::findInFile(int64_t pos, const char* pat, size_t patLen, int64_t limit) {
    if (limit > x.fileSize_) limit = x.fileSize_;
    while (pos + static_cast<int64_t>(patLen) <= limit) {
        size_t avail;
        const unsigned char* p = window(pos, &avail);
        if (!p || avail < patLen) return -1;
        if (static_cast<int64_t>(avail) > limit - pos) avail = static_cast<size_t>(limit - pos);
        if (!scanAllowed()) return -1;
        const unsigned char* hit =
            patLen == 6 && std::memcmp(pat, "endobj", 6) == 0 ? findEndobj(p, avail) : findBytes(p, avail, pat, patLen);
        spendScan(hit ? static_cast<size_t>(hit - p) + patLen : avail);
        if (hit) return pos + (hit - p);
        if (pos + static_cast<int64_t>(avail) >= limit) return -1;
        pos += static_cast<int64_t>(avail - (patLen - 1));
    }
    return -1;
}

void XRefImpl::copyFile(int64_t pos, size_t len, std::string& out) {
    out.resize(len);
    size_t avail;
    const unsigned char* p = window(pos, &avail);
    if (p && avail >= len) {
        std::memcpy(&out[0], p, len);
        return;
    }
    size_t got = x.file_->readAt(pos, reinterpret_cast<unsigned char*>(&out[0]), len);
    out.resize(got);
}

bool XRefImpl::isDigits(const std::string& w) {
    if (w.empty()) return false;
    for (char ch : w)
        if (ch < '0' || ch > '9') return false;
    return true;
}

int64_t XRefImpl::digitsValue(const std::string& w) {
    int64_t v = 0;
    for (char ch : w)
        if (v < (int64_t(1) << 40)) v = v * 10 + (ch - '0');
    return v;
}

// The header "num gen obj" of object num at pos, after white space and comments
// (which the parser skips too): where it begins, or -1 when another thing is
// there. *gen receives its generation.
int64_t XRefImpl::headerAt(int64_t pos, int32_t num, int64_t* gen) {
    // The usual header, "num gen obj" with plain white space, is read in place;
    // anything else (a comment, a header across a block's end) token by token.
    size_t avail;
    const unsigned char* p = window(pos, &avail);
    if (p && avail > 0) {
        size_t i = 0;
        while (i < avail && CPdfRawScan::IsWhite(p[i]))
            ++i;
        const size_t at = i;
        int64_t n = 0, g = 0;
        while (i < avail && p[i] >= '0' && p[i] <= '9' && i - at < 12)
            n = n * 10 + (p[i++] - '0');
        const size_t numEnd = i;
        while (i < avail && CPdfRawScan::IsWhite(p[i]))
            ++i;
        const size_t genAt = i;
        while (i < avail && p[i] >= '0' && p[i] <= '9' && i - genAt < 12)
            g = g * 10 + (p[i++] - '0');
        const size_t genEnd = i;
        while (i < avail && CPdfRawScan::IsWhite(p[i]))
            ++i;
        if (numEnd > at && genAt > numEnd && genEnd > genAt && i + 4 <= avail && std::memcmp(p + i, "obj", 3) == 0 &&
            !CPdfRawScan::IsRegular(p[i + 3])) {
            if (n != num) return -1;
            if (gen) *gen = g;
            return pos + static_cast<int64_t>(at);
        }
    }
    FileCursor c(x, pos, false);
    std::string w;
    int64_t at;
    if (CPdfRawScan::Next(c, &w, &at) != CPdfRawScan::kNumber || !isDigits(w) || digitsValue(w) != num) return -1;
    if (CPdfRawScan::Next(c, &w) != CPdfRawScan::kNumber || !isDigits(w)) return -1;
    const int64_t g = digitsValue(w);
    if (CPdfRawScan::Next(c, &w) != CPdfRawScan::kKeyword || w != "obj") return -1;
    if (gen) *gen = g;
    return at;
}

// The nearest header of object num with generation gen within kHeaderSlack bytes
// of pos, or -1: an entry a few bytes off still finds its object.
int64_t XRefImpl::headerNear(int64_t pos, int32_t num, int32_t gen) {
    const int64_t lo = std::max(x.start_, pos - kHeaderSlack);
    const int64_t hi = std::min(x.fileSize_, pos + kHeaderSlack);
    if (hi <= lo || !scanAllowed()) return -1;
    std::vector<unsigned char> buf(static_cast<size_t>(hi - lo));
    const size_t n = x.readCached(lo, buf.data(), buf.size());
    spendScan(n);
    const std::string digits = std::to_string(num);
    int64_t best = -1;
    const unsigned char* q = buf.data();
    const unsigned char* end = buf.data() + n;
    while ((q = findBytes(q, static_cast<size_t>(end - q), digits.data(), digits.size())) != nullptr) {
        const size_t i = static_cast<size_t>(q - buf.data());
        ++q;
        if (i > 0 && CPdfRawScan::IsRegular(buf[i - 1])) continue;  // inside another token
        const int64_t cand = lo + static_cast<int64_t>(i);
        if (best >= 0 && std::llabs(cand - pos) >= std::llabs(best - pos)) continue;
        int64_t g = -1;
        if (headerAt(cand, num, &g) == cand && g == gen) best = cand;
    }
    return best;
}

// The usual header right at p: "num gen obj" with single spaces. 1 when it is
// object num's, 0 when it is another object's, -1 when it is written otherwise
// (white space before it, a comment, another separator: read token by token).
int XRefImpl::plainHeader(const unsigned char* p, size_t avail, int32_t num) {
    size_t i = 0;
    int64_t n = 0;
    while (i < avail && i < 11 && static_cast<unsigned>(p[i] - '0') < 10)
        n = n * 10 + (p[i++] - '0');
    if (i == 0 || i >= avail || p[i] != ' ') return -1;
    const size_t g = ++i;
    while (i < avail && i - g < 11 && static_cast<unsigned>(p[i] - '0') < 10)
        ++i;
    if (i == g || i + 5 > avail || p[i] != ' ' || p[i + 1] != 'o' || p[i + 2] != 'b' || p[i + 3] != 'j' ||
        CPdfRawScan::IsRegular(p[i + 4]))
        return -1;
    return n == num ? 1 : 0;
}

// Where the header of object num (InFile) begins, or -1: at its entry's offset,
// or, when the entry is a few bytes off, at the nearest header of that number and
// generation (the entry is corrected for every later use). What was found is
// remembered, so that asking again costs nothing.
int64_t XRefImpl::objectPos(int32_t num, const unsigned char** at, size_t* atAvail) {
    const XRefEntry& e = x.entries_[static_cast<size_t>(num)];
    if (e.kind != XRefKind::InFile) return -1;
    if (x.headerState_.empty()) {
        x.headerState_.assign(x.entries_.size(), 0);
        x.spanLen_.assign(x.entries_.size(), 0);
    }
    const unsigned char state = x.headerState_[static_cast<size_t>(num)];
    if (state == kHeaderFound) return x.start_ + static_cast<int64_t>(e.offset);
    if (state == kHeaderMissing) return -1;
    return findHeader(num, at, atAvail);
}

// objectPos of an object not looked for yet.
int64_t XRefImpl::findHeader(int32_t num, const unsigned char** at, size_t* atAvail) {
    XRefEntry& e = x.entries_[static_cast<size_t>(num)];
    unsigned char& state = x.headerState_[static_cast<size_t>(num)];
    const int64_t pos = x.start_ + static_cast<int64_t>(e.offset);
    int64_t h = -1;
    if (e.offset < static_cast<uint64_t>(x.fileSize_) && pos < x.fileSize_) {
        size_t avail;
        const unsigned char* p = window(pos, &avail);
        const int plain = p ? plainHeader(p, avail, num) : -1;
        h = plain == 1 ? pos : plain == 0 ? -1 : headerAt(pos, num);
        if (plain == 1 && at) {
            // The caller reads on from here: the bytes at hand are handed over.
            *at = p;
            *atAvail = avail;
        }
        if (h < 0) {
            h = headerNear(pos, num, e.gen);
            if (h >= 0) x.repaired_ = true;
        }
    }
    if (h < 0) {
        state = kHeaderMissing;
        // The object may stand anywhere else in the file (looked for once).
        if (relocate(num) && e.kind == XRefKind::InFile) return objectPos(num, at, atAvail);
        return -1;
    }
    e.offset = static_cast<uint64_t>(h - x.start_);
    state = kHeaderFound;
    return h;
}

// True when bytes [p, p + n) end outside every literal string, hexadecimal string
// and comment, read as the lexer reads them: a keyword the text search finds right
// after them is a token of its own (given the bytes around it say so). False when
// unsure: a name escape ("#" may take the byte after it along). The bytes between
// strings and comments are stepped over with memchr, a dictionary's "<<" at a time.
bool XRefImpl::closedBytes(const unsigned char* p, size_t n) {
    const unsigned char* const end = p + n;
    // The first c in [from, to), or to.
    auto upTo = [](const unsigned char* from, const unsigned char* to, unsigned char c) {
        if (to - from < 16) {
            while (from < to && *from != c)
                ++from;
            return from;
        }
        const void* hit = std::memchr(from, c, static_cast<size_t>(to - from));
        return hit ? static_cast<const unsigned char*>(hit) : to;
    };
    auto find = [end, &upTo](const unsigned char* from, unsigned char c) { return upTo(from, end, c); };
    if (find(p, '#') != end) return false;
    const unsigned char* q = p;
    const unsigned char* paren = find(q, '(');
    const unsigned char* percent = find(q, '%');
    if (paren == end && percent == end) {
        // No string, no comment: the end lies in a hexadecimal string only when one
        // opens after the last '>' (which ends any before it). In a run of '<' the
        // lexer pairs them into "<<" from the left; a run of odd length opens one.
        size_t run = 0;
        for (const unsigned char* b = end; b > p && b[-1] != '>'; --b) {
            if (b[-1] == '<') {
                ++run;
                continue;
            }
            if (run % 2) return false;
            run = 0;
        }
        return run % 2 == 0;
    }
    const unsigned char* angle = find(q, '<');
    for (;;) {
        if (paren < q) paren = find(q, '(');
        if (percent < q) percent = find(q, '%');
        if (angle < q) angle = find(q, '<');
        const unsigned char* next = std::min(paren, std::min(percent, angle));
        if (next == end) return true;
        q = next + 1;
        if (*next == '(') {
            // A literal string: from one ')' to the next, unless a '(' or a
            // backslash comes first.
            for (int depth = 1; depth > 0;) {
                const unsigned char* close = find(q, ')');
                if (close == end) return false;
                const unsigned char* other = std::min(upTo(q, close, '('), upTo(q, close, '\\'));
                if (other == close) {
                    --depth;
                    q = close + 1;
                } else if (*other == '(') {
                    ++depth;
                    q = other + 1;
                } else {
                    q = other + 2;  // the escaped byte, a parenthesis included
                    if (q > end) return false;
                }
            }
        } else if (*next == '%') {
            while (q < end && *q != '\r' && *q != '\n')
                ++q;
            if (q >= end) return false;
        } else if (q < end && *q == '<') {
            ++q;  // "<<"
        } else {
            q = find(q, '>');  // a hexadecimal string
            if (q >= end) return false;
            ++q;
        }
    }
}

// The "endobj" found by the text search at e is the lexer's keyword for sure.
bool XRefImpl::endobjIsSure(const unsigned char* p, size_t avail, const unsigned char* e, bool atEof) {
    const size_t i = static_cast<size_t>(e - p);
    if (i == 0 || !closedBytes(p, i)) return false;
    const unsigned char before = p[i - 1];
    if (!(CPdfRawScan::IsWhite(before) || before == '>' || before == ']' || before == '}' || before == ')'))
        return false;
    return i + 6 < avail ? !CPdfRawScan::IsRegular(p[i + 6]) : atEof;
}

// The "stream" found by the text search at st is the lexer's keyword for sure, and
// it follows the ">>" that closes the object's dictionary.
bool XRefImpl::streamIsSure(const unsigned char* p, size_t avail, const unsigned char* st) {
    const size_t i = static_cast<size_t>(st - p);
    if (!closedBytes(p, i) || i + 6 >= avail || CPdfRawScan::IsRegular(p[i + 6])) return false;
    size_t j = i;
    while (j > 0 && CPdfRawScan::IsWhite(p[j - 1]))
        --j;
    size_t run = 0;
    while (j > run && p[j - 1 - run] == '>')
        ++run;
    return run >= 2 && run % 2 == 0;
}

// Where the data of the stream object at pos ends as the parser reads it: just
// after the "endstream" that follows Length bytes of data, or -1 (*data receives
// where the data begins, when the dictionary was read).
int64_t XRefImpl::streamDataEnd(int64_t pos, int64_t* data) {
    *data = -1;
    try {
        CPdfParser p(&x, openCached(&x, pos));
        p.setStopAtStream(true);
        CPdfElement a = p.readObject();
        CPdfElement b = p.readObject();
        CPdfElement c = p.readObject();
        if (!a.isInteger() || !b.isInteger() || !c.isCommand("obj")) return -1;
        CPdfElement obj = p.readObject();
        if (!p.stoppedAtStream() || !obj.isDictionary()) return -1;
        *data = p.getStreamDataPos();
        CPdfElement len = obj.getDictionary()->lookup("Length");
        if (!len.isInteger() || len.getInteger() < 0) return -1;
        const int64_t after = *data + len.getInteger();
        if (after > x.fileSize_) return -1;
        const int64_t k = keywordAfter(after, "endstream", 9);
        if (k >= 0) return k;
    } catch (const CPdfException&) {
        // An unreadable Length: the data ends at "endstream".
    }
    return -1;
}

// The position of the "endobj" that ends the stream object at pos: its data runs
// for the dictionary's Length, and "endstream" and "endobj" follow (as the parser
// reads it). -1 when the object is not written so.
int64_t XRefImpl::streamObjectEnd(int64_t pos) {
    int64_t data;
    const int64_t after = streamDataEnd(pos, &data);
    if (after < 0) return -1;
    const int64_t k = keywordAfter(after, "endobj", 6);
    if (k >= 0) return k - 6;
    FileCursor c(x, after, true);
    return CPdfRawScan::ScanObject(c) == CPdfRawScan::kAtEndobj ? c.pos() - 6 : -1;
}

// When the first token at or after pos is the keyword kw: the position just after
// it; else -1. White space is stepped over in place, anything else token by token.
int64_t XRefImpl::keywordAfter(int64_t pos, const char* kw, size_t len) {
    size_t avail;
    const unsigned char* p = window(pos, &avail);
    if (p) {
        size_t i = 0;
        while (i < avail && CPdfRawScan::IsWhite(p[i]))
            ++i;
        if (i + len < avail && std::memcmp(p + i, kw, len) == 0 && !CPdfRawScan::IsRegular(p[i + len]))
            return pos + static_cast<int64_t>(i + len);
        if (i < avail && p[i] != '%') return -1;  // another token
    }
    FileCursor c(x, pos, true);
    std::string w;
    return CPdfRawScan::Next(c, &w) == CPdfRawScan::kKeyword && w == kw ? c.pos() : -1;
}

bool XRefImpl::rawTextInFile(int32_t num, std::string& out) {
    int64_t pos, stop;
    switch (rawSpanInFile(num, pos, stop)) {
        case kSpanInFile:
            copyFile(pos, static_cast<size_t>(stop - pos), out);
            return true;
        case kSpanHeld:
            out = x.memText_[num];
            return true;
        default:
            return false;
    }
}

// Where the raw text of object num (InFile) lies: [pos, stop) of the file, from its
// header through "endobj" and the byte after it; *isStream (when given) tells
// whether the object is a stream. The text search for the keywords decides where
// it is sure; where a string, comment, hexadecimal string or name escape comes
// before the keyword it found, the bytes are read token by token as the lexer
// reads them, and a stream's data is skipped as the parser skips it. An object the
// parser reads otherwise than its bytes say (a stream whose Length does not lead to
// "endstream", a missing "endstream" or "endobj") is given whole text instead.
XRefImpl::Span XRefImpl::rawSpanInFile(int32_t num, int64_t& pos, int64_t& stop, bool* isStreamOut) {
    const unsigned char* p = nullptr;
    size_t avail = 0;
    pos = objectPos(num, &p, &avail);
    if (pos < 0) return kSpanNone;
    // Found once, the span is known: objects are asked for again (an annotation
    // by its page's editor and by the pass).
    uint32_t& known = x.spanLen_[static_cast<size_t>(num)];
    if (known) {
        stop = pos + (known & kSpanLength);
        if (isStreamOut) *isStreamOut = (known & kSpanStream) != 0;
        return kSpanInFile;
    }
    // The header holds no keyword: the search starts at it.
    const int64_t body = pos;
    int64_t end = -1;
    int64_t keyword = -1;  // just after the "stream" keyword of a stream object
    if (!p) p = window(body, &avail);
    if (!p || !scanAllowed()) return kSpanNone;
    const unsigned char* e;
    const unsigned char* st;
    // "obj" keywords before the first "endobj": the header's, and another
    // header's when the object lacks its "endobj" (the lexer decides).
    int objs = 0;
    spendScan(findEndobjOrStream(p, avail, &e, &st, &objs));
    std::vector<unsigned char> whole;
    // Another header in the bytes at hand before any keyword: the object may end
    // before it, which the lexer decides without a search further on.
    if (!e && !st && objs < 2 && body + static_cast<int64_t>(avail) < x.fileSize_) {
        // The object runs on past the bytes at hand: the keyword is looked for
        // further on, and the bytes up to it are checked in one piece.
        const int64_t k = keywordFurther(body + static_cast<int64_t>(avail) - 5);
        if (k >= 0 && k - body < static_cast<int64_t>(kMaxObjStmBytes)) {
            whole.resize(static_cast<size_t>(k - body) + 16);
            whole.resize(x.readCached(body, whole.data(), whole.size()));
            p = whole.data();
            avail = whole.size();
            objs = 0;
            findEndobjOrStream(p, avail, &e, &st, &objs);
        }
    }
    bool needsText = false;
    if (e && objs < 2 && endobjIsSure(p, avail, e, body + static_cast<int64_t>(avail) >= x.fileSize_)) {
        end = body + (e - p);
    } else if (st && streamIsSure(p, avail, st)) {
        keyword = body + (st - p) + 6;
    } else {
        FileCursor c(x, body, true);
        std::string w;
        for (int i = 0; i < 3; ++i)
            CPdfRawScan::Next(c, &w);  // the header
        switch (CPdfRawScan::ScanObject(c)) {
            case CPdfRawScan::kAtEndobj:
                end = c.pos() - 6;
                break;
            case CPdfRawScan::kAtStream:
                keyword = c.pos();
                break;
            default:
                // No "endobj" before the next object or the end of the file.
                if (!scanAllowed()) return kSpanNone;
                needsText = true;
                break;
        }
    }
    if (keyword >= 0) {
        end = streamObjectEnd(pos);
        needsText = end < 0;
    }
    if (needsText) {
        if (!scanAllowed() || !giveWholeText(num, pos)) return kSpanNone;
        return kSpanHeld;
    }
    stop = std::min<int64_t>(end + 7, x.fileSize_);
    if (isStreamOut) *isStreamOut = keyword >= 0;
    if (stop - pos <= static_cast<int64_t>(kSpanLength))
        known = static_cast<uint32_t>(stop - pos) | (keyword >= 0 ? kSpanStream : 0);
    return kSpanInFile;
}

// The position of the first "endobj" or "stream" at or after pos, found by the text
// search over the file; -1 when there is none.
int64_t XRefImpl::keywordFurther(int64_t pos) {
    for (int64_t cur = pos;;) {
        size_t avail;
        const unsigned char* p = window(cur, &avail);
        if (!p || avail < 6 || !scanAllowed()) return -1;
        const unsigned char* e;
        const unsigned char* st;
        spendScan(findEndobjOrStream(p, avail, &e, &st));
        if (e || st) return cur + ((e ? e : st) - p);
        if (cur + static_cast<int64_t>(avail) >= x.fileSize_) return -1;
        cur += static_cast<int64_t>(avail) - 5;
    }
}

// Cheap test: false when the object's bytes before its "stream" keyword do
// not hold "ObjStm" at all; true when unsure.
bool XRefImpl::mayBeObjectStream(int64_t pos) {
    size_t avail;
    const unsigned char* p = window(pos, &avail);
    if (!p) return false;
    const unsigned char* e;
    const unsigned char* st;
    findEndobjOrStream(p, avail, &e, &st);
    if (!st) return !e;  // no stream before "endobj"; unsure only when neither is in sight
    return findBytes(p, static_cast<size_t>(st - p), "ObjStm", 6) != nullptr;
}

namespace {

// The closers of the containers still open, innermost first.
std::string ContainerClosers(const std::string& open) {
    std::string c;
    for (size_t k = open.size(); k-- > 0;)
        c += open[k] == ']' ? "]" : ">>";
    return c;
}

// Appends a member's bytes to out so that, followed by " endobj", they read on their
// own as the parser reads them where they end: whatever they leave open (a literal or
// hexadecimal string, a comment, arrays and dictionaries) is closed, and in a literal
// string left open, each parenthesis left open inside it is escaped, so that its
// content stays the same. Written as they stand, they would run on into the objects
// after them in an output.
void AppendClosed(const unsigned char* p, size_t n, std::string& out) {
    std::string open;             // ']' or '>' (for ">>") per container, outermost first
    std::vector<size_t> escapes;  // positions to put a backslash in front of
    std::string tail;
    for (size_t i = 0; i < n && tail.empty(); ++i) {
        switch (p[i]) {
            case '(': {
                std::vector<size_t> inner;  // parentheses open inside the string
                for (++i; i < n; ++i) {
                    if (p[i] == '\\') {
                        ++i;
                    } else if (p[i] == '(') {
                        inner.push_back(i);
                    } else if (p[i] == ')') {
                        if (inner.empty()) break;
                        inner.pop_back();
                    }
                }
                if (i >= n) {
                    // A backslash at the very end would escape the closer: a line end
                    // after it is a continuation and adds nothing.
                    escapes = inner;
                    tail = std::string(i > n ? "\n" : "") + ")" + ContainerClosers(open);
                }
                break;
            }
            case '%':
                while (i < n && p[i] != '\n' && p[i] != '\r')
                    ++i;
                if (i >= n) tail = "\n" + ContainerClosers(open);
                break;
            case '<':
                if (i + 1 < n && p[i + 1] == '<') {
                    open += '>';
                    ++i;
                } else {
                    while (i < n && p[i] != '>')
                        ++i;
                    if (i >= n) tail = ">" + ContainerClosers(open);
                }
                break;
            case '>':
                if (i + 1 < n && p[i + 1] == '>') {
                    if (!open.empty() && open.back() == '>') open.pop_back();
                    ++i;
                }
                break;
            case '[':
                open += ']';
                break;
            case ']':
                if (!open.empty() && open.back() == ']') open.pop_back();
                break;
            default:
                break;
        }
    }
    if (tail.empty()) tail = ContainerClosers(open);
    size_t from = 0;
    for (size_t at : escapes) {
        out.append(reinterpret_cast<const char*>(p + from), at - from);
        out += '\\';
        from = at;
    }
    out.append(reinterpret_cast<const char*>(p + from), n - from);
    out += tail;
}

// The file from a position on, read through the table's block cache: objects
// near one another are parsed without a file read each. Windows for stream
// data are file streams as usual.
class CachedFileStream : public CPdfStream {
public:
    CachedFileStream(CPdfXRef* x, int64_t start) : x_(x), start_(start), pos_(start) {}

    void reset() override { pos_ = start_; }
    int getChar() override {
        int c = peekChar();
        if (c >= 0) ++pos_;
        return c;
    }
    int peekChar() override {
        size_t avail;
        const unsigned char* p = XRefImpl{*x_}.window(pos_, &avail);
        return p && avail ? *p : -1;
    }
    size_t readBlock(unsigned char* buf, size_t n) override {
        size_t avail;
        const unsigned char* p = XRefImpl{*x_}.window(pos_, &avail);
        if (!p) return 0;
        size_t k = std::min(n, avail);
        std::memcpy(buf, p, k);
        pos_ += static_cast<int64_t>(k);
        return k;
    }
    CPdfDictionary* getDict() override { return nullptr; }
    int64_t getPos() override { return pos_; }
    void setPos(int64_t pos, int origin) override {
        pos_ = origin == 2 ? x_->getFileSize() + pos : pos;
        if (pos_ < 0) pos_ = 0;
    }
    int64_t startOffset() override { return start_; }
    void shiftStart(int64_t) override {}
    int64_t getLength() override { return 0; }
    CPdfStream* openWindow(int64_t start, int64_t length, const CPdfElement& dict) override {
        return x_->getFileStream()->openWindow(start, length, dict);
    }

private:
    ~CachedFileStream() override = default;

    CPdfXRef* x_;
    int64_t start_;
    int64_t pos_;
};

}  // namespace

CPdfStream* openCached(CPdfXRef* x, int64_t pos) { return new CachedFileStream(x, pos); }

size_t CPdfXRef::readCached(int64_t pos, unsigned char* out, size_t n) {
    size_t got = 0;
    XRefImpl impl{*this};
    while (got < n && pos >= 0) {
        size_t avail;
        const unsigned char* p = impl.window(pos, &avail);
        if (!p || avail == 0) break;
        size_t k = std::min(avail, n - got);
        std::memcpy(out + got, p, k);
        got += k;
        pos += static_cast<int64_t>(k);
    }
    return got;
}

bool CPdfXRef::getRawObjectText(int32_t num, std::string& out) {
    if (num < 0 || num >= getNumEntries()) throw CPdfException("Corrupted PDF file");
    out.clear();
    XRefImpl impl{*this};
    for (int attempt = 0; attempt < 2; ++attempt) {
        const XRefEntry e = entries_[static_cast<size_t>(num)];
        if (!memText_.empty()) {
            auto held = memText_.find(num);
            if (held != memText_.end()) {
                out = held->second;
                return true;
            }
        }
        if (e.kind == XRefKind::InFile) {
            if (impl.rawTextInFile(num, out)) return true;
            if (entries_[static_cast<size_t>(num)].kind == XRefKind::InObjectStream)
                continue;  // found inside an object stream
            return false;
        }
        if (e.kind == XRefKind::InObjectStream) {
            std::shared_ptr<ObjStmData> r;
            size_t b, en;
            const XRefImpl::MemberAt at = impl.locateMember(num, e, attempt == 0, r, b, en);
            if (at == XRefImpl::MemberAt::Retry) continue;
            if (at == XRefImpl::MemberAt::None) return false;
            char head[32];
            int hl = std::snprintf(head, sizeof head, "%ld 0 obj\r", static_cast<long>(num));
            out.reserve(static_cast<size_t>(hl) + (en - b) + 8);
            out.append(head, static_cast<size_t>(hl));
            // Only a damaged file's members are looked at: in a sound file they end whole.
            if (repaired_)
                AppendClosed(r->data->data() + b, en - b, out);
            else
                out.append(reinterpret_cast<const char*>(r->data->data() + b), en - b);
            out.append(" endobj\r", 8);
            return true;
        }
        return false;
    }
    return false;
}

bool CPdfXRef::getRawObjectSpan(int32_t num, int64_t& pos, size_t& len, bool* isStream) {
    if (num < 0 || num >= getNumEntries()) throw CPdfException("Corrupted PDF file");
    const XRefEntry e = entries_[static_cast<size_t>(num)];
    if (e.kind != XRefKind::InFile || (!memText_.empty() && memText_.count(num))) return false;
    int64_t stop;
    if (XRefImpl{*this}.rawSpanInFile(num, pos, stop, isStream) != XRefImpl::kSpanInFile) return false;
    len = static_cast<size_t>(stop - pos);
    return true;
}

const unsigned char* CPdfXRef::peekFile(int64_t pos, size_t* avail) {
    if (pos < 0 || pos >= fileSize_) {
        *avail = 0;
        return nullptr;
    }
    return XRefImpl{*this}.window(pos, avail);
}
