#pragma once
// Internals of the cross-reference table shared by the files that implement it:
// CPdfXRef.cpp (opening, fetching, objects made in memory), CPdfXRefSections.cpp
// (reading tables and cross-reference streams), CPdfObjectStreams.cpp (decoding
// object streams and finding their members), CPdfRawText.cpp (the read-ahead blocks
// and the raw text of objects in the file) and CPdfXRefRepair.cpp (rebuilding the
// table of a damaged file and finding objects its entries miss). Only those files
// include it.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pdf/CPdfObjectScan.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfStream.h"

class CPdfParser;

const int64_t kToDataEnd = INT64_MIN;  // a member that runs to the end of the data

// One object stream kept as decoded bytes with its member table. Only the members
// that entries name are listed, and of a large header only those pairs are kept: a
// header that declares millions of members costs the time to read it, not memory.
struct ObjStmData {
    int32_t num = -1;
    std::vector<int32_t> index;                        ///< member indexes listed, sorted (empty: unusable)
    std::vector<int32_t> nums;                         ///< object number of each listed member
    std::vector<int64_t> begin;                        ///< where each listed member begins, relative to First
    std::vector<int64_t> end;                          ///< where it ends: the next member's offset, or kToDataEnd
    int64_t first = 0;                                 ///< where First lies in data
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
    uint64_t decoded = 0;       ///< bytes of distinct object streams decoded (each counted once)
    uint64_t again = 0;         ///< bytes of object streams decoded once more
    std::set<int32_t> counted;  ///< object streams whose bytes count in decoded
    int64_t scanned = 0;        ///< bytes searched for keywords so far
    int64_t held = 0;           ///< bytes of whole text given to objects
    bool budgetSpent = false;   ///< an object stream was left undecoded for the budget
};

namespace {

const uint64_t kUnfilled = UINT64_MAX;            // entry not yet written while sections are read
const uint64_t kUnfilledAfterOpen = 4294967295u;  // how an entry never written looks after open
const size_t kMaxSections = 10000;                // longest Prev chain followed
const size_t kMaxFetchDepth = 16;                 // nested fetches (Length references, object streams)
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
const size_t kRecentObjStms = 2;                     // decoded object streams always kept
const size_t kRecentObjStmBytes = size_t(32) << 20;  // more are kept while they hold no more than this
const int64_t kHeaderInMemory = int64_t(1) << 20;    // object stream headers up to this are decoded at once
const int64_t kHeaderSlack = 1024;                   // how far from its entry an object header is looked for
const unsigned char kHeaderFound = 1;                // states of an entry's object header, once looked at
const unsigned char kHeaderMissing = 2;
const uint32_t kSpanLength = 0x7FFFFFFF;         // a known raw text span: its length,
const uint32_t kSpanStream = 0x80000000;         // and whether the object is a stream
const size_t kRawCacheSize = size_t(256) << 10;  // largest block read for raw text and fetches
const size_t kRawCacheFirst = size_t(16) << 10;  // block read after a jump
const size_t kLookupBlock = size_t(2) << 10;     // block read by a lookup in lookup mode

// First occurrence of pat in [p, p + n), or null.
inline const unsigned char* findBytes(const unsigned char* p, size_t n, const char* pat, size_t patLen) {
    if (patLen == 0 || n < patLen) return nullptr;
    const unsigned char first = static_cast<unsigned char>(pat[0]);
    const unsigned char* end = p + n - patLen + 1;
    while (p < end) {
        const void* hit = std::memchr(p, first, static_cast<size_t>(end - p));
        if (!hit) return nullptr;
        const unsigned char* h = static_cast<const unsigned char*>(hit);
        if (std::memcmp(h, pat, patLen) == 0) return h;
        p = h + 1;
    }
    return nullptr;
}

// First occurrence of pat in [p, p + n), looking first for the byte pat[anchor]
// (chosen rare, such as the 'j' of "endobj", so that memchr skips far).
inline const unsigned char* findAnchored(const unsigned char* p, size_t n, const char* pat, size_t patLen,
                                         size_t anchor) {
    if (n < patLen) return nullptr;
    const unsigned char a = static_cast<unsigned char>(pat[anchor]);
    const unsigned char* q = p + anchor;
    const unsigned char* end = p + n - patLen + anchor + 1;
    while (q < end) {
        const void* hit = std::memchr(q, a, static_cast<size_t>(end - q));
        if (!hit) return nullptr;
        const unsigned char* start = static_cast<const unsigned char*>(hit) - anchor;
        if (std::memcmp(start, pat, patLen) == 0) return start;
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
inline const unsigned char* findEndobjCounting(const unsigned char* p, size_t n, const unsigned char* countFrom,
                                               int* objs, const unsigned char** second) {
    if (!objs) return findEndobj(p, n);
    const unsigned char* const end = p + n;
    for (const unsigned char* q = p + 2; q < end;) {
        const void* hit = std::memchr(q, 'j', static_cast<size_t>(end - q));
        if (!hit) return nullptr;
        const unsigned char* j = static_cast<const unsigned char*>(hit);
        q = j + 1;
        if (j[-2] != 'o' || j[-1] != 'b') continue;
        if (j - 5 >= p && j[-5] == 'e' && j[-4] == 'n' && j[-3] == 'd') return j - 5;
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
inline size_t findEndobjOrStream(const unsigned char* p, size_t n, const unsigned char** endobj,
                                 const unsigned char** stream, int* objs = nullptr) {
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
        if (second) return static_cast<size_t>(second - p) + 3;
        if (c == n) return n;
        done = c;
    }
}

inline bool isPdfWhite(unsigned char c) {
    return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

}  // namespace

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
    bool spend(size_t k) {
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
        : base_(base), left_(length), budget_(budget) {}
    bool spent() const { return spent_; }
    void reset() override {}
    int getChar() override {
        unsigned char c;
        return readBlock(&c, 1) == 1 ? c : -1;
    }
    int peekChar() override { return left_ > 0 && !spent_ ? base_->peekChar() : -1; }
    size_t readBlock(unsigned char* buf, size_t n) override {
        if (spent_ || left_ <= 0) return 0;
        if (static_cast<int64_t>(n) > left_) n = static_cast<size_t>(left_);
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

// A stream over the file from pos on, read through the table's block cache.
CPdfStream* openCached(CPdfXRef* x, int64_t pos);

// Implementation steps that need the table's private state.
struct XRefImpl {
    CPdfXRef& x;
    // Entries the sections of one file may list in all; a sound file lists each
    // object about once, a hostile one could list millions again and again.
    int64_t entriesLeft = 0;

    int32_t maxEntries() const {
        int64_t bySize = 65536 + 8 * x.fileSize_;
        return static_cast<int32_t>(std::min<int64_t>(CPdfXRef::kMaxEntries, bySize));
    }

    void grow(int64_t size) {
        if (size > static_cast<int64_t>(x.entries_.size())) {
            x.entries_.resize(static_cast<size_t>(size), XRefEntry{kUnfilled, 0, XRefKind::Free});
            // Objects looked at while the table is rebuilt keep what was found.
            if (!x.headerState_.empty()) {
                x.headerState_.resize(x.entries_.size(), 0);
                x.spanLen_.resize(x.entries_.size(), 0);
            }
        }
    }

    // ---- cross-reference sections (CPdfXRefSections.cpp) ----

    int64_t findStartXRef();
    bool readSection(int64_t pos, int64_t& prev, int64_t& hidden);
    static bool prevOf(const CPdfDictionary* d, int64_t& prev);
    bool readClassic(CPdfParser& p, int64_t& prev, int64_t& hidden);
    bool readXRefStream(const CPdfElement& str, int64_t& prev);
    // Buffered reading of entry bytes from the decoded cross-reference stream.
    struct EntryReader {
        CPdfStream* s;
        unsigned char buf[4096];
        size_t pos = 0, end = 0;
        explicit EntryReader(CPdfStream* st) : s(st) {}
        bool read(int width, uint64_t& v) {
            v = 0;
            for (int i = 0; i < width; ++i) {
                if (pos == end) {
                    pos = 0;
                    end = s->readBlock(buf, sizeof buf);
                    if (end == 0) return false;
                }
                v = (v << 8) | buf[pos++];
            }
            return true;
        }
    };

    void readStreamSection(EntryReader& r, int64_t f, int64_t n, const int widths[3]);

    // ---- object streams (CPdfObjectStreams.cpp) ----

    // Made on first use; asked for on every object-stream member, so kept small
    // enough to be inlined.
    RawObjectStream& caches() { return x.rawObjStm_ ? *x.rawObjStm_ : makeCaches(); }
    RawObjectStream& makeCaches();
    std::shared_ptr<ObjStmData> loadObjectStream(int32_t s);
    void fillObjectStream(ObjStmData& r, int32_t s);
    static bool readAll(CPdfStream* s, std::vector<unsigned char>& out, DecodeBudget& budget);
    static bool memberWhole(const ObjStmData& r, size_t b, size_t& e);
    static bool memberRange(const ObjStmData& r, int32_t idx, int32_t num, size_t& b, size_t& e);
    // Where member num (entry e) lies: Found with its stream and span; Retry when the
    // entry was wrong and has been moved (only when mayRelocate), so the caller looks
    // again; None when it cannot be had (a member cut short is marked missing).
    enum class MemberAt { Found, Retry, None };
    // Inline: asked for on every object-stream member.
    MemberAt locateMember(int32_t num, const XRefEntry& e, bool mayRelocate, std::shared_ptr<ObjStmData>& r, size_t& b,
                          size_t& en) {
        if (e.offset > static_cast<uint64_t>(INT32_MAX)) return MemberAt::None;
        r = loadObjectStream(static_cast<int32_t>(e.offset));
        if (!memberRange(*r, e.gen, num, b, en)) return mayRelocate && relocate(num) ? MemberAt::Retry : MemberAt::None;
        if (!memberWhole(*r, b, en)) {
            // A member cut short has no value to write: nothing stands there.
            markMissing(num);
            return MemberAt::None;
        }
        return MemberAt::Found;
    }

    // ---- raw bytes of the file (CPdfRawText.cpp) ----

    const unsigned char* window(int64_t pos, size_t* avail);
    // Searching for keywords reads each byte of a sound file about once; a file
    // whose entries send the search over the same bytes again and again gets no
    // more raw text once many times its size has been searched.
    bool scanAllowed(int64_t more = 0) { return caches().scanned + more <= 16 * x.fileSize_ + (int64_t(64) << 20); }
    void spendScan(size_t n) { caches().scanned += static_cast<int64_t>(n); }

    int64_t findInFile(int64_t pos, const char* pat, size_t patLen, int64_t limit);
    void copyFile(int64_t pos, size_t len, std::string& out);
    // The file read forward from a position through the block cache. A budgeted
    // cursor counts what it reads as searched bytes and gives no more once the
    // search budget is spent.
    class FileCursor : public CPdfByteCursor {
    public:
        FileCursor(CPdfXRef& x, int64_t pos, bool budgeted) : x_(x), from_(pos), budgeted_(budgeted) { base_ = pos; }
        ~FileCursor() override {
            if (budgeted_) XRefImpl{x_}.spendScan(static_cast<size_t>(pos() - from_));
        }

    protected:
        bool more() override {
            const int64_t p = pos();
            XRefImpl impl{x_};
            if (budgeted_ && !impl.scanAllowed(p - from_)) return false;
            size_t avail;
            const unsigned char* q = impl.window(p, &avail);
            if (!q || avail == 0) return false;
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

    static bool isDigits(const std::string& w);
    static int64_t digitsValue(const std::string& w);
    int64_t headerAt(int64_t pos, int32_t num, int64_t* gen = nullptr);
    int64_t headerNear(int64_t pos, int32_t num, int32_t gen);
    static int plainHeader(const unsigned char* p, size_t avail, int32_t num);
    int64_t objectPos(int32_t num, const unsigned char** at = nullptr, size_t* atAvail = nullptr);
    int64_t findHeader(int32_t num, const unsigned char** at, size_t* atAvail);

    // ---- opening (CPdfXRef.cpp) ----

    void clearDerived();
    void reset();
    void finish();

    // ---- rebuilding the table (CPdfXRefRepair.cpp) ----

    int32_t rebuiltCap() const;
    void rebuildEntries();
    void chooseTrailer();
    void keepEncryptionEntries(const CPdfElement& opened);
    void finishEntriesForLookups();
    bool isCatalog(int32_t num, int32_t gen);

    // ---- repair: objects looked for in the whole file (CPdfXRefRepair.cpp) ----

    CPdfObjectScan& scan();
    // Per entry: in use without a whole object in the file, or moved once already.
    static const unsigned char kMissing = 1;
    static const unsigned char kRelocated = 2;

    unsigned char& repairState(int32_t num);
    void markMissing(int32_t num);
    void scanMembers();
    std::vector<int32_t> memberNumbers(int32_t s, int32_t gen);
    bool relocate(int32_t num);
    std::string rekeyStrings(const std::string& text, int32_t from, int32_t to);
    void nameMember(int32_t stream, int32_t index);
    bool objectExtent(int64_t pos, CPdfObjectScan::Extent& e);
    bool giveWholeText(int32_t num, int64_t pos);

    // ---- where raw object text ends (CPdfRawText.cpp) ----

    static bool closedBytes(const unsigned char* p, size_t n);
    static bool endobjIsSure(const unsigned char* p, size_t avail, const unsigned char* e, bool atEof);
    static bool streamIsSure(const unsigned char* p, size_t avail, const unsigned char* st);
    int64_t streamDataEnd(int64_t pos, int64_t* data);
    int64_t streamObjectEnd(int64_t pos);
    int64_t keywordAfter(int64_t pos, const char* kw, size_t len);
    bool rawTextInFile(int32_t num, std::string& out);
    enum Span {
        kSpanNone,    ///< no text: no object there, or the search was cut short
        kSpanInFile,  ///< the text is [pos, stop) of the file
        kSpanHeld     ///< the object was given whole text, held in memory
    };

    Span rawSpanInFile(int32_t num, int64_t& pos, int64_t& stop, bool* isStreamOut = nullptr);
    int64_t keywordFurther(int64_t pos);
    bool mayBeObjectStream(int64_t pos);
};
