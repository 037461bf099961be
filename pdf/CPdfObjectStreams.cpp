// Object streams: decoding them within a budget, their member tables, and the
// bytes of one member.
#include "pdf/CPdfXRefImpl.h"

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfObjectScan.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"

RawObjectStream& XRefImpl::makeCaches() {
    x.rawObjStm_.reset(new RawObjectStream);
    return *x.rawObjStm_;
}

// Object stream s, decoded (possibly with no members). Recently used ones are
// kept, so that members of streams used alternately are not decoded again and again.
std::shared_ptr<ObjStmData> XRefImpl::loadObjectStream(int32_t s) {
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
    if (s >= 0 && s < x.getNumEntries()) fillObjectStream(*r, s);
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
        if (keep >= kRecentObjStms && bytes > kRecentObjStmBytes) break;
    }
    c2.recent.resize(keep);
    return r;
}

void XRefImpl::fillObjectStream(ObjStmData& r, int32_t s) {
    // The member indexes entries name, in order.
    auto named = std::equal_range(
        x.objStmMembers_.begin(), x.objStmMembers_.end(), std::make_pair(s, 0),
        [](const std::pair<int32_t, int32_t>& a, const std::pair<int32_t, int32_t>& b) { return a.first < b.first; });
    if (named.first == named.second) return;
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
    if (!obj.isStream()) return;
    CPdfDictionary* d = obj.getDictionary();
    if (!d) return;
    CPdfElement n = d->lookup("N");
    CPdfElement first = d->lookup("First");
    if (!n.isInteger() || n.getInteger() <= 0 || !first.isInteger() || first.getInteger() < 0) return;
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
        source =
            new CPdfMemoryStream(data, 0, std::min<size_t>(data->size(), static_cast<size_t>(firstLen)), CPdfElement());
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
            if (!r.index.empty() && r.index.back() == k - 1) r.end.back() = b.getInteger();
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
bool XRefImpl::readAll(CPdfStream* s, std::vector<unsigned char>& out, DecodeBudget& budget) {
    unsigned char chunk[65536];
    for (;;) {
        const size_t k = s->readBlock(chunk, sizeof chunk);
        if (k == 0) return true;
        if (!budget.spend(k)) return false;
        out.insert(out.end(), chunk, chunk + k);
    }
}

// Whether the member at [b, e) of the decoded data holds a whole value. Only the
// member that reaches the end of the data can be cut (the data of a truncated or
// damaged stream ends early); the others end where the next member begins.
// Its text ends after the value when more than white space follows it there (the
// rest of damaged data), which *e is moved to.
bool XRefImpl::memberWhole(const ObjStmData& r, size_t b, size_t& e) {
    if (e < r.data->size()) return true;
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
bool XRefImpl::memberRange(const ObjStmData& r, int32_t idx, int32_t num, size_t& b, size_t& e) {
    if (!r.data) return false;
    size_t i;
    if (idx >= 0 && static_cast<size_t>(idx) < r.index.size() && r.index[static_cast<size_t>(idx)] == idx) {
        i = static_cast<size_t>(idx);  // every member up to idx is listed
    } else {
        auto it = std::lower_bound(r.index.begin(), r.index.end(), idx);
        if (it == r.index.end() || *it != idx) return false;
        i = static_cast<size_t>(it - r.index.begin());
    }
    if (r.nums[i] != num) return false;
    const int64_t size = static_cast<int64_t>(r.data->size());
    if (r.begin[i] < 0 || (r.end[i] != kToDataEnd && r.end[i] < 0)) return false;
    const int64_t begin = r.first + r.begin[i];
    int64_t end = r.end[i] == kToDataEnd ? size : r.first + r.end[i];
    if (begin < 0 || begin > size) return false;
    if (end > size) end = size;
    if (end < begin) return false;
    b = static_cast<size_t>(begin);
    e = static_cast<size_t>(end);
    return true;
}

bool CPdfXRef::isObjectStream(int32_t num) {
    if (num < 0 || num >= getNumEntries()) return false;
    const XRefEntry e = entries_[static_cast<size_t>(num)];
    if (e.kind != XRefKind::InFile) return false;
    if (!memText_.empty() && memText_.count(num)) {
        // Whole text given to a damaged object stream.
        const std::string& t = memText_[num];
        if (t.find("ObjStm") == std::string::npos) return false;
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
    if (pos < 0) return false;
    const bool named = std::binary_search(
        objStmMembers_.begin(), objStmMembers_.end(), std::make_pair(num, 0),
        [](const std::pair<int32_t, int32_t>& a, const std::pair<int32_t, int32_t>& b) { return a.first < b.first; });
    if (!named && !impl.mayBeObjectStream(pos)) return false;
    try {
        CPdfParser p(this, openCached(this, pos));
        p.setStopAtStream(true);
        CPdfElement a = p.readObject();
        CPdfElement b = p.readObject();
        CPdfElement c = p.readObject();
        if (!a.isInteger() || a.getInteger() != num || !b.isInteger() || !c.isCommand("obj")) return false;
        CPdfElement obj = p.readObject();
        return p.stoppedAtStream() && obj.isDictionary() && obj.getDictionary()->isType("ObjStm");
    } catch (const CPdfException&) {
        return false;
    }
}
