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
#include "pdf/CPdfXRefImpl.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"

namespace {

// Takes num off the list of objects being fetched when the fetch ends. Fetches nest
// a few levels at most, so the list is a short vector used as a stack.
struct FetchGuard {
    std::vector<int32_t>& list;
    FetchGuard(std::vector<int32_t>& l, int32_t n) : list(l) { list.push_back(n); }
    ~FetchGuard() { list.pop_back(); }
};

}  // namespace

// What is learnt from the entries and while reading objects goes, so that it is
// learnt again from the entries as they now stand.
void XRefImpl::clearDerived() {
    x.objStmMembers_.clear();
    x.memText_.clear();
    x.direct_.clear();
    x.headerState_.clear();
    x.spanLen_.clear();
    x.missing_.clear();
    x.scannedMembers_.clear();
    x.membersScanned_ = false;
}

// Back to an empty table over the file.
void XRefImpl::reset() {
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
    clearDerived();
}

// After the entries are known: the members entries name, the root, the info
// dictionary and the security handler from the trailer.
void XRefImpl::finish() {
    clearDerived();
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
    if (!t || !x.trailer_.isDictionary()) throw CPdfException("PDF file was damaged");
    const CPdfElement* root = t->find("Root");
    if (!root || !root->isReference()) throw CPdfException("PDF file was damaged");
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
    if (enc && (enc->isReference() || enc->isDictionary())) x.openSecurity(*enc);
}

CPdfXRef::CPdfXRef(CPdfFileStream* file) : file_(file) {}

CPdfXRef::~CPdfXRef() = default;

void CPdfXRef::open() {
    XRefImpl impl{*this};
    impl.reset();
    startXRef_ = impl.findStartXRef();
    if (startXRef_ == 0) throw CPdfException("PDF file was damaged");
    std::set<int64_t> visited;
    impl.entriesLeft = 4 * static_cast<int64_t>(impl.maxEntries());
    int64_t pos = startXRef_;
    for (;;) {
        // A chain that leads back to a section already read has lost the section it
        // should lead to, and the objects only that section lists with it.
        if (!visited.insert(pos).second || visited.size() > kMaxSections) throw CPdfException("Couldn't parse an xref");
        int64_t prev = 0, hidden = -1;
        bool more = impl.readSection(pos, prev, hidden);
        // A hybrid file keeps the objects that only readers of cross-reference
        // streams know in the stream named by XRefStm; its entries come after
        // the table's and before the older sections.
        if (hidden >= 0 && visited.insert(hidden).second) {
            int64_t ignoredPrev, ignoredHidden;
            impl.readSection(hidden, ignoredPrev, ignoredHidden);
        }
        if (!more) break;
        pos = prev;
    }
    impl.finish();
}
void CPdfXRef::openSecurity(const CPdfElement& encrypt) {
    security_.reset();
    encryptNum_ = -1;
    CPdfElement dict = encrypt;
    if (encrypt.isReference()) {
        encryptNum_ = encrypt.getRefNum();
        encryptGen_ = encrypt.getRefGen();
        if (encryptNum_ < 0 || encryptNum_ >= getNumEntries())
            throw CPdfException("PDF file is encrypted",
                                "The file is encrypted and its encryption dictionary is missing");
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
CPdfElement readObjectOrLengthFailure(CPdfParser& p) {
    try {
        return p.readObject();
    } catch (const CPdfException&) {
        if (!p.streamLengthFailed()) throw;
    }
    return CPdfElement();
}

}  // namespace

// A reference names a generation. One below the object's names an earlier object of
// that number, freed since: it leads nowhere. One above it cannot be stale, only
// miswritten, and leads to the object, as readers take it; an object-stream member
// (generation 0) is found by any. Outputs write every object with its own
// generation, so a reference leads to the same object in an output as in its input.
CPdfElement CPdfXRef::fetch(int32_t num, int32_t gen) {
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
                if (e.kind == XRefKind::InFile && gen < e.gen) return result;
                return fetchHeld(num, e.kind == XRefKind::InFile ? e.gen : 0, held->second);
            }
        }
        if (e.kind == XRefKind::InFile) {
            if (gen < e.gen) return result;
            gen = e.gen;
            const int64_t pos = impl.objectPos(num);
            if (pos < 0) {
                if (entries_[static_cast<size_t>(num)].kind == XRefKind::InObjectStream)
                    continue;  // found inside an object stream
                return result;
            }
            CPdfParser p(this, openCached(this, pos));
            CPdfElement a = p.readObject();
            if (!a.isInteger() || a.getInteger() != num) return result;
            CPdfElement b = p.readObject();
            if (!b.isInteger() || b.getInteger() != gen) return result;
            CPdfElement c = p.readObject();
            if (!c.isCommand("obj")) return result;
            if (security_ && num != encryptNum_) p.setDecryption(security_.get(), num, gen);
            CPdfElement obj = readObjectOrLengthFailure(p);
            if (p.streamLengthFailed()) {
                // The stream's Length does not lead to its end: the object is read as
                // its whole text says, which the output writes too.
                std::string text;
                if (!getRawObjectText(num, text) || memText_.count(num) == 0) return result;
                return fetchHeld(num, gen, memText_[num]);
            }
            if (obj.isEndOfInput()) return result;
            if (!p.nextIsEndobj() || p.ranPastObjectEnd()) {
                // Not followed by "endobj", or read into the next object and up to its
                // "endobj": the object may lack it, or its value may run on. What
                // its text says counts, as the output writes that text: no whole object
                // there, or the value its text holds.
                std::string text;
                if (!getRawObjectText(num, text)) return isMissing(num) ? result : obj;
                auto held = memText_.find(num);
                return fetchHeld(num, gen, held != memText_.end() ? held->second : text);
            }
            return obj;
        }
        if (e.kind == XRefKind::InObjectStream) {
            std::shared_ptr<ObjStmData> r;
            size_t b, en;
            const XRefImpl::MemberAt at = impl.locateMember(num, e, attempt == 0, r, b, en);
            if (at == XRefImpl::MemberAt::Retry) continue;
            if (at == XRefImpl::MemberAt::None) return result;
            // The parser holds the bytes; a nested fetch may replace the current object stream.
            CPdfParser p(this, new CPdfMemoryStream(r->data, b, en, CPdfElement()));
            CPdfElement obj = p.readObject();
            // A member whose bytes leave something open is read as closed where they
            // end, a repair: its text in an output gets the closers (getRawObjectText).
            if (p.endedOpen()) repaired_ = true;
            if (obj.isEndOfInput()) return result;
            return obj;
        }
        return result;
    }
    return result;
}

CPdfElement CPdfXRef::fetchHeld(int32_t num, int32_t gen, const std::string& t) {
    CPdfElement result;
    result.setNull();
    CPdfParser p(this, new CPdfMemoryStream(t.data(), t.size(), CPdfElement()));
    CPdfElement a = p.readObject();
    CPdfElement b = p.readObject();
    CPdfElement c = p.readObject();
    if (!a.isInteger() || a.getInteger() != num || !b.isInteger() || !c.isCommand("obj")) return result;
    // Held text keeps the strings as the file holds them: encrypted with the object's
    // own key, except in the text of an object stream's member (plain there).
    if (security_ && num != encryptNum_ && entries_[static_cast<size_t>(num)].kind != XRefKind::InObjectStream)
        p.setDecryption(security_.get(), num, gen);
    CPdfElement obj = p.readObject();
    if (obj.isEndOfInput()) return result;
    return obj;
}

CPdfLookupScope::CPdfLookupScope(CPdfXRef* x) : x_(x), was_(x ? x->lookupMode() : false) {
    if (x_) x_->setLookupMode(true);
}

CPdfLookupScope::~CPdfLookupScope() {
    if (x_) x_->setLookupMode(was_);
}
bool CPdfXRef::isMissing(int32_t num) const {
    return num >= 0 && static_cast<size_t>(num) < missing_.size() && missing_[static_cast<size_t>(num)] == 1;
}
void CPdfXRef::markFree(int i) {
    if (i < 0 || i >= getNumEntries()) return;
    entries_[static_cast<size_t>(i)].kind = XRefKind::Free;
}

int32_t CPdfXRef::addDirectObject(int32_t container, const std::vector<CPdfRawStep>& path) {
    if (container <= 0 || container >= getNumEntries() || getNumEntries() >= kMaxEntries) return 0;
    const int32_t num = getNumEntries();
    entries_.push_back(XRefEntry{0, 0, XRefKind::InMemory});
    if (!headerState_.empty()) {
        headerState_.push_back(0);
        spanLen_.push_back(0);
    }
    direct_.push_back(DirectObject{container, path, num});
    return num;
}

bool CPdfXRef::placeDirectObjects() {
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
        if (!getRawObjectText(container, text)) return false;
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
            if (e < b + 4 || text.compare(b, 2, "<<") != 0) return false;
            const int32_t num = pending[from + i].num;
            std::string obj = std::to_string(num) + " 0 obj\n";
            obj.append(text, b, e - b);
            obj += "\nendobj\n";
            // In an encrypted file the object's strings take its own key, as any
            // object's strings in the file do.
            if (security_) obj = XRefImpl{*this}.rekeyStrings(obj, container, num);
            memText_[num] = std::move(obj);
            text.replace(b, e - b, std::to_string(num) + " 0 R");
        }
        memText_[container] = std::move(text);
        from = to;
    }
    return true;
}

CPdfDictionary* CPdfXRef::getTrailerDict() const { return trailer_.getDictionary(); }

long CPdfXRef::findInBuffer(const char* buf, long start, long end, const char* pat, long patLen) {
    if (!buf || !pat || patLen <= 0 || start < 0 || end - start < patLen) return 0;
    const unsigned char* hit = findBytes(reinterpret_cast<const unsigned char*>(buf) + start,
                                         static_cast<size_t>(end - start), pat, static_cast<size_t>(patLen));
    if (!hit) return 0;
    return static_cast<long>(hit - reinterpret_cast<const unsigned char*>(buf)) + patLen - 1;
}

long CPdfXRef::readNumberAfter(const char* buf, long len, const char* pat, bool* isRef) {
    if (isRef) *isRef = false;
    long at = findInBuffer(buf, 0, len, pat, static_cast<long>(std::strlen(pat)));
    if (at == 0) return 0;
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
    if (v > LONG_MAX) v = LONG_MAX;
    if (isRef && i + 4 <= len && std::memcmp(buf + i, " 0 R", 4) == 0) *isRef = true;
    return static_cast<long>(v);
}
