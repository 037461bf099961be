// The link annotations the input already has: reading them from every page, and, on
// the pages of the range, removing them or changing their targets.
//
// Reading goes through the parsed objects. Editing is textual: the object that holds
// the bytes of the string to change (a file specification, an action, an annotation,
// or the page or Annots array for an annotation written inline) is located by walking
// its raw text structurally (keys of its own dictionaries, elements of its arrays), so
// that the string is found whatever white space, escapes or hexadecimal form it was
// written with. Only the string itself, or the page's Annots array, is replaced; every
// other byte stays as the input had it.
#include "writer/ExistingLinks.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfXRef.h"
#include "writer/PageList.h"
#include "writer/PdfString.h"
#include "writer/RawText.h"
#include "writer/SharedObjects.h"

namespace {

int32_t Generation(CPdfXRef* xref, int32_t num) {
    if (num < 0 || num >= xref->getNumEntries()) return 0;
    const XRefEntry& e = xref->getEntry(num);
    return e.kind == XRefKind::InFile ? e.gen : 0;
}

// A value resolved through the table. A reference to a number outside the table (a
// damaged file) reads as Null, as a missing object does, instead of failing the file.
CPdfElement Resolve(const CPdfElement& raw, CPdfXRef* xref) {
    if (raw.isReference()) {
        if (!xref || raw.getRefNum() < 0 || raw.getRefNum() >= xref->getNumEntries()) {
            CPdfElement null;
            null.setNull();
            return null;
        }
        return raw.fetch(xref);
    }
    return raw;
}

// A dictionary value, resolved; a direct value is copied once.
CPdfElement Get(CPdfDictionary* d, const char* key) {
    const CPdfElement* v = d->find(key);
    if (!v) {
        CPdfElement null;
        null.setNull();
        return null;
    }
    return v->isReference() ? Resolve(*v, d->getXRef()) : *v;
}
CPdfElement Item(CPdfArray* a, int i) {
    const CPdfElement& v = a->at(i);
    return v.isReference() ? Resolve(v, a->getXRef()) : v;
}

// The dictionary of an element that is a dictionary proper (not a stream).
CPdfDictionary* DictOf(const CPdfElement& e) { return e.isDictionary() ? e.getDictionary() : nullptr; }

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// A link annotation: Subtype "Link" in any letter case. The same test serves reading,
// removal and change, so every link the report lists can also be removed or changed.
bool IsLinkAnnotation(CPdfDictionary* annot) {
    if (!annot) return false;
    CPdfElement subtype = Get(annot, "Subtype");
    return subtype.isName() && EqualNoCase(subtype.getBytes(), "Link");
}

// One step of a path through raw object text: a dictionary key, or an array index.
struct Step {
    std::string key;  // empty: index step
    int index = 0;
};
using Path = std::vector<Step>;

Path KeyPath(std::initializer_list<const char*> keys) {
    Path p;
    for (const char* k : keys)
        p.push_back(Step{k, 0});
    return p;
}

// The span [start, end) of the value that path leads to from the object body of t.
bool LocateValue(const std::string& t, const Path& path, size_t& start, size_t& end) {
    size_t pos = RawText::SkipSpace(t, RawText::BodyStart(t));
    for (const Step& step : path) {
        if (pos >= t.size()) return false;
        if (!step.key.empty()) {
            if (t.compare(pos, 2, "<<") != 0) return false;
            if (!RawText::ValueSpan(t, RawText::FindKey(t, pos, step.key.c_str()), start, end)) return false;
            pos = start;
        } else {
            if (t[pos] != '[') return false;
            size_t p = RawText::SkipSpace(t, pos + 1);
            for (int i = 0;; ++i) {
                if (p >= t.size() || t[p] == ']') return false;
                size_t e = RawText::ValueEnd(t, p);
                if (e == RawText::npos) return false;
                if (i == step.index) {
                    start = p;
                    end = e;
                    break;
                }
                p = RawText::SkipSpace(t, e);
            }
            pos = start;
        }
    }
    start = pos;
    end = RawText::ValueEnd(t, pos);
    return end != RawText::npos;
}

// Replaces the string value that path leads to by token (a string token made for the
// object whose text t is). False when there is no string.
bool ReplaceString(std::string& t, const Path& path, const std::string& token) {
    size_t start, end;
    if (!LocateValue(t, path, start, end)) return false;
    const bool literal = t[start] == '(';
    const bool hex = t[start] == '<' && (start + 1 >= t.size() || t[start + 1] != '<');
    if (!literal && !hex) return false;
    t.replace(start, end - start, token);
    return true;
}

// Where a link's target string lives.
// File names are PDF text strings: UTF-16BE after the bytes FE FF, UTF-8 after
// EF BB BF (PDF 2.0), else single bytes. The form a string was written in.
enum class TextForm { Bytes, Utf16, Utf8Bom };

void AppendUtf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// A file name as people and the command line write it (UTF-8 for the Unicode forms).
std::string DecodeTextString(const std::string& s, TextForm& form) {
    form = TextForm::Bytes;
    if (s.size() >= 3 && s.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        form = TextForm::Utf8Bom;
        return s.substr(3);
    }
    if (s.size() < 2 || static_cast<unsigned char>(s[0]) != 0xFE || static_cast<unsigned char>(s[1]) != 0xFF) return s;
    form = TextForm::Utf16;
    std::string out;
    for (size_t i = 2; i + 1 < s.size(); i += 2) {
        uint32_t u = (static_cast<unsigned char>(s[i]) << 8) | static_cast<unsigned char>(s[i + 1]);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < s.size()) {
            uint32_t low = (static_cast<unsigned char>(s[i + 2]) << 8) | static_cast<unsigned char>(s[i + 3]);
            if (low >= 0xDC00 && low < 0xE000) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                u = 0xFFFD;
            }
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;
        }
        AppendUtf8(u, out);
    }
    return out;
}

// The bytes of a new file name in the form of the string it replaces. UTF-16 needs
// valid UTF-8 to start from; anything else is written as given.
std::string EncodeTextString(const std::string& utf8, TextForm form) {
    if (form == TextForm::Utf8Bom) return "\xEF\xBB\xBF" + utf8;
    if (form != TextForm::Utf16) return utf8;
    std::string out = "\xFE\xFF";
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + static_cast<size_t>(len) > utf8.size()) return utf8;
        uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
            if ((d >> 6) != 2) return utf8;
            cp = (cp << 6) | (d & 0x3F);
        }
        i += static_cast<size_t>(len);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            const uint32_t hi = 0xD800 + (cp >> 10), lo = 0xDC00 + (cp & 0x3FF);
            out.push_back(static_cast<char>(hi >> 8));
            out.push_back(static_cast<char>(hi & 0xFF));
            out.push_back(static_cast<char>(lo >> 8));
            out.push_back(static_cast<char>(lo & 0xFF));
        } else {
            out.push_back(static_cast<char>(cp >> 8));
            out.push_back(static_cast<char>(cp & 0xFF));
        }
    }
    return out;
}

struct TargetPlace {
    bool found = false;
    bool isFile = false;              // a file specification rather than a URI
    TextForm form = TextForm::Bytes;  // how a file name is written
    std::string target;               // the string as read (a file name decoded to UTF-8)
    CPdfElement rawA;                 // the annotation's A as written (reference or inline)
    CPdfElement rawF;                 // the action's F as written
    Path inFileSpec;                  // path inside the file specification (when F is a dictionary)
};

// The URI of the action, when it has one.
bool UriPlace(CPdfDictionary* action, TargetPlace& place) {
    CPdfElement uri = Get(action, "URI");
    if (!uri.isString()) return false;
    place.found = true;
    place.isFile = false;
    place.form = TextForm::Bytes;
    place.target = uri.getBytes();
    return true;
}

// The file of the action: a plain string F, or the UF (preferred) or F string of a
// file specification dictionary.
bool FilePlace(CPdfDictionary* action, CPdfXRef* xref, TargetPlace& place) {
    place.rawF = action->lookupRaw("F");
    CPdfElement f = Resolve(place.rawF, xref);
    if (f.isString()) {
        place.found = true;
        place.isFile = true;
        place.target = DecodeTextString(f.getBytes(), place.form);
        place.inFileSpec.clear();
        return true;
    }
    CPdfDictionary* fileSpec = DictOf(f);
    if (!fileSpec) return false;
    CPdfElement uf = Get(fileSpec, "UF");
    if (uf.isString()) {
        place.found = true;
        place.isFile = true;
        place.target = DecodeTextString(uf.getBytes(), place.form);
        place.inFileSpec = KeyPath({"UF"});
        return true;
    }
    CPdfElement inner = Get(fileSpec, "F");
    if (inner.isString()) {
        place.found = true;
        place.isFile = true;
        place.target = DecodeTextString(inner.getBytes(), place.form);
        place.inFileSpec = KeyPath({"F"});
        return true;
    }
    return false;
}

// The target place of a link's action for the -link branches: by its action type.
bool PlaceByActionType(CPdfDictionary* action, CPdfXRef* xref, TargetPlace& place) {
    CPdfElement s = Get(action, "S");
    if (s.isName("Launch")) return FilePlace(action, xref, place);
    if (s.isName("URI")) return UriPlace(action, place);
    return false;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the raw text of object num shows that none of its strings can hold
// lowerPart (given in lower case; compared without regard to letter case), so that
// the object cannot be a link whose target matches and need not be parsed. That is
// so when every string in it is a literal string without escapes (its bytes are
// then the bytes of the text, and a target read from it is a piece of the text: no
// backslash, no hexadecimal string, no byte 0xFE that could start a UTF-16 mark),
// it names no other object (no "R" standing as a word of its own), and lowerPart
// does not occur in it. Anything else is left to the parser.
bool RawTextRulesOutTarget(CPdfXRef* xref, int32_t num, const std::string& lowerPart, std::string& text) {
    // The strings of an encrypted file are not its text: the parser decides.
    if (xref->getSecurityHandler()) return false;
    if (lowerPart.empty() || num <= 0 || num >= xref->getNumEntries() || !xref->getRawObjectText(num, text))
        return false;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\\' || c == 0xFE) return false;
        if (c == '<') {
            if (i + 1 < n && text[i + 1] == '<') {
                ++i;
                continue;
            }
            return false;  // a hexadecimal string
        }
        if (c == 'R' && i > 0) {
            const char before = text[i - 1];
            const bool inName = (before >= 'A' && before <= 'Z') || (before >= 'a' && before <= 'z') || before == '/';
            if (!inName) return false;  // may be a reference
        }
    }
    // lowerPart nowhere in the text, letter case aside.
    for (size_t i = 0; i + lowerPart.size() <= n; ++i) {
        if (LowerAscii(text[i]) != lowerPart[0]) continue;
        size_t k = 1;
        while (k < lowerPart.size() && LowerAscii(text[i + k]) == lowerPart[k])
            ++k;
        if (k == lowerPart.size()) return false;
    }
    return true;
}

std::string LowerAsciiString(const std::string& s) {
    std::string out(s);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

// The action dictionary of the link annotation at index j of array (held by
// actionElement; place.rawA is its A as written), or null when the element is no link
// annotation with an action dictionary. With lowerLink given, an annotation whose raw
// text rules out a target holding it is passed over unparsed (null as well).
CPdfDictionary* LinkActionAt(CPdfArray* array, int j, CPdfXRef* xref, const std::string& lowerLink,
                             std::string& scratch, CPdfElement& actionElement, TargetPlace& place) {
    const CPdfElement& entry = array->at(j);
    if (entry.isReference() && RawTextRulesOutTarget(xref, entry.getRefNum(), lowerLink, scratch)) return nullptr;
    CPdfElement annot = Item(array, j);
    CPdfDictionary* dict = DictOf(annot);
    if (!IsLinkAnnotation(dict)) return nullptr;
    place.rawA = dict->lookupRaw("A");
    actionElement = Resolve(place.rawA, xref);
    return DictOf(actionElement);
}

}  // namespace

ExistingLinkMode::ExistingLinkMode(const LinkSettings& settings, COutputWriter& writer, CPdfDocument& doc,
                                   const SharedObjects& shared, const LinkSelection& selection)
    : settings_(settings), writer_(writer), doc_(doc), xref_(doc.getXRef()), shared_(shared), selection_(selection) {}

const CPdfElement* ExistingLinkMode::OpenedPageAnnots(int32_t pageObjNum) {
    if (!xref_ || pageObjNum <= 0 || pageObjNum >= xref_->getNumEntries()) return nullptr;
    if (openedPageIndex_.empty()) {
        openedPageIndex_.assign(static_cast<size_t>(xref_->getNumEntries()), -1);
        for (int i = 0; i < doc_.getNumPages(); ++i) {
            const int32_t num = doc_.getPage(i).getObjNum();
            if (num > 0 && num < xref_->getNumEntries() && openedPageIndex_[static_cast<size_t>(num)] < 0)
                openedPageIndex_[static_cast<size_t>(num)] = i;
        }
    }
    const int32_t i = openedPageIndex_[static_cast<size_t>(pageObjNum)];
    return i < 0 ? nullptr : &doc_.getPage(i).getAnnots();
}

int32_t ExistingLinkMode::PageNumberOf(int32_t pageObjNum) {
    if (!OpenedPageAnnots(pageObjNum)) return 0;
    return openedPageIndex_[static_cast<size_t>(pageObjNum)] + 1;
}

void ReadExistingLinks(CPdfXRef& xrefRef, const PageList& pageList, const LinkSettings& settings,
                       std::vector<ExistingLink>& existingLinks) {
    CPdfXRef* xref = &xrefRef;
    // Only the report and the text-link selections use the list. A change by target
    // alone does not: the editor looks at each page of the range in the object pass,
    // which parses the page and its links once instead of twice.
    const bool used = settings.report || ((settings.remove || settings.change) && !settings.textLink.empty());
    if (!used) return;
    for (size_t i = 0; i < pageList.size(); ++i) {
        const int32_t num = pageList[i].objNum;
        if (num <= 0 || num >= xref->getNumEntries()) continue;
        CPdfElement page = xref->fetch(num, Generation(xref, num));
        CPdfDictionary* pageDict = DictOf(page);
        if (!pageDict) continue;
        CPdfElement annots = Get(pageDict, "Annots");
        if (!annots.isArray()) continue;
        CPdfArray* array = annots.getArray();
        for (int j = 0; j < array->getLength(); ++j) {
            CPdfElement annot = Item(array, j);
            CPdfDictionary* dict = DictOf(annot);
            if (!IsLinkAnnotation(dict)) continue;
            CPdfElement actionElement = Get(dict, "A");
            CPdfDictionary* action = DictOf(actionElement);
            if (!action) continue;
            // The URI, unless the action names a file; links without an action
            // (destinations inside the document) have no target and are not listed.
            TargetPlace place;
            UriPlace(action, place);
            FilePlace(action, xref, place);
            if (!place.found) continue;
            ExistingLink link;
            CPdfElement rect = Get(dict, "Rect");
            if (rect.isArray()) {
                CPdfArray* r = rect.getArray();
                const int n = r->getLength() < 4 ? r->getLength() : 4;  // only four numbers mean anything
                for (int k = 0; k < n; ++k) {
                    CPdfElement v = Item(r, k);
                    if (v.isNumber()) link.rect[k] = static_cast<float>(v.getNumber());
                }
            }
            const CPdfElement& raw = array->at(j);
            link.annotNum = raw.isReference() ? raw.getRefNum() : 0;
            if (!raw.isReference()) link.annotIndex = j;
            link.page = static_cast<int32_t>(i + 1);
            link.target = place.target;
            existingLinks.push_back(std::move(link));
        }
    }
}

namespace {

// The page being rewritten with the objects edited on the way, each written once,
// before the page, in number order.
class LinkEditor {
public:
    LinkEditor(ExistingLinkMode& m, CPdfXRef* xref, int32_t pageObjNum, std::string& pageText)
        : w_(m.Writer()), shared_(m.Shared()), xref_(xref), pageObjNum_(pageObjNum), pageText_(pageText) {
        // The page's Annots as the document read it at opening; a page the document
        // does not list is parsed here.
        const CPdfElement* raw = m.OpenedPageAnnots(pageObjNum);
        if (raw) {
            if (raw->isNone()) return;
        } else {
            if (xref_ && pageObjNum > 0 && pageObjNum < xref_->getNumEntries())
                page_ = xref_->fetch(pageObjNum, Generation(xref_, pageObjNum));
            pageDict_ = DictOf(page_);
            if (!pageDict_) return;
            raw = pageDict_->find("Annots");
            if (!raw) return;
        }
        rawAnnots_ = *raw;
        annots_ = Resolve(rawAnnots_, xref_);
    }

    CPdfArray* annots() const { return annots_.isArray() ? annots_.getArray() : nullptr; }
    bool annotsByReference() const { return rawAnnots_.isReference(); }
    int32_t annotsNum() const { return rawAnnots_.getRefNum(); }

    // The text of object num for editing in place (the page's own text for the page).
    std::string* text(int32_t num) {
        if (num == pageObjNum_) return &pageText_;
        auto it = edited_.find(num);
        if (it != edited_.end()) return &it->second;
        std::string t;
        if (num <= 0 || num >= xref_->getNumEntries() || !xref_->getRawObjectText(num, t)) return nullptr;
        return &(edited_[num] = std::move(t));
    }

    // One object on the way from the page to a link's target string: its number and
    // where the reference to it stands in the object one level up.
    struct Level {
        int32_t num;
        Path refPath;
    };

    // The text to edit for levels[k] (levels[0] is the page). An object that a page
    // outside the edit (or, for an array, a second edited page) also uses is not
    // edited itself: this page gets a copy under a new number, and the object one
    // level up is edited to refer to the copy (which may in turn need a copy).
    std::string* editable(const std::vector<Level>& levels, size_t k) {
        if (k == 0) return &pageText_;
        const int32_t num = levels[k].num;
        auto copied = copyOf_.find(num);
        if (copied != copyOf_.end()) return &edited_[copied->second];
        if (!shared_.SharedBeyondPage(num)) return text(num);
        std::string original;
        if (num <= 0 || num >= xref_->getNumEntries() || !xref_->getRawObjectText(num, original)) return nullptr;
        std::string* parent = editable(levels, k - 1);
        size_t s, e;
        if (!parent || !LocateValue(*parent, levels[k].refPath, s, e)) return nullptr;
        const int32_t copy = w_.ReserveObject();
        parent->replace(s, e - s, std::to_string(copy) + " 0 R");
        copyOf_[num] = copy;
        // The copy's strings take the copy's key when the input is encrypted.
        return &(edited_[copy] = SharedObjects::RenumberedCopy(w_.MoveStrings(original, num, copy), copy));
    }

    // The page's Annots array for editing: the page's text when the array is written
    // in it, else the array object (or this page's own copy of it).
    std::string* annotsText() {
        if (!annotsByReference()) return &pageText_;
        std::vector<Level> levels{Level{pageObjNum_, Path()}, Level{annotsNum(), KeyPath({"Annots"})}};
        return editable(levels, 1);
    }

    // Sets the target string of the link at index j of Annots, following the rules for
    // the object that holds it: the file specification when F is a reference, else the
    // action when A is a reference, else the annotation (the page or the Annots array
    // for an annotation written inline).
    void setTarget(int j, const TargetPlace& place, const std::string& target) {
        // The chain of objects from the page to the string, and the path to the
        // string inside the last of them.
        std::vector<Level> levels{Level{pageObjNum_, Path()}};
        Path path;
        if (annotsByReference()) {
            levels.push_back(Level{annotsNum(), KeyPath({"Annots"})});
        } else {
            path = KeyPath({"Annots"});
        }
        path.push_back(Step{"", j});
        const CPdfElement& rawAnnot = annots()->at(j);
        if (rawAnnot.isReference()) {
            levels.push_back(Level{rawAnnot.getRefNum(), path});
            path.clear();
        }
        path.push_back(Step{"A", 0});
        if (place.rawA.isReference()) {
            levels.push_back(Level{place.rawA.getRefNum(), path});
            path.clear();
        }
        if (place.isFile) {
            path.push_back(Step{"F", 0});
            if (place.rawF.isReference()) {
                levels.push_back(Level{place.rawF.getRefNum(), path});
                path.clear();
            }
            for (const Step& s : place.inFileSpec)
                path.push_back(s);
        } else {
            path.push_back(Step{"URI", 0});
        }
        std::string* t = editable(levels, levels.size() - 1);
        // The string goes into the object that holds it in the output (this page's
        // copy when the object is shared), encrypted with that object's key.
        int32_t holder = levels.back().num;
        auto copied = copyOf_.find(holder);
        if (levels.size() > 1 && copied != copyOf_.end()) holder = copied->second;
        if (t)
            ReplaceString(*t, path,
                          w_.StringToken(holder, place.isFile ? EncodeTextString(target, place.form) : target));
    }

    // Writes the edited objects, then the page.
    void finish() {
        for (auto& e : edited_) {
            if (e.first != pageObjNum_) w_.WriteRewrittenObject(e.first, e.second);
        }
        w_.WriteRewrittenObject(pageObjNum_, pageText_);
    }

private:
    COutputWriter& w_;
    const SharedObjects& shared_;
    CPdfXRef* xref_;
    int32_t pageObjNum_;
    std::string& pageText_;
    CPdfElement page_;
    CPdfDictionary* pageDict_ = nullptr;
    CPdfElement rawAnnots_;
    CPdfElement annots_;
    std::map<int32_t, std::string> edited_;  // texts to write, by object number
    std::map<int32_t, int32_t> copyOf_;      // shared object -> this page's copy of it
};

}  // namespace

void RemoveMode::WritePage(int32_t pageObjNum, int32_t, const std::string& pageText) {
    RemoveLinksOnPage(pageObjNum, pageText);
}

void RemoveMode::RemoveLinksOnPage(int32_t pageObjNum, std::string pageText) {
    LinkEditor editor(*this, xref_, pageObjNum, pageText);
    CPdfArray* array = editor.annots();
    if (!array) {
        editor.finish();
        return;
    }
    const bool noFilter = settings_.link.empty() && settings_.textLink.empty();
    const std::set<int32_t> selected(selection_.annots.begin(), selection_.annots.end());
    const std::set<std::pair<int32_t, int32_t>> selectedDirect(selection_.direct.begin(), selection_.direct.end());
    const int32_t pageNumber = selection_.direct.empty() ? 0 : PageNumberOf(pageObjNum);

    // The text of the array as written, so that inline elements that stay keep their bytes.
    // (An array that other pages use too is copied for this page; see annotsText.)
    std::string* holderText = editor.annotsText();
    size_t open = RawText::npos, close = RawText::npos, keyEnd = RawText::npos;
    if (holderText) {
        if (editor.annotsByReference()) {
            open = RawText::FindArrayOpen(*holderText, RawText::BodyStart(*holderText));
        } else {
            size_t dict = RawText::FindDictOpen(*holderText, RawText::BodyStart(*holderText));
            size_t key = RawText::FindKey(*holderText, dict, "Annots");
            size_t s, e;
            if (key != RawText::npos && RawText::ValueSpan(*holderText, key, s, e) && (*holderText)[s] == '[') {
                open = s;
                keyEnd = key + 7;
            }
        }
        if (open != RawText::npos) close = RawText::ValueEnd(*holderText, open);
    }
    if (open == RawText::npos || close == RawText::npos) {
        editor.finish();
        return;
    }
    std::vector<std::pair<size_t, size_t>> spans;
    for (size_t p = RawText::SkipSpace(*holderText, open + 1); p < close - 1;) {
        size_t e = RawText::ValueEnd(*holderText, p);
        if (e == RawText::npos || e > close - 1) break;
        spans.emplace_back(p, e);
        p = RawText::SkipSpace(*holderText, e);
    }
    const bool spansMatch = static_cast<int>(spans.size()) == array->getLength();

    std::string replacement = " [ ";
    std::vector<int32_t> dropped;
    for (int j = 0; j < array->getLength(); ++j) {
        const CPdfElement& raw = array->at(j);
        CPdfElement annot = Item(array, j);
        CPdfDictionary* dict = DictOf(annot);
        bool drop = !dict;  // elements that lead to no dictionary are dropped as well
        if (dict && IsLinkAnnotation(dict)) {
            const int32_t num = raw.isReference() ? raw.getRefNum() : 0;
            if (noFilter) {
                drop = true;
            } else {
                if (!settings_.link.empty()) {
                    CPdfElement actionElement = Get(dict, "A");
                    CPdfDictionary* action = DictOf(actionElement);
                    CPdfElement uri = action ? Get(action, "URI") : CPdfElement();
                    if (uri.isString() && EqualNoCase(uri.getBytes(), settings_.link)) drop = true;
                }
                if (!settings_.textLink.empty() && num > 0 && selected.count(num)) drop = true;
                // An annotation written directly in Annots is selected by its place.
                if (!settings_.textLink.empty() && !raw.isReference() && selectedDirect.count({pageNumber, j}))
                    drop = true;
            }
            if (drop && num > 0) dropped.push_back(num);
        }
        if (drop) continue;
        char buf[48];
        if (raw.isReference()) {
            std::snprintf(buf, sizeof(buf), "%ld %d R ", static_cast<long>(raw.getRefNum()), raw.getRefGen());
            replacement += buf;
        } else if (spansMatch) {
            replacement.append(*holderText, spans[static_cast<size_t>(j)].first,
                               spans[static_cast<size_t>(j)].second - spans[static_cast<size_t>(j)].first);
            replacement += ' ';
        }
    }
    replacement += "]\n";

    std::string& t = *holderText;
    t.erase(open, close - open);
    if (editor.annotsByReference()) {
        t.insert(RawText::BodyStart(t), replacement);
    } else {
        t.insert(keyEnd, replacement);
    }
    // A dropped annotation is not carried over: free in the input, unwritten in the
    // output. One that a page outside the edit still lists stays for that page.
    for (int32_t num : dropped) {
        if (shared_.UsedOutsideEdit(num)) continue;
        xref_->markFree(num);
        writer_.Unwrite(num);
    }
    editor.finish();
}

void ChangeMode::WritePage(int32_t pageObjNum, int32_t, const std::string& pageText) {
    if (settings_.change) {
        ChangeLinksOnPage(pageObjNum, pageText);
    } else {
        ChangePartOfLinksOnPage(pageObjNum, pageText);
    }
}

void ChangeMode::ChangeLinksOnPage(int32_t pageObjNum, std::string pageText) {
    LinkEditor editor(*this, xref_, pageObjNum, pageText);
    CPdfArray* array = editor.annots();
    if (array) {
        const std::set<int32_t> selected(selection_.annots.begin(), selection_.annots.end());
        const std::set<std::pair<int32_t, int32_t>> selectedDirect(selection_.direct.begin(), selection_.direct.end());
        const int32_t pageNumber = selection_.direct.empty() ? 0 : PageNumberOf(pageObjNum);
        // Without a selection by text, only a link whose target is -link can change:
        // annotations whose raw text rules that out are not parsed.
        const std::string lowerLink = settings_.textLink.empty() ? LowerAsciiString(settings_.link) : std::string();
        std::string scratch;
        for (int j = 0; j < array->getLength(); ++j) {
            TargetPlace place;
            CPdfElement actionElement;
            CPdfDictionary* action = LinkActionAt(array, j, xref_, lowerLink, scratch, actionElement, place);
            if (!action) continue;
            if (!settings_.link.empty() && PlaceByActionType(action, xref_, place) &&
                EqualNoCase(place.target, settings_.link)) {
                editor.setTarget(j, place, settings_.newLink);
                continue;
            }
            const CPdfElement& raw = array->at(j);
            const bool chosen =
                raw.isReference() ? selected.count(raw.getRefNum()) > 0 : selectedDirect.count({pageNumber, j}) > 0;
            if (!settings_.textLink.empty() && chosen) {
                // Selected by the text under it: its own target changes, whatever it is.
                TargetPlace own;
                own.rawA = place.rawA;
                if (UriPlace(action, own) || FilePlace(action, xref_, own)) editor.setTarget(j, own, settings_.newLink);
            }
        }
    }
    editor.finish();
}

void ChangeMode::ChangePartOfLinksOnPage(int32_t pageObjNum, std::string pageText) {
    LinkEditor editor(*this, xref_, pageObjNum, pageText);
    CPdfArray* array = editor.annots();
    if (array && !settings_.link.empty()) {
        // Annotations whose raw text rules out a target holding -link are not parsed.
        const std::string lowerLink = LowerAsciiString(settings_.link);
        std::string scratch;
        for (int j = 0; j < array->getLength(); ++j) {
            TargetPlace place;
            CPdfElement actionElement;
            CPdfDictionary* action = LinkActionAt(array, j, xref_, lowerLink, scratch, actionElement, place);
            if (!action || !PlaceByActionType(action, xref_, place)) continue;
            // The part is matched with its letter case; its first occurrence is replaced.
            const size_t at = place.target.find(settings_.link);
            if (at == std::string::npos) continue;
            std::string target = place.target;
            target.replace(at, settings_.link.size(), settings_.newLink);
            editor.setTarget(j, place, target);
        }
    }
    editor.finish();
}
