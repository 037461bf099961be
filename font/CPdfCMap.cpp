#include "font/CPdfCMap.h"

#include <algorithm>
#include <cstring>

#include "font/CMapParser.h"
#include "font/FontFile.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfElement.h"
#include "stream/CPdfStream.h"

namespace {

constexpr size_t kMaxCMapBytes = size_t{4} << 20;
// Steps back over overlapping ranges before a lookup gives up.
constexpr int kMaxOverlapWalk = 64;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct Tok {
    char buf[CMapTokenizer::kMaxToken + 1];
    int len = 0;
    bool is(const char* s) const {
        size_t n = std::strlen(s);
        return static_cast<size_t>(len) == n && std::memcmp(buf, s, n) == 0;
    }
};

bool next(CMapTokenizer& tok, Tok& t) { return tok.nextToken(t.buf, &t.len); }

// A hex string token <..> as 1 to 4 bytes (white space ignored, an odd last digit
// padded with 0). False for anything else.
bool hexBytes(const Tok& t, unsigned char out[4], int* nBytes) {
    if (t.len < 2 || t.buf[0] != '<' || t.buf[t.len - 1] != '>') return false;
    int digits = 0;
    unsigned char bytes[4] = {0, 0, 0, 0};
    for (int i = 1; i < t.len - 1; ++i) {
        char c = t.buf[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') continue;
        int d = hexValue(c);
        if (d < 0 || digits >= 8) return false;
        if (digits % 2 == 0)
            bytes[digits / 2] = static_cast<unsigned char>(d << 4);
        else
            bytes[digits / 2] |= static_cast<unsigned char>(d);
        ++digits;
    }
    if (digits == 0) return false;
    *nBytes = (digits + 1) / 2;
    std::memcpy(out, bytes, 4);
    return true;
}

uint32_t bytesValue(const unsigned char* b, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | b[i];
    return v;
}

// A non-negative decimal integer token.
bool integerToken(const Tok& t, uint32_t* out) {
    if (t.len == 0) return false;
    uint64_t v = 0;
    for (int i = 0; i < t.len; ++i) {
        if (t.buf[i] < '0' || t.buf[i] > '9') return false;
        if (v < 0xFFFFFFFFull) v = v * 10 + static_cast<uint64_t>(t.buf[i] - '0');
    }
    *out = v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
    return true;
}

bool isIdentityName(const char* s, size_t n, bool* vertical) {
    if (n == 10 && std::memcmp(s, "Identity-H", 10) == 0) {
        *vertical = false;
        return true;
    }
    if (n == 10 && std::memcmp(s, "Identity-V", 10) == 0) {
        *vertical = true;
        return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<CPdfCMap> CPdfCMap::createIdentity(bool vertical) {
    std::unique_ptr<CPdfCMap> cmap(new CPdfCMap());
    cmap->identity_ = true;
    cmap->vertical_ = vertical;
    cmap->codespaces_.push_back(CMapCodespace{2, {0, 0, 0, 0}, {0xff, 0xff, 0, 0}});
    return cmap;
}

void CPdfCMap::addIdentityBase() {
    if (identityBase_) return;
    identityBase_ = true;
    if (codespaces_.size() < kMaxCodespaces) codespaces_.push_back(CMapCodespace{2, {0, 0, 0, 0}, {0xff, 0xff, 0, 0}});
}

std::unique_ptr<CPdfCMap> CPdfCMap::parse(const char* text, size_t len) {
    std::unique_ptr<CPdfCMap> cmap(new CPdfCMap());
    cmap->parseText(text, len);
    if (cmap->codespaces_.empty()) return nullptr;
    cmap->finish();
    return cmap;
}

void CPdfCMap::parseText(const char* text, size_t len) {
    CMapTokenizer tok(text, len);
    Tok prev, cur;
    if (!next(tok, prev)) return;
    while (next(tok, cur)) {
        if (cur.is("usecmap")) {
            useCMap(prev.buf, prev.len);
        } else if (cur.is("begincodespacerange")) {
            readCodespaceRanges(tok);
        } else if (cur.is("begincidrange")) {
            readCidRanges(tok);
        } else if (cur.is("begincidchar")) {
            readCidChars(tok);
        } else {
            if (prev.is("/WMode") && cur.is("1")) vertical_ = true;
            prev = cur;
            continue;
        }
        // The token after a block's end (or after usecmap) is passed over.
        if (!next(tok, prev)) break;
    }
}

// usecmap with the token before it (name[0..len)): an Identity CMap as the base is
// taken; any other base CMap is not loaded.
void CPdfCMap::useCMap(const char* name, int len) {
    bool vertical = false;
    if (len > 1 && name[0] == '/' && isIdentityName(name + 1, static_cast<size_t>(len - 1), &vertical)) {
        addIdentityBase();
        if (vertical) vertical_ = true;
    }
}

// codespacerange: pairs of a low and a high code of the same byte count.
void CPdfCMap::readCodespaceRanges(CMapTokenizer& tok) {
    Tok a, b;
    for (;;) {
        if (!next(tok, a) || a.is("endcodespacerange")) break;
        if (!next(tok, b) || b.is("endcodespacerange")) break;
        CMapCodespace cs{};
        int na, nb;
        if (hexBytes(a, cs.low, &na) && hexBytes(b, cs.high, &nb) && na == nb && codespaces_.size() < kMaxCodespaces) {
            cs.nBytes = na;
            codespaces_.push_back(cs);
        }
    }
}

// cidrange: a low and a high code of the same byte count and the CID of the low one.
void CPdfCMap::readCidRanges(CMapTokenizer& tok) {
    Tok a, b, c;
    for (;;) {
        if (!next(tok, a) || a.is("endcidrange")) break;
        if (!next(tok, b) || b.is("endcidrange")) break;
        if (!next(tok, c) || c.is("endcidrange")) break;
        unsigned char lo[4], hi[4];
        int na, nb;
        uint32_t cid;
        if (hexBytes(a, lo, &na) && hexBytes(b, hi, &nb) && na == nb && integerToken(c, &cid)) {
            uint32_t l = bytesValue(lo, na), h = bytesValue(hi, nb);
            if (l <= h) ranges_[na - 1].push_back(CMapCidRange{l, h, cid});
        }
    }
}

// cidchar: a code and its CID.
void CPdfCMap::readCidChars(CMapTokenizer& tok) {
    Tok a, b;
    for (;;) {
        if (!next(tok, a) || a.is("endcidchar")) break;
        if (!next(tok, b) || b.is("endcidchar")) break;
        unsigned char code[4];
        int n;
        uint32_t cid;
        if (hexBytes(a, code, &n) && integerToken(b, &cid)) {
            uint32_t v = bytesValue(code, n);
            ranges_[n - 1].push_back(CMapCidRange{v, v, cid});
        }
    }
}

void CPdfCMap::finish() {
    for (int i = 0; i < 4; ++i) {
        std::vector<CMapCidRange>& r = ranges_[i];
        std::stable_sort(r.begin(), r.end(),
                         [](const CMapCidRange& x, const CMapCidRange& y) { return x.low < y.low; });
        rangeMaxHigh_[i].resize(r.size());
        uint32_t m = 0;
        for (size_t k = 0; k < r.size(); ++k) {
            if (r[k].high > m) m = r[k].high;
            rangeMaxHigh_[i][k] = m;
        }
    }
}

std::unique_ptr<CPdfCMap> CPdfCMap::fromEncoding(const CPdfElement& encoding) {
    bool vertical = false;
    if (encoding.isName()) {
        const std::string& n = encoding.getBytes();
        if (isIdentityName(n.data(), n.size(), &vertical)) return createIdentity(vertical);
        return nullptr;
    }
    if (!encoding.isStream() || !encoding.getStream()) return nullptr;
    std::string text;
    readWholeStream(encoding.getStream(), kMaxCMapBytes, true, text);
    bool base = false;
    bool baseVertical = false;
    if (CPdfDictionary* dict = encoding.getDictionary()) {
        CPdfElement use = dict->lookup("UseCMap");
        if (use.isName()) {
            const std::string& n = use.getBytes();
            base = isIdentityName(n.data(), n.size(), &baseVertical);
        }
        CPdfElement wmode = dict->lookup("WMode");
        if (wmode.isInteger() && wmode.getInteger() == 1) vertical = true;
    }
    std::unique_ptr<CPdfCMap> cmap(new CPdfCMap());
    cmap->parseText(text.data(), text.size());
    if (base) cmap->addIdentityBase();
    if (cmap->codespaces_.empty()) return nullptr;
    cmap->finish();
    if (vertical || baseVertical) cmap->vertical_ = true;
    return cmap;
}

bool CPdfCMap::lookupCid(int nBytes, uint32_t code, uint32_t* cid) const {
    const std::vector<CMapCidRange>& r = ranges_[nBytes - 1];
    if (!r.empty()) {
        auto it =
            std::upper_bound(r.begin(), r.end(), code, [](uint32_t v, const CMapCidRange& x) { return v < x.low; });
        long i = static_cast<long>(it - r.begin()) - 1;
        const std::vector<uint32_t>& maxHigh = rangeMaxHigh_[nBytes - 1];
        for (int steps = 0; i >= 0 && steps < kMaxOverlapWalk && maxHigh[static_cast<size_t>(i)] >= code;
             --i, ++steps) {
            const CMapCidRange& x = r[static_cast<size_t>(i)];
            if (x.high >= code) {
                *cid = x.cid + (code - x.low);
                return true;
            }
        }
    }
    if (identityBase_ && nBytes == 2) {
        *cid = code;
        return true;
    }
    return false;
}

int CPdfCMap::decode(const unsigned char* bytes, int remaining, uint32_t* codeValue, uint32_t* cid,
                     bool* matched) const {
    *cid = 0;
    *matched = false;
    *codeValue = 0;
    if (remaining <= 0) return 0;
    if (identity_) {
        if (remaining < 2) {
            *codeValue = bytes[0];
            return 1;
        }
        *codeValue = (static_cast<uint32_t>(bytes[0]) << 8) | bytes[1];
        *cid = *codeValue;
        *matched = true;
        return 2;
    }
    int maxLen = remaining < 4 ? remaining : 4;
    for (int n = 1; n <= maxLen; ++n) {
        for (const CMapCodespace& cs : codespaces_) {
            if (cs.nBytes != n) continue;
            bool in = true;
            for (int k = 0; k < n && in; ++k)
                in = bytes[k] >= cs.low[k] && bytes[k] <= cs.high[k];
            if (!in) continue;
            *codeValue = bytesValue(bytes, n);
            *matched = true;
            if (!lookupCid(n, *codeValue, cid)) *cid = 0;
            return n;
        }
    }
    // No complete code. A code cut off by the end of the string takes the rest.
    for (const CMapCodespace& cs : codespaces_) {
        if (cs.nBytes <= remaining) continue;
        bool in = true;
        for (int k = 0; k < remaining && in; ++k)
            in = bytes[k] >= cs.low[k] && bytes[k] <= cs.high[k];
        if (in) {
            *codeValue = bytesValue(bytes, remaining);
            return remaining;
        }
    }
    // Otherwise skip as many bytes as the shortest range whose first byte fits, or as
    // the shortest range of all.
    int best = 5, shortest = 5;
    for (const CMapCodespace& cs : codespaces_) {
        if (cs.nBytes < shortest) shortest = cs.nBytes;
        if (bytes[0] >= cs.low[0] && bytes[0] <= cs.high[0] && cs.nBytes < best) best = cs.nBytes;
    }
    int n = best <= 4 ? best : (shortest <= 4 ? shortest : 1);
    if (n > remaining) n = remaining;
    *codeValue = bytesValue(bytes, n);
    return n;
}

int CPdfCMap::codeBits() const {
    int n = 0;
    for (const CMapCodespace& cs : codespaces_) {
        if (n == 0)
            n = cs.nBytes;
        else if (n != cs.nBytes)
            return 0;
    }
    return n * 8;
}
