// The link report: the text under every existing link, written one line per link of
// the page range.
#include "links/TextPhases.h"

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "links/LinkSearch.h"
#include "pdf/CPdfException.h"
#include "platform/Platform.h"

void WriteReport(CPdfDocument& doc, const LinkSettings& settings, std::vector<ExistingLink>& existingLinks) {
    // The report reads the text of the range itself, a page at a time: a link takes
    // its text from the characters of its own page only, so nothing else needs to be
    // kept, and a run that also creates links or selects by text does not give any
    // link its text twice.
    std::unordered_map<int32_t, std::vector<ExistingLink*>> linksByPage;
    for (ExistingLink& link : existingLinks) {
        link.text.clear();
        linksByPage[link.page].push_back(&link);
    }
    ForEachRangePage(doc, settings, [&](std::vector<TextChar>& page) {
        if (page.empty()) return;
        auto it = linksByPage.find(page.front().page);
        if (it == linksByPage.end()) return;
        for (ExistingLink* link : it->second)
            LinkSearch::TextUnderLink(*link, page.data(), page.data() + page.size(), link->text);
    });

    // The report always says what this run found, links over images (no text under
    // them) included: a new report replaces the old one whole, -reportappend adds to
    // it. A report that cannot be written in full fails the file, and leaves the old
    // report as it was.
    const std::string& name = settings.reportFileName;
    Platform::NewFileVersion replaced;
    int64_t appendedAt = -1;  // length of the report before this run appended to it
    FILE* f;
    // Binary modes, so that every line ends with exactly "\r\n" on every system.
    if (settings.reportAppend) {
        f = Platform::OpenFile(name, "ab");
        if (f && Platform::Seek(f, 0, SEEK_END) == 0) appendedAt = Platform::Tell(f);
    } else {
        f = replaced.open(name);
    }
    bool ok = f != nullptr;
    const int32_t start = settings.startPage;
    const int32_t end = settings.endPage;
    for (size_t i = 0; ok && i < existingLinks.size(); ++i) {
        const ExistingLink& link = existingLinks[i];
        if (link.page < start || link.page > end) continue;
        const std::string line = LinkSearch::FormatReportLine(link, settings.reportPositions);
        ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    }
    if (f && std::fclose(f) != 0) ok = false;
    if (ok && !settings.reportAppend) ok = replaced.commit();
    if (!ok) {
        if (f && appendedAt >= 0) Platform::TruncateFile(name, appendedAt);
        std::printf("\nError! Unable to write report file: '%s'\n", name.c_str());
        throw CPdfException("Report file write error\n", "The report file cannot be written");
    }
}
