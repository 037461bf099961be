// The page list, from the document's own walk over the page tree when that walk met
// the pages as the page list's walk would, else from a walk of its own over the raw
// page-tree objects (pages read straight from their raw text where they are plain).
#include "writer/PageList.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "writer/RawText.h"

namespace {

// Page trees deeper than this are damaged beyond use (the document refuses them when
// it opens); real files stay below ten levels.
constexpr int kMaxPageTreeDepth = 512;
// Page coordinates beyond this are treated as damage (real pages stay far below;
// the limit keeps every number the writer prints short and finite).
constexpr double kMaxBoxCoordinate = 1e7;
struct Box {
    bool set = false;
    float v[4] = {0, 0, 0, 0};
};

// A box entry (CropBox, MediaBox) of a page-tree node: an array of four numbers,
// directly or by reference. Corners are put in lower-left / upper-right order.
Box ReadBox(CPdfDictionary* dict, const char* key) {
    Box b;
    CPdfElement e = dict->lookup(key);
    CPdfArray* a = e.getArray();
    if (!a || a->getLength() < 4) return b;
    double n[4];
    for (int i = 0; i < 4; ++i) {
        CPdfElement item = a->get(i);
        if (!item.isNumber()) return b;
        n[i] = item.getNumber();
        // A box far beyond any page size is damage; it would print as garbage.
        if (!(n[i] > -kMaxBoxCoordinate && n[i] < kMaxBoxCoordinate)) return b;
    }
    b.set = true;
    b.v[0] = static_cast<float>(n[0] < n[2] ? n[0] : n[2]);
    b.v[1] = static_cast<float>(n[1] < n[3] ? n[1] : n[3]);
    b.v[2] = static_cast<float>(n[0] < n[2] ? n[2] : n[0]);
    b.v[3] = static_cast<float>(n[1] < n[3] ? n[3] : n[1]);
    return b;
}

bool IsSpaceOrBracket(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0' || c == '[' || c == ']' ||
           c == '%' || c == '/' || c == '<' || c == '(';
}

// The number spanning exactly t[s, e), read by the parser's rules so that a box or a
// rotation read here agrees with what the parsed page says: an optional leading '-'
// or '+', then digits and '.'; with a '.' a real (strtod), otherwise an integer clamped
// to 32 bits. A token the parser would read otherwise ("1-2" is two numbers to it), is
// refused, and the caller parses the object.
bool PlainNumber(const std::string& t, size_t s, size_t e, double& out) {
    size_t i = s;
    if (i < e && (t[i] == '-' || t[i] == '+')) ++i;
    bool digits = false, real = false;
    for (size_t k = i; k < e; ++k) {
        const char c = t[k];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.') {
            real = true;
        } else {
            return false;
        }
    }
    if (!digits) return false;
    if (real) {
        const std::string token = t.substr(s, e - s);
        out = std::strtod(token.c_str(), nullptr);
        return true;
    }
    int64_t v = 0;
    for (size_t k = i; k < e; ++k) {
        if (v <= INT64_C(4294967296)) v = v * 10 + (t[k] - '0');
    }
    if (t[s] == '-') v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    out = static_cast<double>(v);
    return true;
}

// A /Rotate value as viewers take it: reduced modulo 360 (whatever its sign) and kept
// when the result is 0, 90, 180 or 270; any other angle, a fraction included, turns
// nothing. A value beyond the 32-bit range is damage and turns nothing either (the
// parser clamps such integers, so the raw-text reading must not see more than it).
int32_t QuarterTurns(double rotate) {
    if (!(rotate > -2147483648.0 && rotate < 2147483648.0)) return 0;
    double v = std::fmod(rotate, 360.0);
    if (v < 0) v += 360.0;
    if (v == 90.0 || v == 180.0 || v == 270.0) return static_cast<int32_t>(v);
    return 0;
}

// Values that a page inherits from the nodes above it.
struct Inherited {
    Box crop;
    Box media;
    int32_t rotate = 0;
};

Inherited Inherit(CPdfDictionary* dict, const Inherited& up) {
    Inherited in = up;
    Box c = ReadBox(dict, "CropBox");
    if (c.set) in.crop = c;
    Box m = ReadBox(dict, "MediaBox");
    if (m.set) in.media = m;
    CPdfElement r = dict->lookup("Rotate");
    if (r.isNumber()) in.rotate = QuarterTurns(r.getNumber());
    return in;
}

class PageTreeWalk {
public:
    PageTreeWalk(CPdfXRef& xref, std::vector<PageListEntry>& pages, const float fallback[4], size_t limit)
        : xref_(xref), pages_(pages), limit_(limit) {
        std::memcpy(fallback_, fallback, sizeof(fallback_));
    }

    // node: the dictionary (or, for an odd file, the array) of one inner node. The walk
    // lists the pages as the document's walk does: a node, page or Kids array held by
    // reference is walked once (each page is listed once, where it is first met),
    // and a node written directly in Kids is walked like any other.
    void walkNode(const CPdfElement& node, const Inherited& up, int depth) {
        if (depth > kMaxPageTreeDepth || full()) return;
        CPdfElement kids;
        Inherited here = up;
        if (CPdfDictionary* d = node.getDictionary()) {
            here = Inherit(d, up);
            const CPdfElement kidsRaw = d->lookupRaw("Kids");
            // A Kids array shared with a node walked before lists nothing new.
            if (kidsRaw.isReference() && !visited_.insert(kidsRaw.getRefNum()).second) return;
            kids = d->lookup("Kids");
        } else if (node.isArray()) {
            kids = node;  // an array standing for a node lists the kids itself
        }
        CPdfArray* a = kids.getArray();
        if (!a) return;
        for (int i = 0; i < a->getLength() && !full(); ++i) {
            const CPdfElement& ref = a->at(i);
            if (!ref.isReference()) {
                // A page must be an indirect object (the document gives one written
                // directly an object number of its own); a node may be direct.
                if (ref.isDictionary() && !ref.getDictionary()->isType("Page") && isInnerNode(ref))
                    walkNode(ref, here, depth + 1);
                continue;
            }
            int32_t num = ref.getRefNum();
            if (num <= 0 || num >= xref_.getNumEntries()) continue;
            // An object met again is listed already; a loop is not followed twice.
            if (!visited_.insert(num).second) continue;
            Inherited fast;
            if (readPlainPage(num, here, fast)) {
                addPage(num, fast);
                continue;
            }
            CPdfElement kid = xref_.fetch(num, ref.getRefGen());
            if (kid.isNull() || kid.isNone()) throw CPdfException("PDF file was damaged");
            if (isInnerNode(kid)) {
                walkNode(kid, here, depth + 1);
            } else if (CPdfDictionary* pd = kid.getDictionary()) {
                addPage(num, Inherit(pd, here));
            }
        }
    }

    void addPage(int32_t num, const Inherited& in) {
        PageListEntry e;
        e.objNum = num;
        // The visible area: the crop box where the page or an ancestor sets one, else
        // the media box, else US Letter.
        const float* box = in.crop.set ? in.crop.v : in.media.set ? in.media.v : fallback_;
        std::memcpy(e.cropBox, box, sizeof(e.cropBox));
        e.rotate = in.rotate;
        pages_.push_back(e);
    }

    static bool isInnerNode(const CPdfElement& kid) {
        if (kid.isArray()) return true;
        CPdfDictionary* d = kid.getDictionary();
        if (!d || kid.isStream()) return false;
        if (d->isType("Pages")) return true;
        if (d->isType("Page")) return false;
        return d->lookup("Kids").isArray();
    }

    std::set<int32_t>& visited() { return visited_; }

    // The common case read straight from the raw text: a page ("/Type /Page", no
    // Kids) whose boxes are plain arrays of numbers and whose Rotate is a plain
    // integer. Anything else (references, odd values) is left to the parser.
    bool readPlainPage(int32_t num, const Inherited& up, Inherited& out) {
        if (!xref_.getRawObjectText(num, text_) || text_.empty()) return false;
        const size_t open = RawText::FindDictOpen(text_, RawText::BodyStart(text_));
        if (open == RawText::npos) return false;
        size_t s, e;
        if (!RawText::ValueSpan(text_, RawText::FindKey(text_, open, "Type"), s, e) ||
            text_.compare(s, e - s, "/Page") != 0)
            return false;
        if (RawText::FindKey(text_, open, "Kids") != RawText::npos) return false;
        out = up;
        if (!plainBox(open, "CropBox", out.crop) || !plainBox(open, "MediaBox", out.media)) return false;
        size_t k = RawText::FindKey(text_, open, "Rotate");
        if (k != RawText::npos) {
            double r;
            if (!RawText::ValueSpan(text_, k, s, e) || !PlainNumber(text_, s, e, r)) return false;
            out.rotate = QuarterTurns(r);
        }
        return true;
    }

private:
    bool full() const { return pages_.size() >= limit_; }

    // A box entry of text_: absent (box unchanged), or an array of plain numbers whose
    // first four make the box. False when the parser has to decide.
    bool plainBox(size_t open, const char* key, Box& box) {
        size_t k = RawText::FindKey(text_, open, key);
        if (k == RawText::npos) return true;
        size_t s, e;
        if (!RawText::ValueSpan(text_, k, s, e) || text_[s] != '[') return false;
        double n[4];
        int count = 0;
        size_t p = s + 1;
        while (true) {
            p = RawText::SkipSpace(text_, p);
            if (p >= e - 1) break;
            size_t q = p;
            while (q < e - 1 && !IsSpaceOrBracket(text_[q]))
                ++q;
            double v;
            if (q == p || !PlainNumber(text_, p, q, v)) return false;
            if (count < 4) n[count] = v;
            ++count;
            p = q;
        }
        if (count < 4) return false;
        for (double v : n)
            if (!(v > -kMaxBoxCoordinate && v < kMaxBoxCoordinate)) return false;
        box.set = true;
        box.v[0] = static_cast<float>(n[0] < n[2] ? n[0] : n[2]);
        box.v[1] = static_cast<float>(n[1] < n[3] ? n[1] : n[3]);
        box.v[2] = static_cast<float>(n[0] < n[2] ? n[2] : n[0]);
        box.v[3] = static_cast<float>(n[1] < n[3] ? n[3] : n[1]);
        return true;
    }

    std::string text_;

    CPdfXRef& xref_;
    std::vector<PageListEntry>& pages_;
    size_t limit_;
    float fallback_[4];
    std::set<int32_t> visited_;
};

// The page tree as the document's catalog walks it, with what the page list needs of
// each page. The catalog also walks nodes written directly in Kids; the record is only
// used when the page list's own walk would have met the same pages in the same way.
class PageTreeRecord : public CPdfPageTreeObserver {
public:
    void begin() override {
        plain = true;
        rootNum = 0;
        pages.clear();
        stack_.clear();
        seen_.clear();
    }
    void enterNode(const CPdfElement& raw, CPdfDictionary* dict, int depth) override {
        if (!raw.isReference() || depth > kMaxPageTreeDepth || !firstVisit(raw.getRefNum())) {
            plain = false;
        } else if (depth == 0) {
            rootNum = raw.getRefNum();
        }
        stack_.push_back(Inherit(dict, stack_.empty() ? Inherited() : stack_.back()));
    }
    void leaveNode() override {
        if (!stack_.empty()) stack_.pop_back();
    }
    void page(const CPdfElement& raw, CPdfDictionary* dict) override {
        if (!plain) return;
        if (!raw.isReference() || raw.getRefNum() <= 0 || !firstVisit(raw.getRefNum()) || stack_.empty()) {
            plain = false;
            return;
        }
        pages.emplace_back(raw.getRefNum(), Inherit(dict, stack_.back()));
    }

    bool plain = true;
    int32_t rootNum = 0;
    std::vector<std::pair<int32_t, Inherited>> pages;

private:
    bool firstVisit(int32_t num) {
        if (num < 0) return false;
        const size_t n = static_cast<size_t>(num);
        if (n >= seen_.size()) seen_.resize(n + 1, false);
        if (seen_[n]) return false;
        seen_[n] = true;
        return true;
    }

    std::vector<Inherited> stack_;
    std::vector<bool> seen_;
};

// "num gen obj" at the start of raw object text.
bool ReadObjectHeader(const std::string& text, int32_t& num, int32_t& gen) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\r' || text[i] == '\n'))
        ++i;
    long n = 0, g = 0;
    size_t s = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && n < 100000000)
        n = n * 10 + (text[i++] - '0');
    if (i == s) return false;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\r' || text[i] == '\n'))
        ++i;
    s = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && g < 100000000)
        g = g * 10 + (text[i++] - '0');
    if (i == s) return false;
    num = static_cast<int32_t>(n);
    gen = static_cast<int32_t>(g);
    return true;
}

}  // namespace

void PageList::BuildPageList(CPdfXRef& xref, int32_t rootNum, int32_t count, const std::string& nodeText,
                             const float inheritedBox[4]) {
    pages_.clear();
    int32_t num = rootNum, gen = 0;
    int32_t hnum, hgen;
    if (ReadObjectHeader(nodeText, hnum, hgen)) {
        num = hnum;
        gen = hgen;
    }
    if (num <= 0 || num >= xref.getNumEntries()) throw CPdfException("PDF file was damaged");
    CPdfElement root = xref.fetch(num, gen);
    if (root.isNull() || root.isNone()) throw CPdfException("PDF file was damaged");
    // The list never holds more pages than the root's Count says, nor more than the
    // file has objects (a huge Count must not size anything).
    // A root without a usable Count still lists its pages (at most one per object).
    size_t objects = static_cast<size_t>(xref.getNumEntries());
    size_t limit = count > 0 ? static_cast<size_t>(count) : objects;
    pages_.reserve(limit < objects ? limit : objects);
    PageTreeWalk walk(xref, pages_, inheritedBox, limit);
    walk.visited().insert(num);
    // The root is a node whatever its Type says, as long as it has kids: readers and
    // the document's walk list the pages under it, not the root itself.
    CPdfDictionary* rd = root.isStream() ? nullptr : root.getDictionary();
    if (PageTreeWalk::isInnerNode(root) || (rd && rd->lookup("Kids").isArray())) {
        walk.walkNode(root, Inherited(), 0);
    } else if (CPdfDictionary* d = root.getDictionary()) {
        if (limit > 0) walk.addPage(num, Inherit(d, Inherited()));  // a lone page as root
    }
}

std::unique_ptr<CPdfPageTreeObserver> PageList::NewPageTreeRecorder() {
    return std::unique_ptr<CPdfPageTreeObserver>(new PageTreeRecord());
}

bool PageList::UseRecordedPageList(CPdfXRef& xref, const CPdfPageTreeObserver* recorder, int32_t rootNum, int32_t count,
                                   const float inheritedBox[4]) {
    const PageTreeRecord* record = dynamic_cast<const PageTreeRecord*>(recorder);
    if (!record || !record->plain || record->rootNum != rootNum) return false;
    const size_t objects = static_cast<size_t>(xref.getNumEntries());
    const size_t limit = count > 0 ? static_cast<size_t>(count) : objects;
    if (record->pages.size() > limit) return false;
    for (const auto& p : record->pages)
        if (p.first >= xref.getNumEntries()) return false;
    pages_.clear();
    pages_.reserve(record->pages.size());
    for (const auto& p : record->pages) {
        PageListEntry e;
        e.objNum = p.first;
        const Inherited& in = p.second;
        const float* box = in.crop.set ? in.crop.v : in.media.set ? in.media.v : inheritedBox;
        std::memcpy(e.cropBox, box, sizeof(e.cropBox));
        e.rotate = in.rotate;
        pages_.push_back(e);
    }
    return true;
}

void PageList::Build(CPdfXRef& xref, const CPdfPageTreeObserver* recorder) {
    const int32_t numEntries = xref.getNumEntries();
    CPdfElement catalog = xref.fetch(xref.getRootNum(), xref.getRootGen());
    CPdfDictionary* rootDict = catalog.isStream() ? nullptr : catalog.getDictionary();
    if (!rootDict) throw CPdfException("PDF file was damaged");
    CPdfElement pagesRef = rootDict->lookupRaw("Pages");
    if (!pagesRef.isReference()) throw CPdfException("PDF file was damaged");
    const int32_t rootNum = pagesRef.getRefNum();
    if (rootNum <= 0 || rootNum >= numEntries) throw CPdfException("PDF file was damaged");
    CPdfElement pages = xref.fetch(rootNum, pagesRef.getRefGen());
    CPdfDictionary* pd = pages.isStream() ? nullptr : pages.getDictionary();
    if (!pd) throw CPdfException("PDF file was damaged");
    CPdfElement countValue = pd->lookup("Count");
    const double c = countValue.isNumber() ? countValue.getNumber() : 0;
    const int32_t count = c >= 1 ? (c < 2e9 ? static_cast<int32_t>(c) : 2000000000) : 0;
    std::string rootText;
    if (!xref.getRawObjectText(rootNum, rootText)) throw CPdfException("PDF file was damaged");
    const float letter[4] = {0, 0, 612, 792};
    if (!UseRecordedPageList(xref, recorder, rootNum, count, letter)) {
        // The page walk looks up objects all over the file: each lookup reads a small
        // block instead of pulling in everything between two pages.
        CPdfLookupScope lookups(&xref);
        BuildPageList(xref, rootNum, count, rootText, letter);
    }
}

std::vector<int32_t> PageList::IndexOfObjects(int32_t objectCount, int32_t startPage, int32_t endPage) const {
    // The range compares unsigned numbers: a negative start page selects no page.
    const uint32_t start = static_cast<uint32_t>(startPage);
    const uint32_t end = static_cast<uint32_t>(endPage);
    std::vector<int32_t> indexOf(static_cast<size_t>(objectCount > 0 ? objectCount : 0), -1);
    for (size_t i = 0; i < pages_.size(); ++i) {
        const int32_t n = pages_[i].objNum;
        const uint32_t pageNo = static_cast<uint32_t>(i + 1);
        if (n <= 0 || n >= objectCount || pageNo < start || pageNo > end) continue;
        if (indexOf[static_cast<size_t>(n)] < 0) indexOf[static_cast<size_t>(n)] = static_cast<int32_t>(i);
    }
    return indexOf;
}
