#pragma once
// The link annotations the input already has: reading them from every page, and the
// remove and change modes that edit them on the pages of the range.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/LinkSettings.h"
#include "writer/OutputWriter.h"

class CPdfDocument;
class CPdfElement;
class CPdfXRef;
class PageList;
class SharedObjects;

/// A link annotation the input already has.
struct ExistingLink {
    float rect[4] = {0, 0, 0, 0};
    int32_t annotNum = 0;     ///< 0 for an annotation written directly in Annots
    int32_t annotIndex = -1;  ///< its place in the page's Annots when written there directly
    int32_t page = 0;         ///< 1-based
    std::string target;
    std::string text;  ///< text under the link (report only)
};

/// Existing links chosen by the text under them.
struct LinkSelection {
    /// Annotations held by reference: their object numbers.
    std::vector<int32_t> annots;
    /// Annotations written directly in Annots: (page, place in Annots).
    std::vector<std::pair<int32_t, int32_t>> direct;
};

/// Appends to links the web-page and file links of every page of pages, in page
/// order, when settings ask for the list (a report, or a removal or change selected
/// by text); does nothing otherwise.
void ReadExistingLinks(CPdfXRef& xref, const PageList& pages, const LinkSettings& settings,
                       std::vector<ExistingLink>& links);

/// What the remove and change modes share: the pages as the document read them, and
/// the writer with what it needs to edit objects that other pages use too.
class ExistingLinkMode : public PageMode {
public:
    ExistingLinkMode(const LinkSettings& settings, COutputWriter& writer, CPdfDocument& doc,
                     const SharedObjects& shared, const LinkSelection& selection);

    /// The "Annots" value as written of page object pageObjNum, as the document read it
    /// when it opened (so that the page need not be parsed again); null when the
    /// document has no page of that number.
    const CPdfElement* OpenedPageAnnots(int32_t pageObjNum);
    /// The 1-based page number of page object pageObjNum, 0 when the document has none.
    int32_t PageNumberOf(int32_t pageObjNum);

    COutputWriter& Writer() { return writer_; }
    const SharedObjects& Shared() const { return shared_; }

protected:
    const LinkSettings& settings_;
    COutputWriter& writer_;
    CPdfDocument& doc_;
    CPdfXRef* xref_;
    const SharedObjects& shared_;
    const LinkSelection& selection_;

private:
    /// Index in the document's pages of each page object number (-1: none); made on
    /// first use.
    std::vector<int32_t> openedPageIndex_;
};

/// The remove mode: the links of each page of the range, all of them or those chosen
/// by -link or the text selection, leave the page's Annots.
class RemoveMode : public ExistingLinkMode {
public:
    using ExistingLinkMode::ExistingLinkMode;
    void WritePage(int32_t pageObjNum, int32_t pageIndex, const std::string& pageText) override;
    void RemoveLinksOnPage(int32_t pageObjNum, std::string pageText);
};

/// The change modes: -change gives the links chosen by -link or the text selection
/// the target -newlink; -changepart replaces the part -link of every target.
class ChangeMode : public ExistingLinkMode {
public:
    using ExistingLinkMode::ExistingLinkMode;
    void WritePage(int32_t pageObjNum, int32_t pageIndex, const std::string& pageText) override;
    void ChangeLinksOnPage(int32_t pageObjNum, std::string pageText);
    void ChangePartOfLinksOnPage(int32_t pageObjNum, std::string pageText);
};
