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
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"

// Parsed members of an object stream are not kept: members are parsed from the
// decoded bytes of the current object stream on every fetch, as cheap as a copy.
struct ObjectStream {
};

// One object stream kept as decoded bytes with its member table.
struct ObjStmData {
    int32_t num = -1;
    int32_t n = 0;       ///< member count (0 when the stream is unusable)
    int64_t first = 0;   ///< value of "First"
    std::vector<int32_t> nums;
    std::vector<int64_t> offsets;  ///< relative to First
    std::shared_ptr<std::vector<unsigned char>> data;
};

// The decoded object streams used last (most recent first), and the work spent
// on raw object text, which is bounded so that no file can make it explode.
struct RawObjectStream {
    std::vector<std::shared_ptr<ObjStmData>> recent;
    uint64_t decoded = 0;  ///< bytes of object streams decoded so far
    int64_t scanned = 0;   ///< bytes searched for keywords so far
    size_t fill = 0;       ///< size of the last block read into the file cache
};

namespace {

const uint64_t kUnfilled = UINT64_MAX;          // entry not yet written while sections are read
const uint64_t kUnfilledAfterOpen = 4294967295u;  // how an entry never written looks after open
const size_t kMaxSections = 10000;              // longest Prev chain followed
const size_t kMaxFetchDepth = 16;               // nested fetches (Length references, object streams)
const size_t kMaxObjStmBytes = size_t(64) << 20;  // largest decoded object stream accepted
const uint64_t kMaxObjStmTotal = uint64_t(1) << 30;  // all object streams decoded for one file
const size_t kRecentObjStms = 4;                   // decoded object streams always kept
const size_t kRecentObjStmBytes = size_t(8) << 20;  // more are kept while they hold no more than this
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

// The first "endobj" in [p, p + n) (*endobj, or null) and whether a "stream" keyword
// comes before it (*stream, or null; searched only before the "endobj"). The bytes
// are searched in growing pieces from the start, so that for a stream object, whose
// keyword comes right after its dictionary, the data is not searched at all. Returns
// the count of bytes searched.
size_t findEndobjOrStream(const unsigned char* p, size_t n, const unsigned char** endobj,
                          const unsigned char** stream)
{
    *endobj = nullptr;
    *stream = nullptr;
    size_t done = 0;  // searched without a find; a keyword may straddle its end
    for (size_t c = std::min<size_t>(n, 512);; c = std::min(n, c * 4)) {
        const size_t from = done > 5 ? done - 5 : 0;
        const unsigned char* e = findEndobj(p + from, c - from);
        const unsigned char* st = findStream(p + from, e ? static_cast<size_t>(e - (p + from)) : c - from);
        if (st) {
            *stream = st;
            return static_cast<size_t>(st - p) + 6;
        }
        if (e) {
            *endobj = e;
            return static_cast<size_t>(e - p) + 6;
        }
        if (c == n)
            return n;
        done = c;
    }
}

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
        if (size > static_cast<int64_t>(x.entries_.size()))
            x.entries_.resize(static_cast<size_t>(size), XRefEntry{kUnfilled, 0, 0});
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
                int32_t k;
                if (kind.isCommand("n"))
                    k = 1;
                else if (kind.isCommand("f"))
                    k = 0;
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
            e.kind = static_cast<int32_t>(kind);
            e.offset = f2 == kUnfilled ? kUnfilled - 1 : f2;
            e.gen = static_cast<int32_t>(f3);
        }
    }

    // ---- object streams ----

    RawObjectStream& caches()
    {
        if (!x.rawObjStm_)
            x.rawObjStm_.reset(new RawObjectStream);
        return *x.rawObjStm_;
    }

    // Object stream s, decoded (possibly with no members). A few are kept, so
    // that members of streams used alternately are not decoded again and again.
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
        if (s >= 0 && s < x.getNumEntries() && c.decoded < kMaxObjStmTotal)
            fillObjectStream(*r, x.fetch(s, 0));
        // A nested fetch may have changed the list meanwhile.
        RawObjectStream& c2 = caches();
        c2.recent.insert(c2.recent.begin(), r);
        // The last few are kept in any case, more while their decoded bytes are few:
        // a file whose pages and annotations sit in object streams is read through
        // them twice (the page tree at opening, then the writer's pass).
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

    void fillObjectStream(ObjStmData& r, const CPdfElement& obj)
    {
        if (!obj.isStream())
            return;
        CPdfDictionary* d = obj.getDictionary();
        if (!d)
            return;
        CPdfElement n = d->lookup("N");
        CPdfElement first = d->lookup("First");
        if (!n.isInteger() || n.getInteger() <= 0 || !first.isInteger() || first.getInteger() < 0)
            return;
        auto data = std::make_shared<std::vector<unsigned char>>();
        CPdfStream* s = obj.getStream();
        unsigned char chunk[65536];
        for (;;) {
            size_t k = s->readBlock(chunk, sizeof chunk);
            if (k == 0)
                break;
            if (data->size() + k > kMaxObjStmBytes || caches().decoded + k > kMaxObjStmTotal)
                return;
            caches().decoded += k;
            data->insert(data->end(), chunk, chunk + k);
        }
        int64_t count = n.getInteger();
        // Every header pair takes at least four bytes.
        if (count > static_cast<int64_t>(data->size() / 4) + 1)
            return;
        int64_t headerLen = std::min<int64_t>(first.getInteger(), static_cast<int64_t>(data->size()));
        std::vector<int32_t> nums;
        std::vector<int64_t> offsets;
        nums.reserve(static_cast<size_t>(count));
        offsets.reserve(static_cast<size_t>(count));
        {
            CPdfParser p(nullptr, new CPdfMemoryStream(data, 0, static_cast<size_t>(headerLen), CPdfElement()));
            for (int64_t k = 0; k < count; ++k) {
                CPdfElement a = p.readObject();
                CPdfElement b = p.readObject();
                if (!a.isInteger() || !b.isInteger())
                    return;  // malformed header: no members
                nums.push_back(a.getInteger());
                offsets.push_back(b.getInteger());
            }
        }
        r.n = static_cast<int32_t>(count);
        r.first = first.getInteger();
        r.nums = std::move(nums);
        r.offsets = std::move(offsets);
        r.data = std::move(data);
    }

    // Byte range of member idx inside the decoded data; false when unusable.
    static bool memberRange(const ObjStmData& r, int32_t idx, size_t& b, size_t& e)
    {
        if (idx < 0 || idx >= r.n || !r.data)
            return false;
        int64_t size = static_cast<int64_t>(r.data->size());
        int64_t begin = r.first + r.offsets[static_cast<size_t>(idx)];
        int64_t end = idx + 1 < r.n ? r.first + r.offsets[static_cast<size_t>(idx) + 1] : size;
        if (begin < 0 || begin > size || r.offsets[static_cast<size_t>(idx)] < 0)
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
    bool scanAllowed() { return caches().scanned <= 16 * x.fileSize_ + (int64_t(64) << 20); }
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

    // Where the search for "endobj" of the object at pos starts: after the stream
    // data when the object is a stream with a valid Length followed by "endstream".
    int64_t endSearchStart(int64_t pos)
    {
        try {
            CPdfParser p(&x, openCached(&x, pos));
            p.setStopAtStream(true);
            CPdfElement a = p.readObject();
            CPdfElement b = p.readObject();
            CPdfElement c = p.readObject();
            if (!a.isInteger() || !b.isInteger() || !c.isCommand("obj"))
                return pos;
            CPdfElement obj = p.readObject();
            if (!p.stoppedAtStream() || !obj.isDictionary())
                return pos;
            int64_t data = p.getStreamDataPos();
            CPdfElement len = obj.getDictionary()->lookup("Length");
            if (!len.isInteger() || len.getInteger() < 0)
                return pos;
            int64_t after = data + len.getInteger();
            if (after > x.fileSize_)
                return pos;
            unsigned char buf[64];
            size_t n = x.readCached(after, buf, sizeof buf);
            size_t i = 0;
            while (i < n && isPdfWhite(buf[i]))
                ++i;
            if (i + 9 <= n && std::memcmp(buf + i, "endstream", 9) == 0)
                return after + static_cast<int64_t>(i) + 9;
        } catch (const CPdfException&) {
            // An unreadable Length: search from the object's start.
        }
        return pos;
    }

    // Position of the header "num gen obj" of object num at pos (after white
    // space there, which fetch skips too), or -1 when another thing is there.
    int64_t headerAt(int64_t pos, int32_t num)
    {
        size_t avail;
        const unsigned char* p = window(pos, &avail);
        if (!p)
            return -1;
        size_t i = 0;
        auto digits = [&](int64_t* value) {
            size_t start = i;
            int64_t v = 0;
            while (i < avail && p[i] >= '0' && p[i] <= '9' && i - start < 12)
                v = v * 10 + (p[i++] - '0');
            *value = v;
            return i > start;
        };
        auto spaces = [&]() {
            size_t start = i;
            while (i < avail && isPdfWhite(p[i]))
                ++i;
            return i > start;
        };
        spaces();
        size_t head = i;
        int64_t n, g;
        if (!digits(&n) || n != num || !spaces() || !digits(&g) || !spaces())
            return -1;
        if (i + 3 > avail || std::memcmp(p + i, "obj", 3) != 0)
            return -1;
        return pos + static_cast<int64_t>(head);
    }

    bool rawTextInFile(int32_t num, uint64_t offset, std::string& out)
    {
        int64_t pos, stop;
        if (!rawSpanInFile(num, offset, pos, stop))
            return false;
        copyFile(pos, static_cast<size_t>(stop - pos), out);
        return true;
    }

    // Where the raw text of object num (entry offset) lies: [pos, stop) of the file;
    // *isStream (when given) tells whether the object is a stream.
    bool rawSpanInFile(int32_t num, uint64_t offset, int64_t& pos, int64_t& stop, bool* isStreamOut = nullptr)
    {
        if (offset >= static_cast<uint64_t>(x.fileSize_))
            return false;
        pos = x.start_ + static_cast<int64_t>(offset);
        if (pos >= x.fileSize_)
            return false;
        // An entry that does not point at its object's header has no text, as it
        // has no object: copying whatever bytes lie there would put them under
        // the wrong number.
        pos = headerAt(pos, num);
        if (pos < 0)
            return false;
        // Scan forward for the first "endobj"; a "stream" keyword before it means
        // the object is a stream whose data is skipped by its Length, so that data
        // holding "endobj" does not cut the object short.
        int64_t end = -1;
        bool isStream = false;
        for (int64_t cur = pos;;) {
            size_t avail;
            const unsigned char* p = window(cur, &avail);
            if (!p || avail < 6 || !scanAllowed())
                break;
            const unsigned char* e;
            const unsigned char* st;
            spendScan(findEndobjOrStream(p, avail, &e, &st));
            if (st) {
                isStream = true;
                break;
            }
            if (e) {
                end = cur + (e - p);
                break;
            }
            if (cur + static_cast<int64_t>(avail) >= x.fileSize_)
                break;
            cur += static_cast<int64_t>(avail) - 5;
        }
        if (isStream)
            end = findInFile(endSearchStart(pos), "endobj", 6, x.fileSize_);
        if (end < 0)
            return false;
        stop = std::min<int64_t>(end + 7, x.fileSize_);
        if (isStreamOut)
            *isStreamOut = isStream;
        return true;
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
    start_ = file_->startOffset();
    fileSize_ = file_->fileSize();
    for (CacheBlock& b : cache_)
        b = CacheBlock();
    rawObjStm_.reset();
    entries_.clear();
    trailer_.free();
    security_.reset();
    encryptNum_ = -1;
    startXRef_ = impl.findStartXRef();
    if (startXRef_ == 0)
        throw CPdfException("PDF file was damaged");
    std::set<int64_t> visited;
    impl.entriesLeft = 4 * static_cast<int64_t>(impl.maxEntries());
    int64_t pos = startXRef_;
    for (;;) {
        // A Prev chain that leads back to a section already read ends the walk.
        if (!visited.insert(pos).second || visited.size() > kMaxSections)
            break;
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
    objStmNums_.clear();
    for (XRefEntry& e : entries_) {
        if (e.offset == kUnfilled)
            e = XRefEntry{kUnfilledAfterOpen, 0, 0};
        else if (e.kind == 2 && e.offset <= static_cast<uint64_t>(INT32_MAX))
            objStmNums_.insert(static_cast<int32_t>(e.offset));
    }
    CPdfDictionary* t = trailer_.getDictionary();
    if (!t || !trailer_.isDictionary())
        throw CPdfException("PDF file was damaged");
    const CPdfElement* root = t->find("Root");
    if (!root || !root->isReference())
        throw CPdfException("PDF file was damaged");
    rootNum_ = root->getRefNum();
    rootGen_ = root->getRefGen();
    const CPdfElement* info = t->find("Info");
    if (info && info->isReference()) {
        infoNum_ = info->getRefNum();
        infoGen_ = info->getRefGen();
    }
    t->setXRef(this);
    // An encryption dictionary, direct or indirect: strings and streams are read
    // through the security handler, which must accept the empty password.
    const CPdfElement* enc = t->find("Encrypt");
    if (enc && (enc->isReference() || enc->isDictionary()))
        openSecurity(*enc);
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

CPdfElement CPdfXRef::fetch(int32_t num, int32_t gen)
{
    if (num < 0 || num >= getNumEntries())
        throw CPdfException("Corrupted PDF file");
    CPdfElement result;
    result.setNull();
    // An object whose parsing needs itself (a Length that refers back to its own
    // stream, an object stream holding its own Length) cannot be had.
    if (std::find(fetching_.begin(), fetching_.end(), num) != fetching_.end() || fetching_.size() >= kMaxFetchDepth)
        return result;
    FetchGuard guard(fetching_, num);
    const XRefEntry e = entries_[static_cast<size_t>(num)];
    XRefImpl impl{*this};
    if (e.kind == 1) {
        if (e.gen != gen)
            return result;
        if (e.offset >= static_cast<uint64_t>(fileSize_))
            return result;
        int64_t pos = start_ + static_cast<int64_t>(e.offset);
        if (pos >= fileSize_)
            return result;
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
        CPdfElement obj = p.readObject();
        if (obj.isEndOfInput())
            return result;
        return obj;
    }
    if (e.kind == 2) {
        if (e.offset > static_cast<uint64_t>(INT32_MAX))
            return result;
        std::shared_ptr<ObjStmData> r = impl.loadObjectStream(static_cast<int32_t>(e.offset));
        size_t b, en;
        if (!XRefImpl::memberRange(*r, e.gen, b, en) || r->nums[static_cast<size_t>(e.gen)] != num)
            return result;
        // The parser holds the bytes; a nested fetch may replace the current object stream.
        CPdfParser p(this, new CPdfMemoryStream(r->data, b, en, CPdfElement()));
        CPdfElement obj = p.readObject();
        if (obj.isEndOfInput())
            return result;
        return obj;
    }
    return result;
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
    const XRefEntry e = entries_[static_cast<size_t>(num)];
    XRefImpl impl{*this};
    if (e.kind == 1)
        return impl.rawTextInFile(num, e.offset, out);
    if (e.kind == 2) {
        if (e.offset > static_cast<uint64_t>(INT32_MAX))
            return false;
        std::shared_ptr<ObjStmData> r = impl.loadObjectStream(static_cast<int32_t>(e.offset));
        size_t b, en;
        if (!XRefImpl::memberRange(*r, e.gen, b, en) || r->nums[static_cast<size_t>(e.gen)] != num)
            return false;
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

bool CPdfXRef::getRawObjectSpan(int32_t num, int64_t& pos, size_t& len, bool* isStream)
{
    if (num < 0 || num >= getNumEntries())
        throw CPdfException("Corrupted PDF file");
    const XRefEntry e = entries_[static_cast<size_t>(num)];
    if (e.kind != 1)
        return false;
    int64_t stop;
    if (!XRefImpl{*this}.rawSpanInFile(num, e.offset, pos, stop, isStream))
        return false;
    len = static_cast<size_t>(stop - pos);
    return true;
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
    if (e.kind != 1)
        return false;
    if (e.offset >= static_cast<uint64_t>(fileSize_))
        return false;
    int64_t pos = start_ + static_cast<int64_t>(e.offset);
    if (pos >= fileSize_)
        return false;
    XRefImpl impl{*this};
    if (!objStmNums_.count(num) && !impl.mayBeObjectStream(pos))
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
    entries_[static_cast<size_t>(i)].kind = 0;
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
