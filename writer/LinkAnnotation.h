#pragma once
// New link annotations over text found on the pages, and the create mode that writes
// them with the pages they belong to.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/LinkSettings.h"
#include "writer/OutputWriter.h"
#include "writer/PageUpdate.h"

class PageList;
class SharedObjects;

/// A link created over found text.
struct FoundLink {
    int32_t page = 0;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::string target;
};

/// The annotation object (" 0 obj\n...endobj\n") of a found link, its rectangle
/// widened by the -posLeft, -posBottom, -posLength and -posHeight adjustments (which
/// are stored back into link).
std::string BuildFoundLink(const LinkSettings& settings, FoundLink& link);

/// The create mode: each page of the range gets an annotation for every found link on
/// it, in list order, appended just before the page.
class CreateMode : public PageMode {
public:
    CreateMode(const LinkSettings& settings, COutputWriter& writer, const PageList& pages, const SharedObjects& shared,
               std::vector<FoundLink>& found);
    void WritePage(int32_t pageObjNum, int32_t pageIndex, const std::string& pageText) override;

private:
    const LinkSettings& settings_;
    COutputWriter& writer_;
    std::vector<FoundLink>& found_;
    PageUpdater updater_;
    /// Found links grouped by page once, so a page does not walk the whole list
    /// (list order is kept within a page).
    std::vector<std::vector<size_t>> foundByPage_;
    std::vector<int32_t> newAnnots_;
};
