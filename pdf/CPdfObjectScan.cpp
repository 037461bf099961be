#include "pdf/CPdfObjectScan.h"

#include <algorithm>
#include <cstring>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfRawScan.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"

namespace {

const size_t kChunk = size_t(4) << 20;               // bytes searched at a time
const int64_t kBack = 64;                            // bytes kept before a chunk, for the header's digits
const int64_t kAhead = 16;                           // bytes kept after it, for keywords across its end
const int64_t kFirstRead = 4096;                     // bytes read for an object before reading on
const int64_t kMaxObjectBytes = int64_t(256) << 20;  // the most read for one object's value
const int64_t kTrailerBytes = int64_t(1) << 20;      // the most read for one trailer
const int kMaxDigits = 10;

inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// The value of a run of decimal digits (at most kMaxDigits of them).
int64_t DigitsValue(const unsigned char* p, size_t n) {
    int64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = v * 10 + (p[i] - '0');
    return v;
}

// True when the bytes of w are a plain non-negative integer.
bool PlainInteger(const std::string& w) {
    if (w.empty()) return false;
    for (char ch : w)
        if (!IsDigit(static_cast<unsigned char>(ch))) return false;
    return true;
}

// A parsed value of bytes held in memory (references unresolved).
CPdfElement ParseValue(const std::string& text, size_t from, size_t to) {
    if (to <= from) return CPdfElement();
    CPdfParser p(nullptr, new CPdfMemoryStream(text.data() + from, to - from, CPdfElement()));
    return p.readObject();
}

}  // namespace

std::string CPdfObjectScan::bytes(int64_t pos, int64_t n) const {
    std::string out;
    if (pos < 0 || pos >= size_ || n <= 0) return out;
    if (n > size_ - pos) n = size_ - pos;
    out.resize(static_cast<size_t>(n));
    out.resize(file_->readAt(pos, reinterpret_cast<unsigned char*>(&out[0]), static_cast<size_t>(n)));
    return out;
}

int64_t CPdfObjectScan::firstAtOrAfter(const std::vector<int64_t>& v, int64_t pos) const {
    auto it = std::lower_bound(v.begin(), v.end(), pos);
    return it == v.end() ? size_ : *it;
}

void CPdfObjectScan::findKeywords(int64_t from) {
    std::vector<unsigned char> buf;
    for (int64_t at = from; at < size_;) {
        const int64_t lo = std::max(from, at - kBack);
        const int64_t want = std::min<int64_t>(static_cast<int64_t>(kChunk) + (at - lo) + kAhead, size_ - lo);
        buf.resize(static_cast<size_t>(want));
        const size_t n = file_->readAt(lo, buf.data(), buf.size());
        if (n == 0) break;
        const int64_t end = lo + static_cast<int64_t>(n);
        // Matches starting in [at, own) belong to this chunk; the last bytes are read
        // again with the next one.
        const int64_t own = end >= size_ ? end : std::max(at + 1, end - kAhead);
        const unsigned char* b = buf.data();
        auto byteAt = [&](int64_t p) { return p >= lo && p < end ? static_cast<int>(b[p - lo]) : -1; };
        auto endsToken = [&](int64_t p) {  // no regular byte at p (or the file ends there)
            return p >= size_ || !CPdfRawScan::IsRegular(byteAt(p));
        };

        // Object headers "n g obj": the "obj" keyword, then the two integers before it.
        for (int64_t q = at; q < own;) {
            const void* hit = std::memchr(b + (q - lo), 'j', static_cast<size_t>(own - q));
            if (!hit) break;
            const int64_t j = lo + (static_cast<const unsigned char*>(hit) - b);
            q = j + 1;
            const int64_t o = j - 2;  // the 'o' of "obj"
            if (o < lo || byteAt(o) != 'o' || byteAt(o + 1) != 'b' || !endsToken(j + 1)) continue;
            int64_t k = o - 1;
            // The generation, maybe right before "obj" ("0obj" is two tokens too).
            while (k >= lo && CPdfRawScan::IsWhite(byteAt(k)))
                --k;
            const int64_t genEnd = k + 1;
            while (k >= lo && IsDigit(static_cast<unsigned char>(byteAt(k))) && genEnd - k <= kMaxDigits)
                --k;
            const int64_t genStart = k + 1;
            if (genStart == genEnd || k < lo || !CPdfRawScan::IsWhite(byteAt(k))) continue;
            // The number, a token of its own.
            while (k >= lo && CPdfRawScan::IsWhite(byteAt(k)))
                --k;
            const int64_t nEnd = k + 1;
            while (k >= lo && IsDigit(static_cast<unsigned char>(byteAt(k))) && nEnd - k <= kMaxDigits)
                --k;
            const int64_t nStart = k + 1;
            if (nStart == nEnd || (k >= lo ? CPdfRawScan::IsRegular(byteAt(k)) : lo > from)) continue;
            const int64_t num = DigitsValue(b + (nStart - lo), static_cast<size_t>(nEnd - nStart));
            const int64_t gen = DigitsValue(b + (genStart - lo), static_cast<size_t>(genEnd - genStart));
            if (num > INT32_MAX || gen > INT32_MAX) continue;
            headers_.push_back(nStart);
            headerNums_.push_back(static_cast<int32_t>(num));
            headerGens_.push_back(static_cast<int32_t>(gen));
        }

        // Keywords: "endstream" and "endobj" wherever they stand (stream data may end
        // right before them), "trailer" as a token of its own.
        struct Kw {
            const char* text;
            size_t len;
            std::vector<int64_t>* out;
            bool ownStart;
        };
        const Kw kws[] = {{"endstream", 9, &endstreams_, false},
                          {"endobj", 6, &endobjs_, false},
                          {"trailer", 7, &trailerKeywords_, true}};
        for (const Kw& kw : kws) {
            for (int64_t q = at; q < own;) {
                const void* hit = std::memchr(b + (q - lo), kw.text[0], static_cast<size_t>(own - q));
                if (!hit) break;
                const int64_t s = lo + (static_cast<const unsigned char*>(hit) - b);
                q = s + 1;
                if (s + static_cast<int64_t>(kw.len) > end || std::memcmp(b + (s - lo), kw.text, kw.len) != 0) continue;
                if (!endsToken(s + static_cast<int64_t>(kw.len))) continue;
                if (kw.ownStart && s > from && CPdfRawScan::IsRegular(byteAt(s - 1))) continue;
                kw.out->push_back(s);
            }
        }
        at = own;
    }
}

int64_t CPdfObjectScan::keywordAt(int64_t pos, const char* kw) const {
    const std::string b = bytes(pos, 256);
    CPdfMemoryCursor c(b);
    std::string w;
    if (CPdfRawScan::Next(c, &w) == CPdfRawScan::kKeyword && w == kw) return pos + c.pos();
    return -1;
}

bool CPdfObjectScan::extent(int64_t pos, const LengthOf& lengthOf, Extent& out) const {
    out = Extent();
    const int64_t bound = firstAtOrAfter(headers_, pos + 1);
    int64_t want = std::min(bound - pos, kFirstRead);
    for (;;) {
        const std::string b = bytes(pos, want);
        CPdfMemoryCursor c(b);
        std::string w;
        if (CPdfRawScan::Next(c, &w) != CPdfRawScan::kNumber || !PlainInteger(w) ||
            CPdfRawScan::Next(c, &w) != CPdfRawScan::kNumber || !PlainInteger(w) ||
            CPdfRawScan::Next(c, &w) != CPdfRawScan::kKeyword || w != "obj")
            return false;
        const int64_t afterHeader = c.pos();
        int64_t first;
        const CPdfRawScan::Token t0 = CPdfRawScan::Next(c, nullptr, &first);
        c.seek(afterHeader);
        const bool complete = CPdfRawScan::ReadCompleteValue(c);
        // Read on when the value, or the line after a dictionary, may go on past the
        // bytes at hand.
        const bool more = static_cast<int64_t>(b.size()) < bound - pos && want < kMaxObjectBytes;
        if ((!complete || c.pos() + 16 > static_cast<int64_t>(b.size())) && more) {
            want = std::min(bound - pos, kMaxObjectBytes);
            continue;
        }
        if (!complete) return true;
        out.complete = true;
        out.valueStart = pos + first;
        out.valueEnd = pos + c.pos();
        const int64_t valueEnd = c.pos();
        const CPdfRawScan::Token t1 = CPdfRawScan::Next(c, &w);
        if (t0 == CPdfRawScan::kDictOpen && t1 == CPdfRawScan::kKeyword && w == "stream") {
            out.stream = true;
            CPdfRawScan::SkipLineEnd(c);
            out.dataStart = pos + c.pos();
            out.dict = ParseValue(b, static_cast<size_t>(first), static_cast<size_t>(valueEnd));
        } else {
            out.endobj = t1 == CPdfRawScan::kKeyword && w == "endobj";
            return true;
        }
        break;
    }

    // The data of a stream: its Length when the Length leads to "endstream" (or to
    // "endobj" when "endstream" is missing), else up to what comes first.
    int64_t length = -1;
    if (CPdfDictionary* d = out.dict.getDictionary()) {
        const CPdfElement* len = d->find("Length");
        if (len && len->isInteger() && len->getInteger() >= 0) {
            length = len->getInteger();
        } else if (len && len->isReference() && lengthOf) {
            int64_t v;
            if (lengthOf(len->getRefNum(), len->getRefGen(), v) && v >= 0) length = v;
        }
    }
    // The first "endstream" before the next header (the data may hold "endobj"),
    // the first "endobj", the next header.
    const int64_t e = firstAtOrAfter(endstreams_, out.dataStart);
    const int64_t o = firstAtOrAfter(endobjs_, out.dataStart);
    const int64_t h = firstAtOrAfter(headers_, out.dataStart);
    int64_t tail = -1;  // just after "endstream"
    if (length >= 0 && length <= size_ - out.dataStart) {
        const int64_t after = out.dataStart + length;
        const int64_t k = keywordAt(after, "endstream");
        if (k >= 0) {
            out.dataEnd = after;
            out.lengthLeads = true;
            out.endstream = true;
            tail = k;
        } else if (e >= h && keywordAt(after, "endobj") >= 0) {
            // No "endstream" at all: the Length leads to "endobj".
            out.dataEnd = after;
            out.endobj = true;
            return true;
        }
    }
    if (tail < 0) {
        // The first "endstream" before the next header ends the data; without one,
        // "endstream" is missing and the first "endobj" or header ends it.
        const int64_t cut = e < h ? e : std::min(std::min(o, h), size_);
        int64_t dataEnd = cut;
        if (cut < size_) {
            // The line end before the keyword is not part of the data.
            const std::string eol = bytes(std::max(out.dataStart, cut - 2), cut - std::max(out.dataStart, cut - 2));
            size_t n = eol.size();
            if (n > 0 && eol[n - 1] == '\n') {
                --n;
                --dataEnd;
            }
            if (n > 0 && eol[n - 1] == '\r') --dataEnd;
        }
        out.dataEnd = dataEnd;
        if (cut == e && e < size_) {
            out.endstream = true;
            tail = e + 9;
        } else if (cut == o && o < size_) {
            out.endobj = true;
            return true;
        }
    }
    if (tail >= 0) out.endobj = keywordAt(tail, "endobj") >= 0;
    return true;
}

int CPdfObjectScan::lastOf(int32_t num) const {
    auto it = std::lower_bound(lastIndex_.begin(), lastIndex_.end(), std::make_pair(num, 0));
    return it != lastIndex_.end() && it->first == num ? it->second : -1;
}

int64_t CPdfObjectScan::lastHeaderOf(int32_t num, int32_t gen) const {
    int64_t found = -1;
    for (size_t i = 0; i < headers_.size(); ++i)
        if (headerNums_[i] == num && headerGens_[i] == gen) found = headers_[i];
    return found;
}

void CPdfObjectScan::run(CPdfFileStream* file, int64_t from) {
    file_ = file;
    size_ = file->fileSize();
    headers_.clear();
    headerNums_.clear();
    headerGens_.clear();
    endstreams_.clear();
    endobjs_.clear();
    trailerKeywords_.clear();
    objects_.clear();
    trailers_.clear();
    lastIndex_.clear();
    if (from < 0) from = 0;
    findKeywords(from);

    // A Length held in another object: that object's last header, read as "n g obj
    // integer". The headers of each number are found through a sorted index.
    std::vector<size_t> byNum(headers_.size());
    for (size_t i = 0; i < byNum.size(); ++i)
        byNum[i] = i;
    std::stable_sort(byNum.begin(), byNum.end(), [this](size_t a, size_t b) {
        return headerNums_[a] != headerNums_[b] ? headerNums_[a] < headerNums_[b] : headerGens_[a] < headerGens_[b];
    });
    const LengthOf lengthOf = [this, &byNum](int32_t num, int32_t gen, int64_t& value) {
        auto it = std::upper_bound(byNum.begin(), byNum.end(), std::make_pair(num, gen),
                                   [this](const std::pair<int32_t, int32_t>& k, size_t i) {
                                       return k.first != headerNums_[i] ? k.first < headerNums_[i]
                                                                        : k.second < headerGens_[i];
                                   });
        if (it == byNum.begin()) return false;
        const size_t i = *(it - 1);
        if (headerNums_[i] != num || headerGens_[i] != gen) return false;
        const std::string b = bytes(headers_[i], 96);
        CPdfMemoryCursor c(b);
        std::string w;
        for (int k = 0; k < 3; ++k)
            CPdfRawScan::Next(c, &w);
        if (w != "obj" || CPdfRawScan::Next(c, &w) != CPdfRawScan::kNumber || !PlainInteger(w) || w.size() > 12)
            return false;
        value = std::stoll(w);
        std::string after;
        return CPdfRawScan::Next(c, &after) != CPdfRawScan::kKeyword || after == "endobj";
    };

    // The objects, in file order; headers inside the data of a stream are not objects.
    std::vector<std::pair<int64_t, int64_t>> data;  // the data of the streams found
    int64_t skipUntil = from;
    for (size_t i = 0; i < headers_.size(); ++i) {
        const int64_t pos = headers_[i];
        if (pos < skipUntil) continue;
        Extent e;
        if (!extent(pos, lengthOf, e) || !e.complete) continue;
        uint8_t flags = 0;
        if (e.stream) {
            flags |= kStream;
            if (CPdfDictionary* d = e.dict.getDictionary()) {
                if (d->isType("ObjStm")) flags |= kObjStm;
                if (d->isType("XRef")) flags |= kXRefStream;
                const CPdfElement* f = d->find("Filter");
                if (f && f->isArray() && f->getArray()->getLength() > 0) f = &f->getArray()->at(0);
                if (f && f->isName("FlateDecode")) flags |= kFlate;
            }
            skipUntil = std::max(skipUntil, e.dataEnd);
            data.emplace_back(e.dataStart, e.dataEnd);
        } else if (e.valueEnd - e.valueStart < 65536) {
            // Only a dictionary of usual size can be a catalog or an encryption
            // dictionary.
            const std::string b = bytes(e.valueStart, e.valueEnd - e.valueStart);
            const bool catalog = b.find("Catalog") != std::string::npos;
            const bool standard = b.find("Standard") != std::string::npos;
            if (b.compare(0, 2, "<<") == 0 && (catalog || standard)) {
                CPdfElement v = ParseValue(b, 0, b.size());
                CPdfDictionary* d = v.isDictionary() ? v.getDictionary() : nullptr;
                if (d && catalog && d->isType("Catalog")) flags |= kCatalog;
                const CPdfElement* filter = d ? d->find("Filter") : nullptr;
                if (filter && filter->isName("Standard") && d->find("O") && d->find("U")) flags |= kEncrypt;
            }
        }
        objects_.push_back(Object{headerNums_[i], headerGens_[i], pos, flags});
        if (flags & kXRefStream) trailers_.push_back(Trailer{pos, e.dict});
    }

    // Trailers after the keyword, outside stream data.
    for (size_t i = 0; i < trailerKeywords_.size(); ++i) {
        const int64_t t = trailerKeywords_[i];
        auto in = std::upper_bound(data.begin(), data.end(), std::make_pair(t, INT64_MAX));
        if (in != data.begin() && t < (in - 1)->second) continue;
        int64_t stop = std::min(firstAtOrAfter(headers_, t), t + 7 + kTrailerBytes);
        if (i + 1 < trailerKeywords_.size()) stop = std::min(stop, trailerKeywords_[i + 1]);
        const std::string b = bytes(t + 7, stop - (t + 7));
        CPdfElement d = ParseValue(b, 0, b.size());
        if (d.isDictionary()) trailers_.push_back(Trailer{t, d});
    }
    std::stable_sort(trailers_.begin(), trailers_.end(),
                     [](const Trailer& a, const Trailer& b) { return a.pos < b.pos; });

    lastIndex_.reserve(objects_.size());
    for (size_t k = 0; k < objects_.size(); ++k)
        lastIndex_.emplace_back(objects_[k].num, static_cast<int>(k));
    std::stable_sort(
        lastIndex_.begin(), lastIndex_.end(),
        [](const std::pair<int32_t, int>& a, const std::pair<int32_t, int>& b) { return a.first < b.first; });
    // Of each number, the last one found counts.
    std::vector<std::pair<int32_t, int>> last;
    for (size_t k = 0; k < lastIndex_.size(); ++k) {
        if (k + 1 < lastIndex_.size() && lastIndex_[k + 1].first == lastIndex_[k].first) continue;
        last.push_back(lastIndex_[k]);
    }
    lastIndex_.swap(last);
}
