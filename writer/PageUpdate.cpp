// Rewrites a page object so that it refers to the objects made for it: the stamped
// text's content stream, the stamp font and new link annotations. The page's raw
// text stays byte for byte; short pieces are inserted at positions found in its own
// dictionary. An entry held in a separate object (Contents array, Resources, Font,
// Annots array) is edited in that object, which is written again just before the page.
//
// The kind of each entry (absent, array, dictionary, reference) is read from the
// raw text itself, so a page is not parsed a second time; only a Contents reference
// needs a look at the object it names (array or stream).
#include "writer/PageUpdate.h"

#include <cstdio>

#include "pdf/CPdfElement.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "writer/OutputWriter.h"
#include "writer/RawText.h"
#include "writer/SharedObjects.h"

namespace {

// Inherited Resources are looked for at most this many levels up (deeper trees are
// damaged or looping).
constexpr int kMaxParentDepth = 64;

enum class Kind { Absent, Null, Array, Dict, Ref, Other };

struct Value {
    Kind kind = Kind::Absent;
    size_t start = 0, end = 0;
    int32_t num = 0;  // for Ref
};

std::string Ref(long num) {
    char buf[32];
    int n = std::snprintf(buf, sizeof(buf), " %ld 0 R ", num);
    return std::string(buf, static_cast<size_t>(n));
}

// Index of the dictionary opening of an object text, npos when it has none.
size_t ObjectDict(const std::string& t) { return RawText::FindDictOpen(t, RawText::BodyStart(t)); }

// The value of key in the dictionary whose "<<" is at open.
Value Classify(const std::string& t, size_t open, const char* key) {
    Value v;
    if (open == RawText::npos) return v;
    size_t k = RawText::FindKey(t, open, key);
    if (k == RawText::npos) return v;
    if (!RawText::ValueSpan(t, k, v.start, v.end)) {
        v.kind = Kind::Other;
        return v;
    }
    const char c = t[v.start];
    if (c == '[') {
        v.kind = Kind::Array;
    } else if (c == '<' && v.start + 1 < t.size() && t[v.start + 1] == '<') {
        v.kind = Kind::Dict;
    } else if (c >= '0' && c <= '9' && t[v.end - 1] == 'R') {
        v.kind = Kind::Ref;
        long n = 0;
        for (size_t i = v.start; i < v.end && t[i] >= '0' && t[i] <= '9' && n < 100000000; ++i)
            n = n * 10 + (t[i] - '0');
        v.num = static_cast<int32_t>(n);
    } else if (t.compare(v.start, v.end - v.start, "null") == 0) {
        v.kind = Kind::Null;
    } else {
        v.kind = Kind::Other;
    }
    return v;
}

// Inserts s before the closing ']' of the array value that starts at open.
bool InsertBeforeArrayEnd(std::string& t, size_t open, const std::string& s) {
    if (open == RawText::npos || open >= t.size() || t[open] != '[') return false;
    size_t end = RawText::ValueEnd(t, open);
    if (end == RawText::npos) return false;
    t.insert(end - 1, s);
    return true;
}

// The Contents value of a stamped page: the stream that saves the graphics state,
// then the page's own content (the items of its array, or its one stream's
// reference, as written; nothing when it has none), then the stamp's stream, which
// restores the state before it draws. Whatever state the page's drawing leaves
// (a matrix, a clip, an invisible text mode), the stamp does not inherit it. Kept as
// the two pieces that go before and after the page's own items. Without a saving
// stream (save 0: none was made) nothing stands in front.
struct StampedContents {
    StampedContents(long save, long stamp)
        : head(save > 0 ? "[ " + std::to_string(save) + " 0 R " : "[ "), tail(" " + std::to_string(stamp) + " 0 R ]") {}
    std::string head, tail;
    std::string around(const std::string& own) const { return head + own + tail; }
};

// Puts the stamped page's Contents pieces around the items of the array value that
// starts at open.
bool WrapContentsArray(std::string& t, size_t open, const StampedContents& wrap) {
    if (open == RawText::npos || open >= t.size() || t[open] != '[') return false;
    size_t end = RawText::ValueEnd(t, open);
    if (end == RawText::npos) return false;
    t.replace(end - 1, 1, wrap.tail);
    t.replace(open, 1, wrap.head);
    return true;
}

bool InsertAfterDictOpen(std::string& t, const std::string& s) {
    size_t open = ObjectDict(t);
    if (open == RawText::npos) return false;
    t.insert(open + 2, s);
    return true;
}

// What a page's reference leads to, as far as Contents and Annots care.
enum class Target { Missing, Array, Stream, Other };

// The kind of object num. Most objects show it in their first bytes ("[", or a short
// dictionary followed by "stream"), which are peeked at; whatever the peek cannot be
// sure of (a long comment or a long dictionary first, an object inside an object
// stream) is parsed. A free or missing object, or one that cannot be read, is Missing.
Target ReferencedKind(CPdfXRef* xref, int32_t num) {
    if (num <= 0 || num >= xref->getNumEntries()) return Target::Missing;
    const XRefEntry& e = xref->getEntry(num);
    if (e.kind != XRefKind::InFile && e.kind != XRefKind::InObjectStream) return Target::Missing;
    if (e.kind == XRefKind::InFile && xref->getFileStream()) {
        CPdfFileStream* fs = xref->getFileStream();
        unsigned char buf[160];
        // A look at a few bytes, maybe far from where the pass reads: one small block,
        // not a read-ahead that the pass would read again when it gets there.
        size_t n;
        {
            CPdfLookupScope lookup(xref);
            n = xref->readCached(fs->startOffset() + static_cast<int64_t>(e.offset), buf, sizeof(buf));
        }
        const std::string head(reinterpret_cast<const char*>(buf), n);
        const size_t b = RawText::BodyStart(head);
        const size_t p = b == 0 ? head.size() : RawText::SkipSpace(head, b);
        if (p < head.size() && head[p] == '[') return Target::Array;
        if (p + 1 < head.size() && head[p] == '<' && head[p + 1] == '<') {
            const size_t end = RawText::ValueEnd(head, p);
            const size_t after = end == RawText::npos ? head.size() : RawText::SkipSpace(head, end);
            if (after + 6 <= head.size() && head.compare(after, 6, "stream") == 0) return Target::Stream;
        }
    }
    CPdfElement obj;
    {
        CPdfLookupScope lookup(xref);
        obj = xref->fetch(num, e.kind == XRefKind::InFile ? e.gen : 0);
    }
    if (obj.isArray()) return Target::Array;
    if (obj.isStream()) return Target::Stream;
    if (obj.isNull() || obj.isNone()) return Target::Missing;
    return Target::Other;
}

}  // namespace

// One page being rewritten, with the objects edited on the way.
class PageEditor {
public:
    PageEditor(PageUpdater& u, int32_t pageObjNum, std::string& text)
        : u_(u), xref_(u.writer_.Input()), num_(pageObjNum), t_(text) {}

    bool valid() const { return ObjectDict(t_) != RawText::npos; }

    // c: the stamp's stream; save: the stream that saves the graphics state.
    void addContents(long c, long save) {
        Value v = Classify(t_, ObjectDict(t_), "Contents");
        const StampedContents wrap(save, c);
        switch (v.kind) {
            case Kind::Absent:
                InsertAfterDictOpen(t_, "/Contents " + wrap.around(""));
                break;
            case Kind::Null:
                t_.replace(v.start, v.end - v.start, wrap.around(""));
                break;
            case Kind::Array:
                WrapContentsArray(t_, v.start, wrap);
                break;
            case Kind::Ref: {
                const Target kind = ReferencedKind(xref_, v.num);
                if (kind == Target::Array) {
                    editArrayObject(v, [&](std::string& a, size_t open) { return WrapContentsArray(a, open, wrap); });
                } else if (kind == Target::Stream) {
                    // One stream becomes an array of the old and the new streams.
                    t_.insert(v.end, wrap.tail);
                    t_.insert(v.start, wrap.head);
                } else {
                    // Contents that cannot be had count as empty: the page gets a fresh
                    // array with the new streams, so the stamp lands.
                    t_.replace(v.start, v.end - v.start, wrap.around(""));
                }
                break;
            }
            default:
                break;
        }
    }

    // Makes the font usable on the page: in its own Resources, in the resources object
    // it refers to, or, when it inherits them, in the least invasive way.
    void addFont() {
        Value v = Classify(t_, ObjectDict(t_), "Resources");
        if (v.kind == Kind::Dict) {
            addFontToDictText(t_, v.start);
        } else if (v.kind == Kind::Ref) {
            addFontToResourcesObject(v.num);
        } else if (v.kind == Kind::Absent || v.kind == Kind::Null) {
            addInheritedFont(v);
        }
    }

    void addAnnots(const std::vector<int32_t>& annots, bool linkedPage) {
        Value v = Classify(t_, ObjectDict(t_), "Annots");
        std::string refs;
        for (int32_t a : annots)
            refs += Ref(a);
        if (v.kind == Kind::Absent || v.kind == Kind::Null) {
            std::string array = "[";
            if (linkedPage) {
                array += ' ';
                char buf[32];
                for (int32_t a : annots) {
                    std::snprintf(buf, sizeof(buf), "%ld 0 R ", static_cast<long>(a));
                    array += buf;
                }
                array += ']';
            } else {
                array += refs;
                array += ']';
            }
            if (v.kind == Kind::Null) {
                t_.replace(v.start, v.end - v.start, array);
            } else {
                InsertAfterDictOpen(t_, "/Annots " + array + (linkedPage ? "\n" : ""));
            }
            return;
        }
        if (annots.empty()) return;
        if (v.kind == Kind::Array) {
            InsertBeforeArrayEnd(t_, v.start, refs);
        } else if (v.kind == Kind::Ref) {
            if (ReferencedKind(xref_, v.num) == Target::Array) {
                editArrayObject(v, [&](std::string& a, size_t open) { return InsertBeforeArrayEnd(a, open, refs); });
            } else {
                // A reference to a missing or freed object (or to no array): the page
                // gets a fresh array holding the new annotations.
                t_.replace(v.start, v.end - v.start, "[" + refs + "]");
            }
        }
    }

private:
    bool rawText(int32_t num, std::string& out) {
        if (num <= 0 || num >= xref_->getNumEntries()) return false;
        return xref_->getRawObjectText(num, out) && !out.empty();
    }

    // Edits the array object that the page's value v refers to (edit gets its text and
    // the position of its "["). An array that another page uses too is left as it is:
    // this page gets an edited copy of it as a new object and refers to that instead.
    template <class Edit>
    void editArrayObject(const Value& v, Edit edit) {
        std::string a;
        if (!rawText(v.num, a)) return;
        if (!edit(a, RawText::FindArrayOpen(a, RawText::BodyStart(a)))) return;
        if (!u_.shared_.SharedBeyondPage(v.num)) {
            u_.writer_.WriteRewrittenObject(v.num, a);
            return;
        }
        // A new object is encrypted as a whole when it is written: its strings go in plain.
        const int32_t copy =
            u_.writer_.AppendObject(u_.writer_.MoveStrings(" 0 obj" + a.substr(RawText::BodyStart(a)), v.num, -1));
        t_.replace(v.start, v.end - v.start, std::to_string(copy) + " 0 R");
    }

    std::string fontEntry() const {
        char buf[64];
        std::snprintf(buf, sizeof(buf), " /%s %d 0 R ", u_.fontResourceName_.c_str(), u_.fontObjNum_);
        return buf;
    }

    // The resources dictionary whose "<<" is at open in text gets the font. True when
    // text changed (a Font dictionary of its own held by reference is edited there).
    bool addFontToDictText(std::string& text, size_t open) {
        Value f = Classify(text, open, "Font");
        char buf[64];
        switch (f.kind) {
            case Kind::Absent:
                std::snprintf(buf, sizeof(buf), "/Font << /%s %d 0 R >>", u_.fontResourceName_.c_str(), u_.fontObjNum_);
                text.insert(open + 2, buf);
                return true;
            case Kind::Null:
                std::snprintf(buf, sizeof(buf), "<< /%s %d 0 R >>", u_.fontResourceName_.c_str(), u_.fontObjNum_);
                text.replace(f.start, f.end - f.start, buf);
                return true;
            case Kind::Dict:
                text.insert(f.start + 2, fontEntry());
                return true;
            case Kind::Ref: {
                if (u_.fontAddedObjects_.count(f.num)) return false;  // written with the font already
                u_.fontAddedObjects_.insert(f.num);
                std::string font;
                if (!rawText(f.num, font)) return false;
                size_t fo = ObjectDict(font);
                if (fo == RawText::npos) return false;
                font.insert(fo + 2, fontEntry());
                u_.writer_.WriteRewrittenObject(f.num, font);
                return false;
            }
            default:
                return false;
        }
    }

    void addFontToResourcesObject(int32_t rnum) {
        // A resources object shared by many pages is edited and written once.
        if (u_.fontAddedObjects_.count(rnum)) return;
        u_.fontAddedObjects_.insert(rnum);
        std::string r;
        if (!rawText(rnum, r)) return;
        size_t open = ObjectDict(r);
        if (open == RawText::npos) return;
        if (addFontToDictText(r, open)) u_.writer_.WriteRewrittenObject(rnum, r);
    }

    // The page takes its Resources from an ancestor. Held by reference there, that
    // object is edited; held directly, the page gets its own copy of the inherited
    // dictionary with the font added, so the ancestor and its other pages stay as
    // they are. A page that inherits nothing gets resources with just the font. The
    // outcome depends only on the page's parent, so it is worked out once per parent.
    void addInheritedFont(const Value& own) {
        Value parent = Classify(t_, ObjectDict(t_), "Parent");
        if (parent.kind != Kind::Ref) {
            insertResources(own, resourcesWithFontOnly());
            return;
        }
        auto cached = u_.inheritedResources_.find(parent.num);
        if (cached == u_.inheritedResources_.end())
            cached = u_.inheritedResources_.emplace(parent.num, inheritedFrom(parent.num)).first;
        if (!cached->second.empty()) insertResources(own, cached->second);
    }

    // What a page under node pnum gets: the dictionary to insert, or "" when the
    // inherited resources object was edited instead.
    std::string inheritedFrom(int32_t pnum) {
        std::set<int32_t> seen{num_};
        std::string node;
        for (int depth = 0; depth < kMaxParentDepth; ++depth) {
            if (!seen.insert(pnum).second || !rawText(pnum, node)) break;
            const size_t open = ObjectDict(node);
            Value res = Classify(node, open, "Resources");
            if (res.kind == Kind::Ref) {
                addFontToResourcesObject(res.num);
                return std::string();
            }
            if (res.kind == Kind::Dict) {
                // Kept with its strings plain (decrypted, in an encrypted file):
                // insertResources puts them in the form of each page's own text.
                std::string copy = u_.writer_.MoveStrings(node.substr(res.start, res.end - res.start), pnum, -1);
                addFontToDictText(copy, 0);
                return copy;
            }
            if (res.kind == Kind::Other) return std::string();
            Value up = Classify(node, open, "Parent");
            if (up.kind != Kind::Ref) break;
            pnum = up.num;
        }
        return resourcesWithFontOnly();
    }

    std::string resourcesWithFontOnly() const {
        char buf[80];
        std::snprintf(buf, sizeof(buf), "<< /Font << /%s %d 0 R >> >>", u_.fontResourceName_.c_str(), u_.fontObjNum_);
        return buf;
    }

    void insertResources(const Value& own, const std::string& plainDict) {
        const std::string dict = u_.writer_.MoveStrings(plainDict, -1, num_);
        if (own.kind == Kind::Null) {
            t_.replace(own.start, own.end - own.start, dict);
        } else {
            InsertAfterDictOpen(t_, "/Resources " + dict + "\n");
        }
    }

    PageUpdater& u_;
    CPdfXRef* xref_;
    int32_t num_;
    std::string& t_;
};

PageUpdater::PageUpdater(COutputWriter& writer, const SharedObjects& shared) : writer_(writer), shared_(shared) {}

void PageUpdater::SetStampFont(const std::string& resourceName, int32_t fontObjNum) {
    fontResourceName_ = resourceName;
    fontObjNum_ = fontObjNum;
}

void PageUpdater::UpdateStampedPage(int32_t pageObjNum, std::string pageText, int32_t streamNum, int32_t saveNum,
                                    int32_t annotNum) {
    PageEditor ed(*this, pageObjNum, pageText);
    if (ed.valid()) {
        ed.addContents(streamNum, saveNum);
        ed.addFont();
        ed.addAnnots(std::vector<int32_t>{annotNum}, false);
    }
    writer_.WriteRewrittenObject(pageObjNum, pageText);
}

void PageUpdater::UpdateLinkedPage(int32_t pageObjNum, std::string pageText, const std::vector<int32_t>& annots) {
    PageEditor ed(*this, pageObjNum, pageText);
    if (ed.valid()) ed.addAnnots(annots, true);
    writer_.WriteRewrittenObject(pageObjNum, pageText);
}
