// The link report: the text under every existing link, written one line per link of
// the page range.
#include "links/CQuillmarkHandler.h"

#include <cstdio>
#include <string>

#include "cli/Platform.h"
#include "links/LinkSearch.h"

void CQuillmarkHandler::WriteReport() {
    // The report works on the characters of its own extraction, so that a run that
    // also creates links or selects by text (each with an extraction of its own) does
    // not see every character twice.
    const size_t begin = chars.size();
    ExtractRange();
    if (!LinkSearch::FillLinkTexts(existingLinks, chars, begin, chars.size())) {
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
