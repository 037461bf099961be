#include "pdf/CPdfXRef.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfObjectScan.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"

const int64_t kToDataEnd = INT64_MIN;  // a member that runs to the end of the data

// One object stream kept as decoded bytes with its member table. Only the members
// that entries name are listed, and of a large header only those pairs are kept: a
// header that declares millions of members costs the time to read it, not memory.
struct ObjStmData {
    int32_t num = -1;
    std::vector<int32_t> index;  ///< member indexes listed, sorted (empty: unusable)
    std::vector<int32_t> nums;   ///< object number of each listed member
    std::vector<int64_t> begin;  ///< where each listed member begins, relative to First
    std::vector<int64_t> end;    ///< where it ends: the next member's offset, or kToDataEnd
    int64_t first = 0;           ///< where First lies in data
    std::shared_ptr<std::vector<unsigned char>> data;  ///< the decoded bytes (from First on for a large header)
    /// Whether the member from lastFrom to the end of data holds a whole value (-1: not
    /// yet known; found once per decoding, as its members are read many times).
    mutable int8_t lastWhole = -1;
    mutable size_t lastFrom = 0;
    mutable size_t lastEnd = 0;  ///< where its text ends: after the value when garbage follows it
};

// The decoded object streams used last (most recent first), and the work spent
// on raw object text, which is bounded so that no file can make it explode.
struct RawObjectStream {
    std::vector<std::shared_ptr<ObjStmData>> recent;
    uint64_t decoded = 0;      ///< bytes of distinct object streams decoded (each counted once)
    uint64_t again = 0;        ///< bytes of object streams decoded once more
    std::set<int32_t> counted; ///< object streams whose bytes count in decoded
    int64_t scanned = 0;       ///< bytes searched for keywords so far
    int64_t held = 0;          ///< bytes of whole text given to objects
    bool budgetSpent = false;  ///< an object stream was left undecoded for the budget
};

namespace {

const uint64_t kUnfilled = UINT64_MAX;          // entry not yet written while sections are read
const uint64_t kUnfilledAfterOpen = 4294967295u;  // how an entry never written looks after open
const size_t kMaxSections = 10000;              // longest Prev chain followed
const size_t kMaxFetchDepth = 16;               // nested fetches (Length references, object streams)
const size_t kMaxObjStmBytes = size_t(64) << 20;  // largest decoded object stream accepted
// Decoding object streams, for one file: distinct streams at most kMaxObjStmTotal,
// and no more than kObjStmBase plus kObjStmPerByte times the file's size (no real
// file comes near it: object streams shrink to a few tenths); decoding a stream again
// (after it left the kept ones) at most kObjStmBase plus kObjStmAgainPerByte times the
// file's size.
const uint64_t kMaxObjStmTotal = uint64_t(1) << 30;
const uint64_t kObjStmBase = uint64_t(64) << 20;
const uint64_t kObjStmPerByte = 128;
const uint64_t kObjStmAgainPerByte = 64;
const size_t kRecentObjStms = 2;                   // decoded object streams always kept
const size_t kRecentObjStmBytes = size_t(32) << 20;  // more are kept while they hold no more than this
const int64_t kHeaderInMemory = int64_t(1) << 20;  // object stream headers up to this are decoded at once
const int64_t kHeaderSlack = 1024;                 // how far from its entry an object header is looked for
const unsigned char kHeaderFound = 1;              // states of an entry's object header, once looked at
const unsigned char kHeaderMissing = 2;
const uint32_t kSpanLength = 0x7FFFFFFF;           // a known raw text span: its length,
const uint32_t kSpanStream = 0x80000000;           // and whether the object is a stream
const size_t kRawCacheSize = size_t(256) << 10;  // largest block read for raw text and fetches
const size_t kRawCacheFirst = size_t(16) << 10;  // block read after a jump
const size_t kLookupBlock = size_t(2) << 10;     // block read by a lookup in lookup mode

// First occurrence of pat in [p, p + n), or null.
const unsigned char* findBytes(const unsigned char* p, size_t n, const char* pat, size_t patLen)
{
    if (patLen == 0 || n < patLen)
        return nullptr;
    const unsigned char first = static_cast<unsigned char>(pat[0]);
    const unsigned char* end = p + n - patLen + 1;
    while (p < end) {
        const void* hit = std::memchr(p, first, static_cast<size_t>(end - p));
        if (!hit)
            return nullptr;
        const unsigned char* h = static_cast<const unsigned char*>(hit);
        if (std::memcmp(h, pat, patLen) == 0)
            return h;
        p = h + 1;
    }
    return nullptr;
}

// First occurrence of pat in [p, p + n), looking first for the byte pat[anchor]
// (chosen rare, such as the 'j' of "endobj", so that memchr skips far).
const unsigned char* findAnchored(const unsigned char* p, size_t n, const char* pat, size_t patLen, size_t anchor)
{
    if (n < patLen)
        return nullptr;
    const unsigned char a = static_cast<unsigned char>(pat[anchor]);
    const unsigned char* q = p + anchor;
    const unsigned char* end = p + n - patLen + anchor + 1;
    while (q < end) {
        const void* hit = std::memchr(q, a, static_cast<size_t>(end - q));
        if (!hit)
            return nullptr;
        const unsigned char* start = static_cast<const unsigned char*>(hit) - anchor;
        if (std::memcmp(start, pat, patLen) == 0)
            return start;
        q = static_cast<const unsigned char*>(hit) + 1;
    }
    return nullptr;
}

inline const unsigned char* findEndobj(const unsigned char* p, size_t n) { return findAnchored(p, n, "endobj", 6, 5); }
inline const unsigned char* findStream(const unsigned char* p, size_t n) { return findAnchored(p, n, "stream", 6, 5); }

// The first "endobj" in [p, p + n), or null. *objs (when given) counts the "obj"
// keywords other than those of "endobj" met before it whose 'j' lies at or after
// countFrom: the header's own, and those of other headers. The search ends at the
// second one (*second receives where its "obj" begins): the object may end before it.
const unsigned char* findEndobjCounting(const unsigned char* p, size_t n, const unsigned char* countFrom, int* objs,
                                        const unsigned char** second)
{
    if (!objs)
        return findEndobj(p, n);
    const unsigned char* const end = p + n;
    for (const unsigned char* q = p + 2; q < end;) {
        const void* hit = std::memchr(q, 'j', static_cast<size_t>(end - q));
        if (!hit)
            return nullptr;
        const unsigned char* j = static_cast<const unsigned char*>(hit);
        q = j + 1;
        if (j[-2] != 'o' || j[-1] != 'b')
            continue;
        if (j - 5 >= p && j[-5] == 'e' && j[-4] == 'n' && j[-3] == 'd')
            return j - 5;
        if (j >= countFrom && ++*objs >= 2) {
            *second = j - 2;
            return nullptr;
        }
    }
    return nullptr;
}

// The first "endobj" in [p, p + n) (*endobj, or null) and whether a "stream" keyword
// comes before it (*stream, or null; searched only before the "endobj"). The bytes
// are searched in growing pieces from the start, so that for a stream object, whose
// keyword comes right after its dictionary, the data is not searched at all. Returns
// the count of bytes searched. *objs (when given) counts the "obj" keywords met before
// the "endobj" (see findEndobjCounting); at the second the search ends.
size_t findEndobjOrStream(const unsigned char* p, size_t n, const unsigned char** endobj,
                          const unsigned char** stream, int* objs = nullptr)
{
    *endobj = nullptr;
    *stream = nullptr;
    size_t done = 0;  // searched without a find; a keyword may straddle its end
    for (size_t c = std::min<size_t>(n, 512);; c = std::min(n, c * 4)) {
        const size_t from = done > 5 ? done - 5 : 0;
        const unsigned char* second = nullptr;
        const unsigned char* e = findEndobjCounting(p + from, c - from, p + done, objs, &second);
        const unsigned char* stop = e ? e : second ? second : p + c;
        const unsigned char* st = findStream(p + from, static_cast<size_t>(stop - (p + from)));
        if (st) {
            *stream = st;
            return static_cast<size_t>(st - p) + 6;
        }
        if (e) {
            *endobj = e;
            return static_cast<size_t>(e - p) + 6;
        }
        if (second)
            return static_cast<size_t>(second - p) + 3;
        if (c == n)
            return n;
        done = c;
    }
}

// Decoding budget of object streams: each distinct stream counts once against the
// total; decoding one again (after it left the kept ones) counts against a limit of
// its own.
struct DecodeBudget {
    RawObjectStream& c;
    bool first;  ///< the stream's bytes count in the total
    uint64_t totalLimit = 0;
    uint64_t againLimit = 0;
    uint64_t inStream = 0;
    /// Counts k more decoded bytes; false once a limit is passed.
    bool spend(size_t k)
    {
        inStream += k;
        if (first)
            c.decoded += k;
        else
            c.again += k;
        return inStream <= kMaxObjStmBytes && c.decoded <= totalLimit && c.again <= againLimit;
    }
};

// The first bytes of a decoded stream (the header of an object stream), counted
// against a decoding budget; reads nothing more once the budget is spent.
class BudgetWindow : public CPdfStream {
public:
    BudgetWindow(CPdfStream* base, int64_t length, DecodeBudget& budget)
        : base_(base), left_(length), budget_(budget)
    {
    }
    bool spent() const { return spent_; }
    void reset() override {}
    int getChar() override
    {
        unsigned char c;
        return readBlock(&c, 1) == 1 ? c : -1;
    }
    int peekChar() override { return left_ > 0 && !spent_ ? base_->peekChar() : -1; }
    size_t readBlock(unsigned char* buf, size_t n) override
    {
        if (spent_ || left_ <= 0)
            return 0;
        if (static_cast<int64_t>(n) > left_)
            n = static_cast<size_t>(left_);
        size_t k = base_->readBlock(buf, n);
        left_ -= static_cast<int64_t>(k);
        if (k > 0 && !budget_.spend(k)) {
            spent_ = true;
            return 0;
        }
        return k;
    }
    CPdfDictionary* getDict() override { return nullptr; }
    int64_t getPos() override { return base_->getPos(); }
    void setPos(int64_t, int) override {}
    int64_t startOffset() override { return 0; }
    void shiftStart(int64_t) override {}
    int64_t getLength() override { return 0; }
    CPdfStream* openWindow(int64_t, int64_t, const CPdfElement&) override { return nullptr; }

private:
    ~BudgetWindow() override = default;
    CPdfStream* base_;
    int64_t left_;
    DecodeBudget& budget_;
    bool spent_ = false;
};

// Takes num off the list of objects being fetched when the fetch ends. Fetches nest
// a few levels at most, so the list is a short vector used as a stack.
struct FetchGuard {
    std::vector<int32_t>& list;
    FetchGuard(std::vector<int32_t>& l, int32_t n) : list(l) { list.push_back(n); }
    ~FetchGuard() { list.pop_back(); }
};

bool isPdfWhite(unsigned char c)
{
    return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

}  // namespace

namespace {
// A stream over the file from pos on, read through the table's block cache.
CPdfStream* openCached(CPdfXRef* x, int64_t pos);
}  // namespace

// Implementation steps that need the table's private state.
struct XRefImpl {
    CPdfXRef& x;
    // Entries the sections of one file may list in all; a sound file lists each
    // object about once, a hostile one could list millions again and again.
    int64_t entriesLeft = 0;

    int32_t maxEntries() const
    {
        int64_t bySize = 65536 + 8 * x.fileSize_;
        return static_cast<int32_t>(std::min<int64_t>(CPdfXRef::kMaxEntries, bySize));
    }

    void grow(int64_t size)
    {
        if (size > static_cast<int64_t>(x.entries_.size())) {
            x.entries_.resize(static_cast<size_t>(size), XRefEntry{kUnfilled, 0, XRefKind::Free});
            // Objects looked at while the table is rebuilt keep what was found.
            if (!x.headerState_.empty()) {
                x.headerState_.resize(x.entries_.size(), 0);
                x.spanLen_.resize(x.entries_.size(), 0);
            }
        }
    }

    int64_t findStartXRef()
    {
        int64_t size = x.fileSize_;
        int64_t from = size > 1023 ? size - 1023 : 0;
        char buf[1024];
        size_t n = x.file_->readAt(from, reinterpret_cast<unsigned char*>(buf), 1023);
        for (size_t i = 0; i < n; ++i)
            if (buf[i] == 0)
                buf[i] = ' ';
        buf[n] = 0;
        if (n < 9)
            return 0;
        for (size_t i = n - 9 + 1; i-- > 0;) {
            if (std::memcmp(buf + i, "startxref", 9) == 0) {
                const char* p = buf + i + 9;
                while (*p && isPdfWhite(static_cast<unsigned char>(*p)))
                    ++p;
                long long v = std::strtoll(p, nullptr, 10);
                if (v < 0)
                    return 0;
                return v;
            }
        }
        return 0;
    }

    // Reads the section at pos; returns true and sets prev when an older section
    // follows. A classic table of a hybrid file sets hidden to the offset of its
    // cross-reference stream ("XRefStm"), else -1.
    bool readSection(int64_t pos, int64_t& prev, int64_t& hidden)
    {
        hidden = -1;
        // Compared without adding first: a Prev or startxref value near the top of the
        // 64-bit range must not overflow.
        if (pos < 0 || pos >= x.fileSize_ - x.start_)
            throw CPdfException("Couldn't parse an xref");
        CPdfParser p(nullptr, x.file_->openWindow(x.start_ + pos, 0, CPdfElement()));
        CPdfElement obj = p.readObject();
        if (obj.isCommand("xref"))
            return readClassic(p, prev, hidden);
        if (obj.isInteger()) {
            CPdfElement gen = p.readObject();
            CPdfElement kw = p.readObject();
            if (!gen.isInteger() || !kw.isCommand("obj"))
                throw CPdfException("Couldn't parse an xref stream");
            CPdfElement str = p.readObject();
            if (!str.isStream())
                throw CPdfException("Couldn't parse an xref stream");
            return readXRefStream(str, prev);
        }
        throw CPdfException("Couldn't parse an xref");
    }

    static bool prevOf(const CPdfDictionary* d, int64_t& prev)
    {
        const CPdfElement* v = d->find("Prev");
        if (v && v->isInteger()) {
            prev = v->getInteger();
            return true;
        }
        if (v && v->isReference()) {
            prev = v->getRefNum();
            return true;
        }
        return false;
    }

    bool readClassic(CPdfParser& p, int64_t& prev, int64_t& hidden)
    {
        const int32_t cap = maxEntries();
        for (;;) {
            CPdfElement obj = p.readObject();
            if (obj.isCommandKind()) {
                if (!obj.isCommand("trailer"))
                    throw CPdfException("Couldn't parse an xref table");
                CPdfElement t = p.readObject();
                if (!t.isDictionary())
                    throw CPdfException("Trailer dictionary is wrong type");
                if (x.trailer_.isNone())
                    x.trailer_ = t;
                const CPdfElement* stm = t.getDictionary()->find("XRefStm");
                if (stm && stm->isInteger())
                    hidden = stm->getInteger();
                return prevOf(t.getDictionary(), prev);
            }
            if (!obj.isInteger())
                throw CPdfException("Couldn't parse an xref table");
            CPdfElement cnt = p.readObject();
            if (!cnt.isInteger())
                throw CPdfException("Couldn't parse an xref table");
            int64_t f = obj.getInteger();
            int64_t n = cnt.getInteger();
            if (f < 0 || n < 0 || f + n > cap)
                throw CPdfException("Couldn't parse an xref table");
            // Each entry takes at least six bytes of the file: a count the file
            // cannot hold is refused before the table grows.
            if (n > x.fileSize_ / 6 + 1 || n > entriesLeft)
                throw CPdfException("Couldn't parse an xref table");
            entriesLeft -= n;
            grow(f + n);
            for (int64_t i = f; i < f + n; ++i) {
                CPdfElement off = p.readObject();
                CPdfElement gen = p.readObject();
                CPdfElement kind = p.readObject();
                if (!off.isInteger() || !gen.isInteger())
                    throw CPdfException("Couldn't parse an xref table");
                XRefKind k;
                if (kind.isCommand("n"))
                    k = XRefKind::InFile;
                else if (kind.isCommand("f"))
                    k = XRefKind::Free;
                else
                    throw CPdfException("Couldn't parse an xref table");
                XRefEntry& e = x.entries_[static_cast<size_t>(i)];
                if (e.offset == kUnfilled) {
                    int32_t o = off.getInteger();
                    e.offset = o < 0 ? 0 : static_cast<uint64_t>(o);
                    e.gen = gen.getInteger();
                    e.kind = k;
                }
            }
        }
    }

    bool readXRefStream(const CPdfElement& str, int64_t& prev)
    {
        CPdfDictionary* d = str.getDictionary();
        const int32_t cap = maxEntries();
        const CPdfElement* size = d->find("Size");
        if (!size || !size->isInteger() || size->getInteger() < 0 || size->getInteger() > cap)
            throw CPdfException("Size of xref Stream is wrong type");
        grow(size->getInteger());
        const CPdfElement* w = d->find("W");
        if (!w || !w->isArray())
            throw CPdfException("W item of xref Stream is wrong type");
        CPdfArray* wa = w->getArray();
        if (wa->getLength() < 3)
            throw CPdfException("W item of xref Stream is wrong length");
        int widths[3];
        for (int i = 0; i < 3; ++i) {
            const CPdfElement& wi = wa->at(i);
            if (!wi.isInteger())
                throw CPdfException("W item of xref Stream is wrong type");
            widths[i] = wi.getInteger();
            // A field is read into 64 bits; a negative kind width means "all free".
            if (widths[i] > 8 || (i > 0 && widths[i] < 0))
                throw CPdfException("W item of xref Stream is wrong type");
        }
        CPdfStream* s = str.getStream();
        s->reset();
        EntryReader r(s);
        const CPdfElement* index = d->find("Index");
        if (index && index->isArray()) {
            CPdfArray* ia = index->getArray();
            for (int i = 0; i + 1 < ia->getLength(); i += 2) {
                const CPdfElement& a = ia->at(i);
                const CPdfElement& b = ia->at(i + 1);
                if (!a.isInteger() || !b.isInteger())
                    throw CPdfException("Index item of xref Stream is wrong type");
                int64_t f = a.getInteger(), n = b.getInteger();
                if (f < 0 || n < 0 || f + n > cap)
                    throw CPdfException("Index item of xref Stream is wrong type");
                readStreamSection(r, f, n, widths);
            }
        } else {
            readStreamSection(r, 0, size->getInteger(), widths);
        }
        if (x.trailer_.isNone())
            x.trailer_.setSharedDictionary(d);
        return prevOf(d, prev);
    }

    // Buffered reading of entry bytes from the decoded cross-reference stream.
    struct EntryReader {
        CPdfStream* s;
        unsigned char buf[4096];
        size_t pos = 0, end = 0;
        explicit EntryReader(CPdfStream* st) : s(st) {}
        bool read(int width, uint64_t& v)
        {
            v = 0;
            for (int i = 0; i < width; ++i) {
                if (pos == end) {
                    pos = 0;
                    end = s->readBlock(buf, sizeof buf);
                    if (end == 0)
                        return false;
                }
                v = (v << 8) | buf[pos++];
            }
            return true;
        }
    };

    void readStreamSection(EntryReader& r, int64_t f, int64_t n, const int widths[3])
    {
        if (n > entriesLeft)
            throw CPdfException("Index item of xref Stream is wrong type");
        entriesLeft -= n;
        grow(f + n);
        for (int64_t i = f; i < f + n; ++i) {
            uint64_t kind = 1, f2 = 0, f3 = 0;
            if (widths[0] < 0)
                kind = 0;
            else if (widths[0] > 0 && !r.read(widths[0], kind))
                throw CPdfException("Unexpected EOF while reading xref stream section");
            if (!r.read(widths[1], f2) || !r.read(widths[2], f3))
                throw CPdfException("Unexpected EOF while reading xref stream section");
            XRefEntry& e = x.entries_[static_cast<size_t>(i)];
            if (e.offset != kUnfilled)
                continue;
            if (kind > 2)
                throw CPdfException("Wrong type of xref entry while reading xref stream section");
            e.kind = static_cast<XRefKind>(kind);
            e.offset = f2 == kUnfilled ? kUnfilled - 1 : f2;
            e.gen = static_cast<int32_t>(f3);
        }
    }

    // ---- object streams ----

    // Made on first use; asked for on every object-stream member, so kept small
    // enough to be inlined.
    RawObjectStream& caches() { return x.rawObjStm_ ? *x.rawObjStm_ : makeCaches(); }
    RawObjectStream& makeCaches()
    {
        x.rawObjStm_.reset(new RawObjectStream);
        return *x.rawObjStm_;
    }

    // Object stream s, decoded (possibly with no members). Recently used ones are
    // kept, so that members of streams used alternately are not decoded again and again.
    std::shared_ptr<ObjStmData> loadObjectStream(int32_t s)
    {
        RawObjectStream& c = caches();
        for (size_t i = 0; i < c.recent.size(); ++i) {
            if (c.recent[i]->num == s) {
                // The one used last comes first.
                std::rotate(c.recent.begin(), c.recent.begin() + static_cast<std::ptrdiff_t>(i),
                            c.recent.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                return c.recent.front();
            }
        }
        auto r = std::make_shared<ObjStmData>();
        r->num = s;
        if (s >= 0 && s < x.getNumEntries())
            fillObjectStream(*r, s);
        // A nested fetch may have changed the list meanwhile.
        RawObjectStream& c2 = caches();
        c2.recent.insert(c2.recent.begin(), r);
        // The last few are kept in any case, more while their decoded bytes are few:
        // a file whose pages and annotations sit in object streams is read through
        // them more than once (the page tree at opening, the links, the writer's pass).
        size_t bytes = 0, keep = 0;
        for (; keep < c2.recent.size(); ++keep) {
            const std::shared_ptr<ObjStmData>& d = c2.recent[keep];
            bytes += d->data ? d->data->size() : 0;
            if (keep >= kRecentObjStms && bytes > kRecentObjStmBytes)
                break;
        }
        c2.recent.resize(keep);
        return r;
    }

    void fillObjectStream(ObjStmData& r, int32_t s)
    {
        // The member indexes entries name, in order.
        auto named = std::equal_range(x.objStmMembers_.begin(), x.objStmMembers_.end(), std::make_pair(s, 0),
                                      [](const std::pair<int32_t, int32_t>& a, const std::pair<int32_t, int32_t>& b) {
                                          return a.first < b.first;
                                      });
        if (named.first == named.second)
            return;
        RawObjectStream& c = caches();
        DecodeBudget budget{c, c.counted.insert(s).second};
        const uint64_t size = static_cast<uint64_t>(x.fileSize_);
        budget.totalLimit = std::min(kMaxObjStmTotal, kObjStmBase + kObjStmPerByte * size);
        budget.againLimit = kObjStmBase + kObjStmAgainPerByte * size;
        if (c.decoded >= budget.totalLimit || c.again >= budget.againLimit) {
            c.budgetSpent = true;
            return;
        }
        CPdfElement obj = x.fetch(s, 0);
        if (!obj.isStream())
            return;
        CPdfDictionary* d = obj.getDictionary();
        if (!d)
            return;
        CPdfElement n = d->lookup("N");
        CPdfElement first = d->lookup("First");
        if (!n.isInteger() || n.getInteger() <= 0 || !first.isInteger() || first.getInteger() < 0)
            return;
        CPdfStream* st = obj.getStream();
        // The header: the pairs (number, offset) of the members the entries name, up to
        // the pair after the last of them, which ends it. A header of usual size is
        // decoded with the rest of the stream and parsed from memory; a larger one is
        // parsed as it is decoded, only the pairs needed kept and the rest dropped.
        const int64_t count = n.getInteger();
        const int64_t wanted = std::min<int64_t>(count, static_cast<int64_t>((named.second - 1)->second) + 2);
        const int64_t firstLen = first.getInteger();
        auto data = std::make_shared<std::vector<unsigned char>>();
        unsigned char chunk[65536];
        CPdfStream* source;
        BudgetWindow* header = nullptr;
        if (firstLen <= kHeaderInMemory) {
            if (!readAll(st, *data, budget)) {
                c.budgetSpent = true;
                return;
            }
            source = new CPdfMemoryStream(data, 0, std::min<size_t>(data->size(), static_cast<size_t>(firstLen)),
                                          CPdfElement());
            r.first = std::min<int64_t>(firstLen, static_cast<int64_t>(data->size()));
        } else {
            header = new BudgetWindow(st, firstLen, budget);
            header->addRef();  // one for the parser, one kept to read the rest of the header
            source = header;
            r.first = 0;
        }
        bool malformed = false;
        {
            CPdfParser p(nullptr, source);
            auto j = named.first;  // next named index
            for (int64_t k = 0; k < wanted; ++k) {
                CPdfElement a = p.readObject();
                CPdfElement b = p.readObject();
                if (!a.isInteger() || !b.isInteger()) {
                    malformed = true;
                    break;
                }
                // The member before ends where this one begins.
                if (!r.index.empty() && r.index.back() == k - 1)
                    r.end.back() = b.getInteger();
                if (j != named.second && j->second == k) {
                    r.index.push_back(static_cast<int32_t>(k));
                    r.nums.push_back(a.getInteger());
                    r.begin.push_back(b.getInteger());
                    r.end.push_back(kToDataEnd);  // the last member, unless a pair follows
                    ++j;
                }
            }
        }
        if (header) {
            while (!header->spent() && header->readBlock(chunk, sizeof chunk) > 0) {
            }
            const bool over = header->spent();
            header->release();
            if (over || !readAll(st, *data, budget)) {
                malformed = true;
                c.budgetSpent = true;
            }
        }
        if (malformed) {
            r.index.clear();  // no members
            return;
        }
        r.data = std::move(data);
    }

    // Appends the rest of the decoded bytes of s to out; false when the budget is spent.
    static bool readAll(CPdfStream* s, std::vector<unsigned char>& out, DecodeBudget& budget)
    {
        unsigned char chunk[65536];
        for (;;) {
            const size_t k = s->readBlock(chunk, sizeof chunk);
            if (k == 0)
                return true;
            if (!budget.spend(k))
                return false;
            out.insert(out.end(), chunk, chunk + k);
        }
    }

    // Whether the member at [b, e) of the decoded data holds a whole value. Only the
    // member that reaches the end of the data can be cut (the data of a truncated or
    // damaged stream ends early); the others end where the next member begins.
    // Its text ends after the value when more than white space follows it there (the
    // rest of damaged data), which *e is moved to.
    static bool memberWhole(const ObjStmData& r, size_t b, size_t& e)
    {
        if (e < r.data->size())
            return true;
        if (r.lastWhole < 0 || r.lastFrom != b) {
            CPdfMemoryCursor c(r.data->data() + b, e - b);
            r.lastWhole = CPdfRawScan::ReadCompleteValue(c) ? 1 : 0;
            r.lastFrom = b;
            r.lastEnd = e;
            const size_t end = b + static_cast<size_t>(c.pos());
            for (size_t k = end; r.lastWhole == 1 && k < e; ++k) {
                if (!isPdfWhite(r.data->data()[k])) {
                    r.lastEnd = end;
                    break;
                }
            }
        }
        e = r.lastEnd;
        return r.lastWhole == 1;
    }

    // Byte range of member idx (object num) inside the decoded data; false when
    // the stream does not hold it.
    static bool memberRange(const ObjStmData& r, int32_t idx, int32_t num, size_t& b, size_t& e)
    {
        if (!r.data)
            return false;
        size_t i;
        if (idx >= 0 && static_cast<size_t>(idx) < r.index.size() && r.index[static_cast<size_t>(idx)] == idx) {
            i = static_cast<size_t>(idx);  // every member up to idx is listed
        } else {
            auto it = std::lower_bound(r.index.begin(), r.index.end(), idx);
            if (it == r.index.end() || *it != idx)
                return false;
            i = static_cast<size_t>(it - r.index.begin());
        }
        if (r.nums[i] != num)
            return false;
        const int64_t size = static_cast<int64_t>(r.data->size());
        if (r.begin[i] < 0 || (r.end[i] != kToDataEnd && r.end[i] < 0))
            return false;
        const int64_t begin = r.first + r.begin[i];
        int64_t end = r.end[i] == kToDataEnd ? size : r.first + r.end[i];
        if (begin < 0 || begin > size)
            return false;
        if (end > size)
            end = size;
        if (end < begin)
            return false;
        b = static_cast<size_t>(begin);
        e = static_cast<size_t>(end);
        return true;
    }

    // ---- raw bytes of the file ----

    // Pointer to file bytes at pos with *avail bytes available (0 at the end of the file).
    const unsigned char* window(int64_t pos, size_t* avail)
    {
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
                if (!forward && b.len > 0 && pos >= b.pos && pos <= reach)
                    forward = &b;
                if (b.lastUse < oldest->lastUse)
                    oldest = &b;
            }
            hit = forward ? forward : oldest;
            hit->fill = forward ? std::min(hit->fill * 2, kRawCacheSize) : x.lookupMode_ ? kLookupBlock : kRawCacheFirst;
            if (hit->data.size() < hit->fill)
                hit->data.resize(hit->fill);
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

    // Searching for keywords reads each byte of a sound file about once; a file
    // whose entries send the search over the same bytes again and again gets no
    // more raw text once many times its size has been searched.
    bool scanAllowed(int64_t more = 0) { return caches().scanned + more <= 16 * x.fileSize_ + (int64_t(64) << 20); }
    void spendScan(size_t n) { caches().scanned += static_cast<int64_t>(n); }

    // File position of the first pat at or after pos and before limit, or -1.
    int64_t findInFile(int64_t pos, const char* pat, size_t patLen, int64_t limit)
    {
        if (limit > x.fileSize_)
            limit = x.fileSize_;
        while (pos + static_cast<int64_t>(patLen) <= limit) {
            size_t avail;
            const unsigned char* p = window(pos, &avail);
            if (!p || avail < patLen)
                return -1;
            if (static_cast<int64_t>(avail) > limit - pos)
                avail = static_cast<size_t>(limit - pos);
            if (!scanAllowed())
                return -1;
            const unsigned char* hit =
                patLen == 6 && std::memcmp(pat, "endobj", 6) == 0 ? findEndobj(p, avail) : findBytes(p, avail, pat, patLen);
            spendScan(hit ? static_cast<size_t>(hit - p) + patLen : avail);
            if (hit)
                return pos + (hit - p);
            if (pos + static_cast<int64_t>(avail) >= limit)
                return -1;
            pos += static_cast<int64_t>(avail - (patLen - 1));
        }
        return -1;
    }

    void copyFile(int64_t pos, size_t len, std::string& out)
    {
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

    // The file read forward from a position through the block cache. A budgeted
    // cursor counts what it reads as searched bytes and gives no more once the
    // search budget is spent.
    class FileCursor : public CPdfByteCursor {
    public:
        FileCursor(CPdfXRef& x, int64_t pos, bool budgeted) : x_(x), from_(pos), budgeted_(budgeted) { base_ = pos; }
        ~FileCursor() override
        {
            if (budgeted_)
                XRefImpl{x_}.spendScan(static_cast<size_t>(pos() - from_));
        }

    protected:
        bool more() override
        {
            const int64_t p = pos();
            XRefImpl impl{x_};
            if (budgeted_ && !impl.scanAllowed(p - from_))
                return false;
            size_t avail;
            const unsigned char* q = impl.window(p, &avail);
            if (!q || avail == 0)
                return false;
            base_ = p;
            chunk_ = cur_ = q;
            end_ = q + avail;
            return true;
        }

    private:
        CPdfXRef& x_;
        int64_t from_;
        bool budgeted_;
    };

    static bool isDigits(const std::string& w)
    {
        if (w.empty())
            return false;
        for (char ch : w)
            if (ch < '0' || ch > '9')
                return false;
        return true;
    }

    static int64_t digitsValue(const std::string& w)
    {
        int64_t v = 0;
        for (char ch : w)
            if (v < (int64_t(1) << 40))
                v = v * 10 + (ch - '0');
        return v;
    }

    // The header "num gen obj" of object num at pos, after white space and comments
    // (which the parser skips too): where it begins, or -1 when another thing is
    // there. *gen receives its generation.
    int64_t headerAt(int64_t pos, int32_t num, int64_t* gen = nullptr)
    {
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
                if (n != num)
                    return -1;
                if (gen)
                    *gen = g;
                return pos + static_cast<int64_t>(at);
            }
        }
        FileCursor c(x, pos, false);
        std::string w;
        int64_t at;
        if (CPdfRawScan::Next(c, &w, &at) != CPdfRawScan::kNumber || !isDigits(w) || digitsValue(w) != num)
            return -1;
        if (CPdfRawScan::Next(c, &w) != CPdfRawScan::kNumber || !isDigits(w))
            return -1;
        const int64_t g = digitsValue(w);
        if (CPdfRawScan::Next(c, &w) != CPdfRawScan::kKeyword || w != "obj")
            return -1;
        if (gen)
            *gen = g;
        return at;
    }

    // The nearest header of object num with generation gen within kHeaderSlack bytes
    // of pos, or -1: an entry a few bytes off still finds its object.
    int64_t headerNear(int64_t pos, int32_t num, int32_t gen)
    {
        const int64_t lo = std::max(x.start_, pos - kHeaderSlack);
        const int64_t hi = std::min(x.fileSize_, pos + kHeaderSlack);
        if (hi <= lo || !scanAllowed())
            return -1;
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
            if (i > 0 && CPdfRawScan::IsRegular(buf[i - 1]))
                continue;  // inside another token
            const int64_t cand = lo + static_cast<int64_t>(i);
            if (best >= 0 && std::llabs(cand - pos) >= std::llabs(best - pos))
                continue;
            int64_t g = -1;
            if (headerAt(cand, num, &g) == cand && g == gen)
                best = cand;
        }
        return best;
    }

    // The usual header right at p: "num gen obj" with single spaces. 1 when it is
    // object num's, 0 when it is another object's, -1 when it is written otherwise
    // (white space before it, a comment, another separator: read token by token).
    static int plainHeader(const unsigned char* p, size_t avail, int32_t num)
    {
        size_t i = 0;
        int64_t n = 0;
        while (i < avail && i < 11 && static_cast<unsigned>(p[i] - '0') < 10)
            n = n * 10 + (p[i++] - '0');
        if (i == 0 || i >= avail || p[i] != ' ')
            return -1;
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
    int64_t objectPos(int32_t num, const unsigned char** at = nullptr, size_t* atAvail = nullptr)
    {
        const XRefEntry& e = x.entries_[static_cast<size_t>(num)];
        if (e.kind != XRefKind::InFile)
            return -1;
        if (x.headerState_.empty()) {
            x.headerState_.assign(x.entries_.size(), 0);
            x.spanLen_.assign(x.entries_.size(), 0);
        }
        const unsigned char state = x.headerState_[static_cast<size_t>(num)];
        if (state == kHeaderFound)
            return x.start_ + static_cast<int64_t>(e.offset);
        if (state == kHeaderMissing)
            return -1;
        return findHeader(num, at, atAvail);
    }

    // objectPos of an object not looked for yet.
    int64_t findHeader(int32_t num, const unsigned char** at, size_t* atAvail)
    {
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
                if (h >= 0)
                    x.repaired_ = true;
            }
        }
        if (h < 0) {
            state = kHeaderMissing;
            // The object may stand anywhere else in the file (looked for once).
            if (relocate(num) && e.kind == XRefKind::InFile)
                return objectPos(num, at, atAvail);
            return -1;
        }
        e.offset = static_cast<uint64_t>(h - x.start_);
        state = kHeaderFound;
        return h;
    }

    // ---- opening ----

    // Back to an empty table over the file.
    void reset()
    {
        x.start_ = x.file_->startOffset();
        x.fileSize_ = x.file_->fileSize();
        for (CPdfXRef::CacheBlock& b : x.cache_)
            b = CPdfXRef::CacheBlock();
        x.rawObjStm_.reset();
        x.entries_.clear();
        x.trailer_.free();
        x.security_.reset();
        x.encryptNum_ = -1;
        x.encryptGen_ = 0;
        x.rootNum_ = x.rootGen_ = x.infoNum_ = x.infoGen_ = 0;
        x.objStmMembers_.clear();
        x.memText_.clear();
        x.direct_.clear();
        x.headerState_.clear();
        x.spanLen_.clear();
        x.missing_.clear();
        x.scannedMembers_.clear();
        x.membersScanned_ = false;
    }

    // After the entries are known: the members entries name, the root, the info
    // dictionary and the security handler from the trailer.
    void finish()
    {
        x.objStmMembers_.clear();
        x.memText_.clear();
        x.direct_.clear();
        x.headerState_.clear();
        x.spanLen_.clear();
        x.missing_.clear();
        x.scannedMembers_.clear();
        x.membersScanned_ = false;
        for (XRefEntry& e : x.entries_) {
            if (e.offset == kUnfilled)
                e = XRefEntry{kUnfilledAfterOpen, 0, XRefKind::Free};
            else if (e.kind == XRefKind::InObjectStream && e.offset <= static_cast<uint64_t>(INT32_MAX) && e.gen >= 0)
                x.objStmMembers_.emplace_back(static_cast<int32_t>(e.offset), e.gen);
        }
        if (!std::is_sorted(x.objStmMembers_.begin(), x.objStmMembers_.end()))
            std::sort(x.objStmMembers_.begin(), x.objStmMembers_.end());
        x.objStmMembers_.erase(std::unique(x.objStmMembers_.begin(), x.objStmMembers_.end()), x.objStmMembers_.end());
        CPdfDictionary* t = x.trailer_.getDictionary();
        if (!t || !x.trailer_.isDictionary())
            throw CPdfException("PDF file was damaged");
        const CPdfElement* root = t->find("Root");
        if (!root || !root->isReference())
            throw CPdfException("PDF file was damaged");
        x.rootNum_ = root->getRefNum();
        x.rootGen_ = root->getRefGen();
        const CPdfElement* info = t->find("Info");
        if (info && info->isReference()) {
            x.infoNum_ = info->getRefNum();
            x.infoGen_ = info->getRefGen();
        }
        t->setXRef(&x);
        // An encryption dictionary, direct or indirect: strings and streams are read
        // through the security handler, which must accept the empty password.
        const CPdfElement* enc = t->find("Encrypt");
        if (enc && (enc->isReference() || enc->isDictionary()))
            x.openSecurity(*enc);
    }

    // ---- rebuilding the table ----

    int32_t rebuiltCap() const
    {
        const int64_t cap = std::max<int64_t>(CPdfXRef::kMinRebuiltEntries, 2 * static_cast<int64_t>(maxEntries()));
        return static_cast<int32_t>(std::min<int64_t>(cap, CPdfXRef::kMaxEntries));
    }

    // The entries of every object found in the file: of each number, the last whole
    // object counts; a member of an object stream counts where its stream stands.
    void rebuildEntries()
    {
        CPdfObjectScan& s = scan();
        const int32_t cap = rebuiltCap();
        std::vector<int64_t> at;  // per entry, where the object that made it stands
        auto place = [&](int32_t num, const XRefEntry& e, int64_t pos) {
            if (num <= 0 || num >= cap)
                return;
            if (static_cast<size_t>(num) >= x.entries_.size()) {
                grow(num + 1);
                at.resize(x.entries_.size(), -1);
            }
            if (at[static_cast<size_t>(num)] > pos)
                return;  // a later object of that number counts
            x.entries_[static_cast<size_t>(num)] = e;
            at[static_cast<size_t>(num)] = pos;
        };
        for (const CPdfObjectScan::Object& o : s.objects())
            place(o.num, XRefEntry{static_cast<uint64_t>(o.pos - x.start_), o.gen, XRefKind::InFile}, o.pos);
        if (x.entries_.empty())
            throw CPdfException("PDF file was damaged");
        // An encrypted file: object streams are read through the security handler of
        // the last trailer that names one.
        const std::vector<CPdfObjectScan::Trailer>& ts = s.trailers();
        bool encrypted = false;
        for (size_t i = ts.size(); i-- > 0 && !encrypted;) {
            CPdfDictionary* d = ts[i].dict.getDictionary();
            const CPdfElement* enc = d ? d->find("Encrypt") : nullptr;
            if (!enc || !(enc->isReference() || enc->isDictionary()))
                continue;
            finishEntriesForLookups();
            x.trailer_ = ts[i].dict;
            d->setXRef(&x);
            x.openSecurity(*enc);
            encrypted = true;
        }
        // An encryption dictionary that no trailer names: the strings and streams
        // cannot be read (the key needs the trailer's /ID), nor written as they were.
        if (!encrypted)
            for (const CPdfObjectScan::Object& o : s.objects())
                if (o.flags & CPdfObjectScan::kEncrypt)
                    throw CPdfException("PDF file was damaged");
        // Each object stream that the table holds where the scan found it gives its
        // members, stream by stream in file order.
        for (const CPdfObjectScan::Object& o : s.objects()) {
            if (!(o.flags & CPdfObjectScan::kObjStm) || o.num <= 0 || o.num >= x.getNumEntries())
                continue;
            const XRefEntry e = x.entries_[static_cast<size_t>(o.num)];
            if (e.kind != XRefKind::InFile || x.start_ + static_cast<int64_t>(e.offset) != o.pos)
                continue;
            std::vector<int32_t> nums = memberNumbers(o.num, e.gen);
            for (size_t k = 0; k < nums.size(); ++k) {
                // An object stream does not hold itself, nor one that holds it.
                if (nums[k] == o.num)
                    continue;
                place(nums[k], XRefEntry{static_cast<uint64_t>(o.num), static_cast<int32_t>(k), XRefKind::InObjectStream}, o.pos);
            }
        }
        // The object streams are read again through the finished table.
        x.rawObjStm_.reset();
        x.membersScanned_ = true;  // the scan's members are in the table already
    }

    // The trailer: the last one found whose Root leads to a dictionary, else one made
    // for the catalog found last.
    void chooseTrailer()
    {
        finishEntriesForLookups();
        CPdfObjectScan& s = scan();
        const std::vector<CPdfObjectScan::Trailer>& ts = s.trailers();
        for (size_t i = ts.size(); i-- > 0;) {
            CPdfDictionary* d = ts[i].dict.getDictionary();
            const CPdfElement* root = d ? d->find("Root") : nullptr;
            if (!root || !root->isReference() || !isCatalog(root->getRefNum(), root->getRefGen()))
                continue;
            x.trailer_ = ts[i].dict;
            return;
        }
        // No usable trailer: the catalog is the last object of /Type /Catalog, in the
        // file or inside an object stream.
        int32_t best = -1;
        int64_t bestPos = -1;
        for (const CPdfObjectScan::Object& o : s.objects()) {
            if ((o.flags & CPdfObjectScan::kCatalog) && o.pos > bestPos && isCatalog(o.num, o.gen)) {
                best = o.num;
                bestPos = o.pos;
            }
        }
        for (size_t n = 1; n < x.entries_.size(); ++n) {
            const XRefEntry& e = x.entries_[n];
            if (e.kind != XRefKind::InObjectStream || e.offset >= x.entries_.size())
                continue;
            const XRefEntry& st = x.entries_[static_cast<size_t>(e.offset)];
            const int64_t pos = x.start_ + static_cast<int64_t>(st.offset);
            if (st.kind == XRefKind::InFile && pos > bestPos && isCatalog(static_cast<int32_t>(n), 0)) {
                best = static_cast<int32_t>(n);
                bestPos = pos;
            }
        }
        if (best < 0)
            throw CPdfException("PDF file was damaged");
        // Without a trailer, an encrypted file does not show it: its streams then do
        // not start as Flate data says they do. Such a file cannot be read, nor
        // written as it was.
        int checked = 0, flate = 0;
        for (const CPdfObjectScan::Object& o : s.objects()) {
            if (!(o.flags & CPdfObjectScan::kFlate) || checked == 4)
                continue;
            CPdfObjectScan::Extent e;
            if (!s.extent(o.pos, nullptr, e) || !e.stream || e.dataEnd - e.dataStart < 2)
                continue;
            ++checked;
            const std::string head = s.bytes(e.dataStart, 2);
            const unsigned cmf = static_cast<unsigned char>(head[0]), flg = static_cast<unsigned char>(head[1]);
            if ((cmf & 15) == 8 && (cmf * 256 + flg) % 31 == 0)
                ++flate;
        }
        if (checked > 0 && flate == 0)
            throw CPdfException("PDF file was damaged");
        CPdfElement trailer;
        trailer.setNewDictionary(nullptr);
        CPdfElement ref;
        ref.setReference(best, best < x.getNumEntries() && x.entries_[static_cast<size_t>(best)].kind == XRefKind::InFile
                                   ? x.entries_[static_cast<size_t>(best)].gen
                                   : 0);
        trailer.getDictionary()->add("Root", ref);
        x.trailer_ = trailer;
    }

    // Entries not found are free; the table is ready for lookups.
    void finishEntriesForLookups()
    {
        for (XRefEntry& e : x.entries_)
            if (e.offset == kUnfilled)
                e = XRefEntry{kUnfilledAfterOpen, 0, XRefKind::Free};
        x.objStmMembers_.clear();
        for (const XRefEntry& e : x.entries_)
            if (e.kind == XRefKind::InObjectStream && e.offset <= static_cast<uint64_t>(INT32_MAX) && e.gen >= 0)
                x.objStmMembers_.emplace_back(static_cast<int32_t>(e.offset), e.gen);
        std::sort(x.objStmMembers_.begin(), x.objStmMembers_.end());
        x.objStmMembers_.erase(std::unique(x.objStmMembers_.begin(), x.objStmMembers_.end()), x.objStmMembers_.end());
    }

    // True when object (num, gen) is a dictionary that can be the catalog: of /Type
    // /Catalog, or with a /Pages dictionary.
    bool isCatalog(int32_t num, int32_t gen)
    {
        if (num <= 0 || num >= x.getNumEntries())
            return false;
        CPdfElement c;
        try {
            c = x.fetch(num, gen);
        } catch (const CPdfException&) {
            return false;
        }
        CPdfDictionary* d = c.isDictionary() ? c.getDictionary() : nullptr;
        if (!d)
            return false;
        if (d->isType("Catalog"))
            return true;
        CPdfElement pages;
        try {
            pages = d->lookup("Pages");
        } catch (const CPdfException&) {
            return false;
        }
        return pages.isDictionary();
    }

    // ---- repair: objects looked for in the whole file ----

    CPdfObjectScan& scan()
    {
        if (!x.scan_) {
            x.scan_.reset(new CPdfObjectScan);
            x.scan_->run(x.file_, x.start_);
        }
        return *x.scan_;
    }

    // Per entry: in use without a whole object in the file, or moved once already.
    static const unsigned char kMissing = 1;
    static const unsigned char kRelocated = 2;

    unsigned char& repairState(int32_t num)
    {
        if (x.missing_.size() < x.entries_.size())
            x.missing_.resize(x.entries_.size(), 0);
        return x.missing_[static_cast<size_t>(num)];
    }

    void markMissing(int32_t num)
    {
        repairState(num) = kMissing;
        x.repaired_ = true;
    }

    // The members of every object stream the scan found that the table holds where the
    // scan found it, read once.
    void scanMembers()
    {
        if (x.membersScanned_)
            return;
        x.membersScanned_ = true;
        CPdfObjectScan& s = scan();
        for (const CPdfObjectScan::Object& o : s.objects()) {
            if (!(o.flags & CPdfObjectScan::kObjStm) || o.num <= 0 || o.num >= x.getNumEntries())
                continue;
            const XRefEntry& e = x.entries_[static_cast<size_t>(o.num)];
            if (e.kind != XRefKind::InFile || x.start_ + static_cast<int64_t>(e.offset) != o.pos)
                continue;
            std::vector<int32_t> nums = memberNumbers(o.num, e.gen);
            for (size_t k = 0; k < nums.size(); ++k)
                x.scannedMembers_.push_back(
                    CPdfXRef::ScannedMember{nums[k], o.num, static_cast<int32_t>(k), o.pos});
        }
        std::stable_sort(x.scannedMembers_.begin(), x.scannedMembers_.end(),
                         [](const CPdfXRef::ScannedMember& a, const CPdfXRef::ScannedMember& b) {
                             return a.num != b.num ? a.num < b.num : a.pos < b.pos;
                         });
    }

    // The object numbers listed in the header of object stream s, by index; empty when
    // it cannot be read.
    std::vector<int32_t> memberNumbers(int32_t s, int32_t gen)
    {
        std::vector<int32_t> nums;
        RawObjectStream& c = caches();
        DecodeBudget budget{c, c.counted.insert(s).second};
        const uint64_t size = static_cast<uint64_t>(x.fileSize_);
        budget.totalLimit = std::min(kMaxObjStmTotal, kObjStmBase + kObjStmPerByte * size);
        budget.againLimit = kObjStmBase + kObjStmAgainPerByte * size;
        if (c.decoded >= budget.totalLimit || c.again >= budget.againLimit) {
            c.budgetSpent = true;
            return nums;
        }
        CPdfElement obj = x.fetch(s, gen);
        CPdfDictionary* d = obj.isStream() ? obj.getDictionary() : nullptr;
        if (!d)
            return nums;
        CPdfElement n = d->lookup("N");
        CPdfElement first = d->lookup("First");
        if (!n.isInteger() || n.getInteger() <= 0 || !first.isInteger() || first.getInteger() <= 0)
            return nums;
        BudgetWindow* header = new BudgetWindow(obj.getStream(), first.getInteger(), budget);
        header->addRef();  // one for the parser, one to tell whether the budget ran out
        {
            CPdfParser p(nullptr, header);
            for (int64_t k = 0; k < n.getInteger(); ++k) {
                CPdfElement a = p.readObject();
                CPdfElement b = p.readObject();
                if (!a.isInteger() || !b.isInteger())
                    break;
                nums.push_back(a.getInteger());
            }
        }
        if (header->spent())
            c.budgetSpent = true;
        header->release();
        return nums;
    }

    // Entry num does not lead to its object: the object is looked for among all that
    // the file holds, and the last whole one of that number counts (a member of an
    // object stream counts where the stream stands). True when the entry now leads
    // somewhere else; false when it cannot (the entry is then missing, unless the
    // search could not be completed).
    bool relocate(int32_t num)
    {
        unsigned char& state = repairState(num);
        if (state != 0)
            return false;  // looked for once already
        state = kRelocated;
        XRefEntry& e = x.entries_[static_cast<size_t>(num)];
        CPdfObjectScan& s = scan();
        const int k = s.lastOf(num);
        const int32_t wantGen = e.kind == XRefKind::InFile ? e.gen : 0;
        int64_t plainPos = -1;
        if (k >= 0 && s.objects()[static_cast<size_t>(k)].gen == wantGen)
            plainPos = s.objects()[static_cast<size_t>(k)].pos;
        scanMembers();
        auto m = std::upper_bound(x.scannedMembers_.begin(), x.scannedMembers_.end(), num,
                                  [](int32_t v, const CPdfXRef::ScannedMember& a) { return v < a.num; });
        const CPdfXRef::ScannedMember* member = nullptr;
        if (m != x.scannedMembers_.begin() && (m - 1)->num == num && wantGen == 0)
            member = &*(m - 1);
        if (member && member->pos > plainPos) {
            if (!(e.kind == XRefKind::InObjectStream && e.offset == static_cast<uint64_t>(member->stream) && e.gen == member->index)) {
                e = XRefEntry{static_cast<uint64_t>(member->stream), member->index, XRefKind::InObjectStream};
                nameMember(member->stream, member->index);
                x.repaired_ = true;
                return true;
            }
        } else if (plainPos >= 0 && !(e.kind == XRefKind::InFile && x.start_ + static_cast<int64_t>(e.offset) == plainPos)) {
            e = XRefEntry{static_cast<uint64_t>(plainPos - x.start_), wantGen, XRefKind::InFile};
            if (static_cast<size_t>(num) < x.headerState_.size()) {
                x.headerState_[static_cast<size_t>(num)] = 0;
                x.spanLen_[static_cast<size_t>(num)] = 0;
            }
            x.repaired_ = true;
            return true;
        }
        if (!caches().budgetSpent)
            markMissing(num);
        return false;
    }

    // text (object to's own text) with every string encrypted with the key of (to, 0);
    // the strings come from object from: encrypted with its key when it is stored in
    // the file, plain when it is a member of an object stream.
    std::string rekeyStrings(const std::string& text, int32_t from, int32_t to)
    {
        const XRefEntry& src = x.entries_[static_cast<size_t>(from)];
        const bool fromEncrypted = src.kind != XRefKind::InObjectStream;
        const int32_t fromGen = src.kind == XRefKind::InFile ? src.gen : 0;
        std::string out;
        out.reserve(text.size());
        CPdfMemoryCursor c(text);
        size_t copied = 0;
        for (;;) {
            int64_t start;
            const CPdfRawScan::Token t = CPdfRawScan::Next(c, nullptr, &start);
            if (t == CPdfRawScan::kEnd)
                break;
            if (t != CPdfRawScan::kString && t != CPdfRawScan::kHexString)
                continue;
            const size_t b = static_cast<size_t>(start), e = static_cast<size_t>(c.pos());
            CPdfParser p(nullptr, new CPdfMemoryStream(text.data() + b, e - b, CPdfElement()));
            const CPdfElement v = p.readObject();
            const std::string bytes = v.isString() ? v.getBytes() : std::string();
            const std::string plain = fromEncrypted ? x.security_->decryptString(bytes, from, fromGen) : bytes;
            const std::string enc = x.security_->encryptString(plain, to, 0);
            static const char kHex[] = "0123456789ABCDEF";
            out.append(text, copied, b - copied);
            out.push_back('<');
            for (unsigned char ch : enc) {
                out.push_back(kHex[ch >> 4]);
                out.push_back(kHex[ch & 15]);
            }
            out.push_back('>');
            copied = e;
        }
        out.append(text, copied, std::string::npos);
        return out;
    }

    // Member index of object stream stream is named by an entry now: it is read when
    // the stream is decoded (again).
    void nameMember(int32_t stream, int32_t index)
    {
        const std::pair<int32_t, int32_t> m(stream, index);
        auto at = std::lower_bound(x.objStmMembers_.begin(), x.objStmMembers_.end(), m);
        if (at != x.objStmMembers_.end() && *at == m)
            return;
        x.objStmMembers_.insert(at, m);
        RawObjectStream& c = caches();
        c.recent.erase(std::remove_if(c.recent.begin(), c.recent.end(),
                                      [stream](const std::shared_ptr<ObjStmData>& d) { return d->num == stream; }),
                       c.recent.end());
    }

    // The extent of the object at pos, a Length held in another object read through
    // the table.
    bool objectExtent(int64_t pos, CPdfObjectScan::Extent& e)
    {
        const CPdfObjectScan::LengthOf lengthOf = [this](int32_t n, int32_t g, int64_t& v) {
            if (n < 0 || n >= x.getNumEntries())
                return false;
            CPdfElement l = x.fetch(n, g);
            if (!l.isInteger())
                return false;
            v = l.getInteger();
            return true;
        };
        return scan().extent(pos, lengthOf, e);
    }

    // Object num (at pos) cannot be copied as the file holds it: it is given whole text,
    // held in memory, that the parser reads as it reads the object. A stream gets the
    // Length of its data (found as CPdfObjectScan says) and "endstream"; any object its
    // "endobj". False when the file holds no whole object there (the entry is missing).
    bool giveWholeText(int32_t num, int64_t pos)
    {
        CPdfObjectScan::Extent e;
        if (!objectExtent(pos, e) || !e.complete) {
            markMissing(num);
            return false;
        }
        CPdfObjectScan& s = scan();
        // Whole text copies bytes of the file; a file whose entries make it copy the
        // same bytes again and again gets no more once several times its size is held.
        const int64_t size = e.stream ? e.dataEnd - pos : e.valueEnd - pos;
        RawObjectStream& c = caches();
        if (c.held + size > 4 * x.fileSize_ + (int64_t(64) << 20))
            return false;
        c.held += size;
        std::string text = s.bytes(pos, e.valueEnd - pos);
        if (static_cast<int64_t>(text.size()) != e.valueEnd - pos) {
            markMissing(num);
            return false;
        }
        if (e.stream) {
            const int64_t len = e.dataEnd - e.dataStart;
            size_t vs, ve;
            if (CPdfRawScan::LocateValue(text, std::vector<CPdfRawStep>{CPdfRawStep{"Length", 0}}, vs, ve))
                text.replace(vs, ve - vs, std::to_string(len));
            else
                text.insert(static_cast<size_t>(e.valueStart - pos) + 2, " /Length " + std::to_string(len));
            text += s.bytes(e.valueEnd, e.dataStart - e.valueEnd);
            text += s.bytes(e.dataStart, len);
            text += "\nendstream\nendobj\n";
        } else {
            text += "\nendobj\n";
        }
        x.memText_[num] = std::move(text);
        x.repaired_ = true;
        return true;
    }

    // True when bytes [p, p + n) end outside every literal string, hexadecimal string
    // and comment, read as the lexer reads them: a keyword the text search finds right
    // after them is a token of its own (given the bytes around it say so). False when
    // unsure: a name escape ("#" may take the byte after it along). The bytes between
    // strings and comments are stepped over with memchr, a dictionary's "<<" at a time.
    static bool closedBytes(const unsigned char* p, size_t n)
    {
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
        if (find(p, '#') != end)
            return false;
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
                if (run % 2)
                    return false;
                run = 0;
            }
            return run % 2 == 0;
        }
        const unsigned char* angle = find(q, '<');
        for (;;) {
            if (paren < q)
                paren = find(q, '(');
            if (percent < q)
                percent = find(q, '%');
            if (angle < q)
                angle = find(q, '<');
            const unsigned char* next = std::min(paren, std::min(percent, angle));
            if (next == end)
                return true;
            q = next + 1;
            if (*next == '(') {
                // A literal string: from one ')' to the next, unless a '(' or a
                // backslash comes first.
                for (int depth = 1; depth > 0;) {
                    const unsigned char* close = find(q, ')');
                    if (close == end)
                        return false;
                    const unsigned char* other = std::min(upTo(q, close, '('), upTo(q, close, '\\'));
                    if (other == close) {
                        --depth;
                        q = close + 1;
                    } else if (*other == '(') {
                        ++depth;
                        q = other + 1;
                    } else {
                        q = other + 2;  // the escaped byte, a parenthesis included
                        if (q > end)
                            return false;
                    }
                }
            } else if (*next == '%') {
                while (q < end && *q != '\r' && *q != '\n')
                    ++q;
                if (q >= end)
                    return false;
            } else if (q < end && *q == '<') {
                ++q;  // "<<"
            } else {
                q = find(q, '>');  // a hexadecimal string
                if (q >= end)
                    return false;
                ++q;
            }
        }
    }

    // The "endobj" found by the text search at e is the lexer's keyword for sure.
    static bool endobjIsSure(const unsigned char* p, size_t avail, const unsigned char* e, bool atEof)
    {
        const size_t i = static_cast<size_t>(e - p);
        if (i == 0 || !closedBytes(p, i))
            return false;
        const unsigned char before = p[i - 1];
        if (!(CPdfRawScan::IsWhite(before) || before == '>' || before == ']' || before == '}' || before == ')'))
            return false;
        return i + 6 < avail ? !CPdfRawScan::IsRegular(p[i + 6]) : atEof;
    }

    // The "stream" found by the text search at st is the lexer's keyword for sure, and
    // it follows the ">>" that closes the object's dictionary.
    static bool streamIsSure(const unsigned char* p, size_t avail, const unsigned char* st)
    {
        const size_t i = static_cast<size_t>(st - p);
        if (!closedBytes(p, i) || i + 6 >= avail || CPdfRawScan::IsRegular(p[i + 6]))
            return false;
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
    int64_t streamDataEnd(int64_t pos, int64_t* data)
    {
        *data = -1;
        try {
            CPdfParser p(&x, openCached(&x, pos));
            p.setStopAtStream(true);
            CPdfElement a = p.readObject();
            CPdfElement b = p.readObject();
            CPdfElement c = p.readObject();
            if (!a.isInteger() || !b.isInteger() || !c.isCommand("obj"))
                return -1;
            CPdfElement obj = p.readObject();
            if (!p.stoppedAtStream() || !obj.isDictionary())
                return -1;
            *data = p.getStreamDataPos();
            CPdfElement len = obj.getDictionary()->lookup("Length");
            if (!len.isInteger() || len.getInteger() < 0)
                return -1;
            const int64_t after = *data + len.getInteger();
            if (after > x.fileSize_)
                return -1;
            const int64_t k = keywordAfter(after, "endstream", 9);
            if (k >= 0)
                return k;
        } catch (const CPdfException&) {
            // An unreadable Length: the data ends at "endstream".
        }
        return -1;
    }

    // The position of the "endobj" that ends the stream object at pos: its data runs
    // for the dictionary's Length, and "endstream" and "endobj" follow (as the parser
    // reads it). -1 when the object is not written so.
    int64_t streamObjectEnd(int64_t pos)
    {
        int64_t data;
        const int64_t after = streamDataEnd(pos, &data);
        if (after < 0)
            return -1;
        const int64_t k = keywordAfter(after, "endobj", 6);
        if (k >= 0)
            return k - 6;
        FileCursor c(x, after, true);
        return CPdfRawScan::ScanObject(c) == CPdfRawScan::kAtEndobj ? c.pos() - 6 : -1;
    }

    // When the first token at or after pos is the keyword kw: the position just after
    // it; else -1. White space is stepped over in place, anything else token by token.
    int64_t keywordAfter(int64_t pos, const char* kw, size_t len)
    {
        size_t avail;
        const unsigned char* p = window(pos, &avail);
        if (p) {
            size_t i = 0;
            while (i < avail && CPdfRawScan::IsWhite(p[i]))
                ++i;
            if (i + len < avail && std::memcmp(p + i, kw, len) == 0 && !CPdfRawScan::IsRegular(p[i + len]))
                return pos + static_cast<int64_t>(i + len);
            if (i < avail && p[i] != '%')
                return -1;  // another token
        }
        FileCursor c(x, pos, true);
        std::string w;
        return CPdfRawScan::Next(c, &w) == CPdfRawScan::kKeyword && w == kw ? c.pos() : -1;
    }

    bool rawTextInFile(int32_t num, std::string& out)
    {
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

    enum Span {
        kSpanNone,    ///< no text: no object there, or the search was cut short
        kSpanInFile,  ///< the text is [pos, stop) of the file
        kSpanHeld     ///< the object was given whole text, held in memory
    };

    // Where the raw text of object num (InFile) lies: [pos, stop) of the file, from its
    // header through "endobj" and the byte after it; *isStream (when given) tells
    // whether the object is a stream. The text search for the keywords decides where
    // it is sure; where a string, comment, hexadecimal string or name escape comes
    // before the keyword it found, the bytes are read token by token as the lexer
    // reads them, and a stream's data is skipped as the parser skips it. An object the
    // parser reads otherwise than its bytes say (a stream whose Length does not lead to
    // "endstream", a missing "endstream" or "endobj") is given whole text instead.
    Span rawSpanInFile(int32_t num, int64_t& pos, int64_t& stop, bool* isStreamOut = nullptr)
    {
        const unsigned char* p = nullptr;
        size_t avail = 0;
        pos = objectPos(num, &p, &avail);
        if (pos < 0)
            return kSpanNone;
        // Found once, the span is known: objects are asked for again (an annotation
        // by its page's editor and by the pass).
        uint32_t& known = x.spanLen_[static_cast<size_t>(num)];
        if (known) {
            stop = pos + (known & kSpanLength);
            if (isStreamOut)
                *isStreamOut = (known & kSpanStream) != 0;
            return kSpanInFile;
        }
        // The header holds no keyword: the search starts at it.
        const int64_t body = pos;
        int64_t end = -1;
        int64_t keyword = -1;  // just after the "stream" keyword of a stream object
        if (!p)
            p = window(body, &avail);
        if (!p || !scanAllowed())
            return kSpanNone;
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
                if (!scanAllowed())
                    return kSpanNone;
                needsText = true;
                break;
            }
        }
        if (keyword >= 0) {
            end = streamObjectEnd(pos);
            needsText = end < 0;
        }
        if (needsText) {
            if (!scanAllowed() || !giveWholeText(num, pos))
                return kSpanNone;
            return kSpanHeld;
        }
        stop = std::min<int64_t>(end + 7, x.fileSize_);
        if (isStreamOut)
            *isStreamOut = keyword >= 0;
        if (stop - pos <= static_cast<int64_t>(kSpanLength))
            known = static_cast<uint32_t>(stop - pos) | (keyword >= 0 ? kSpanStream : 0);
        return kSpanInFile;
    }

    // The position of the first "endobj" or "stream" at or after pos, found by the text
    // search over the file; -1 when there is none.
    int64_t keywordFurther(int64_t pos)
    {
        for (int64_t cur = pos;;) {
            size_t avail;
            const unsigned char* p = window(cur, &avail);
            if (!p || avail < 6 || !scanAllowed())
                return -1;
            const unsigned char* e;
            const unsigned char* st;
            spendScan(findEndobjOrStream(p, avail, &e, &st));
            if (e || st)
                return cur + ((e ? e : st) - p);
            if (cur + static_cast<int64_t>(avail) >= x.fileSize_)
                return -1;
            cur += static_cast<int64_t>(avail) - 5;
        }
    }

    // Cheap test: false when the object's bytes before its "stream" keyword do
    // not hold "ObjStm" at all; true when unsure.
    bool mayBeObjectStream(int64_t pos)
    {
        size_t avail;
        const unsigned char* p = window(pos, &avail);
        if (!p)
            return false;
        const unsigned char* e;
        const unsigned char* st;
        findEndobjOrStream(p, avail, &e, &st);
        if (!st)
            return !e;  // no stream before "endobj"; unsure only when neither is in sight
        return findBytes(p, static_cast<size_t>(st - p), "ObjStm", 6) != nullptr;
    }
};

namespace {

// The file from a position on, read through the table's block cache: objects
// near one another are parsed without a file read each. Windows for stream
// data are file streams as usual.
class CachedFileStream : public CPdfStream {
public:
    CachedFileStream(CPdfXRef* x, int64_t start) : x_(x), start_(start), pos_(start) {}

    void reset() override { pos_ = start_; }
    int getChar() override
    {
        int c = peekChar();
        if (c >= 0)
            ++pos_;
        return c;
    }
    int peekChar() override
    {
        size_t avail;
        const unsigned char* p = XRefImpl{*x_}.window(pos_, &avail);
        return p && avail ? *p : -1;
    }
    size_t readBlock(unsigned char* buf, size_t n) override
    {
        size_t avail;
        const unsigned char* p = XRefImpl{*x_}.window(pos_, &avail);
        if (!p)
            return 0;
        size_t k = std::min(n, avail);
        std::memcpy(buf, p, k);
        pos_ += static_cast<int64_t>(k);
        return k;
    }
    CPdfDictionary* getDict() override { return nullptr; }
    int64_t getPos() override { return pos_; }
    void setPos(int64_t pos, int origin) override
    {
        pos_ = origin == 2 ? x_->getFileSize() + pos : pos;
        if (pos_ < 0)
            pos_ = 0;
    }
    int64_t startOffset() override { return start_; }
    void shiftStart(int64_t) override {}
    int64_t getLength() override { return 0; }
    CPdfStream* openWindow(int64_t start, int64_t length, const CPdfElement& dict) override
    {
        return x_->getFileStream()->openWindow(start, length, dict);
    }

private:
    ~CachedFileStream() override = default;

    CPdfXRef* x_;
    int64_t start_;
    int64_t pos_;
};

CPdfStream* openCached(CPdfXRef* x, int64_t pos) { return new CachedFileStream(x, pos); }

}  // namespace

CPdfXRef::CPdfXRef(CPdfFileStream* file) : file_(file) {}

CPdfXRef::~CPdfXRef() = default;

void CPdfXRef::open()
{
    XRefImpl impl{*this};
    impl.reset();
    startXRef_ = impl.findStartXRef();
    if (startXRef_ == 0)
        throw CPdfException("PDF file was damaged");
    std::set<int64_t> visited;
    impl.entriesLeft = 4 * static_cast<int64_t>(impl.maxEntries());
    int64_t pos = startXRef_;
    for (;;) {
        // A chain that leads back to a section already read has lost the section it
        // should lead to, and the objects only that section lists with it.
        if (!visited.insert(pos).second || visited.size() > kMaxSections)
            throw CPdfException("Couldn't parse an xref");
        int64_t prev = 0, hidden = -1;
        bool more = impl.readSection(pos, prev, hidden);
        // A hybrid file keeps the objects that only readers of cross-reference
        // streams know in the stream named by XRefStm; its entries come after
        // the table's and before the older sections.
        if (hidden >= 0 && visited.insert(hidden).second) {
            int64_t ignoredPrev, ignoredHidden;
            impl.readSection(hidden, ignoredPrev, ignoredHidden);
        }
        if (!more)
            break;
        pos = prev;
    }
    impl.finish();
}

void CPdfXRef::rebuild()
{
    XRefImpl impl{*this};
    impl.reset();
    impl.rebuildEntries();
    repaired_ = true;
    impl.chooseTrailer();
    impl.finish();
}

void CPdfXRef::openSecurity(const CPdfElement& encrypt)
{
    security_.reset();
    encryptNum_ = -1;
    CPdfElement dict = encrypt;
    if (encrypt.isReference()) {
        encryptNum_ = encrypt.getRefNum();
        encryptGen_ = encrypt.getRefGen();
        if (encryptNum_ < 0 || encryptNum_ >= getNumEntries())
            throw CPdfException("PDF file is encrypted", "The file is encrypted and its encryption dictionary is missing");
        dict = fetch(encryptNum_, encryptGen_);
    }
    if (!dict.isDictionary())
        throw CPdfException("PDF file is encrypted", "The file is encrypted and its encryption dictionary is missing");
    // The first string of /ID takes part in the key; the trailer is never encrypted.
    std::string id0;
    const CPdfElement* id = trailer_.getDictionary()->find("ID");
    if (id && id->isArray() && id->getArray()->getLength() > 0 && id->getArray()->at(0).isString())
        id0 = id->getArray()->at(0).getBytes();
    std::unique_ptr<CPdfSecurityHandler> h(new CPdfSecurityHandler(dict.getDictionary(), id0));
    if (!h->authenticate(std::string()))
        throw CPdfException("PDF file is encrypted", "The file is encrypted and needs a password to open");
    security_ = std::move(h);
}

namespace {

// The next object of p; a stream whose Length does not lead to "endstream" gives an
// empty element (p.streamLengthFailed() tells), any other failure throws.
CPdfElement readObjectOrLengthFailure(CPdfParser& p)
{
    try {
        return p.readObject();
    } catch (const CPdfException&) {
        if (!p.streamLengthFailed())
            throw;
    }
    return CPdfElement();
}

}  // namespace

CPdfElement CPdfXRef::fetch(int32_t num, int32_t gen)
{
    CPdfElement result;
    result.setNull();
    // A reference past the end of the table leads nowhere, as readers take it: the
    // table of a damaged file may be short.
    if (num < 0 || num >= getNumEntries()) {
        repaired_ = true;
        return result;
    }
    // An object whose parsing needs itself (a Length that refers back to its own
    // stream, an object stream holding its own Length) cannot be had.
    if (std::find(fetching_.begin(), fetching_.end(), num) != fetching_.end() || fetching_.size() >= kMaxFetchDepth)
        return result;
    FetchGuard guard(fetching_, num);
    XRefImpl impl{*this};
    // An entry that does not lead to its object may lead elsewhere once looked for:
    // the object is then fetched from there.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const XRefEntry e = entries_[static_cast<size_t>(num)];
        if (!memText_.empty()) {
            auto held = memText_.find(num);
            if (held != memText_.end()) {
                if (e.kind == XRefKind::InFile && e.gen != gen)
                    return result;
                return fetchHeld(num, e.kind == XRefKind::InFile ? e.gen : 0, held->second);
            }
        }
        if (e.kind == XRefKind::InFile) {
            if (e.gen != gen)
                return result;
            const int64_t pos = impl.objectPos(num);
            if (pos < 0) {
                if (entries_[static_cast<size_t>(num)].kind == XRefKind::InObjectStream)
                    continue;  // found inside an object stream
                return result;
            }
            CPdfParser p(this, new CachedFileStream(this, pos));
            CPdfElement a = p.readObject();
            if (!a.isInteger() || a.getInteger() != num)
                return result;
            CPdfElement b = p.readObject();
            if (!b.isInteger() || b.getInteger() != gen)
                return result;
            CPdfElement c = p.readObject();
            if (!c.isCommand("obj"))
                return result;
            if (security_ && num != encryptNum_)
                p.setDecryption(security_.get(), num, gen);
            CPdfElement obj = readObjectOrLengthFailure(p);
            if (p.streamLengthFailed()) {
                // The stream's Length does not lead to its end: the object is read as
                // its whole text says, which the output writes too.
                std::string text;
                if (!getRawObjectText(num, text) || memText_.count(num) == 0)
                    return result;
                return fetchHeld(num, gen, memText_[num]);
            }
            if (obj.isEndOfInput())
                return result;
            if (!p.nextIsEndobj()) {
                // Not followed by "endobj": the object may lack it, or its value may
                // run into the next object. What its text says counts: no whole object
                // there, or the whole text it was given.
                std::string text;
                if (!getRawObjectText(num, text))
                    return isMissing(num) ? result : obj;
                if (memText_.count(num))
                    return fetchHeld(num, gen, memText_[num]);
            }
            return obj;
        }
        if (e.kind == XRefKind::InObjectStream) {
            if (e.offset > static_cast<uint64_t>(INT32_MAX))
                return result;
            std::shared_ptr<ObjStmData> r = impl.loadObjectStream(static_cast<int32_t>(e.offset));
            size_t b, en;
            if (!XRefImpl::memberRange(*r, e.gen, num, b, en)) {
                if (attempt == 0 && impl.relocate(num))
                    continue;
                return result;
            }
            if (!XRefImpl::memberWhole(*r, b, en)) {
                // A member cut short has no value to write: nothing stands there.
                impl.markMissing(num);
                return result;
            }
            // The parser holds the bytes; a nested fetch may replace the current object stream.
            CPdfParser p(this, new CPdfMemoryStream(r->data, b, en, CPdfElement()));
            CPdfElement obj = p.readObject();
            if (obj.isEndOfInput())
                return result;
            return obj;
        }
        return result;
    }
    return result;
}

CPdfElement CPdfXRef::fetchHeld(int32_t num, int32_t gen, const std::string& t)
{
    CPdfElement result;
    result.setNull();
    CPdfParser p(this, new CPdfMemoryStream(t.data(), t.size(), CPdfElement()));
    CPdfElement a = p.readObject();
    CPdfElement b = p.readObject();
    CPdfElement c = p.readObject();
    if (!a.isInteger() || a.getInteger() != num || !b.isInteger() || !c.isCommand("obj"))
        return result;
    // Held text keeps the strings as the file holds them: encrypted with the object's
    // own key, except in the text of an object stream's member (plain there).
    if (security_ && num != encryptNum_ && entries_[static_cast<size_t>(num)].kind != XRefKind::InObjectStream)
        p.setDecryption(security_.get(), num, gen);
    CPdfElement obj = p.readObject();
    if (obj.isEndOfInput())
        return result;
    return obj;
}

CPdfLookupScope::CPdfLookupScope(CPdfXRef* x) : x_(x), was_(x ? x->lookupMode() : false)
{
    if (x_)
        x_->setLookupMode(true);
}

CPdfLookupScope::~CPdfLookupScope()
{
    if (x_)
        x_->setLookupMode(was_);
}

size_t CPdfXRef::readCached(int64_t pos, unsigned char* out, size_t n)
{
    size_t got = 0;
    XRefImpl impl{*this};
    while (got < n && pos >= 0) {
        size_t avail;
        const unsigned char* p = impl.window(pos, &avail);
        if (!p || avail == 0)
            break;
        size_t k = std::min(avail, n - got);
        std::memcpy(out + got, p, k);
        got += k;
        pos += static_cast<int64_t>(k);
    }
    return got;
}

bool CPdfXRef::getRawObjectText(int32_t num, std::string& out)
{
    if (num < 0 || num >= getNumEntries())
        throw CPdfException("Corrupted PDF file");
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
            if (impl.rawTextInFile(num, out))
                return true;
            if (entries_[static_cast<size_t>(num)].kind == XRefKind::InObjectStream)
                continue;  // found inside an object stream
            return false;
        }
        if (e.kind == XRefKind::InObjectStream) {
            if (e.offset > static_cast<uint64_t>(INT32_MAX))
                return false;
            std::shared_ptr<ObjStmData> r = impl.loadObjectStream(static_cast<int32_t>(e.offset));
            size_t b, en;
            if (!XRefImpl::memberRange(*r, e.gen, num, b, en)) {
                if (attempt == 0 && impl.relocate(num))
                    continue;
                return false;
            }
            if (!XRefImpl::memberWhole(*r, b, en)) {
                impl.markMissing(num);
                return false;
            }
            char head[32];
            int hl = std::snprintf(head, sizeof head, "%ld 0 obj\r", static_cast<long>(num));
            out.reserve(static_cast<size_t>(hl) + (en - b) + 8);
            out.append(head, static_cast<size_t>(hl));
            out.append(reinterpret_cast<const char*>(r->data->data() + b), en - b);
            out.append(" endobj\r", 8);
            return true;
        }
        return false;
    }
    return false;
}

bool CPdfXRef::getRawObjectSpan(int32_t num, int64_t& pos, size_t& len, bool* isStream)
{
    if (num < 0 || num >= getNumEntries())
        throw CPdfException("Corrupted PDF file");
    const XRefEntry e = entries_[static_cast<size_t>(num)];
    if (e.kind != XRefKind::InFile || (!memText_.empty() && memText_.count(num)))
        return false;
    int64_t stop;
    if (XRefImpl{*this}.rawSpanInFile(num, pos, stop, isStream) != XRefImpl::kSpanInFile)
        return false;
    len = static_cast<size_t>(stop - pos);
    return true;
}

bool CPdfXRef::isMissing(int32_t num) const
{
    return num >= 0 && static_cast<size_t>(num) < missing_.size() && missing_[static_cast<size_t>(num)] == 1;
}

const unsigned char* CPdfXRef::peekFile(int64_t pos, size_t* avail)
{
    if (pos < 0 || pos >= fileSize_) {
        *avail = 0;
        return nullptr;
    }
    return XRefImpl{*this}.window(pos, avail);
}

bool CPdfXRef::isObjectStream(int32_t num)
{
    if (num < 0 || num >= getNumEntries())
        return false;
    const XRefEntry e = entries_[static_cast<size_t>(num)];
    if (e.kind != XRefKind::InFile)
        return false;
    if (!memText_.empty() && memText_.count(num)) {
        // Whole text given to a damaged object stream.
        const std::string& t = memText_[num];
        if (t.find("ObjStm") == std::string::npos)
            return false;
        try {
            CPdfParser p(this, new CPdfMemoryStream(t.data(), t.size(), CPdfElement()));
            p.setStopAtStream(true);
            for (int i = 0; i < 3; ++i)
                p.readObject();
            CPdfElement obj = p.readObject();
            return p.stoppedAtStream() && obj.isDictionary() && obj.getDictionary()->isType("ObjStm");
        } catch (const CPdfException&) {
            return false;
        }
    }
    XRefImpl impl{*this};
    const int64_t pos = impl.objectPos(num);
    if (pos < 0)
        return false;
    const bool named = std::binary_search(
        objStmMembers_.begin(), objStmMembers_.end(), std::make_pair(num, 0),
        [](const std::pair<int32_t, int32_t>& a, const std::pair<int32_t, int32_t>& b) { return a.first < b.first; });
    if (!named && !impl.mayBeObjectStream(pos))
        return false;
    try {
        CPdfParser p(this, new CachedFileStream(this, pos));
        p.setStopAtStream(true);
        CPdfElement a = p.readObject();
        CPdfElement b = p.readObject();
        CPdfElement c = p.readObject();
        if (!a.isInteger() || a.getInteger() != num || !b.isInteger() || !c.isCommand("obj"))
            return false;
        CPdfElement obj = p.readObject();
        return p.stoppedAtStream() && obj.isDictionary() && obj.getDictionary()->isType("ObjStm");
    } catch (const CPdfException&) {
        return false;
    }
}

void CPdfXRef::markFree(int i)
{
    if (i < 0 || i >= getNumEntries())
        return;
    entries_[static_cast<size_t>(i)].kind = XRefKind::Free;
}

int32_t CPdfXRef::addDirectObject(int32_t container, const std::vector<CPdfRawStep>& path)
{
    if (container <= 0 || container >= getNumEntries() || getNumEntries() >= kMaxEntries)
        return 0;
    const int32_t num = getNumEntries();
    entries_.push_back(XRefEntry{0, 0, XRefKind::InMemory});
    if (!headerState_.empty()) {
        headerState_.push_back(0);
        spanLen_.push_back(0);
    }
    direct_.push_back(DirectObject{container, path, num});
    return num;
}

bool CPdfXRef::placeDirectObjects()
{
    std::vector<DirectObject> pending;
    pending.swap(direct_);
    std::stable_sort(pending.begin(), pending.end(),
                     [](const DirectObject& a, const DirectObject& b) { return a.container < b.container; });
    for (size_t from = 0; from < pending.size();) {
        size_t to = from;
        while (to < pending.size() && pending[to].container == pending[from].container)
            ++to;
        const int32_t container = pending[from].container;
        std::string text;
        if (!getRawObjectText(container, text))
            return false;
        std::vector<std::vector<CPdfRawStep>> paths;
        for (size_t i = from; i < to; ++i)
            paths.push_back(pending[i].path);
        const std::vector<std::pair<size_t, size_t>> spans = CPdfRawScan::LocateValues(text, paths);
        // Replaced from the last to the first, so that the spans before stay valid.
        std::vector<size_t> order(spans.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&spans](size_t a, size_t b) { return spans[a].first > spans[b].first; });
        for (size_t i : order) {
            const size_t b = spans[i].first, e = spans[i].second;
            if (e < b + 4 || text.compare(b, 2, "<<") != 0)
                return false;
            const int32_t num = pending[from + i].num;
            std::string obj = std::to_string(num) + " 0 obj\n";
            obj.append(text, b, e - b);
            obj += "\nendobj\n";
            // In an encrypted file the object's strings take its own key, as any
            // object's strings in the file do.
            if (security_)
                obj = XRefImpl{*this}.rekeyStrings(obj, container, num);
            memText_[num] = std::move(obj);
            text.replace(b, e - b, std::to_string(num) + " 0 R");
        }
        memText_[container] = std::move(text);
        from = to;
    }
    return true;
}

CPdfDictionary* CPdfXRef::getTrailerDict() const { return trailer_.getDictionary(); }

long CPdfXRef::findInBuffer(const char* buf, long start, long end, const char* pat, long patLen)
{
    if (!buf || !pat || patLen <= 0 || start < 0 || end - start < patLen)
        return 0;
    const unsigned char* hit = findBytes(reinterpret_cast<const unsigned char*>(buf) + start,
                                         static_cast<size_t>(end - start), pat, static_cast<size_t>(patLen));
    if (!hit)
        return 0;
    return static_cast<long>(hit - reinterpret_cast<const unsigned char*>(buf)) + patLen - 1;
}

long CPdfXRef::readNumberAfter(const char* buf, long len, const char* pat, bool* isRef)
{
    if (isRef)
        *isRef = false;
    long at = findInBuffer(buf, 0, len, pat, static_cast<long>(std::strlen(pat)));
    if (at == 0)
        return 0;
    long i = at + 1;
    while (i < len && !(buf[i] >= '0' && buf[i] <= '9'))
        ++i;
    // long is 32 bits on Windows: accumulate wide and clamp.
    int64_t v = 0;
    while (i < len && buf[i] >= '0' && buf[i] <= '9') {
        if (v <= (INT64_MAX - 9) / 10)
            v = v * 10 + (buf[i] - '0');
        else
            v = INT64_MAX;
        ++i;
    }
    if (v > LONG_MAX)
        v = LONG_MAX;
    if (isRef && i + 4 <= len && std::memcmp(buf + i, " 0 R", 4) == 0)
        *isRef = true;
    return static_cast<long>(v);
}
