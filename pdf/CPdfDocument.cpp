#include "pdf/CPdfDocument.h"

#include <cstring>
#include <vector>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"

namespace {

// Deepest page tree walked; real trees are a few levels deep.
const int kMaxTreeDepth = 512;

int32_t normaliseRotation(int32_t r) {
    int32_t m = r % 360;
    return m < 0 ? m + 360 : m;
}

}  // namespace

// What a node hands down: the nearest "Resources" dictionary and the nearest
// "Rotate" value of the node and its ancestors (None when there is none).
struct CPdfCatalog::Inherited {
    CPdfElement resources;
    CPdfElement rotate;
};

// One walk over the page tree. A node, a page or a Kids array held by reference is
// walked once: reaching one again (two nodes sharing a Kids array, a page listed
// twice) is damage, and what it leads to is listed already, so each page is listed
// once, in the order first met. A node that leads back to one of its own ancestors
// makes the tree a loop, which is refused.
struct CPdfCatalog::Walk {
    // Per object number: met (nodes, pages and Kids arrays), and an ancestor of the
    // node being walked.
    enum : unsigned char { kMet = 1, kAncestor = 2 };
    std::vector<unsigned char> marks;

    unsigned char& at(int32_t num) {
        const size_t n = num < 0 ? 0 : static_cast<size_t>(num);
        if (n >= marks.size()) marks.resize(n + 1, 0);
        return marks[n];
    }
    /// True the first time num is met.
    bool firstVisit(int32_t num) {
        unsigned char& m = at(num);
        const bool first = !(m & kMet);
        m |= kMet;
        return first;
    }
    bool isAncestor(int32_t num) { return (at(num) & kAncestor) != 0; }
    void setAncestor(int32_t num, bool on) {
        unsigned char& m = at(num);
        m = static_cast<unsigned char>(on ? m | kAncestor : m & ~kAncestor);
    }
};

// Where a node's dictionary is written: inside object container, at path (empty when
// the node is that object itself).
struct CPdfCatalog::Place {
    int32_t container = 0;
    std::vector<CPdfRawStep> path;

    Place step(const std::string& key) const {
        Place p = *this;
        p.path.push_back(CPdfRawStep{key, 0});
        return p;
    }
    Place item(int i) const {
        Place p = *this;
        p.path.push_back(CPdfRawStep{std::string(), i});
        return p;
    }
};

void CPdfCatalog::load(CPdfPageTreeObserver* observer) {
    pages_.clear();
    observer_ = observer;
    if (observer_) observer_->begin();
    CPdfElement root = xref_->fetch(xref_->getRootNum(), xref_->getRootGen());
    if (!root.isDictionary()) throw CPdfException("Catalog object is wrong type");
    CPdfElement pagesRaw = root.getDictionary()->lookupRaw("Pages");
    CPdfElement pages = pagesRaw.fetch(xref_);
    if (!pages.isDictionary()) throw CPdfException("Top-level pages object is wrong type");
    CPdfElement count = pages.getDictionary()->lookup("Count");
    if (!count.isNumber()) throw CPdfException("Page count in top-level pages object is wrong type");

    Walk w;
    w.marks.assign(static_cast<size_t>(xref_->getNumEntries()), 0);
    Place place;
    if (pagesRaw.isReference()) {
        w.firstVisit(pagesRaw.getRefNum());
        w.setAncestor(pagesRaw.getRefNum(), true);
        place.container = pagesRaw.getRefNum();
    } else {
        place.container = xref_->getRootNum();
        place = place.step("Pages");
    }
    Inherited none;
    walkNode(w, pagesRaw, pages.getDictionary(), none, 0, place);
    observer_ = nullptr;
    if (!xref_->placeDirectObjects()) throw CPdfException("Kid object is wrong type");
}

void CPdfCatalog::walkNode(Walk& w, const CPdfElement& raw, CPdfDictionary* node, const Inherited& parent, int depth,
                           const Place& place) {
    if (depth > kMaxTreeDepth) throw CPdfException("Page tree is too deep");
    const CPdfElement kidsRaw = node->lookupRaw("Kids");
    CPdfElement kids = node->lookup("Kids");
    if (!kids.isArray()) throw CPdfException("Kids object is wrong type");
    if (observer_) observer_->enterNode(raw, node, depth);

    Inherited here;
    CPdfElement res = node->lookup("Resources");
    here.resources = res.isDictionary() ? res : parent.resources;
    CPdfElement rot = node->lookup("Rotate");
    here.rotate = rot.isNull() ? parent.rotate : rot;

    // A Kids array shared with a node walked before lists nothing new.
    const bool sharedKids = kidsRaw.isReference() && !w.firstVisit(kidsRaw.getRefNum());
    Place kidsPlace;
    if (kidsRaw.isReference())
        kidsPlace.container = kidsRaw.getRefNum();
    else
        kidsPlace = place.step("Kids");

    CPdfArray* a = kids.getArray();
    for (int i = 0; i < a->getLength() && !sharedKids; ++i) {
        const CPdfElement& kidRaw = a->at(i);
        CPdfElement kid = a->get(i);
        if (!kid.isDictionary()) throw CPdfException("Kid object is wrong type");
        CPdfDictionary* kd = kid.getDictionary();
        const bool isPage = kd->isType("Page");
        if (!kidRaw.isReference()) {
            if (isPage) {
                // A page written directly in Kids is a page to readers; it gets an
                // object number of its own, so that it is edited like any other page.
                const int32_t num = xref_->addDirectObject(kidsPlace.container, kidsPlace.item(i).path);
                if (num <= 0) throw CPdfException("Kid object is wrong type");
                CPdfElement ref;
                ref.setReference(num, 0);
                w.firstVisit(num);
                loadPage(ref, kd, here);
                if (observer_) observer_->page(ref, kd);
            } else {
                walkNode(w, kidRaw, kd, here, depth + 1, kidsPlace.item(i));
            }
            continue;
        }
        const int32_t num = kidRaw.getRefNum();
        if (!isPage && w.isAncestor(num)) throw CPdfException("Page tree has a loop");
        if (!w.firstVisit(num)) continue;  // met before: listed already
        if (isPage) {
            loadPage(kidRaw, kd, here);
            if (observer_) observer_->page(kidRaw, kd);
            continue;
        }
        Place kidPlace;
        kidPlace.container = num;
        w.setAncestor(num, true);
        walkNode(w, kidRaw, kd, here, depth + 1, kidPlace);
        w.setAncestor(num, false);
    }
    if (observer_) observer_->leaveNode();
}

void CPdfCatalog::loadPage(const CPdfElement& raw, CPdfDictionary* dict, const Inherited& inh) {
    CPdfPage page;
    page.number_ = static_cast<int32_t>(pages_.size()) + 1;
    page.xref_ = xref_;
    if (raw.isReference()) {
        page.objNum_ = raw.getRefNum();
        page.objGen_ = raw.getRefGen();
    }
    CPdfElement contents = dict->lookupRaw("Contents");
    if (!contents.isNull() && !contents.isArray() && !contents.isReference()) contents.setNull();
    page.contents_ = std::move(contents);
    if (const CPdfElement* annots = dict->find("Annots")) page.annots_ = *annots;

    // Pages usually share one resources object: it is parsed once, not once per page.
    const CPdfElement rawRes = dict->lookupRaw("Resources");
    CPdfElement res;
    if (rawRes.isReference() && lastResources_.isReference() && rawRes.getRefNum() == lastResources_.getRefNum() &&
        rawRes.getRefGen() == lastResources_.getRefGen()) {
        res = lastResolved_;
    } else {
        res = rawRes.fetch(dict->getXRef());
        if (rawRes.isReference()) {
            lastResources_ = rawRes;
            lastResolved_ = res;
        }
    }
    if (res.isDictionary()) {
        page.resources_ = std::move(res);
    } else if (inh.resources.isDictionary()) {
        page.resources_ = inh.resources;
    } else {
        // No resources, own or inherited: valid for a page whose content needs none
        // (readers show such pages); the page gets empty ones.
        page.resources_.setNewDictionary(xref_);
    }

    CPdfElement rot = dict->lookup("Rotate");
    if (rot.isNull()) rot = inh.rotate;
    if (rot.isInteger()) page.rotation_ = normaliseRotation(rot.getInteger());
    pages_.push_back(std::move(page));
}

// ---- CPdfDocument ----

CPdfDocument::CPdfDocument(const FileAccess* access) : access_(access) {}

CPdfDocument::~CPdfDocument() { close(); }

void CPdfDocument::open(const char* path, CPdfPageTreeObserver* observer) {
    close();
    file_ = path ? std::fopen(path, "rb") : nullptr;
    if (!file_) throw CPdfException("Can't open file", CPdfReason::kUnreadable);
    // Every reader of the file keeps its own buffer sized to what it reads; a second
    // buffer in the C library would only add a copy and a read per seek.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    stream_ = new CPdfFileStream(file_, 0, 0, CPdfElement(), access_);
    bool header = false;
    try {
        // The header: every offset of the file counts from "%PDF-".
        unsigned char head[1024];
        std::memset(head, 0xFF, sizeof head);
        stream_->readAt(0, head, 1023);
        head[1023] = 0;
        for (int p = 0; p <= 1017; ++p) {
            if (std::memcmp(head + p, "%PDF-", 5) == 0) {
                if (p > 0) stream_->shiftStart(p);
                header = true;
                break;
            }
        }
        xref_.reset(new CPdfXRef(stream_));
        try {
            xref_->open();
            loadCatalog(observer);
        } catch (const CPdfException& e) {
            // A file that needs a password stays refused; any other failure may come
            // from damaged cross-reference data: the table is rebuilt from the objects
            // the file holds, and the catalog read anew.
            if (!e.getReason().empty()) throw;
            catalog_.reset();
            xref_->rebuild();
            loadCatalog(observer);
        }
    } catch (const CPdfException& e) {
        close();
        // The specific message is dropped; the reason for the user is kept (an
        // encrypted file that needs a password) or told by what the file is.
        std::string reason = e.getReason();
        if (reason.empty()) reason = header ? CPdfReason::kDamaged : CPdfReason::kNotPdf;
        throw CPdfException("Problem with input file", reason);
    } catch (...) {
        close();
        throw CPdfException("Problem with input file", CPdfReason::kUnreadable);
    }
    open_ = true;
}

void CPdfDocument::loadCatalog(CPdfPageTreeObserver* observer) {
    catalog_.reset(new CPdfCatalog(xref_.get()));
    // The page walk visits page objects spread over the whole file.
    CPdfLookupScope lookups(xref_.get());
    catalog_->load(observer);
}

void CPdfDocument::close() {
    catalog_.reset();
    xref_.reset();
    if (stream_) {
        stream_->release();
        stream_ = nullptr;
    }
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    open_ = false;
}

int64_t CPdfDocument::getHeaderOffset() const { return stream_ ? stream_->startOffset() : 0; }

int CPdfDocument::getNumPages() const { return catalog_ ? catalog_->getNumPages() : 0; }

const CPdfPage& CPdfDocument::getPage(int i) const { return catalog_->getPage(i); }
