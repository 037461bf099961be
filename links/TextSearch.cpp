// The handler's text phases: extraction of the page range, the create phase with its
// four searches, and the text-link selections for removal and change. The searches
// themselves live in LinkSearch; this file adds the files, the settings and the
// encoding of texts at the program's edge.
#include "links/CQuillmarkHandler.h"

#include <cstdio>
#include <string>

#include "cli/Platform.h"
#include "links/LinkSearch.h"
#include "pdf/CPdfDocument.h"
#include "text/CPdfText.h"

namespace {

// Reads one line of any length, with its line end; false at the end of the file.
bool ReadLine(FILE* f, std::string& line) {
    line.clear();
    char buf[4096];
    while (std::fgets(buf, sizeof buf, f)) {
        line.append(buf);
        if (!line.empty() && line.back() == '\n') return true;
    }
    return !line.empty();
}

}  // namespace

void CQuillmarkHandler::ExtractRange() {
    if (!doc) return;
    const int count = doc->getNumPages();
    // Pages below 1 do not exist: the extraction starts at the first page.
    int first = settings.startPage < 1 ? 1 : settings.startPage;
    int last = settings.endPage;
    if (last != 99999 && last > count) last = count;
    if (count <= 0 || first > count || (last != 99999 && last < first)) return;
    CPdfText extractor;
    extractor.extractPages(doc.get(), first, last, chars);
}

void CQuillmarkHandler::CreatePhase() {
    ExtractRange();
    const std::string bytes = LinkSearch::CharBytes(chars);

    if (settings.text.empty()) {
        LinkSearch::ScanWebAddresses(chars, settings.text, settings.link, foundLinks);
        return;
    }
    if (settings.text != "[TEXTFILE]" && settings.text != "[LINKFILE]") {
        LinkSearch::SearchText(chars, bytes, Platform::Utf8ToWinAnsi(settings.text), settings.link, foundLinks);
        return;
    }

    const bool isTextFile = settings.text == "[TEXTFILE]";
    const std::string fileName = isTextFile ? settings.textFileName : settings.linkFileName;
    std::printf("\nReading text file: %s\n", fileName.c_str());
    FILE* f = Platform::OpenFile(fileName, "r");
    if (!f) {
        std::printf("Error! Unable to read text file: %s\n", fileName.c_str());
        return;
    }
    std::string line;
    while (ReadLine(f, line)) {
        if (isTextFile) {
            const std::string cleaned = LinkSearch::CleanTextFileLine(line);
            settings.text = cleaned;
            // An empty line (or a single space) would match everything: skip it.
            const std::string text = Platform::Utf8ToWinAnsi(cleaned);
            if (text.empty()) continue;
            LinkSearch::SearchTextFileText(chars, bytes, text, cleaned, settings.link, matchedTexts, foundLinks);
            continue;
        }
        const LinkSearch::LinkFileLine fields = LinkSearch::SplitLinkFileLine(line);
        if (!fields.valid) continue;
        if (fields.bars >= 3) {
            std::printf("looking for matching text: '%s' with link '%s', pos h:%s, v:%s\n", fields.field[0].c_str(),
                        fields.field[1].c_str(), fields.field[2].c_str(), fields.field[3].c_str());
        }
        const int32_t h = LinkSearch::FieldNumber(fields.field[2]);
        const int32_t v = LinkSearch::FieldNumber(fields.field[3]);
        const int32_t page = LinkSearch::FieldNumber(fields.field[4]);
        std::string raw = fields.field[0];
        if (fields.startsWithSpace && !raw.empty()) raw.erase(0, 1);
        settings.text = raw;
        settings.link = fields.field[1];
        const std::string text = Platform::Utf8ToWinAnsi(raw);
        if (text.empty()) continue;
        LinkSearch::SearchLinkFileText(chars, bytes, text, raw, settings.link, fields.bars >= 3, h, v, page,
                                       settings.debug, matchedTexts, foundLinks);
    }
    std::fclose(f);
}

void CQuillmarkHandler::SelectForRemoval() {
    if (settings.textLink.empty()) return;
    ExtractRange();
    LinkSearch::SearchTextLink(chars, Platform::Utf8ToWinAnsi(settings.textLink), Platform::Utf8ToWinAnsi(settings.text),
                               settings.link, 8, 8, foundLinks);
    LinkSearch::SelectCovering(foundLinks, existingLinks, removeList);
}

void CQuillmarkHandler::SelectForChange() {
    if (settings.textLink.empty()) return;
    ExtractRange();
    LinkSearch::SearchTextLink(chars, Platform::Utf8ToWinAnsi(settings.textLink), Platform::Utf8ToWinAnsi(settings.text),
                               settings.link, 9, 10, foundLinks);
    LinkSearch::SelectCovering(foundLinks, existingLinks, changeList);
}
