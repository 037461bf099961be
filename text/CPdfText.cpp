#include "text/CPdfText.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <unordered_set>
#include <utility>

#include "font/CPdfBuiltinTables.h"
#include "font/CPdfFont.h"
#include "font/GlyphNames.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfStream.h"
#include "text/CPdfContentLexer.h"
#include "text/CPdfTextState.h"

// Geometry. Every position is computed in the page's default user space, the
// unrotated space of /MediaBox and /Rect in which link annotations are placed and
// against which the link report tests characters. The page's /Rotate only turns the
// page for display and takes no part in it.
//
// Text is placed as a reader paints it: a glyph's origin is the text matrix (moved by
// the rise) through the transformation matrix, and after each glyph the text matrix
// moves on by the glyph's width times the font size, plus the character spacing, plus
// the word spacing after byte 32 of a one-byte code, all times the horizontal scaling;
// the numbers of a TJ array move it too. A record's box runs from the glyph's origin
// along the text direction by its advance and up the glyph's vertical by the font
// size: upright text gets (x, baseline) - (x + advance, baseline + size). A glyph that
// stands for several characters (a ligature) gives each of them an equal share of its
// advance.
//
// Words and lines. A gap of at least a word space (0.2 of the font size) between two
// characters of a line, however the content made it (a TJ number, a Td, a Tm, word
// spacing), adds one space record over the gap, and text that continues on another line
// adds one space record of no width at the start of that line; neither is added next
// to a space the page already has. So words never run together, and a phrase that wraps
// to the next line reads as the phrase; a page starts with such a space as well. The
// first record of each line carries kCharLineStart, so the searches can give a find
// that spans lines one rectangle per line.

namespace {

// A TJ number, Td or other move forward of this many font sizes or more between two
// characters of a line is a gap between words: above the kerning of a pair of letters
// (rarely beyond 0.1 em) and below the usual word space (0.25 to 0.33 em).
const double kWordGap = 0.2;
// The next character continues the line when its baseline lies within this many font
// sizes of the line's (superscripts and subscripts stay on it) and it does not start
// further back than this (kerning and overprinted accents stay on it).
const double kSameLineRise = 0.75;
const double kSameLineBack = 1.0;
// Saved graphics states beyond this depth are not copied (a file could otherwise ask
// for one copy per two bytes of content); their q and Q are only counted.
const int kMaxSaveDepth = 256;
// Forms drawing forms: deeper nesting is not followed. Real files nest two or three.
const size_t kMaxFormDepth = 16;
// Each form drawn counts this many content bytes against the run's budget besides its
// own bytes, so that empty forms drawn by the million still end the run.
const uint64_t kFormCost = 1024;
// The limits (see CPdfText.h). Memory: the records of one page are held together, so
// one page may make no more than kMaxPageChars of them (80 MB; the densest real pages
// hold tens of thousands of characters). Time: a run's records (see charLimitFor) and
// the content bytes it reads (see contentLimitFor).
const size_t kMaxPageChars = size_t(1) << 21;
const size_t kMinRunChars = size_t(1) << 22;
const size_t kMaxRunChars = size_t(1) << 30;
const size_t kRunCharsPerFileByte = 64;
const uint64_t kMinRunContent = uint64_t(256) << 20;
const uint64_t kRunContentPerFileByte = 1024;
// Fonts built for earlier pages of a run are kept up to this many.
const size_t kMaxKeptFonts = 512;
// Operands kept for an operator; the oldest are dropped beyond it (a DeviceN colour
// has one per colorant; no operator used here takes more than six).
const int kMaxOperands = 8;
// Unicode values looked at per glyph (ligatures and other multi-character values).
const int kMaxGlyphChars = 8;

const char* const kLimitMessage = "Page text beyond what the file can hold\n";

enum Op : uint8_t {
    OpNone,
    OpBT,
    OpET,
    OpTc,
    OpTw,
    OpTz,
    OpTL,
    OpTf,
    OpTs,
    OpTd,
    OpTD,
    OpTm,
    OpTstar,
    OpTj,
    OpTJ,
    OpQuote,
    OpDoubleQuote,
    OpSave,
    OpRestore,
    OpCm,
    OpDo,
    OpBI,
};

Op opOf(const std::string& s) {
    const size_t n = s.size();
    if (n == 1) {
        switch (s[0]) {
            case 'q':
                return OpSave;
            case 'Q':
                return OpRestore;
            case '\'':
                return OpQuote;
            case '"':
                return OpDoubleQuote;
            default:
                return OpNone;
        }
    }
    if (n != 2) return OpNone;
    const char a = s[0], b = s[1];
    if (a == 'T') {
        switch (b) {
            case 'c':
                return OpTc;
            case 'w':
                return OpTw;
            case 'z':
                return OpTz;
            case 'L':
                return OpTL;
            case 'f':
                return OpTf;
            case 's':
                return OpTs;
            case 'd':
                return OpTd;
            case 'D':
                return OpTD;
            case 'm':
                return OpTm;
            case '*':
                return OpTstar;
            case 'j':
                return OpTj;
            case 'J':
                return OpTJ;
            default:
                return OpNone;
        }
    }
    if (a == 'B' && b == 'T') return OpBT;
    if (a == 'E' && b == 'T') return OpET;
    if (a == 'c' && b == 'm') return OpCm;
    if (a == 'D' && b == 'o') return OpDo;
    if (a == 'B' && b == 'I') return OpBI;
    return OpNone;
}

bool isSpaceValue(uint32_t u) {
    return u == 0x20 || u == 0x09 || u == 0x0A || u == 0x0D || u == 0xA0 || (u >= 0x2000 && u <= 0x200A) ||
           u == 0x202F || u == 0x205F || u == 0x3000;
}

bool isInvisibleValue(uint32_t u) { return (u >= 0x200B && u <= 0x200D) || u == 0x2060 || u == 0xFEFF; }

// A ToUnicode value that says nothing a reader could show: none, the replacement
// character, a control code, a private-use code (symbol fonts map their glyphs there).
bool isMeaninglessValue(uint32_t u) {
    return u == 0 || u == 0xFFFD || (u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D) || (u >= 0x7F && u < 0xA0) ||
           (u >= 0xE000 && u <= 0xF8FF);
}

// Windows-1252 bytes of Unicode values (one glyph): ligatures are spelt out, every kind
// of space becomes byte 32, invisible characters give nothing; a value without a byte
// makes the whole glyph one kUnmappedCharByte. Returns the byte count.
int bytesOfValues(const uint32_t* v, int n, unsigned char* out) {
    static const char* const kLigatures[] = {"ff", "fi", "fl", "ffi", "ffl", "st", "st"};
    int k = 0;
    for (int i = 0; i < n; ++i) {
        uint32_t u = v[i];
        // A surrogate pair written as two values is one character.
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && v[i + 1] >= 0xDC00 && v[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (v[i + 1] - 0xDC00);
            ++i;
        }
        if (isInvisibleValue(u)) continue;
        if (isSpaceValue(u)) {
            if (k < kMaxGlyphChars) out[k++] = ' ';
            continue;
        }
        if (u >= 0xFB00 && u <= 0xFB06) {
            for (const char* p = kLigatures[u - 0xFB00]; *p; ++p)
                if (k < kMaxGlyphChars) out[k++] = static_cast<unsigned char>(*p);
            continue;
        }
        const int b = unicodeToWindows1252(u);
        if (b < 0) {
            out[0] = kUnmappedCharByte;
            return 1;
        }
        if (k < kMaxGlyphChars) out[k++] = static_cast<unsigned char>(b);
    }
    return k;
}

// A code of a simple font read as a Windows-1252 byte, when nothing else is known of
// it: only bytes that stand for a character.
bool isShowableByte(uint32_t code) {
    if (code < 0x20 || code == 0x7F || code > 0xFF) return false;
    return code != 0x81 && code != 0x8D && code != 0x8F && code != 0x90 && code != 0x9D;
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

// Width tables live from before the first page to after the last, also when a page fails.
struct WidthTablesScope {
    WidthTablesScope() { buildWidthTables(); }
    ~WidthTablesScope() { releaseWidthTables(); }
    WidthTablesScope(const WidthTablesScope&) = delete;
    WidthTablesScope& operator=(const WidthTablesScope&) = delete;
};

// One operand of the operator to come. Arrays keep their numbers and strings (the
// strings' bytes one after another in bytes).
struct Operand {
    enum Kind : uint8_t { Number, String, Name, Array, Other } kind = Other;
    double num = 0;
    std::string bytes;
    struct Item {
        bool isString;
        double num;
        size_t offset, length;
    };
    std::vector<Item> items;
};

}  // namespace

/// A font as the extractor uses it: the font object (null when it could not be built)
/// and, for simple fonts, the bytes and width of each code as they are first needed.
struct PdfFontEntry {
    std::unique_ptr<CPdfFont> owned;
    CPdfFont* font = nullptr;
    bool composite = false;
    bool known[256];
    uint8_t count[256];
    unsigned char bytes[256][kMaxGlyphChars];
    double width[256];
    explicit PdfFontEntry(CPdfFont* f) : font(f), composite(f && f->isComposite()) {
        std::memset(known, 0, sizeof known);
        std::memset(count, 0, sizeof count);
    }
};

namespace {

// Character bytes of one glyph: the font's Unicode values for it (its ToUnicode map)
// when they say anything, else the Unicode values of its glyph name, else, for a simple
// font, the code itself when it is a character's byte. Returns the count (0: a glyph
// that shows nothing; one 0 byte: nothing known).
inline int glyphBytes(const CPdfFont* font, bool composite, uint32_t code, const uint32_t* uni, int ucount,
                      unsigned char* out) {
    bool meaningful = false;
    for (int i = 0; i < ucount; ++i)
        if (!isMeaninglessValue(uni[i])) meaningful = true;
    if (meaningful) return bytesOfValues(uni, ucount, out);
    if (!composite) {
        const char* name = font->getGlyphName(code);
        if (name) {
            uint32_t values[kMaxGlyphChars];
            const int n = glyphNameToUnicode(name, values, kMaxGlyphChars);
            if (n > 0) return bytesOfValues(values, n, out);
        }
        if (isShowableByte(code)) {
            out[0] = static_cast<unsigned char>(code);
            return 1;
        }
    }
    out[0] = 0;
    return 1;
}

}  // namespace

namespace {

// What the fast path of a straight line needs of the string being shown.
struct FastLine {
    double fs, th, charSpace, wordSpace;
    double ma, hx;      // x move per text space unit; glyph height's x part
    double box0, box2;  // the page's left and right edges
    double y0, y1;      // baseline and top of every glyph of the line
};
// Where the fast path stands: next byte, origin, advance so far, next record.
struct FastRun {
    size_t i;
    double ox, advanced;
    TextChar* c;
    bool touching;
};

// Records for the one-byte, one-character glyphs of a simple font from s[f.i] on, on a
// line straight across the page, while they stay on the page and touch the glyph
// before (without character or word spacing, Plain, they always do), up to cstop.
// Stops before the first glyph it cannot take (a code not yet worked out has the
// count 0) and after the first that does not touch the next.
template <bool Plain>
void fastRun(const PdfFontEntry& fe, const unsigned char* s, size_t len, TextChar* cstop, const TextChar& proto,
             const FastLine& l, FastRun& f) {
    const double fs = l.fs, th = l.th, ma = l.ma, hx = l.hx, box0 = l.box0, box2 = l.box2;
    const double charSpace = l.charSpace, wordSpace = l.wordSpace, y0 = l.y0, y1 = l.y1;
    size_t i = f.i;
    double ox = f.ox, advanced = f.advanced;
    TextChar* c = f.c;
    for (; i < len && c < cstop; ++i) {
        const unsigned char b = s[i];
        if (fe.count[b] != 1) break;
        const double adv = fe.width[b] * fs;
        const double w = adv * th;
        const double wx = w * ma;
        const double xb = ox + wx + hx;
        if (std::max(ox, xb) < box0 || std::min(ox, xb) > box2) break;
        *c = proto;
        c->x0 = ox;
        c->y0 = y0;
        c->x1 = xb;
        c->y1 = y1;
        c->text = static_cast<char>(fe.bytes[b][0]);
        ++c;
        if (Plain) {
            // (adv + 0 + 0) * th is w: the advance is the glyph's width.
            ox += wx;
            advanced += w;
        } else {
            const double tx = (adv + charSpace + (b == 32 ? wordSpace : 0)) * th;
            ox += tx * ma;
            advanced += tx;
            if (tx != w) {
                f.touching = false;
                ++i;
                break;
            }
        }
    }
    f.i = i;
    f.ox = ox;
    f.advanced = advanced;
    f.c = c;
}

// Passes over the glyphs of a simple font from s[i] on that lie wholly outside the page
// (a line running off its edge), moving the origin ox and the advance by each, up to
// the first glyph on the page or one whose code is not yet worked out.
inline void skipOffPage(const PdfFontEntry& fe, const unsigned char* s, size_t len, const FastLine& l, bool flatInside,
                        size_t& i, double& ox, double& advanced) {
    const double fs = l.fs, th = l.th, ma = l.ma, hx = l.hx, box0 = l.box0, box2 = l.box2;
    const double charSpace = l.charSpace, wordSpace = l.wordSpace;
    for (; i < len; ++i) {
        const unsigned char b = s[i];
        if (!fe.known[b]) break;
        const double adv = fe.width[b] * fs;
        const double tx = (adv + charSpace + (b == 32 ? wordSpace : 0)) * th;
        if (fe.count[b] > 0) {
            const double xb = ox + adv * th * ma + hx;
            if (!(std::max(ox, xb) < box0 || std::min(ox, xb) > box2) && flatInside) break;
        }
        ox += tx * ma;
        advanced += tx;
    }
}

// The next glyph of a composite font in s[0..len) (len > 0): its character bytes into
// out (their count into n), its width in text space units per font size, and whether
// it is the one-byte code 32. Returns the bytes it takes, at least one.
inline size_t compositeGlyph(const CPdfFont* font, const unsigned char* s, size_t len, unsigned char* out, int& n,
                             double& w0, bool& isSpace) {
    uint32_t code = 0;
    uint32_t unicode[kMaxGlyphChars];
    int ucount = 0;
    double dx = 0, dy = 0, oxx = 0, oyy = 0;
    const int remaining = static_cast<int>(std::min<size_t>(len, 1 << 20));
    int used = font->decodeChar(s, remaining, &code, unicode, kMaxGlyphChars, &ucount, &dx, &dy, &oxx, &oyy);
    if (used < 1) used = 1;
    if (used > remaining) used = remaining;
    ucount = std::max(0, std::min(ucount, kMaxGlyphChars));
    n = glyphBytes(font, true, code, unicode, ucount, out);
    w0 = font->getWidth(code);
    isSpace = used == 1 && s[0] == 32;
    return static_cast<size_t>(used);
}

}  // namespace

struct CPdfText::Impl {
    CPdfDocument* doc = nullptr;
    CPdfXRef* xref = nullptr;
    int page = 0;
    std::vector<TextChar>* out = nullptr;
    size_t runChars = 0;
    size_t charLimit = kMaxRunChars;
    size_t pageCharLimit = kMaxPageChars;
    size_t limitNow = kMaxRunChars;  // runChars may not pass it: the run's and the page's limit
    uint64_t runContent = 0;         // content bytes of the lexers done with
    uint64_t contentLimit = ~uint64_t(0);
    bool charLimitFixed = false;
    bool contentLimitFixed = false;
    bool listHoldsRun = false;  // out collects every page of the run (else one page)

    CPdfGraphicsState gs;
    std::vector<CPdfGraphicsState> saved;
    int uncopiedSaves = 0;
    CPdfTextObject text;
    CPdfDictionary* resources = nullptr;
    const PageFonts* testFonts = nullptr;

    // Fonts: by reference for the whole run (a font shared by many pages is built
    // once), written directly in a Font dictionary for the page. A font name of a
    // resource dictionary is looked up once per page.
    std::map<std::pair<int32_t, int32_t>, std::unique_ptr<PdfFontEntry>> fontsByRef;
    std::map<const void*, std::unique_ptr<PdfFontEntry>> pageFonts;
    std::map<std::pair<const void*, std::string>, PdfFontEntry*> fontNames;
    std::vector<int32_t> formStack;
    // Forms whose content shows no text wherever it is drawn (no text-showing operator,
    // no form drawn, nothing left out for depth or a loop, and no XObject looked up in
    // resources that are not the form's own): drawn again, they are passed over.
    std::unordered_set<int32_t> textlessForms;
    uint64_t shows = 0, formsDrawn = 0, formsLeftOut = 0, xobjectLookups = 0;

    // The last record placed: where its glyph ended, its direction and size.
    bool hasLast = false;
    double lastEndX = 0, lastEndY = 0, lastUx = 1, lastUy = 0, lastSize = 0, lastHx = 0, lastHy = 0;
    unsigned char lastByte = 0;
    int8_t lastAngle = 0;

    Operand ops[kMaxOperands];
    int opHead = 0, opCount = 0;

    // The page's MediaBox: a character wholly outside it is not shown, so it yields no
    // record (readers do the same). Inner nodes' boxes are remembered for the run.
    double box[4] = {-1e300, -1e300, 1e300, 1e300};
    std::map<int32_t, std::vector<double>> nodeBoxes;
    void findMediaBox(const CPdfPage& pg);

    void beginRun(CPdfDocument* d, std::vector<TextChar>* list, bool holdsRun);
    /// Ends the run when it goes out of scope.
    struct RunEnd {
        Impl& t;
        ~RunEnd();
    };
    void startDocumentPage(int p);
    void startPage(int p);
    void runPage(const CPdfPage& pg);
    void interpret(CPdfContentLexer& lex);
    void takeOperand(CPdfContentLexer& lex, CPdfContentLexer::Kind k);
    void runOperator(Op op, CPdfContentLexer& lex);
    void textStateOperator(Op op);
    void textPositionOperator(Op op);
    void textShowOperator(Op op);
    void graphicsStateOperator(Op op);
    void xobjectOperator();
    Operand& pushOperand();
    Operand& operand(int i) { return ops[(opHead + i) % kMaxOperands]; }
    /// The number operand fromEnd places before the operator (1: the last).
    double number(int fromEnd) { return operand(opCount - fromEnd).num; }
    void showString(const std::string& s) { show(reinterpret_cast<const unsigned char*>(s.data()), s.size()); }
    void readArray(CPdfContentLexer& lex, Operand& o);
    void skipDict(CPdfContentLexer& lex);
    void inlineImage(CPdfContentLexer& lex);
    bool operandsAre(int n, const Operand::Kind* kinds);
    PdfFontEntry* fontFor(const std::string& name);
    PdfFontEntry* build(const CPdfElement& raw, const std::string& name);
    void drawForm(const std::string& name);
    bool findForm(const std::string& name, int32_t& num, CPdfElement& form);
    bool readFormDict(CPdfDictionary* dict, double matrix[6], CPdfElement& formResources);
    void runForm(CPdfStream* stream, int32_t num, const double matrix[6], const CPdfElement& formResources);
    void show(const unsigned char* s, size_t len);
    /// The geometry of one shown string.
    struct Run {
        double ma, mb;  ///< user-space move per text-space unit of advance
        double hx, hy;  ///< glyph height vector
        double ux, uy;  ///< unit direction of the text
        double size;
        double ox, oy;  ///< origin of the first glyph
        int8_t angle;
    };
    template <bool Composite, bool Flat>
    double showGlyphs(PdfFontEntry& fe, const unsigned char* s, size_t len, const Run& r);
    void learn(PdfFontEntry& fe, unsigned char b);
    /// Returns false when the glyph lies wholly outside the page and gave no record.
    bool place(const unsigned char* bytes, int n, double ox, double oy, double wx, double wy, double hx, double hy,
               double ux, double uy, double size, int8_t angle);
    void appendGlyph(const unsigned char* bytes, int n, double ox, double oy, double wx, double wy, double hx,
                     double hy, int8_t angle, uint8_t startFlag);
    void push(const TextChar& c);
    void grow(size_t n);
    void checkContent(const CPdfContentLexer& lex) const {
        if (runContent + lex.bytesRead() > contentLimit) throw CPdfException(kLimitMessage);
    }
};

size_t CPdfText::charLimitFor(int64_t fileSize) {
    if (fileSize <= 0) return kMinRunChars;
    if (static_cast<uint64_t>(fileSize) > kMaxRunChars / kRunCharsPerFileByte) return kMaxRunChars;
    const size_t want = static_cast<size_t>(fileSize) * kRunCharsPerFileByte;
    return want < kMinRunChars ? kMinRunChars : want;
}

uint64_t CPdfText::contentLimitFor(int64_t fileSize) {
    if (fileSize <= 0) return kMinRunContent;
    if (static_cast<uint64_t>(fileSize) > ~uint64_t(0) / kRunContentPerFileByte) return ~uint64_t(0);
    const uint64_t want = static_cast<uint64_t>(fileSize) * kRunContentPerFileByte;
    return want < kMinRunContent ? kMinRunContent : want;
}

CPdfText::CPdfText() : impl_(new Impl()) {}

CPdfText::~CPdfText() = default;

void CPdfText::setCharLimitForTesting(size_t limit) {
    impl_->charLimit = limit;
    impl_->charLimitFixed = true;
}

void CPdfText::setPageCharLimitForTesting(size_t limit) { impl_->pageCharLimit = limit; }

void CPdfText::setContentLimitForTesting(uint64_t limit) {
    impl_->contentLimit = limit;
    impl_->contentLimitFixed = true;
}

void CPdfText::Impl::startPage(int p) {
    page = p;
    limitNow = charLimit - std::min(charLimit, runChars) > pageCharLimit ? runChars + pageCharLimit : charLimit;
    gs = CPdfGraphicsState();
    saved.clear();
    uncopiedSaves = 0;
    text.begin();
    hasLast = false;
    opCount = 0;
    fontNames.clear();
    pageFonts.clear();
    formStack.clear();
}

Operand& CPdfText::Impl::pushOperand() {
    if (opCount == kMaxOperands) {
        opHead = (opHead + 1) % kMaxOperands;
        --opCount;
    }
    Operand& o = ops[(opHead + opCount) % kMaxOperands];
    ++opCount;
    return o;
}

void CPdfText::Impl::readArray(CPdfContentLexer& lex, Operand& o) {
    o.kind = Operand::Array;
    o.bytes.clear();
    o.items.clear();
    int depth = 1;
    for (;;) {
        const CPdfContentLexer::Kind k = lex.next();
        switch (k) {
            case CPdfContentLexer::kEnd:
                return;
            case CPdfContentLexer::kArrayOpen:
            case CPdfContentLexer::kDictOpen:
                ++depth;
                break;
            case CPdfContentLexer::kArrayClose:
            case CPdfContentLexer::kDictClose:
                if (--depth == 0) return;
                break;
            case CPdfContentLexer::kNumber:
                if (depth == 1) o.items.push_back(Operand::Item{false, lex.number(), 0, 0});
                break;
            case CPdfContentLexer::kString:
                if (depth == 1) {
                    o.items.push_back(Operand::Item{true, 0, o.bytes.size(), lex.bytes().size()});
                    o.bytes += lex.bytes();
                }
                break;
            default:
                break;
        }
    }
}

void CPdfText::Impl::skipDict(CPdfContentLexer& lex) {
    int depth = 1;
    for (;;) {
        const CPdfContentLexer::Kind k = lex.next();
        if (k == CPdfContentLexer::kEnd) return;
        if (k == CPdfContentLexer::kArrayOpen || k == CPdfContentLexer::kDictOpen)
            ++depth;
        else if ((k == CPdfContentLexer::kArrayClose || k == CPdfContentLexer::kDictClose) && --depth == 0)
            return;
    }
}

// BI, the image's entries, ID, the data, EI. The data is passed over by its length
// when the entries give it (no filter, a known colour space), else up to its EI: its
// bytes are never read as content, whatever "(", "[" or "<<" they hold.
void CPdfText::Impl::inlineImage(CPdfContentLexer& lex) {
    double width = -1, height = -1, bpc = 8;
    int comps = 0;
    bool mask = false, filtered = false;
    std::string key;
    for (;;) {
        const CPdfContentLexer::Kind k = lex.next();
        if (k == CPdfContentLexer::kEnd) return;
        if (k == CPdfContentLexer::kOperator) {
            if (lex.bytes() == "ID") break;
            if (lex.bytes() == "EI") return;
            continue;
        }
        if (k == CPdfContentLexer::kName && key.empty()) {
            key = lex.bytes();
            continue;
        }
        if (k == CPdfContentLexer::kArrayOpen) {
            Operand scratch;
            readArray(lex, scratch);
            if (key == "CS" || key == "ColorSpace")
                comps = -1;  // an array colour space (Indexed and the like): size not worked out
            if (key == "F" || key == "Filter") filtered = true;
        } else if (k == CPdfContentLexer::kDictOpen) {
            skipDict(lex);
        } else if (k == CPdfContentLexer::kNumber) {
            if (key == "W" || key == "Width")
                width = lex.number();
            else if (key == "H" || key == "Height")
                height = lex.number();
            else if (key == "BPC" || key == "BitsPerComponent")
                bpc = lex.number();
        } else if (k == CPdfContentLexer::kName) {
            const std::string& v = lex.bytes();
            if (key == "CS" || key == "ColorSpace") {
                if (v == "G" || v == "DeviceGray" || v == "CalGray")
                    comps = 1;
                else if (v == "RGB" || v == "DeviceRGB" || v == "CalRGB")
                    comps = 3;
                else if (v == "CMYK" || v == "DeviceCMYK")
                    comps = 4;
                else
                    comps = -1;
            } else if (key == "F" || key == "Filter") {
                filtered = true;
            }
        } else if (k == CPdfContentLexer::kOperator && key == "IM") {
            mask = lex.bytes() == "true";
        }
        key.clear();
    }
    int64_t length = -1;
    if (mask) {
        comps = 1;
        bpc = 1;
    }
    if (!filtered && comps > 0 && width > 0 && height > 0 && bpc > 0 && width < 1e6 && height < 1e6 && bpc <= 16) {
        const double rowBytes = std::ceil(width * comps * bpc / 8);
        length = static_cast<int64_t>(rowBytes * height);
    }
    lex.skipInlineImage(length);
}

bool CPdfText::Impl::operandsAre(int n, const Operand::Kind* kinds) {
    if (opCount < n) return false;
    for (int i = 0; i < n; ++i)
        if (operand(opCount - n + i).kind != kinds[i]) return false;
    return true;
}

PdfFontEntry* CPdfText::Impl::build(const CPdfElement& raw, const std::string& name) {
    CPdfElement value;
    try {
        value = raw.isReference() ? raw.fetch(xref) : raw;
    } catch (const CPdfException&) {
        value = CPdfElement();
    }
    std::unique_ptr<CPdfFont> font;
    if (value.isDictionary() && !value.isStream()) {
        PdfObjRef id{raw.isReference() ? raw.getRefNum() : 0, raw.isReference() ? raw.getRefGen() : 0};
        try {
            font = createFont(doc, name, id, value);
        } catch (const CPdfException&) {
            // A font that cannot be built shows nothing; the rest of the page goes on.
            font.reset();
        }
    }
    std::unique_ptr<PdfFontEntry> entry(new PdfFontEntry(font.get()));
    entry->owned = std::move(font);
    PdfFontEntry* result = entry.get();
    if (raw.isReference())
        fontsByRef[std::make_pair(raw.getRefNum(), raw.getRefGen())] = std::move(entry);
    else
        pageFonts[value.isDictionary() ? static_cast<const void*>(value.getDictionary()) : result] = std::move(entry);
    return result;
}

PdfFontEntry* CPdfText::Impl::fontFor(const std::string& name) {
    if (testFonts) {
        CPdfFont* f = testFonts->findFont(name);
        if (!f) return nullptr;
        auto it = pageFonts.find(f);
        if (it != pageFonts.end()) return it->second.get();
        PdfFontEntry* e = new PdfFontEntry(f);
        pageFonts[f].reset(e);
        return e;
    }
    if (!resources) return nullptr;
    const auto key = std::make_pair(static_cast<const void*>(resources), name);
    auto memo = fontNames.find(key);
    if (memo != fontNames.end()) return memo->second;
    PdfFontEntry* result = nullptr;
    try {
        CPdfElement fontDict = resources->lookup("Font");
        if (fontDict.isDictionary() && !fontDict.isStream()) {
            CPdfElement raw = fontDict.getDictionary()->lookupRaw(name.c_str());
            if (raw.isReference()) {
                auto it = fontsByRef.find(std::make_pair(raw.getRefNum(), raw.getRefGen()));
                result = it != fontsByRef.end() ? it->second.get() : build(raw, name);
            } else if (raw.isDictionary()) {
                auto it = pageFonts.find(raw.getDictionary());
                result = it != pageFonts.end() ? it->second.get() : build(raw, name);
            }
        }
    } catch (const CPdfException&) {
        result = nullptr;
    }
    fontNames[key] = result;
    return result;
}

inline void CPdfText::Impl::push(const TextChar& c) {
    if (++runChars > limitNow) throw CPdfException(kLimitMessage);
    if (out->size() == out->capacity()) grow(1);
    out->push_back(c);
}

// Room for n more records in the list (counted in runChars already), growing it by
// doubling but never past what the limits still allow after them: near a limit the
// list does not double to hold records it will never get. The list holds the page's
// records, or the whole run's when it collects every page.
void CPdfText::Impl::grow(size_t n) {
    const size_t need = out->size() + n;
    if (need <= out->capacity()) return;
    const size_t limit = listHoldsRun ? charLimit : limitNow;
    const size_t more = limit > runChars ? limit - runChars : 0;
    size_t want = std::max(need, 2 * out->capacity());
    if (want - need > more) want = need + more;
    out->reserve(want);
}

// Places the records of one glyph (bytes[0..n)) whose origin is (ox, oy), advance
// vector (wx, wy), height vector (hx, hy), unit direction (ux, uy) and size, after the
// space that separates it from the record before, if any.
bool CPdfText::Impl::place(const unsigned char* bytes, int n, double ox, double oy, double wx, double wy, double hx,
                           double hy, double ux, double uy, double size, int8_t angle) {
    {
        const double xa = ox, xb = ox + wx + hx, ya = oy, yb = oy + wy + hy;
        if (std::max(xa, xb) < box[0] || std::min(xa, xb) > box[2] || std::max(ya, yb) < box[1] ||
            std::min(ya, yb) > box[3])
            return false;  // wholly outside the page
    }
    uint8_t startFlag = 0;
    if (!hasLast) {
        // A page starts with a separating space of its own too, so that a phrase
        // running from the end of one page to the start of the next reads as one.
        if (bytes[0] != ' ') {
            TextChar sep{ox, oy, ox + hx, oy + hy, page, ' ', angle, kCharLineStart | kCharGenerated};
            push(sep);
        } else {
            startFlag = kCharLineStart;
        }
    } else {
        const double dx = ox - lastEndX, dy = oy - lastEndY;
        const double along = dx * lastUx + dy * lastUy;
        const double across = std::fabs(dy * lastUx - dx * lastUy);
        const double s = std::max(size, lastSize);
        const bool sameLine =
            ux * lastUx + uy * lastUy > 0.9 && across <= kSameLineRise * s && along >= -kSameLineBack * s;
        const bool spaced = lastByte == ' ' || bytes[0] == ' ';
        if (!sameLine) {
            startFlag = kCharLineStart;
            if (!spaced) {
                TextChar sep{ox, oy, ox + hx, oy + hy, page, ' ', angle, kCharLineStart | kCharGenerated};
                push(sep);
                startFlag = 0;
            }
        } else if (!spaced && s > 0 && along >= kWordGap * s && std::isfinite(along)) {
            TextChar gap{lastEndX, lastEndY, ox + lastHx, oy + lastHy, page, ' ', lastAngle, kCharGenerated};
            push(gap);
        }
    }
    appendGlyph(bytes, n, ox, oy, wx, wy, hx, hy, angle, startFlag);
    lastUx = ux;
    lastUy = uy;
    lastSize = size;
    lastHx = hx;
    lastHy = hy;
    lastAngle = angle;
    return true;
}

// The records of one glyph: each of its n characters gets an equal share of its advance.
inline void CPdfText::Impl::appendGlyph(const unsigned char* bytes, int n, double ox, double oy, double wx, double wy,
                                        double hx, double hy, int8_t angle, uint8_t startFlag) {
    TextChar c;
    c.page = page;
    c.angle = angle;
    if (n == 1) {
        c.x0 = ox + wx * 0.0;
        c.y0 = oy + wy * 0.0;
        c.x1 = c.x0 + wx + hx;
        c.y1 = c.y0 + wy + hy;
        c.text = static_cast<char>(bytes[0]);
        c.flags = startFlag;
        push(c);
    } else {
        const double share = 1.0 / n;
        for (int i = 0; i < n; ++i) {
            c.x0 = ox + wx * share * i;
            c.y0 = oy + wy * share * i;
            c.x1 = c.x0 + wx * share + hx;
            c.y1 = c.y0 + wy * share + hy;
            c.text = static_cast<char>(bytes[i]);
            c.flags = i == 0 ? startFlag : 0;
            push(c);
        }
    }
    hasLast = true;
    lastEndX = ox + wx;
    lastEndY = oy + wy;
    lastByte = bytes[n - 1];
}

void CPdfText::Impl::show(const unsigned char* s, size_t len) {
    ++shows;
    PdfFontEntry* fe = gs.font;
    if (!fe || !fe->font || len == 0) return;
    const double* ctm = gs.ctm;
    const double fs = gs.fontSize;
    const double* tm = text.tm;
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
    if (!(std::fabs(uy) < 0.1 && std::fabs(vx) < 0.1) && std::fabs(ux) < 0.1 && std::fabs(vy) < 0.1) angle = 90;
    Run r;
    r.ma = ma;
    r.mb = mb;
    r.hx = fs * mc;  // glyph height vector
    r.hy = fs * md;
    r.ux = ux;
    r.uy = uy;
    r.size = std::fabs(fs) * up;
    r.angle = angle;
    // The origin of the first glyph in user space: the text matrix (moved by the rise)
    // through the transformation matrix.
    r.ox = tm[4] * ctm[0] + tm[5] * ctm[2] + ctm[4] + gs.rise * mc;
    r.oy = tm[4] * ctm[1] + tm[5] * ctm[3] + ctm[5] + gs.rise * md;
    // A line straight across the page keeps its baseline: oy never moves.
    const bool flat = mb == 0 && std::isfinite(r.oy);
    double advanced;
    if (fe->composite)
        advanced = flat ? showGlyphs<true, true>(*fe, s, len, r) : showGlyphs<true, false>(*fe, s, len, r);
    else
        advanced = flat ? showGlyphs<false, true>(*fe, s, len, r) : showGlyphs<false, false>(*fe, s, len, r);
    text.advance(advanced);
}

// Shows the glyphs of one string and returns their whole advance in text space. Each
// glyph moves the origin by its advance along the text matrix's x axis, (ma, mb) per
// text space unit.
//
// The fast path: while the last record placed is this string's previous glyph (`run`)
// and that glyph's end is the current glyph's origin (`touching`: no character or word
// spacing at work, no glyph of its own in between), a glyph of one character continues
// the line without a word gap, and its record is collected in a small buffer that goes
// to the list in one piece. Before the general placement runs, and when the string
// ends, the buffer goes to the list and the members that describe the last record (its
// end and byte) and the run's character count are brought up to date (`sync`).
//
// Flat: the line runs straight across the page (the text matrix's x axis has no
// vertical part), so every glyph of the string has the same baseline and height and
// the same vertical extent to test against the page.
template <bool Composite, bool Flat>
double CPdfText::Impl::showGlyphs(PdfFontEntry& fe, const unsigned char* s, size_t len, const Run& r) {
    CPdfFont* font = fe.font;
    const double fs = gs.fontSize, th = gs.hScale;
    const double charSpace = gs.charSpace, wordSpace = gs.wordSpace;
    const double ma = r.ma, mb = Flat ? 0.0 : r.mb, hx = r.hx, hy = r.hy;
    const double box0 = box[0], box1 = box[1], box2 = box[2], box3 = box[3];
    double ox = r.ox, oy = r.oy;
    const double flatY1 = oy + hy;
    const bool flatInside = !(std::max(oy, flatY1) < box1 || std::min(oy, flatY1) > box3);

    const size_t kBuffered = 128;
    TextChar buffer[kBuffered];
    size_t buffered = 0;
    TextChar proto{};  // page, angle and flags of every record of the fast path
    proto.page = page;
    proto.angle = r.angle;
    proto.flags = 0;
    proto.text = 0;
    const FastLine line{fs, th, charSpace, wordSpace, ma, hx, box0, box2, oy, flatY1};
    size_t room = limitNow > runChars ? limitNow - runChars : 0;
    bool run = false, touching = false;
    auto sync = [&]() {
        runChars = limitNow - room;
        if (buffered > 0) {
            grow(buffered);
            out->insert(out->end(), buffer, buffer + buffered);
            const TextChar& last = buffer[buffered - 1];
            lastEndX = last.x1 - hx;
            lastEndY = last.y1 - hy;
            lastByte = static_cast<unsigned char>(last.text);
            buffered = 0;
        }
    };

    double advanced = 0;
    unsigned char decoded[kMaxGlyphChars];
    size_t i = 0;
    while (i < len) {
        if (!Composite && Flat && run && touching) {
            // The glyphs of one character that follow, as long as they stay on the page
            // and touch: the common case, in a loop of its own.
            const size_t stop = buffered + std::min(room, kBuffered - buffered);
            FastRun f{i, ox, advanced, buffer + buffered, touching};
            if (charSpace == 0 && wordSpace == 0)
                fastRun<true>(fe, s, len, buffer + stop, proto, line, f);
            else
                fastRun<false>(fe, s, len, buffer + stop, proto, line, f);
            i = f.i;
            ox = f.ox;
            advanced = f.advanced;
            touching = f.touching;
            const size_t made = static_cast<size_t>(f.c - buffer) - buffered;
            room -= made;
            buffered += made;
            if (buffered == kBuffered) sync();
            if (i >= len) break;
            if (f.c == buffer + stop && touching && room > 0) continue;  // the buffer was full: on with the fast path
        } else if (!Composite && Flat && !run) {
            skipOffPage(fe, s, len, line, flatInside, i, ox, advanced);
            if (i >= len) break;
        }
        // One glyph: bytes[0..n) (none for a glyph that shows nothing), its width w0 in
        // text space units per font size, whether it is a one-byte code 32.
        const unsigned char* bytes;
        int n;
        double w0;
        bool isSpace;
        if (!Composite) {
            const unsigned char b = s[i];
            if (!fe.known[b]) learn(fe, b);
            bytes = fe.bytes[b];
            n = fe.count[b];
            w0 = fe.width[b];
            isSpace = b == 32;
            ++i;
        } else {
            bytes = decoded;
            i += compositeGlyph(font, s + i, len - i, decoded, n, w0, isSpace);
        }
        const double adv = w0 * fs;
        const double tx = (adv + charSpace + (isSpace ? wordSpace : 0)) * th;
        const double w = adv * th;
        if (n > 0) {
            const double wx = w * ma, wy = Flat ? 0.0 : w * mb;
            const double xb = ox + wx + hx, yb = Flat ? flatY1 : oy + wy + hy;
            const bool inside = !(std::max(ox, xb) < box0 || std::min(ox, xb) > box2) &&
                                (Flat ? flatInside : !(std::max(oy, yb) < box1 || std::min(oy, yb) > box3));
            if (!inside) {
                run = false;  // wholly outside the page: no record
            } else if (run && touching && n == 1 && room > 0) {
                --room;
                TextChar& c = buffer[buffered];
                c = proto;
                c.x0 = ox;
                c.y0 = oy;
                c.x1 = xb;
                c.y1 = yb;
                c.text = static_cast<char>(bytes[0]);
                if (++buffered == kBuffered) sync();
            } else {
                sync();
                if (run && touching)
                    appendGlyph(bytes, n, ox, oy, wx, wy, hx, hy, r.angle, 0);
                else
                    run = place(bytes, n, ox, oy, wx, wy, hx, hy, r.ux, r.uy, r.size, r.angle);
                room = limitNow > runChars ? limitNow - runChars : 0;
            }
            touching = tx == w;
        } else {
            touching = touching && tx == 0;
        }
        ox += tx * ma;
        if (!Flat) oy += tx * mb;
        advanced += tx;
    }
    sync();
    return advanced;
}

// The bytes and width of one code of a simple font, worked out when it is first shown.
void CPdfText::Impl::learn(PdfFontEntry& fe, unsigned char b) {
    uint32_t code = 0;
    uint32_t unicode[kMaxGlyphChars];
    int ucount = 0;
    double dx = 0, dy = 0, oxx = 0, oyy = 0;
    fe.font->decodeChar(&b, 1, &code, unicode, kMaxGlyphChars, &ucount, &dx, &dy, &oxx, &oyy);
    ucount = std::max(0, std::min(ucount, kMaxGlyphChars));
    fe.width[b] = fe.font->getWidth(code);
    fe.count[b] = static_cast<uint8_t>(glyphBytes(fe.font, false, code, unicode, ucount, fe.bytes[b]));
    fe.known[b] = true;
}

// Do with the name of a form XObject: the form's content is read in its place, unless
// it is nested too deep, draws itself, or is known to show no text.
void CPdfText::Impl::drawForm(const std::string& name) {
    ++xobjectLookups;
    if (!resources) return;
    if (formStack.size() >= kMaxFormDepth) {
        ++formsLeftOut;
        return;
    }
    int32_t num = 0;
    CPdfElement form;
    if (!findForm(name, num, form)) return;
    if (!form.isStream() || !form.getStream()) return;
    CPdfDictionary* dict = form.getStream()->getDict();
    if (!dict) return;
    CPdfElement formResources;
    double matrix[6] = {1, 0, 0, 1, 0, 0};
    if (!readFormDict(dict, matrix, formResources)) return;
    runForm(form.getStream(), num, matrix, formResources);
}

// The XObject of that name in the current resources, by reference (its object number
// into num), when it is to be drawn: not one known to show no text, not one drawing
// itself. False when there is nothing to draw or it cannot be read.
bool CPdfText::Impl::findForm(const std::string& name, int32_t& num, CPdfElement& form) {
    try {
        CPdfElement xobjects = resources->lookup("XObject");
        if (!xobjects.isDictionary() || xobjects.isStream()) return false;
        CPdfElement raw = xobjects.getDictionary()->lookupRaw(name.c_str());
        if (!raw.isReference()) return false;
        num = raw.getRefNum();
        if (textlessForms.count(num)) return false;
        // A form drawing itself, directly or through others, is drawn once.
        if (std::find(formStack.begin(), formStack.end(), num) != formStack.end()) {
            ++formsLeftOut;
            return false;
        }
        form = raw.fetch(xref);
    } catch (const CPdfException&) {
        return false;
    }
    return true;
}

// A form's dictionary: Subtype Form, its Matrix (six numbers, else the identity stays)
// and its Resources. False when it is no form or cannot be read.
bool CPdfText::Impl::readFormDict(CPdfDictionary* dict, double matrix[6], CPdfElement& formResources) {
    try {
        if (!dict->lookup("Subtype").isName("Form")) return false;
        CPdfElement m = dict->lookup("Matrix");
        if (m.isArray() && m.getArray()->getLength() >= 6) {
            for (int i = 0; i < 6; ++i) {
                CPdfElement v = m.getArray()->get(i);
                if (!v.isNumber()) return false;
                matrix[i] = v.getNumber();
            }
        }
        formResources = dict->lookup("Resources");
    } catch (const CPdfException&) {
        return false;
    }
    return true;
}

// Reads the content of form num like a page of its own inside the current graphics
// state: its matrix, its resources (those of what draws it when it has none), a text
// object of its own; everything is as before afterwards. A form that showed no text
// and drew nothing that might is remembered and passed over when drawn again.
void CPdfText::Impl::runForm(CPdfStream* stream, int32_t num, const double matrix[6],
                             const CPdfElement& formResources) {
    runContent += kFormCost;
    const CPdfGraphicsState outerState = gs;
    const CPdfTextObject outerText = text;
    CPdfDictionary* outerResources = resources;
    const size_t outerSaved = saved.size();
    const int outerUncopied = uncopiedSaves;
    gs.concat(matrix);
    const bool ownResources = formResources.isDictionary() && !formResources.isStream();
    if (ownResources) resources = formResources.getDictionary();
    text.begin();
    ++formsDrawn;
    const uint64_t showsBefore = shows, formsBefore = formsDrawn, leftOutBefore = formsLeftOut,
                   lookupsBefore = xobjectLookups;
    formStack.push_back(num);
    opCount = 0;
    struct Restore {
        Impl& t;
        const CPdfGraphicsState& g;
        const CPdfTextObject& tx;
        CPdfDictionary* r;
        size_t savedSize;
        int uncopied;
        ~Restore() {
            t.gs = g;
            t.text = tx;
            t.resources = r;
            t.saved.resize(std::min(t.saved.size(), savedSize));
            t.uncopiedSaves = uncopied;
            t.formStack.pop_back();
            t.opCount = 0;
        }
    } restore{*this, outerState, outerText, outerResources, outerSaved, outerUncopied};
    stream->addRef();
    CPdfContentLexer lex({stream});
    interpret(lex);
    if (shows == showsBefore && formsDrawn == formsBefore && formsLeftOut == leftOutBefore &&
        (ownResources || xobjectLookups == lookupsBefore))
        textlessForms.insert(num);
}

namespace {

// The operand kinds an operator needs, last operand last.
const Operand::Kind kNum1[] = {Operand::Number};
const Operand::Kind kNum2[] = {Operand::Number, Operand::Number};
const Operand::Kind kNum6[] = {Operand::Number, Operand::Number, Operand::Number,
                               Operand::Number, Operand::Number, Operand::Number};
const Operand::Kind kStr[] = {Operand::String};
const Operand::Kind kArr[] = {Operand::Array};
const Operand::Kind kFont[] = {Operand::Name, Operand::Number};
const Operand::Kind kName1[] = {Operand::Name};
const Operand::Kind kQuote2[] = {Operand::Number, Operand::Number, Operand::String};

}  // namespace

// Reads content to its end: operands are kept until the operator that takes them,
// and every operator drops them once it has run.
void CPdfText::Impl::interpret(CPdfContentLexer& lex) {
    struct Count {
        Impl& t;
        CPdfContentLexer& l;
        ~Count() { t.runContent += l.bytesRead(); }
    } count{*this, lex};
    opCount = 0;
    for (;;) {
        const CPdfContentLexer::Kind k = lex.next();
        if (k == CPdfContentLexer::kEnd) {
            opCount = 0;
            return;
        }
        if (k != CPdfContentLexer::kOperator) {
            takeOperand(lex, k);
            continue;
        }
        checkContent(lex);
        runOperator(opOf(lex.bytes()), lex);
        opCount = 0;
    }
}

// One operand token: numbers, strings, names and arrays are kept; a dictionary is
// passed over and kept as an operand of no use; a stray closing bracket is ignored.
inline void CPdfText::Impl::takeOperand(CPdfContentLexer& lex, CPdfContentLexer::Kind k) {
    switch (k) {
        case CPdfContentLexer::kNumber: {
            Operand& o = pushOperand();
            o.kind = Operand::Number;
            o.num = lex.number();
            break;
        }
        case CPdfContentLexer::kString:
        case CPdfContentLexer::kName: {
            Operand& o = pushOperand();
            o.kind = k == CPdfContentLexer::kString ? Operand::String : Operand::Name;
            o.bytes = lex.bytes();
            break;
        }
        case CPdfContentLexer::kArrayOpen:
            readArray(lex, pushOperand());
            break;
        case CPdfContentLexer::kDictOpen:
            skipDict(lex);
            pushOperand().kind = Operand::Other;
            break;
        default:
            break;
    }
}

// Hands an operator to the function of its group. Operators not listed here (paths,
// colours, marked content and the rest) change nothing the text depends on.
inline void CPdfText::Impl::runOperator(Op op, CPdfContentLexer& lex) {
    switch (op) {
        case OpNone:
        case OpET:
            break;
        case OpBT:
            // A text object starts at the start of text space.
            text.begin();
            break;
        case OpTc:
        case OpTw:
        case OpTz:
        case OpTL:
        case OpTs:
        case OpTf:
            textStateOperator(op);
            break;
        case OpTd:
        case OpTD:
        case OpTm:
        case OpTstar:
            textPositionOperator(op);
            break;
        case OpTj:
        case OpQuote:
        case OpDoubleQuote:
        case OpTJ:
            textShowOperator(op);
            break;
        case OpSave:
        case OpRestore:
        case OpCm:
            graphicsStateOperator(op);
            break;
        case OpDo:
            xobjectOperator();
            break;
        case OpBI:
            opCount = 0;
            inlineImage(lex);
            break;
    }
}

// Tc, Tw, Tz, TL, Ts, Tf: spacing, scaling, leading, rise and font of the text to come.
inline void CPdfText::Impl::textStateOperator(Op op) {
    switch (op) {
        case OpTc:
            if (operandsAre(1, kNum1)) gs.charSpace = number(1);
            break;
        case OpTw:
            if (operandsAre(1, kNum1)) gs.wordSpace = number(1);
            break;
        case OpTz:
            if (operandsAre(1, kNum1)) gs.hScale = number(1) / 100;
            break;
        case OpTL:
            if (operandsAre(1, kNum1)) gs.leading = number(1);
            break;
        case OpTs:
            if (operandsAre(1, kNum1)) gs.rise = number(1);
            break;
        case OpTf:
            if (operandsAre(2, kFont)) {
                PdfFontEntry* f = fontFor(operand(opCount - 2).bytes);
                // A name the resources do not define leaves the font in force.
                if (f) {
                    gs.font = f;
                    gs.fontSize = number(1);
                }
            }
            break;
        default:
            break;
    }
}

// Td, TD, Tm, T*: the start of the next line, or a new text matrix.
inline void CPdfText::Impl::textPositionOperator(Op op) {
    switch (op) {
        case OpTd:
            if (operandsAre(2, kNum2)) text.moveLine(number(2), number(1));
            break;
        case OpTD:
            if (operandsAre(2, kNum2)) {
                gs.leading = -number(1);
                text.moveLine(number(2), number(1));
            }
            break;
        case OpTm:
            if (operandsAre(6, kNum6)) {
                double m[6];
                for (int i = 0; i < 6; ++i)
                    m[i] = number(6 - i);
                text.set(m);
            }
            break;
        case OpTstar:
            text.moveLine(0, -gs.leading);
            break;
        default:
            break;
    }
}

// Tj, ', ", TJ: strings shown, the quotes on the next line, TJ with its numbers moving
// the strings apart.
inline void CPdfText::Impl::textShowOperator(Op op) {
    switch (op) {
        case OpTj:
            if (operandsAre(1, kStr)) showString(operand(opCount - 1).bytes);
            break;
        case OpQuote:
            if (operandsAre(1, kStr)) {
                text.moveLine(0, -gs.leading);
                showString(operand(opCount - 1).bytes);
            }
            break;
        case OpDoubleQuote:
            if (operandsAre(3, kQuote2)) {
                gs.wordSpace = number(3);
                gs.charSpace = number(2);
                text.moveLine(0, -gs.leading);
                showString(operand(opCount - 1).bytes);
            }
            break;
        case OpTJ:
            if (operandsAre(1, kArr)) {
                const Operand& a = operand(opCount - 1);
                for (const Operand::Item& item : a.items) {
                    if (item.isString) {
                        show(reinterpret_cast<const unsigned char*>(a.bytes.data()) + item.offset, item.length);
                    } else if (gs.font) {
                        // A number moves the next glyph back by that many thousandths
                        // of the font size (forward when negative).
                        text.advance(-item.num * 0.001 * gs.fontSize * gs.hScale);
                    }
                }
            }
            break;
        default:
            break;
    }
}

// q, Q, cm: the graphics state saved and restored, the transformation matrix changed.
inline void CPdfText::Impl::graphicsStateOperator(Op op) {
    switch (op) {
        case OpSave:
            if (static_cast<int>(saved.size()) >= kMaxSaveDepth)
                ++uncopiedSaves;
            else
                saved.push_back(gs);
            break;
        case OpRestore:
            if (uncopiedSaves > 0) {
                --uncopiedSaves;
            } else if (!saved.empty()) {
                gs = saved.back();
                saved.pop_back();
            }
            break;
        case OpCm:
            if (operandsAre(6, kNum6)) {
                double m[6];
                for (int i = 0; i < 6; ++i)
                    m[i] = number(6 - i);
                gs.concat(m);
            }
            break;
        default:
            break;
    }
}

// Do: an XObject drawn; a form's content is read in its place.
inline void CPdfText::Impl::xobjectOperator() {
    if (operandsAre(1, kName1)) {
        const std::string name = operand(opCount - 1).bytes;
        opCount = 0;
        drawForm(name);
    }
}

namespace {

bool readBox(const CPdfElement& v, double out[4]) {
    if (!v.isArray() || v.getArray()->getLength() < 4) return false;
    double b[4];
    for (int i = 0; i < 4; ++i) {
        CPdfElement e = v.getArray()->get(i);
        if (!e.isNumber()) return false;
        b[i] = e.getNumber();
    }
    out[0] = std::min(b[0], b[2]);
    out[1] = std::min(b[1], b[3]);
    out[2] = std::max(b[0], b[2]);
    out[3] = std::max(b[1], b[3]);
    return true;
}

}  // namespace

void CPdfText::Impl::findMediaBox(const CPdfPage& pg) {
    // US Letter when no node of the tree gives a box, as for the page list.
    box[0] = 0;
    box[1] = 0;
    box[2] = 612;
    box[3] = 792;
    if (!xref || pg.getObjNum() <= 0) return;
    try {
        CPdfElement node = xref->fetch(pg.getObjNum(), pg.getObjGen());
        std::vector<int32_t> visited;
        for (int depth = 0; depth < 64 && node.isDictionary() && !node.isStream(); ++depth) {
            if (readBox(node.getDictionary()->lookup("MediaBox"), box)) break;
            CPdfElement parent = node.getDictionary()->lookupRaw("Parent");
            if (!parent.isReference()) break;
            const int32_t num = parent.getRefNum();
            auto known = nodeBoxes.find(num);
            if (known != nodeBoxes.end()) {
                if (known->second.size() == 4) std::copy(known->second.begin(), known->second.end(), box);
                break;
            }
            if (std::find(visited.begin(), visited.end(), num) != visited.end()) break;
            visited.push_back(num);
            node = parent.fetch(xref);
            double b[4];
            if (node.isDictionary() && !node.isStream() && readBox(node.getDictionary()->lookup("MediaBox"), b)) {
                nodeBoxes[num] = std::vector<double>(b, b + 4);
                std::copy(b, b + 4, box);
                break;
            }
        }
    } catch (const CPdfException&) {
        // A page tree that cannot be read further keeps the box found so far.
    }
}

void CPdfText::Impl::runPage(const CPdfPage& pg) {
    findMediaBox(pg);
    const CPdfElement& res = pg.getResources();
    resources = res.isDictionary() && !res.isStream() ? res.getDictionary() : nullptr;
    CPdfXRef* x = pg.getXRef() ? pg.getXRef() : xref;
    // The content streams that can be read; an element that cannot (missing, not a
    // stream, failing to load) gives nothing and the others go on.
    std::vector<CPdfStream*> streams;
    try {
        CPdfElement c = pg.getContents().fetch(x);
        if (c.isStream() && c.getStream()) {
            c.getStream()->addRef();
            streams.push_back(c.getStream());
        } else if (c.isArray()) {
            CPdfArray* a = c.getArray();
            for (int i = 0; i < a->getLength(); ++i) {
                CPdfElement item;
                try {
                    item = a->get(i);
                } catch (const CPdfException&) {
                    continue;
                }
                if (item.isStream() && item.getStream()) {
                    item.getStream()->addRef();
                    streams.push_back(item.getStream());
                }
            }
        }
    } catch (const CPdfException&) {
        // The contents value itself cannot be read: no text.
    }
    if (streams.empty()) return;
    CPdfContentLexer lex(std::move(streams));
    interpret(lex);
}

// Before the first page of a run over doc: the records go to list (holding every page
// of the run, or one page at a time), the limits follow the file's size, and nothing
// is left of a run before.
void CPdfText::Impl::beginRun(CPdfDocument* d, std::vector<TextChar>* list, bool holdsRun) {
    doc = d;
    xref = d->getXRef();
    testFonts = nullptr;
    out = list;
    listHoldsRun = holdsRun;
    runChars = 0;
    runContent = 0;
    const int64_t size = d->getFileStream() ? d->getFileStream()->fileSize() : 0;
    if (!charLimitFixed) charLimit = charLimitFor(size);
    if (!contentLimitFixed) contentLimit = contentLimitFor(size);
    fontsByRef.clear();
    textlessForms.clear();
    nodeBoxes.clear();
}

// After the last page of a run, also when a page failed: the fonts, the state and the
// list are let go.
CPdfText::Impl::RunEnd::~RunEnd() {
    t.out = nullptr;
    t.pageFonts.clear();
    t.fontNames.clear();
    t.fontsByRef.clear();
    t.resources = nullptr;
    t.gs = CPdfGraphicsState();
    t.saved.clear();
    t.nodeBoxes.clear();
}

// Page p of the document starts. Fonts built for earlier pages are kept while they
// are few; a file with very many fonts builds them again rather than holding all of
// them.
void CPdfText::Impl::startDocumentPage(int p) {
    if (fontsByRef.size() > kMaxKeptFonts) fontsByRef.clear();
    startPage(p);
}

namespace {

// The page range of a run: 99999 or beyond the last page means the last page.
void clampPageRange(CPdfDocument* doc, int& firstPage, int& lastPage) {
    const int numPages = doc->getNumPages();
    if (lastPage == 99999 || lastPage > numPages) lastPage = numPages;
    if (firstPage < 1) firstPage = 1;
}

// Makes room in one list for the remaining pages at the average count so far (with a
// margin) when it is about to grow, instead of doubling again and again: each doubling
// copies the whole list and, for a long document, the last ones dominate the time and
// the peak memory. Room that is never filled is never touched.
void reserveAhead(std::vector<TextChar>& chars, size_t startSize, int pagesDone, int pagesLeft, size_t room) {
    const size_t made = chars.size() - startSize;
    const size_t perPage = made / static_cast<size_t>(pagesDone) + 1;
    if (chars.capacity() - chars.size() >= 2 * perPage) return;
    size_t want = perPage * static_cast<size_t>(pagesLeft);
    want += want / 8 + 2 * perPage;
    if (want > room) want = room;
    try {
        chars.reserve(chars.size() + want);
    } catch (const std::exception&) {
        // Growing by the usual doubling instead.
    }
}

}  // namespace

void CPdfText::extractPages(CPdfDocument* doc, int firstPage, int lastPage, std::vector<TextChar>& chars) {
    Impl& t = *impl_;
    clampPageRange(doc, firstPage, lastPage);
    t.beginRun(doc, &chars, true);
    Impl::RunEnd end{t};
    WidthTablesScope widthTables;
    const size_t startSize = chars.size();
    for (int p = firstPage; p <= lastPage; ++p) {
        if (p > firstPage)
            reserveAhead(chars, startSize, p - firstPage, lastPage - p + 1,
                         t.charLimit > t.runChars ? t.charLimit - t.runChars : 0);
        t.startDocumentPage(p);
        t.runPage(doc->getPage(p - 1));
    }
}

namespace {

// Hands each page's records to the sink, also those of a page that failed.
class PageCollector {
public:
    PageCollector(TextPageSink& sink, std::vector<TextChar>& chars) : sink_(sink), chars_(chars) {}
    void done(int page) {
        sink_.pageDone(page, chars_);
        chars_.clear();
    }

private:
    TextPageSink& sink_;
    std::vector<TextChar>& chars_;
};

}  // namespace

void CPdfText::extractPages(CPdfDocument* doc, int firstPage, int lastPage, TextPageSink& sink) {
    Impl& t = *impl_;
    clampPageRange(doc, firstPage, lastPage);
    std::vector<TextChar> pageChars;
    t.beginRun(doc, &pageChars, false);
    Impl::RunEnd end{t};
    WidthTablesScope widthTables;
    PageCollector collect(sink, pageChars);
    for (int p = firstPage; p <= lastPage; ++p) {
        t.startDocumentPage(p);
        try {
            t.runPage(doc->getPage(p - 1));
        } catch (...) {
            // The records made before the failure are handed over as well.
            if (!pageChars.empty()) collect.done(p);
            throw;
        }
        collect.done(p);
    }
}

void CPdfText::interpretContentForTesting(const unsigned char* data, size_t len, const PageFonts* fonts, int page,
                                          std::vector<TextChar>& chars) {
    Impl& t = *impl_;
    t.doc = nullptr;
    t.xref = nullptr;
    t.testFonts = fonts;
    t.out = &chars;
    t.listHoldsRun = false;
    t.runChars = 0;
    t.runContent = 0;
    t.contentLimit = ~uint64_t(0);
    struct Reset {
        Impl& t;
        ~Reset() {
            t.out = nullptr;
            t.testFonts = nullptr;
            t.pageFonts.clear();
            t.fontNames.clear();
        }
    } reset{t};
    t.startPage(page);
    t.resources = nullptr;
    t.box[0] = t.box[1] = -1e300;
    t.box[2] = t.box[3] = 1e300;
    CPdfContentLexer lex({new MemoryContentStream(data, len)});
    t.interpret(lex);
}
