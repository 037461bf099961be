// Repair: the table of a damaged file rebuilt from the objects found in the whole
// file, and objects the entries miss found where they are.
#include "pdf/CPdfXRefImpl.h"

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfObjectScan.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"

int32_t XRefImpl::rebuiltCap() const {
    const int64_t cap = std::max<int64_t>(CPdfXRef::kMinRebuiltEntries, 2 * static_cast<int64_t>(maxEntries()));
    return static_cast<int32_t>(std::min<int64_t>(cap, CPdfXRef::kMaxEntries));
}

// The entries of every object found in the file: of each number, the last whole
// object counts; a member of an object stream counts where its stream stands.
void XRefImpl::rebuildEntries() {
    CPdfObjectScan& s = scan();
    const int32_t cap = rebuiltCap();
    std::vector<int64_t> at;  // per entry, where the object that made it stands
    auto place = [&](int32_t num, const XRefEntry& e, int64_t pos) {
        if (num <= 0 || num >= cap) return;
        if (static_cast<size_t>(num) >= x.entries_.size()) {
            grow(num + 1);
            at.resize(x.entries_.size(), -1);
        }
        if (at[static_cast<size_t>(num)] > pos) return;  // a later object of that number counts
        x.entries_[static_cast<size_t>(num)] = e;
        at[static_cast<size_t>(num)] = pos;
    };
    for (const CPdfObjectScan::Object& o : s.objects())
        place(o.num, XRefEntry{static_cast<uint64_t>(o.pos - x.start_), o.gen, XRefKind::InFile}, o.pos);
    if (x.entries_.empty()) throw CPdfException("PDF file was damaged");
    // An encrypted file: object streams are read through the security handler of
    // the last trailer that names one.
    const std::vector<CPdfObjectScan::Trailer>& ts = s.trailers();
    bool encrypted = false;
    for (size_t i = ts.size(); i-- > 0 && !encrypted;) {
        CPdfDictionary* d = ts[i].dict.getDictionary();
        const CPdfElement* enc = d ? d->find("Encrypt") : nullptr;
        if (!enc || !(enc->isReference() || enc->isDictionary())) continue;
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
            if (o.flags & CPdfObjectScan::kEncrypt) throw CPdfException("PDF file was damaged");
    // Each object stream that the table holds where the scan found it gives its
    // members, stream by stream in file order.
    for (const CPdfObjectScan::Object& o : s.objects()) {
        if (!(o.flags & CPdfObjectScan::kObjStm) || o.num <= 0 || o.num >= x.getNumEntries()) continue;
        const XRefEntry e = x.entries_[static_cast<size_t>(o.num)];
        if (e.kind != XRefKind::InFile || x.start_ + static_cast<int64_t>(e.offset) != o.pos) continue;
        std::vector<int32_t> nums = memberNumbers(o.num, e.gen);
        for (size_t k = 0; k < nums.size(); ++k) {
            // An object stream does not hold itself, nor one that holds it.
            if (nums[k] == o.num) continue;
            place(nums[k], XRefEntry{static_cast<uint64_t>(o.num), static_cast<int32_t>(k), XRefKind::InObjectStream},
                  o.pos);
        }
    }
    // The object streams are read again through the finished table.
    x.rawObjStm_.reset();
    x.membersScanned_ = true;  // the scan's members are in the table already
}

// The trailer: the last one found whose Root leads to a dictionary, else one made
// for the catalog found last.
void XRefImpl::chooseTrailer() {
    finishEntriesForLookups();
    CPdfObjectScan& s = scan();
    const std::vector<CPdfObjectScan::Trailer>& ts = s.trailers();
    for (size_t i = ts.size(); i-- > 0;) {
        CPdfDictionary* d = ts[i].dict.getDictionary();
        const CPdfElement* root = d ? d->find("Root") : nullptr;
        if (!root || !root->isReference() || !isCatalog(root->getRefNum(), root->getRefGen())) continue;
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
        if (e.kind != XRefKind::InObjectStream || e.offset >= x.entries_.size()) continue;
        const XRefEntry& st = x.entries_[static_cast<size_t>(e.offset)];
        const int64_t pos = x.start_ + static_cast<int64_t>(st.offset);
        if (st.kind == XRefKind::InFile && pos > bestPos && isCatalog(static_cast<int32_t>(n), 0)) {
            best = static_cast<int32_t>(n);
            bestPos = pos;
        }
    }
    if (best < 0) throw CPdfException("PDF file was damaged");
    // Without a trailer, an encrypted file does not show it: its streams then do
    // not start as Flate data says they do. Such a file cannot be read, nor
    // written as it was.
    int checked = 0, flate = 0;
    for (const CPdfObjectScan::Object& o : s.objects()) {
        if (!(o.flags & CPdfObjectScan::kFlate) || checked == 4) continue;
        CPdfObjectScan::Extent e;
        if (!s.extent(o.pos, nullptr, e) || !e.stream || e.dataEnd - e.dataStart < 2) continue;
        ++checked;
        const std::string head = s.bytes(e.dataStart, 2);
        const unsigned cmf = static_cast<unsigned char>(head[0]), flg = static_cast<unsigned char>(head[1]);
        if ((cmf & 15) == 8 && (cmf * 256 + flg) % 31 == 0) ++flate;
    }
    if (checked > 0 && flate == 0) throw CPdfException("PDF file was damaged");
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
void XRefImpl::finishEntriesForLookups() {
    for (XRefEntry& e : x.entries_)
        if (e.offset == kUnfilled) e = XRefEntry{kUnfilledAfterOpen, 0, XRefKind::Free};
    x.objStmMembers_.clear();
    for (const XRefEntry& e : x.entries_)
        if (e.kind == XRefKind::InObjectStream && e.offset <= static_cast<uint64_t>(INT32_MAX) && e.gen >= 0)
            x.objStmMembers_.emplace_back(static_cast<int32_t>(e.offset), e.gen);
    std::sort(x.objStmMembers_.begin(), x.objStmMembers_.end());
    x.objStmMembers_.erase(std::unique(x.objStmMembers_.begin(), x.objStmMembers_.end()), x.objStmMembers_.end());
}

// True when object (num, gen) is a dictionary that can be the catalog: of /Type
// /Catalog, or with a /Pages dictionary.
bool XRefImpl::isCatalog(int32_t num, int32_t gen) {
    if (num <= 0 || num >= x.getNumEntries()) return false;
    CPdfElement c;
    try {
        c = x.fetch(num, gen);
    } catch (const CPdfException&) {
        return false;
    }
    CPdfDictionary* d = c.isDictionary() ? c.getDictionary() : nullptr;
    if (!d) return false;
    if (d->isType("Catalog")) return true;
    CPdfElement pages;
    try {
        pages = d->lookup("Pages");
    } catch (const CPdfException&) {
        return false;
    }
    return pages.isDictionary();
}

CPdfObjectScan& XRefImpl::scan() {
    if (!x.scan_) {
        x.scan_.reset(new CPdfObjectScan);
        x.scan_->run(x.file_, x.start_);
    }
    return *x.scan_;
}

unsigned char& XRefImpl::repairState(int32_t num) {
    if (x.missing_.size() < x.entries_.size()) x.missing_.resize(x.entries_.size(), 0);
    return x.missing_[static_cast<size_t>(num)];
}

void XRefImpl::markMissing(int32_t num) {
    repairState(num) = kMissing;
    x.repaired_ = true;
}

// The members of every object stream the scan found that the table holds where the
// scan found it, read once.
void XRefImpl::scanMembers() {
    if (x.membersScanned_) return;
    x.membersScanned_ = true;
    CPdfObjectScan& s = scan();
    for (const CPdfObjectScan::Object& o : s.objects()) {
        if (!(o.flags & CPdfObjectScan::kObjStm) || o.num <= 0 || o.num >= x.getNumEntries()) continue;
        const XRefEntry& e = x.entries_[static_cast<size_t>(o.num)];
        if (e.kind != XRefKind::InFile || x.start_ + static_cast<int64_t>(e.offset) != o.pos) continue;
        std::vector<int32_t> nums = memberNumbers(o.num, e.gen);
        for (size_t k = 0; k < nums.size(); ++k)
            x.scannedMembers_.push_back(CPdfXRef::ScannedMember{nums[k], o.num, static_cast<int32_t>(k), o.pos});
    }
    std::stable_sort(x.scannedMembers_.begin(), x.scannedMembers_.end(),
                     [](const CPdfXRef::ScannedMember& a, const CPdfXRef::ScannedMember& b) {
                         return a.num != b.num ? a.num < b.num : a.pos < b.pos;
                     });
}

// The object numbers listed in the header of object stream s, by index; empty when
// it cannot be read.
std::vector<int32_t> XRefImpl::memberNumbers(int32_t s, int32_t gen) {
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
    if (!d) return nums;
    CPdfElement n = d->lookup("N");
    CPdfElement first = d->lookup("First");
    if (!n.isInteger() || n.getInteger() <= 0 || !first.isInteger() || first.getInteger() <= 0) return nums;
    BudgetWindow* header = new BudgetWindow(obj.getStream(), first.getInteger(), budget);
    header->addRef();  // one for the parser, one to tell whether the budget ran out
    {
        CPdfParser p(nullptr, header);
        for (int64_t k = 0; k < n.getInteger(); ++k) {
            CPdfElement a = p.readObject();
            CPdfElement b = p.readObject();
            if (!a.isInteger() || !b.isInteger()) break;
            nums.push_back(a.getInteger());
        }
    }
    if (header->spent()) c.budgetSpent = true;
    header->release();
    return nums;
}

// Entry num does not lead to its object: the object is looked for among all that
// the file holds, and the last whole one of that number counts (a member of an
// object stream counts where the stream stands). True when the entry now leads
// somewhere else; false when it cannot (the entry is then missing, unless the
// search could not be completed).
bool XRefImpl::relocate(int32_t num) {
    unsigned char& state = repairState(num);
    if (state != 0) return false;  // looked for once already
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
    if (m != x.scannedMembers_.begin() && (m - 1)->num == num && wantGen == 0) member = &*(m - 1);
    if (member && member->pos > plainPos) {
        if (!(e.kind == XRefKind::InObjectStream && e.offset == static_cast<uint64_t>(member->stream) &&
              e.gen == member->index)) {
            e = XRefEntry{static_cast<uint64_t>(member->stream), member->index, XRefKind::InObjectStream};
            nameMember(member->stream, member->index);
            x.repaired_ = true;
            return true;
        }
    } else if (plainPos >= 0 &&
               !(e.kind == XRefKind::InFile && x.start_ + static_cast<int64_t>(e.offset) == plainPos)) {
        e = XRefEntry{static_cast<uint64_t>(plainPos - x.start_), wantGen, XRefKind::InFile};
        if (static_cast<size_t>(num) < x.headerState_.size()) {
            x.headerState_[static_cast<size_t>(num)] = 0;
            x.spanLen_[static_cast<size_t>(num)] = 0;
        }
        x.repaired_ = true;
        return true;
    }
    if (!caches().budgetSpent) markMissing(num);
    return false;
}

// text (object to's own text) with every string encrypted with the key of (to, 0);
// the strings come from object from: encrypted with its key when it is stored in
// the file, plain when it is a member of an object stream.
std::string XRefImpl::rekeyStrings(const std::string& text, int32_t from, int32_t to) {
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
        if (t == CPdfRawScan::kEnd) break;
        if (t != CPdfRawScan::kString && t != CPdfRawScan::kHexString) continue;
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
void XRefImpl::nameMember(int32_t stream, int32_t index) {
    const std::pair<int32_t, int32_t> m(stream, index);
    auto at = std::lower_bound(x.objStmMembers_.begin(), x.objStmMembers_.end(), m);
    if (at != x.objStmMembers_.end() && *at == m) return;
    x.objStmMembers_.insert(at, m);
    RawObjectStream& c = caches();
    c.recent.erase(std::remove_if(c.recent.begin(), c.recent.end(),
                                  [stream](const std::shared_ptr<ObjStmData>& d) { return d->num == stream; }),
                   c.recent.end());
}

// The extent of the object at pos, a Length held in another object read through
// the table.
bool XRefImpl::objectExtent(int64_t pos, CPdfObjectScan::Extent& e) {
    const CPdfObjectScan::LengthOf lengthOf = [this](int32_t n, int32_t g, int64_t& v) {
        if (n < 0 || n >= x.getNumEntries()) return false;
        CPdfElement l = x.fetch(n, g);
        if (!l.isInteger()) return false;
        v = l.getInteger();
        return true;
    };
    return scan().extent(pos, lengthOf, e);
}

// Object num (at pos) cannot be copied as the file holds it: it is given whole text,
// held in memory, that the parser reads as it reads the object. A stream gets the
// Length of its data (found as CPdfObjectScan says) and "endstream"; any object its
// "endobj". False when the file holds no whole object there (the entry is missing).
bool XRefImpl::giveWholeText(int32_t num, int64_t pos) {
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
    if (c.held + size > 4 * x.fileSize_ + (int64_t(64) << 20)) return false;
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

void CPdfXRef::rebuild() {
    XRefImpl impl{*this};
    impl.reset();
    impl.rebuildEntries();
    repaired_ = true;
    // The trailer that the encryption was opened with, when there is one.
    const CPdfElement opened = security_ ? trailer_ : CPdfElement();
    impl.chooseTrailer();
    impl.keepEncryptionEntries(opened);
    impl.finish();
}

// The strings and streams of an encrypted file were read with the key that the
// trailer naming its encryption dictionary gives, of which the first /ID string is
// part. A trailer chosen in its place (one whose Root leads to the catalog, or one
// made for the catalog) takes its /Encrypt and /ID where it has none, so that
// outputs, which are encrypted as the input was, carry them and can be read.
void XRefImpl::keepEncryptionEntries(const CPdfElement& opened) {
    CPdfDictionary* from = opened.isDictionary() ? opened.getDictionary() : nullptr;
    CPdfDictionary* to = x.trailer_.isDictionary() ? x.trailer_.getDictionary() : nullptr;
    if (!from || !to || from == to) return;
    for (const char* key : {"Encrypt", "ID"}) {
        const CPdfElement* v = from->find(key);
        if (v && !to->find(key)) to->add(key, *v);
    }
}
