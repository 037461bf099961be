// Rewrites a page object so that it refers to the objects made for it: the stamped
// text's content stream, the stamp font and new link annotations. The page's raw
// text stays byte for byte; short pieces are inserted at positions found in its own
// dictionary. An entry held in a separate object (Contents array, Resources, Font,
// Annots array) is edited in that object, which is written again just before the page.
#include "links/CQuillmarkHandler.h"

#include <cstdio>

#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfMemoryStream.h"
#include "writer/RawText.h"

namespace {

// Inherited Resources are looked for at most this many levels up (deeper trees are
// damaged or looping).
constexpr int kMaxParentDepth = 64;

std::string Ref(long num) {
    char buf[32];
    int n = std::snprintf(buf, sizeof(buf), " %ld 0 R ", num);
    return std::string(buf, static_cast<size_t>(n));
}

// Index of the dictionary opening of an object text, npos when it has none.
size_t ObjectDict(const std::string& t) { return RawText::FindDictOpen(t, RawText::BodyStart(t)); }

// Inserts s before the closing ']' of the array value that starts at open.
bool InsertBeforeArrayEnd(std::string& t, size_t open, const std::string& s) {
    if (open == RawText::npos || open >= t.size() || t[open] != '[') return false;
    size_t end = RawText::ValueEnd(t, open);
    if (end == RawText::npos) return false;
    t.insert(end - 1, s);
    return true;
}

// The value span of key in the object's own dictionary.
bool KeyValue(const std::string& t, const char* key, size_t& start, size_t& end) {
    size_t open = ObjectDict(t);
    if (open == RawText::npos) return false;
    return RawText::ValueSpan(t, RawText::FindKey(t, open, key), start, end);
}

bool InsertAfterDictOpen(std::string& t, const std::string& s) {
    size_t open = ObjectDict(t);
    if (open == RawText::npos) return false;
    t.insert(open + 2, s);
    return true;
}

// The object of raw object text ("n g obj <value> endobj"), parsed from memory;
// Null when the text does not hold one.
CPdfElement ParseRawObject(CPdfXRef* xref, const std::string& text) {
    CPdfElement none;
    none.setNull();
    try {
        CPdfParser p(xref, new CPdfMemoryStream(text.data(), text.size(), none));
        CPdfElement num = p.readObject();
        CPdfElement gen = p.readObject();
        CPdfElement kw = p.readObject();
        if (!num.isInteger() || !gen.isInteger() || !kw.isCommand("obj")) return none;
        return p.readObject();
    } catch (const CPdfException&) {
        return none;
    }
}

int32_t FetchGeneration(CPdfXRef* xref, int32_t num) {
    if (num < 0 || num >= xref->getNumEntries()) return 0;
    const XRefEntry& e = xref->getEntry(num);
    return e.kind == 1 ? e.gen : 0;
}

class PageEditor {
public:
    PageEditor(CQuillmarkHandler& h, int32_t pageNum, std::string& text)
        : h_(h), num_(pageNum), t_(text) {
        // The page is parsed from the text at hand rather than fetched again.
        page_ = ParseRawObject(h.xref, text);
        dict_ = page_.isStream() ? nullptr : page_.getDictionary();
    }

    bool valid() const { return dict_ != nullptr; }

    // Adds reference text refs (" 12 0 R ", possibly several) to the Contents.
    void addContents(long c) {
        const CPdfElement* raw = dict_->find("Contents");
        if (!raw || raw->isNull()) {
            char buf[40];
            std::snprintf(buf, sizeof(buf), "/Contents %ld 0 R", c);
            InsertAfterDictOpen(t_, buf);
            return;
        }
        size_t s, e;
        if (raw->isArray()) {
            if (KeyValue(t_, "Contents", s, e)) InsertBeforeArrayEnd(t_, s, Ref(c));
            return;
        }
        if (!raw->isReference()) return;
        CPdfElement target = raw->fetch(h_.xref);
        if (target.isArray()) {
            editArrayObject(raw->getRefNum(), Ref(c));
        } else if (target.isStream()) {
            // One stream becomes an array of the old and the new stream.
            if (!KeyValue(t_, "Contents", s, e)) return;
            char buf[40];
            std::snprintf(buf, sizeof(buf), " %ld 0 R ]", c);
            t_.insert(e, buf);
            t_.insert(s, "[");
        }
    }

    // Makes the font usable on the page: in its own Resources, in the resources object
    // it refers to, or, when it inherits them, in the least invasive way.
    void addFont() {
        const CPdfElement* raw = dict_->find("Resources");
        if (raw && raw->isDictionary()) {
            size_t s, e;
            if (KeyValue(t_, "Resources", s, e) && t_.compare(s, 2, "<<") == 0)
                addFontToDictText(t_, s, raw->getDictionary());
            return;
        }
        if (raw && raw->isReference()) {
            addFontToResourcesObject(raw->getRefNum());
            return;
        }
        if (raw && !raw->isNull()) return;
        addInheritedFont();
    }

    void addAnnots(const std::vector<int32_t>& annots, bool linkedPage) {
        const CPdfElement* raw = dict_->find("Annots");
        std::string refs;
        for (int32_t a : annots) refs += Ref(a);
        if (!raw || raw->isNull()) {
            std::string entry = "/Annots [";
            if (linkedPage) {
                entry += ' ';
                char buf[32];
                for (int32_t a : annots) {
                    std::snprintf(buf, sizeof(buf), "%ld 0 R ", static_cast<long>(a));
                    entry += buf;
                }
                entry += "]\n";
            } else {
                entry += refs;
                entry += ']';
            }
            InsertAfterDictOpen(t_, entry);
            return;
        }
        if (annots.empty()) return;
        if (raw->isArray()) {
            size_t s, e;
            if (KeyValue(t_, "Annots", s, e)) InsertBeforeArrayEnd(t_, s, refs);
        } else if (raw->isReference()) {
            editArrayObject(raw->getRefNum(), refs);
        }
    }

private:
    bool rawText(int32_t num, std::string& out) {
        if (num <= 0 || num >= h_.xref->getNumEntries()) return false;
        return h_.xref->getRawObjectText(num, out) && !out.empty();
    }

    void editArrayObject(int32_t num, const std::string& refs) {
        std::string a;
        if (!rawText(num, a)) return;
        if (InsertBeforeArrayEnd(a, RawText::FindArrayOpen(a, RawText::BodyStart(a)), refs))
            h_.WriteRewrittenObject(num, a);
    }

    std::string fontEntry() const {
        char buf[64];
        std::snprintf(buf, sizeof(buf), " /%s %d 0 R ", h_.fontResourceName.c_str(), h_.fontObjNum);
        return buf;
    }

    // res is the resources dictionary whose "<<" is at open in text. True when text changed.
    bool addFontToDictText(std::string& text, size_t open, CPdfDictionary* res) {
        const CPdfElement* font = res ? res->find("Font") : nullptr;
        if (!font || font->isNull()) {
            char buf[64];
            std::snprintf(buf, sizeof(buf), "/Font << /%s %d 0 R >>", h_.fontResourceName.c_str(),
                          h_.fontObjNum);
            text.insert(open + 2, buf);
            return true;
        }
        if (font->isDictionary()) {
            size_t s, e;
            if (!RawText::ValueSpan(text, RawText::FindKey(text, open, "Font"), s, e)) return false;
            if (text.compare(s, 2, "<<") != 0) return false;
            text.insert(s + 2, fontEntry());
            return true;
        }
        if (font->isReference()) {
            int32_t fnum = font->getRefNum();
            if (h_.fontAddedObjects.count(fnum)) return false;  // written with the font already
            std::string f;
            if (!rawText(fnum, f)) return false;
            size_t fo = ObjectDict(f);
            if (fo == RawText::npos) return false;
            f.insert(fo + 2, fontEntry());
            h_.WriteRewrittenObject(fnum, f);
            h_.fontAddedObjects.insert(fnum);
        }
        return false;
    }

    void addFontToResourcesObject(int32_t rnum) {
        // A resources object shared by many pages is edited and written once.
        if (h_.fontAddedObjects.count(rnum)) return;
        h_.fontAddedObjects.insert(rnum);
        CPdfElement res = h_.xref->fetch(rnum, FetchGeneration(h_.xref, rnum));
        if (!res.isDictionary() || res.isStream()) return;
        std::string r;
        if (!rawText(rnum, r)) return;
        size_t open = ObjectDict(r);
        if (open == RawText::npos) return;
        if (addFontToDictText(r, open, res.getDictionary())) h_.WriteRewrittenObject(rnum, r);
    }

    // The page takes its Resources from an ancestor. Held by reference there, that
    // object is edited; held directly, the page gets its own copy of the inherited
    // dictionary with the font added, so the ancestor and its other pages stay as
    // they are. A page that inherits nothing gets resources with just the font.
    void addInheritedFont() {
        CPdfDictionary* cur = dict_;
        CPdfElement holder;  // keeps the current ancestor alive
        std::set<int32_t> seen{num_};
        for (int depth = 0; depth < kMaxParentDepth; ++depth) {
            const CPdfElement* parent = cur->find("Parent");
            if (!parent || !parent->isReference()) break;
            int32_t pnum = parent->getRefNum();
            if (!seen.insert(pnum).second) break;
            CPdfElement node = parent->fetch(h_.xref);
            if (!node.isDictionary() || node.isStream()) break;
            holder = node;
            cur = holder.getDictionary();
            const CPdfElement* res = cur->find("Resources");
            if (!res || res->isNull()) continue;
            if (res->isReference()) {
                addFontToResourcesObject(res->getRefNum());
                return;
            }
            if (!res->isDictionary()) return;
            std::string ptext;
            size_t s, e;
            if (!rawText(pnum, ptext) || !KeyValue(ptext, "Resources", s, e) ||
                ptext.compare(s, 2, "<<") != 0)
                return;
            std::string copy = ptext.substr(s, e - s);
            addFontToDictText(copy, 0, res->getDictionary());
            InsertAfterDictOpen(t_, "/Resources " + copy + "\n");
            return;
        }
        char buf[80];
        std::snprintf(buf, sizeof(buf), "/Resources << /Font << /%s %d 0 R >> >>\n",
                      h_.fontResourceName.c_str(), h_.fontObjNum);
        InsertAfterDictOpen(t_, buf);
    }

    CQuillmarkHandler& h_;
    int32_t num_;
    std::string& t_;
    CPdfElement page_;
    CPdfDictionary* dict_ = nullptr;
};

}  // namespace

void CQuillmarkHandler::UpdateStampedPage(int32_t pageNum, std::string pageText) {
    PageEditor ed(*this, pageNum, pageText);
    if (ed.valid()) {
        // The content stream is the object appended last, the annotation the one before.
        ed.addContents(static_cast<long>(outEntries.size()) - 1);
        ed.addFont();
        ed.addAnnots(std::vector<int32_t>{stampAnnotNum}, false);
    }
    WriteRewrittenObject(pageNum, pageText);
}

void CQuillmarkHandler::UpdateLinkedPage(int32_t pageNum, std::string pageText,
                                         const std::vector<int32_t>& annots) {
    PageEditor ed(*this, pageNum, pageText);
    if (ed.valid()) ed.addAnnots(annots, true);
    WriteRewrittenObject(pageNum, pageText);
}
