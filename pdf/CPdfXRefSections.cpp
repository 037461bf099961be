// Reading the cross-reference data: the startxref pointer, classic tables,
// cross-reference streams and the chain of Prev sections.
#include "pdf/CPdfXRefImpl.h"

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfObjectScan.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"

int64_t XRefImpl::findStartXRef() {
    int64_t size = x.fileSize_;
    int64_t from = size > 1023 ? size - 1023 : 0;
    char buf[1024];
    size_t n = x.file_->readAt(from, reinterpret_cast<unsigned char*>(buf), 1023);
    for (size_t i = 0; i < n; ++i)
        if (buf[i] == 0) buf[i] = ' ';
    buf[n] = 0;
    if (n < 9) return 0;
    for (size_t i = n - 9 + 1; i-- > 0;) {
        if (std::memcmp(buf + i, "startxref", 9) == 0) {
            const char* p = buf + i + 9;
            while (*p && isPdfWhite(static_cast<unsigned char>(*p)))
                ++p;
            long long v = std::strtoll(p, nullptr, 10);
            if (v < 0) return 0;
            return v;
        }
    }
    return 0;
}

// Reads the section at pos; returns true and sets prev when an older section
// follows. A classic table of a hybrid file sets hidden to the offset of its
// cross-reference stream ("XRefStm"), else -1.
bool XRefImpl::readSection(int64_t pos, int64_t& prev, int64_t& hidden) {
    hidden = -1;
    // Compared without adding first: a Prev or startxref value near the top of the
    // 64-bit range must not overflow.
    if (pos < 0 || pos >= x.fileSize_ - x.start_) throw CPdfException("Couldn't parse an xref");
    CPdfParser p(nullptr, x.file_->openWindow(x.start_ + pos, 0, CPdfElement()));
    CPdfElement obj = p.readObject();
    if (obj.isCommand("xref")) return readClassic(p, prev, hidden);
    if (obj.isInteger()) {
        CPdfElement gen = p.readObject();
        CPdfElement kw = p.readObject();
        if (!gen.isInteger() || !kw.isCommand("obj")) throw CPdfException("Couldn't parse an xref stream");
        CPdfElement str = p.readObject();
        if (!str.isStream()) throw CPdfException("Couldn't parse an xref stream");
        return readXRefStream(str, prev);
    }
    throw CPdfException("Couldn't parse an xref");
}

bool XRefImpl::prevOf(const CPdfDictionary* d, int64_t& prev) {
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

bool XRefImpl::readClassic(CPdfParser& p, int64_t& prev, int64_t& hidden) {
    const int32_t cap = maxEntries();
    for (;;) {
        CPdfElement obj = p.readObject();
        if (obj.isCommandKind()) {
            if (!obj.isCommand("trailer")) throw CPdfException("Couldn't parse an xref table");
            CPdfElement t = p.readObject();
            if (!t.isDictionary()) throw CPdfException("Trailer dictionary is wrong type");
            if (x.trailer_.isNone()) x.trailer_ = t;
            const CPdfElement* stm = t.getDictionary()->find("XRefStm");
            if (stm && stm->isInteger()) hidden = stm->getInteger();
            return prevOf(t.getDictionary(), prev);
        }
        if (!obj.isInteger()) throw CPdfException("Couldn't parse an xref table");
        CPdfElement cnt = p.readObject();
        if (!cnt.isInteger()) throw CPdfException("Couldn't parse an xref table");
        int64_t f = obj.getInteger();
        int64_t n = cnt.getInteger();
        if (f < 0 || n < 0 || f + n > cap) throw CPdfException("Couldn't parse an xref table");
        // Each entry takes at least six bytes of the file: a count the file
        // cannot hold is refused before the table grows.
        if (n > x.fileSize_ / 6 + 1 || n > entriesLeft) throw CPdfException("Couldn't parse an xref table");
        entriesLeft -= n;
        grow(f + n);
        for (int64_t i = f; i < f + n; ++i) {
            CPdfElement off = p.readObject();
            CPdfElement gen = p.readObject();
            CPdfElement kind = p.readObject();
            if (!off.isInteger() || !gen.isInteger()) throw CPdfException("Couldn't parse an xref table");
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

bool XRefImpl::readXRefStream(const CPdfElement& str, int64_t& prev) {
    CPdfDictionary* d = str.getDictionary();
    const int32_t cap = maxEntries();
    const CPdfElement* size = d->find("Size");
    if (!size || !size->isInteger() || size->getInteger() < 0 || size->getInteger() > cap)
        throw CPdfException("Size of xref Stream is wrong type");
    grow(size->getInteger());
    const CPdfElement* w = d->find("W");
    if (!w || !w->isArray()) throw CPdfException("W item of xref Stream is wrong type");
    CPdfArray* wa = w->getArray();
    if (wa->getLength() < 3) throw CPdfException("W item of xref Stream is wrong length");
    int widths[3];
    for (int i = 0; i < 3; ++i) {
        const CPdfElement& wi = wa->at(i);
        if (!wi.isInteger()) throw CPdfException("W item of xref Stream is wrong type");
        widths[i] = wi.getInteger();
        // A field is read into 64 bits; a negative kind width means "all free".
        if (widths[i] > 8 || (i > 0 && widths[i] < 0)) throw CPdfException("W item of xref Stream is wrong type");
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
            if (!a.isInteger() || !b.isInteger()) throw CPdfException("Index item of xref Stream is wrong type");
            int64_t f = a.getInteger(), n = b.getInteger();
            if (f < 0 || n < 0 || f + n > cap) throw CPdfException("Index item of xref Stream is wrong type");
            readStreamSection(r, f, n, widths);
        }
    } else {
        readStreamSection(r, 0, size->getInteger(), widths);
    }
    if (x.trailer_.isNone()) x.trailer_.setSharedDictionary(d);
    return prevOf(d, prev);
}

void XRefImpl::readStreamSection(EntryReader& r, int64_t f, int64_t n, const int widths[3]) {
    if (n > entriesLeft) throw CPdfException("Index item of xref Stream is wrong type");
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
        if (e.offset != kUnfilled) continue;
        if (kind > 2) throw CPdfException("Wrong type of xref entry while reading xref stream section");
        e.kind = static_cast<XRefKind>(kind);
        e.offset = f2 == kUnfilled ? kUnfilled - 1 : f2;
        e.gen = static_cast<int32_t>(f3);
    }
}
