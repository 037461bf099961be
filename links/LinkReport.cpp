// The link report: the text under every existing link, written one line per link of
// the page range.
#include "links/CQuillmarkHandler.h"

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/Platform.h"
#include "links/LinkSearch.h"
#include "links/TextPages.h"

void CQuillmarkHandler::WriteReport() {
    // The report reads the text of the range itself, a page at a time: a link takes
    // its text from the characters of its own page only, so nothing else needs to be
    // kept, and a run that also creates links or selects by text does not give any
    // link its text twice.
    std::unordered_map<int32_t, std::vector<ExistingLink*>> linksByPage;
    for (ExistingLink& link : existingLinks) {
        link.text.clear();
        linksByPage[link.page].push_back(&link);
    }
    bool anyText = false;
    ForEachRangePage(*this, [&](std::vector<TextChar>& page) {
        if (page.empty()) return;
        auto it = linksByPage.find(page.front().page);
        if (it == linksByPage.end()) return;
        for (ExistingLink* link : it->second) {
            LinkSearch::TextUnderLink(*link, page.data(), page.data() + page.size(), link->text);
            if (!link->text.empty()) anyText = true;
        }
    });
    if (!anyText) {
        // No link has text anywhere: the report file is neither created nor touched.
        return;
    }
    const std::string& name = settings.reportFileName;
    // Binary modes, so that every line ends with exactly "\r\n" on every system.
    FILE* f = Platform::OpenFile(name, settings.reportAppend ? "ab" : "wb");
    if (!f) {
        std::printf("\nError! Unable to write report file: '%s'\n", name.c_str());
        return;
    }
    const int32_t start = settings.startPage;
    const int32_t end = settings.endPage;
    for (const ExistingLink& link : existingLinks) {
        if (link.page < start || link.page > end) continue;
        const std::string line = LinkSearch::FormatReportLine(link, settings.reportPositions);
        std::fwrite(line.data(), 1, line.size(), f);
    }
    std::fclose(f);
}
