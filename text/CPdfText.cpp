#include "text/CPdfText.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "font/CPdfBuiltinTables.h"
#include "font/CPdfFont.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfStream.h"
#include "text/CPdfTextState.h"

// Geometry. Every position is computed in the page's default user space, the
// unrotated space of /MediaBox and /Rect in which link annotations are placed and
// against which the link report tests characters:
//   - the current transformation matrix starts as the identity on every page and
//     `cm` concatenates its full matrix (scaling and flipping included), so text
//     drawn under a flipped or scaled matrix lands where it is painted;
//   - a character's origin is the current text position mapped through that matrix;
//     the line origin is truncated to whole units;
//   - the text direction and the glyph height come from the text matrix followed by
//     the transformation matrix: the box runs from the origin, moved by the advance
//     already covered along the text direction, to the far corner that lies one
//     advance further along the direction and one glyph height up the glyph's
//     vertical. Upright text therefore gets (X + c, Y) - (X + c + w, Y + h);
//   - the numbers of a TJ array move the following strings along the line;
//   - a TJ number that moves the next string forward by at least a word gap, 0.2 of
//     the font size (a number of -200 or less), adds one space record when the last
//     record of the line is not already a space. TeX and other typesetters write the
//     space between words as such a gap instead of a space character; without the
//     record the words run together ("andthe"), so a searched phrase of two words is
//     never found there, the web-address scan takes the next word into the address
//     and the link report shows "clickhere". The space's box runs from the end of the
//     previous character to the start of the next string, with the previous
//     character's baseline, height, angle and page. Smaller numbers (kerning),
//     positive numbers and any other movement (Td, Tm, T*) add nothing.
// The page's /Rotate only turns the page for display and takes no part in any of
// this: pages rotated by 0, 90, 180 or 270 degrees (and any other value) get the same
// line tracking and the same boxes, and the rectangles built from them match the
// page's annotations whatever the rotation.

namespace {

// The line origin last seen and the advance covered from it. It lives for the whole
// program run, not per page or file.
struct LineTracker {
    double trackedX = 0;
    double trackedY = 0;
    double advance = 0;
};
LineTracker gTracker;

enum OperandKind : uint8_t { kNumber, kString, kName, kArray };

enum Op : uint8_t {
    OpNextLineShowSpaced,  // "
    OpNextLineShow,        // '
    OpBT, OpET, OpRestore, OpNextLine, OpTD, OpTJ, OpTL, OpTd, OpTf, OpTj, OpTm, OpCm,
    OpMove, OpSave, OpRect,
};

struct OperatorRow {
    const char* name;
    uint8_t count;
    OperandKind kinds[6];
    Op op;
};

// Sorted by the byte order of the name; looked up by binary search.
const OperatorRow kOperators[] = {
    {"\"", 3, {kNumber, kNumber, kString}, OpNextLineShowSpaced},
    {"'", 1, {kString}, OpNextLineShow},
    {"BT", 0, {}, OpBT},
    {"ET", 0, {}, OpET},
    {"Q", 0, {}, OpRestore},
    {"T*", 0, {}, OpNextLine},
    {"TD", 2, {kNumber, kNumber}, OpTD},
    {"TJ", 1, {kArray}, OpTJ},
    {"TL", 1, {kNumber}, OpTL},
    {"Td", 2, {kNumber, kNumber}, OpTd},
    {"Tf", 2, {kName, kNumber}, OpTf},
    {"Tj", 1, {kString}, OpTj},
    {"Tm", 6, {kNumber, kNumber, kNumber, kNumber, kNumber, kNumber}, OpTm},
    {"cm", 6, {kNumber, kNumber, kNumber, kNumber, kNumber, kNumber}, OpCm},
    {"m", 2, {kNumber, kNumber}, OpMove},
    {"q", 0, {}, OpSave},
    {"re", 4, {kNumber, kNumber, kNumber, kNumber}, OpRect},
};
const int kOperatorCount = sizeof(kOperators) / sizeof(kOperators[0]);

const OperatorRow* findOperator(const std::string& name) {
    int lo = 0, hi = kOperatorCount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = name.compare(kOperators[mid].name);  // unsigned byte order
        if (c == 0) return &kOperators[mid];
        if (c < 0) hi = mid - 1;
        else lo = mid + 1;
    }
    return nullptr;
}

bool kindMatches(const CPdfElement& e, OperandKind k) {
    switch (k) {
        case kNumber: return e.isNumber();
        case kString: return e.isString();
        case kName: return e.isName();
        case kArray: return e.isArray();
    }
    return false;
}

const int kMaxOperands = 8;
// Characters one extraction run may produce (a dense 3,000-page document has about
// 42 million); beyond it the run fails instead of allocating further.
const size_t kMaxCharsPerRun = size_t(1) << 26;
// Saved states beyond this depth are not copied (a file could otherwise ask for one
// copy per two bytes of content); their q and Q are only counted.
const int kMaxSaveDepth = 256;
// A TJ number of this many thousandths of the font size or more (as a forward move) is
// a gap between words: 0.2 em, above the kerning of a pair of letters (rarely beyond
// 0.1 em) and below the usual word space (about 0.33 em in TeX's fonts).
const double kWordGapThousandths = 200;

// WinAnsiEncoding slot of a glyph name, found by scanning the table from slot 0 up.
// The table repeats "bullet" at the unused codes 127, 129, 141, 143, 144 and 157;
// those copies are skipped so that a bullet becomes 0x95, the Windows-1252 bullet,
// rather than 0x7F (DEL).
struct WinAnsiIndex {
    std::vector<std::pair<const char*, int>> names;  // sorted by name, first slot kept
    WinAnsiIndex() {
        for (int slot = 0; slot < 256; ++slot) {
            const char* n = WinAnsiEncoding[slot];
            if (!n) continue;
            if (slot == 127 || slot == 129 || slot == 141 || slot == 143 || slot == 144 ||
                slot == 157)
                continue;
            names.emplace_back(n, slot);
        }
        std::stable_sort(names.begin(), names.end(),
                         [](const std::pair<const char*, int>& a,
                            const std::pair<const char*, int>& b) {
                             return std::strcmp(a.first, b.first) < 0;
                         });
        // Keep the lowest slot of each name.
        std::vector<std::pair<const char*, int>> unique;
        for (const auto& p : names)
            if (unique.empty() || std::strcmp(unique.back().first, p.first) != 0)
                unique.push_back(p);
        names.swap(unique);
    }
    int find(const char* name) const {
        auto it = std::lower_bound(names.begin(), names.end(), name,
                                   [](const std::pair<const char*, int>& a, const char* n) {
                                       return std::strcmp(a.first, n) < 0;
                                   });
        if (it != names.end() && std::strcmp(it->first, name) == 0) return it->second;
        return -1;
    }
};

const WinAnsiIndex& winAnsiIndex() {
    static const WinAnsiIndex index;
    return index;
}

// Windows-1252 byte of a Unicode value, or -1 when it has none.
int windows1252Byte(uint32_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<int>(u);
    switch (u) {
        case 0x20AC: return 0x80;
        case 0x201A: return 0x82;
        case 0x0192: return 0x83;
        case 0x201E: return 0x84;
        case 0x2026: return 0x85;
        case 0x2020: return 0x86;
        case 0x2021: return 0x87;
        case 0x02C6: return 0x88;
        case 0x2030: return 0x89;
        case 0x0160: return 0x8A;
        case 0x2039: return 0x8B;
        case 0x0152: return 0x8C;
        case 0x017D: return 0x8E;
        case 0x2018: return 0x91;
        case 0x2019: return 0x92;
        case 0x201C: return 0x93;
        case 0x201D: return 0x94;
        case 0x2022: return 0x95;
        case 0x2013: return 0x96;
        case 0x2014: return 0x97;
        case 0x02DC: return 0x98;
        case 0x2122: return 0x99;
        case 0x0161: return 0x9A;
        case 0x203A: return 0x9B;
        case 0x0153: return 0x9C;
        case 0x017E: return 0x9E;
        case 0x0178: return 0x9F;
        default: return -1;
    }
}

// Character byte of a simple-font character: a code of 128 or more whose glyph name
// WinAnsiEncoding knows becomes that slot; an unchanged code with a Unicode value
// whose low byte is neither 0 nor 0xCC becomes that low byte; otherwise the code.
unsigned char simpleCharByte(const CPdfFont* font, uint32_t code, const uint32_t* unicode,
                             int ucount) {
    uint32_t out = code;
    bool changed = false;
    if (code >= 128) {
        const char* glyph = font->getGlyphName(code);
        if (glyph) {
            int slot = winAnsiIndex().find(glyph);
            if (slot >= 0) {
                changed = static_cast<uint32_t>(slot) != code;
                out = static_cast<uint32_t>(slot);
            }
        }
    }
    if (!changed && ucount > 0) {
        uint32_t low = unicode[0] & 0xFF;
        if (low != 0 && low != 0xCC) return static_cast<unsigned char>(low);
    }
    return static_cast<unsigned char>(out & 0xFF);
}

// Character byte of a composite-font character: the Windows-1252 byte of its first
// Unicode value, kUnmappedCharByte when that value has none, 0 without a value.
unsigned char compositeCharByte(const uint32_t* unicode, int ucount) {
    if (ucount <= 0) return 0;
    int b = windows1252Byte(unicode[0]);
    return b < 0 ? kUnmappedCharByte : static_cast<unsigned char>(b);
}

// Content bytes held in memory, for the test seam.
class MemoryContentStream : public CPdfStream {
public:
    MemoryContentStream(const unsigned char* data, size_t len) : data_(data, data + len) {}
    void reset() override { pos_ = 0; }
    int getChar() override { return pos_ < data_.size() ? data_[pos_++] : -1; }
    int peekChar() override { return pos_ < data_.size() ? data_[pos_] : -1; }
    CPdfDictionary* getDict() override { return nullptr; }
    int64_t getPos() override { return static_cast<int64_t>(pos_); }
    void setPos(int64_t pos, int origin) override {
        int64_t size = static_cast<int64_t>(data_.size());
        int64_t p = origin == 2 ? size - pos : pos;
        pos_ = static_cast<size_t>(std::max<int64_t>(0, std::min(p, size)));
    }
    int64_t startOffset() override { return 0; }
    void shiftStart(int64_t) override {}
    int64_t getLength() override { return static_cast<int64_t>(data_.size()); }
    CPdfStream* openWindow(int64_t, int64_t, const CPdfElement&) override { return nullptr; }
    size_t readBlock(unsigned char* buf, size_t n) override {
        size_t k = std::min(n, data_.size() - pos_);
        if (k) std::memcpy(buf, data_.data() + pos_, k);
        pos_ += k;
        return k;
    }

protected:
    ~MemoryContentStream() override = default;

private:
    std::vector<unsigned char> data_;
    size_t pos_ = 0;
};

// Owns the state chain of one page.
struct StateHolder {
    CPdfTextState*& ref;
    explicit StateHolder(CPdfTextState*& r) : ref(r) { ref = new CPdfTextState(); }
    ~StateHolder() {
        delete ref;
        ref = nullptr;
    }
};

// Width tables live from before the first page to after the last, also when a page fails.
struct WidthTablesScope {
    WidthTablesScope() { buildWidthTables(); }
    ~WidthTablesScope() { releaseWidthTables(); }
    WidthTablesScope(const WidthTablesScope&) = delete;
    WidthTablesScope& operator=(const WidthTablesScope&) = delete;
};

// Resolves the page's Contents: Null (no text), a stream, or an array whose items all
// resolve to streams (returned as a new array of the streams, so that the parser does
// not fetch them again). Anything else is "Weird page contents".
// Reading the content objects is part of reading the content: a failure there is a
// parse error like one inside the stream.
CPdfElement resolveContents(CPdfXRef* xref, const CPdfElement& raw) {
    bool weird = false;
    CPdfElement result;
    try {
        CPdfElement c = raw.fetch(xref);
        if (c.isNull() || c.isStream()) {
            result = std::move(c);
        } else if (c.isArray()) {
            CPdfArray* arr = c.getArray();
            result.setNewArray(xref);
            for (int i = 0; i < arr->getLength() && !weird; ++i) {
                CPdfElement item = arr->get(i);
                if (item.isStream()) result.getArray()->add(std::move(item));
                else weird = true;
            }
        } else {
            weird = true;
        }
    } catch (const CPdfException&) {
        throw CPdfException("Document parse error\n");
    }
    if (weird) throw CPdfException("\nWeird page contents\n");
    return result;
}

std::unique_ptr<PageFonts> loadFontsOf(CPdfDocument* doc, const CPdfPage& page) {
    const CPdfElement& res = page.getResources();
    CPdfDictionary* dict = res.getDictionary();
    if (!dict) return std::unique_ptr<PageFonts>(new PageFonts());
    CPdfElement raw = dict->lookupRaw("Font");
    int32_t refNum = -1;
    CPdfElement fontDict;
    if (raw.isReference()) {
        refNum = raw.getRefNum();
        fontDict = raw.fetch(page.getXRef() ? page.getXRef() : doc->getXRef());
    } else {
        fontDict = std::move(raw);
    }
    if (!fontDict.isDictionary()) return std::unique_ptr<PageFonts>(new PageFonts());
    std::unique_ptr<PageFonts> fonts = loadPageFonts(doc, fontDict, refNum);
    if (!fonts) fonts.reset(new PageFonts());
    return fonts;
}

}  // namespace

void resetLineTrackerForTesting() { gTracker = LineTracker(); }

// Character byte and width of each code of one simple font, filled on first use.
struct CPdfText::FontCache {
    CPdfFont* font = nullptr;
    bool composite = false;
    bool known[256];
    unsigned char byte[256];
    double width[256];
    void reset(CPdfFont* f) {
        font = f;
        composite = f->isComposite();
        std::memset(known, 0, sizeof known);
    }
};

CPdfText::CPdfText() : charLimit_(kMaxCharsPerRun) {}

CPdfText::~CPdfText() { delete state_; }

CPdfText::FontCache* CPdfText::cacheFor(CPdfFont* font) {
    if (font == lastFont_) return lastCache_;
    FontCache* found = nullptr;
    for (size_t i = 0; i < cachesUsed_; ++i)
        if (caches_[i]->font == font) {
            found = caches_[i].get();
            break;
        }
    if (!found) {
        if (cachesUsed_ == caches_.size()) caches_.emplace_back(new FontCache());
        found = caches_[cachesUsed_++].get();
        found->reset(font);
    }
    lastFont_ = font;
    lastCache_ = found;
    return found;
}

// Rounded origin: the text position through the transformation matrix, truncated.
// A line origin other than the tracked one restarts the advance there.
static void trackLineOrigin(const CPdfTextState& st, double* X, double* Y) {
    const double* ctm = st.ctm;
    *X = std::trunc(st.x * ctm[0] + st.y * ctm[2] + ctm[4]);
    *Y = std::trunc(st.x * ctm[1] + st.y * ctm[3] + ctm[5]);
    if (*X != gTracker.trackedX || *Y != gTracker.trackedY) {
        gTracker.advance = 0;
        gTracker.trackedX = *X;
        gTracker.trackedY = *Y;
    }
}

// A number in a TJ array moves the next string back by that many thousandths of the
// font size along the line (forward when negative). The numbers are how kerning and,
// in TeX output, the gaps between words are written, so the boxes of the following
// characters stay where the page shows them. A forward move of a word gap or more
// right after a character of this line adds a space record covering the gap.
void CPdfText::adjustAdvance(double thousandths) {
    const CPdfTextState& st = *state_;
    if (!st.font) return;
    double X, Y;
    trackLineOrigin(st, &X, &Y);
    const double* ctm = st.ctm;
    const double* tm = st.textMatrix;
    const double ma = tm[0] * ctm[0] + tm[1] * ctm[2];
    const double mb = tm[0] * ctm[1] + tm[1] * ctm[3];
    const double along = std::sqrt(ma * ma + mb * mb);
    const double move = -thousandths * 0.001 * st.fontSize * along;
    std::vector<TextChar>& out = *chars_;
    if (thousandths <= -kWordGapThousandths && move > 0 && std::isfinite(move) &&
        !out.empty() && lineEndList_ == &out && lineEndCount_ == out.size() &&
        lineEndX_ == X && lineEndY_ == Y && out.back().page == page_ &&
        out.back().text != ' ') {
        // A space record is only ever added after a shown character, so a run holds at
        // most twice as many records as shown bytes; it still counts against the limit.
        if (++runChars_ > charLimit_) throw std::length_error("too many characters");
        double ux = 1, uy = 0;
        if (along > 0 && std::isfinite(along)) {
            ux = ma / along;
            uy = mb / along;
        }
        TextChar tc;
        tc.x0 = X + gTracker.advance * ux;
        tc.y0 = Y + gTracker.advance * uy;
        tc.x1 = tc.x0 + move * ux + lineEndHx_;
        tc.y1 = tc.y0 + move * uy + lineEndHy_;
        tc.page = page_;
        tc.text = ' ';
        tc.angle = out.back().angle;
        out.push_back(tc);
        lineEndCount_ = out.size();
    }
    gTracker.advance += move;
}

void CPdfText::showString(const unsigned char* s, size_t len) {
    CPdfTextState& st = *state_;
    CPdfFont* font = st.font;
    if (!font || len == 0) return;
    // One shown byte makes at most one record, so this bounds what a run can allocate:
    // a file can repeat a content stream on any number of pages.
    runChars_ += len;
    if (runChars_ > charLimit_) throw std::length_error("too many characters");
    FontCache* cache = cacheFor(font);
    if (!cache->composite) {
        // A shown string of a simple font ends at its first NUL byte. Composite fonts
        // take multi-byte codes, where a zero byte is an ordinary part of a code.
        const void* nul = std::memchr(s, 0, len);
        if (nul) len = static_cast<size_t>(static_cast<const unsigned char*>(nul) - s);
        if (len == 0) return;
    }

    const double* ctm = st.ctm;
    const double* tm = st.textMatrix;
    double X, Y;
    trackLineOrigin(st, &X, &Y);
    // Text space to user space (linear part): text matrix, then transformation matrix.
    const double ma = tm[0] * ctm[0] + tm[1] * ctm[2];
    const double mb = tm[0] * ctm[1] + tm[1] * ctm[3];
    const double mc = tm[2] * ctm[0] + tm[3] * ctm[2];
    const double md = tm[2] * ctm[1] + tm[3] * ctm[3];
    const double along = std::sqrt(ma * ma + mb * mb);
    const double up = std::sqrt(mc * mc + md * md);
    double ux = 1, uy = 0, vx = 0, vy = 1;
    if (along > 0 && std::isfinite(along)) {
        ux = ma / along;
        uy = mb / along;
    }
    if (up > 0 && std::isfinite(up)) {
        vx = mc / up;
        vy = md / up;
    }
    int8_t angle = 0;
    if (!(std::fabs(uy) < 0.1 && std::fabs(vx) < 0.1) && std::fabs(ux) < 0.1 &&
        std::fabs(vy) < 0.1)
        angle = 90;
    const double h = st.fontSize * up;        // glyph height
    const double scale = st.fontSize * along;  // advance per unit of width
    const double hx = h * vx, hy = h * vy;

    std::vector<TextChar>& out = *chars_;
    const int32_t page = page_;
    double advance = gTracker.advance;
    auto emit = [&](unsigned char byte, double width) {
        const double w = scale * width;
        TextChar tc;
        tc.x0 = X + advance * ux;
        tc.y0 = Y + advance * uy;
        tc.x1 = tc.x0 + w * ux + hx;
        tc.y1 = tc.y0 + w * uy + hy;
        tc.page = page;
        tc.text = static_cast<char>(byte);
        tc.angle = angle;
        out.push_back(tc);
        advance += w;
    };

    if (!cache->composite) {
        for (size_t i = 0; i < len; ++i) {
            const unsigned char b = s[i];
            if (!cache->known[b]) {
                uint32_t code = 0;
                uint32_t unicode[8];
                int ucount = 0;
                double dx = 0, dy = 0, oxx = 0, oyy = 0;
                font->decodeChar(&s[i], 1, &code, unicode, 8, &ucount, &dx, &dy, &oxx, &oyy);
                if (ucount > 8) ucount = 8;
                cache->width[b] = font->getWidth(code);
                cache->byte[b] = simpleCharByte(font, code, unicode, ucount);
                cache->known[b] = true;
            }
            emit(cache->byte[b], cache->width[b]);
        }
    } else {
        size_t i = 0;
        while (i < len) {
            uint32_t code = 0;
            uint32_t unicode[8];
            int ucount = 0;
            double dx = 0, dy = 0, oxx = 0, oyy = 0;
            const int remaining = static_cast<int>(std::min<size_t>(len - i, 1 << 20));
            int used = font->decodeChar(&s[i], remaining, &code, unicode, 8, &ucount, &dx, &dy,
                                        &oxx, &oyy);
            if (used < 1) used = 1;
            if (used > remaining) used = remaining;
            if (ucount > 8) ucount = 8;
            emit(compositeCharByte(unicode, ucount), font->getWidth(code));
            i += static_cast<size_t>(used);
        }
    }
    gTracker.advance = advance;
    lineEndList_ = &out;
    lineEndCount_ = out.size();
    lineEndX_ = X;
    lineEndY_ = Y;
    lineEndHx_ = hx;
    lineEndHy_ = hy;
}

void CPdfText::interpret(CPdfParser& parser) {
    CPdfElement operands[kMaxOperands];
    int count = 0;
    int uncopiedSaves = 0;
    // An inline image (BI, its dictionary entries, ID, the image bytes, EI) is passed
    // over whole: its entries and the tokens its bytes happen to form are not operands,
    // so they neither reach an operator nor end the page as a ninth operand.
    enum { kContent, kImageDict, kImageData } mode = kContent;
    for (;;) {
        CPdfElement obj = parser.readObject();
        const CPdfElement::Kind kind = obj.getKind();
        if (kind == CPdfElement::EndOfInput || kind == CPdfElement::None) break;
        if (mode != kContent) {
            if (kind == CPdfElement::Command) {
                if (mode == kImageDict && obj.isCommand("ID")) mode = kImageData;
                else if (mode == kImageData && obj.isCommand("EI")) mode = kContent;
            }
            continue;
        }
        if (kind == CPdfElement::Command && obj.isCommand("BI")) {
            for (int k = 0; k < count; ++k) operands[k].free();
            count = 0;
            mode = kImageDict;
            continue;
        }
        if (kind != CPdfElement::Command) {
            if (count == kMaxOperands) break;  // a ninth operand ends the page
            operands[count++] = std::move(obj);
            continue;
        }
        const OperatorRow* row = findOperator(obj.getBytes());
        if (row && count >= row->count) {
            const CPdfElement* ops = operands + (count - row->count);
            bool ok = true;
            for (int k = 0; k < row->count && ok; ++k) ok = kindMatches(ops[k], row->kinds[k]);
            if (ok) {
                CPdfTextState* st = state_;
                switch (row->op) {
                    case OpNextLineShowSpaced:
                    case OpNextLineShow: {
                        st->lineY -= st->leading;
                        st->recompute();
                        const std::string& s = ops[row->count - 1].getBytes();
                        showString(reinterpret_cast<const unsigned char*>(s.data()), s.size());
                        break;
                    }
                    case OpBT:
                        st->textMatrix[0] = 1;
                        st->textMatrix[1] = 0;
                        st->textMatrix[2] = 0;
                        st->textMatrix[3] = 1;
                        st->textMatrix[4] = 0;
                        st->textMatrix[5] = 0;
                        st->lineX = st->lineY = 0;
                        st->x = st->y = 0;
                        break;
                    case OpET:
                        break;
                    case OpRestore:
                        if (uncopiedSaves > 0) --uncopiedSaves;
                        else state_ = CPdfTextState::pop(st);
                        break;
                    case OpNextLine:
                        st->lineY -= st->leading;
                        st->recompute();
                        break;
                    case OpTD:
                        st->leading = -ops[1].getNumber();
                        st->lineX += ops[0].getNumber();
                        st->lineY += ops[1].getNumber();
                        st->recompute();
                        break;
                    case OpTd:
                        st->lineX += ops[0].getNumber();
                        st->lineY += ops[1].getNumber();
                        st->recompute();
                        break;
                    case OpTJ: {
                        if (st->font) st->font->beginTextArray(ops[0]);
                        CPdfArray* arr = ops[0].getArray();
                        const int n = arr ? arr->getLength() : 0;
                        for (int k = 0; k < n; ++k) {
                            const CPdfElement& item = arr->at(k);
                            if (item.isNumber()) {
                                adjustAdvance(item.getNumber());
                                continue;
                            }
                            if (!item.isString()) continue;
                            const std::string& s = item.getBytes();
                            showString(reinterpret_cast<const unsigned char*>(s.data()),
                                       s.size());
                        }
                        break;
                    }
                    case OpTL:
                        st->leading = ops[0].getNumber();
                        break;
                    case OpTf: {
                        CPdfFont* f = nullptr;
                        if (fonts_) {
                            const std::string& tag = ops[0].getBytes();
                            f = fonts_->findFont(tag.data(), tag.size());
                        }
                        if (f) {
                            st->font = f;
                            st->fontSize = ops[1].getNumber();
                        }
                        break;
                    }
                    case OpTj: {
                        const std::string& s = ops[0].getBytes();
                        showString(reinterpret_cast<const unsigned char*>(s.data()), s.size());
                        break;
                    }
                    case OpTm:
                        for (int k = 0; k < 6; ++k) st->textMatrix[k] = ops[k].getNumber();
                        st->lineX = st->lineY = 0;
                        st->x = st->textMatrix[4];
                        st->y = st->textMatrix[5];
                        break;
                    case OpCm: {
                        double m[6];
                        for (int k = 0; k < 6; ++k) m[k] = ops[k].getNumber();
                        st->concat(m);
                        break;
                    }
                    case OpMove:
                        st->x = ops[0].getNumber();
                        st->y = ops[1].getNumber();
                        break;
                    case OpSave:
                        if (st->depth() >= kMaxSaveDepth) ++uncopiedSaves;
                        else state_ = CPdfTextState::push(st);
                        break;
                    case OpRect:
                        st->x = ops[0].getNumber();
                        st->y = ops[1].getNumber() + ops[3].getNumber();
                        break;
                }
            }
        }
        for (int k = 0; k < count; ++k) operands[k].free();
        count = 0;
    }
}

void CPdfText::interpretContent(CPdfXRef* xref, const CPdfElement* content, CPdfStream* stream) {
    StateHolder holder(state_);
    cachesUsed_ = 0;
    lastFont_ = nullptr;
    lastCache_ = nullptr;
    try {
        if (content) {
            CPdfParser parser(xref, *content);
            interpret(parser);
        } else {
            CPdfParser parser(xref, stream);
            interpret(parser);
        }
    } catch (const CPdfException&) {
        throw CPdfException("Document parse error\n");
    } catch (...) {
        throw CPdfException("Damage contents stream");
    }
}

// When the list is about to grow, makes room at once for the remaining pages at the
// average count so far (with a margin), instead of doubling again and again: each
// doubling copies the whole list and, for a long document, the last ones dominate
// the time and the peak memory. Room that is never filled is never touched.
void CPdfText::reserveAhead(std::vector<TextChar>& chars, size_t startSize, int pagesDone,
                            int pagesLeft) {
    const size_t made = chars.size() - startSize;
    const size_t perPage = made / static_cast<size_t>(pagesDone) + 1;
    if (chars.capacity() - chars.size() >= 2 * perPage) return;
    size_t want = perPage * static_cast<size_t>(pagesLeft);
    want += want / 8 + 2 * perPage;
    const size_t room = charLimit_ > runChars_ ? charLimit_ - runChars_ : 0;
    if (want > room) want = room;
    try {
        chars.reserve(chars.size() + want);
    } catch (const std::exception&) {
        // Growing by the usual doubling instead.
    }
}

void CPdfText::run(CPdfDocument* doc, int firstPage, int lastPage, std::vector<TextChar>& chars,
                   TextPageSink* sink) {
    const int numPages = doc->getNumPages();
    if (lastPage == 99999 || lastPage > numPages) lastPage = numPages;
    if (firstPage < 1) firstPage = 1;
    firstPage_ = firstPage;
    lastPage_ = lastPage;
    runChars_ = 0;
    chars_ = &chars;
    lineEndList_ = nullptr;
    struct Reset {
        CPdfText* t;
        ~Reset() {
            t->fonts_ = nullptr;
            t->chars_ = nullptr;
        }
    } reset{this};
    WidthTablesScope widthTables;
    CPdfXRef* xref = doc->getXRef();
    const size_t startSize = chars.size();
    for (int p = firstPage; p <= lastPage; ++p) {
        if (!sink && p > firstPage) reserveAhead(chars, startSize, p - firstPage, lastPage - p + 1);
        const CPdfPage& page = doc->getPage(p - 1);
        page_ = p;
        rotation_ = page.getRotation();
        std::unique_ptr<PageFonts> fonts = loadFontsOf(doc, page);
        CPdfXRef* pageXRef = page.getXRef() ? page.getXRef() : xref;
        CPdfElement content = resolveContents(pageXRef, page.getContents());
        if (!content.isNull()) {
            fonts_ = fonts.get();
            try {
                interpretContent(pageXRef, &content, nullptr);
            } catch (...) {
                // The records made before the failure stay, page by page as well.
                fonts_ = nullptr;
                if (sink && !chars.empty()) {
                    sink->pageDone(p, chars);
                    chars.clear();
                }
                throw;
            }
            fonts_ = nullptr;
        }
        fonts.reset();
        if (sink) {
            sink->pageDone(p, chars);
            chars.clear();
        }
    }
}

void CPdfText::extractPages(CPdfDocument* doc, int firstPage, int lastPage,
                            std::vector<TextChar>& chars) {
    run(doc, firstPage, lastPage, chars, nullptr);
}

void CPdfText::extractPages(CPdfDocument* doc, int firstPage, int lastPage, TextPageSink& sink) {
    std::vector<TextChar> pageChars;
    run(doc, firstPage, lastPage, pageChars, &sink);
}

void CPdfText::interpretContentForTesting(const unsigned char* data, size_t len,
                                          const PageFonts* fonts, int page,
                                          std::vector<TextChar>& chars) {
    page_ = page;
    fonts_ = fonts;
    chars_ = &chars;
    runChars_ = 0;
    lineEndList_ = nullptr;
    struct Reset {
        CPdfText* t;
        ~Reset() {
            t->fonts_ = nullptr;
            t->chars_ = nullptr;
        }
    } reset{this};
    interpretContent(nullptr, nullptr, new MemoryContentStream(data, len));
}
