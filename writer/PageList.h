#pragma once
// The page list: every page of the document in order, with what the page writers need
// of it (object number, visible box, rotation). Index i is page i + 1.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CPdfPageTreeObserver;
class CPdfXRef;

/// One page of the page list: page object number, crop box and rotation.
struct PageListEntry {
    int32_t objNum = 0;
    float cropBox[4] = {0, 0, 612, 792};  ///< x1 y1 x2 y2
    int32_t rotate = 0;                   ///< /Rotate of the page or its ancestors: 0, 90, 180 or 270
};

class PageList {
public:
    /// A recorder of the page tree, to be handed to the document's open, whose walk
    /// then yields the page list as well.
    static std::unique_ptr<CPdfPageTreeObserver> NewPageTreeRecorder();

    /// Lists the pages under the catalog's /Pages of xref: from what recorder saw
    /// when it is exactly the list the page-tree walk would make, else by the walk.
    /// Throws CPdfException "PDF file was damaged" when there is no usable page tree.
    void Build(CPdfXRef& xref, const CPdfPageTreeObserver* recorder);
    /// The page-tree walk from the root node rootNum (raw object text nodeText), at
    /// most count pages (no limit but the object count when count is 0); pages without
    /// a box of their own or an ancestor's get inheritedBox.
    void BuildPageList(CPdfXRef& xref, int32_t rootNum, int32_t count, const std::string& nodeText,
                       const float inheritedBox[4]);
    /// Fills the list from what recorder saw when that is exactly the list
    /// BuildPageList would make (every kid a reference, each object met once, the tree
    /// no deeper than that walk goes, no more pages than count allows) and returns
    /// true; otherwise leaves it alone and returns false.
    bool UseRecordedPageList(CPdfXRef& xref, const CPdfPageTreeObserver* recorder, int32_t rootNum, int32_t count,
                             const float inheritedBox[4]);

    /// For every object number below objectCount, the index of the page it is within
    /// pages start..end (1-based), -1 for objects that are no page of the range. A
    /// page object listed twice counts at its first listing inside the range.
    std::vector<int32_t> IndexOfObjects(int32_t objectCount, int32_t start, int32_t end) const;

    void Add(const PageListEntry& page) { pages_.push_back(page); }
    size_t size() const { return pages_.size(); }
    bool empty() const { return pages_.empty(); }
    const PageListEntry& operator[](size_t i) const { return pages_[i]; }
    std::vector<PageListEntry>::const_iterator begin() const { return pages_.begin(); }
    std::vector<PageListEntry>::const_iterator end() const { return pages_.end(); }

private:
    std::vector<PageListEntry> pages_;
};
