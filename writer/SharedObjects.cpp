// Objects that several pages use. Pages may share one Annots or Contents array, or
// one annotation (with its action and file specification): an edit made for one page
// must then not change the object itself, or every other page that uses it would
// change too. Such a page gets its own copy, written as a new object, and an
// annotation that a page outside the edit still uses is never left out.
#include "writer/SharedObjects.h"

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfXRef.h"
#include "writer/RawText.h"

namespace {

// Bits of SharedObjects::objectUse_.
constexpr uint8_t kUsedOutside = 1;  // a page outside the edit uses it
constexpr uint8_t kEditedOnce = 2;   // one edited page uses it as its Annots or Contents
constexpr uint8_t kEditedTwice = 4;  // two or more edited pages do

}  // namespace

void SharedObjects::Find(CPdfDocument& doc, const std::vector<int32_t>& pageIndexOf, bool annotations) {
    CPdfXRef* xref = doc.getXRef();
    objectUse_.assign(static_cast<size_t>(xref->getNumEntries()), 0);
    const int32_t entries = xref->getNumEntries();
    auto mark = [&](const CPdfElement& raw, bool edited) {
        if (!raw.isReference()) return;
        const int32_t n = raw.getRefNum();
        if (n <= 0 || n >= entries) return;
        uint8_t& use = objectUse_[static_cast<size_t>(n)];
        if (!edited) {
            use |= kUsedOutside;
        } else {
            use |= (use & kEditedOnce) ? kEditedTwice : kEditedOnce;
        }
    };
    // A value resolved without failing on a reference beyond the table.
    auto resolve = [&](const CPdfElement& raw) {
        if (raw.isReference() && (raw.getRefNum() <= 0 || raw.getRefNum() >= entries)) return CPdfElement();
        return raw.fetch(xref);
    };
    std::vector<bool> seen(static_cast<size_t>(entries), false);
    CPdfLookupScope lookups(xref);
    for (int i = 0; i < doc.getNumPages(); ++i) {
        const CPdfPage& page = doc.getPage(i);
        const int32_t num = page.getObjNum();
        // A page object listed twice is one page: it counts once.
        if (num > 0 && num < entries) {
            if (seen[static_cast<size_t>(num)]) continue;
            seen[static_cast<size_t>(num)] = true;
        }
        const bool edited =
            num > 0 && static_cast<size_t>(num) < pageIndexOf.size() && pageIndexOf[static_cast<size_t>(num)] >= 0;
        mark(page.getContents(), edited);
        mark(page.getAnnots(), edited);
        // Edited pages apply the same removal or change to an annotation they share,
        // so only the annotations of pages outside the edit need to be known.
        if (!annotations || edited) continue;
        CPdfElement annots = resolve(page.getAnnots());
        CPdfArray* array = annots.getArray();
        if (!array) continue;
        for (int j = 0; j < array->getLength(); ++j) {
            const CPdfElement& rawAnnot = array->at(j);
            mark(rawAnnot, false);
            CPdfElement annot = resolve(rawAnnot);
            CPdfDictionary* dict = annot.isDictionary() ? annot.getDictionary() : nullptr;
            if (!dict) continue;
            const CPdfElement rawAction = dict->lookupRaw("A");
            mark(rawAction, false);
            CPdfElement action = resolve(rawAction);
            if (CPdfDictionary* a = action.isDictionary() ? action.getDictionary() : nullptr)
                mark(a->lookupRaw("F"), false);
        }
    }
}

bool SharedObjects::SharedBeyondPage(int32_t num) const {
    if (num <= 0 || static_cast<size_t>(num) >= objectUse_.size()) return false;
    return (objectUse_[static_cast<size_t>(num)] & (kUsedOutside | kEditedTwice)) != 0;
}

bool SharedObjects::UsedOutsideEdit(int32_t num) const {
    if (num <= 0 || static_cast<size_t>(num) >= objectUse_.size()) return false;
    return (objectUse_[static_cast<size_t>(num)] & kUsedOutside) != 0;
}

std::string SharedObjects::RenumberedCopy(const std::string& rawText, int32_t newNum) {
    // The input's header ("12 0 obj") gives way to the new number; the body and its
    // "endobj" stay byte for byte.
    return std::to_string(newNum) + " 0 obj" + rawText.substr(RawText::BodyStart(rawText));
}
