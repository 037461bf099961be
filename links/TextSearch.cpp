// The text phases: extraction of the page range, the create phase with its four
// searches, and the text-link selections for removal and change. The searches
// themselves live in LinkSearch; this file adds the files, the settings and the
// encoding of texts at the program's edge.
//
// The text search, the web-address scan and the selections take the characters a page
// at a time, so their memory does not grow with the document; their finds are those of
// a search over the whole character list. The text-file and link-file searches go over
// the range once per line and keep its characters, page by page.
#include "links/TextPhases.h"

#include <cstdio>
#include <functional>
#include <string>

#include "links/LinkSearch.h"
#include "pdf/CPdfDocument.h"
#include "platform/Platform.h"
#include "stream/CPdfFileStream.h"
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

// Hands the characters of each page of the range to a function.
class PageFunctionSink : public TextPageSink {
public:
    explicit PageFunctionSink(const std::function<void(std::vector<TextChar>&)>& f) : f_(f) {}
    void pageDone(int, std::vector<TextChar>& chars) override { f_(chars); }

private:
    const std::function<void(std::vector<TextChar>&)>& f_;
};

// The size of the input file (0 when unknown): the limits of the searches follow it.
int64_t FileSize(CPdfDocument* doc) { return doc && doc->getFileStream() ? doc->getFileStream()->fileSize() : 0; }

// The pages the text phases read; false when the range holds no page.
bool TextRange(CPdfDocument* doc, const LinkSettings& settings, int& first, int& last) {
    if (!doc) return false;
    const int count = doc->getNumPages();
    // Pages below 1 do not exist: the extraction starts at the first page.
    first = settings.startPage < 1 ? 1 : settings.startPage;
    last = settings.endPage;
    if (last == 99999 || last > count) last = count;
    return count > 0 && first <= last;
}

}  // namespace

void ForEachRangePage(CPdfDocument& doc, const LinkSettings& settings,
                      const std::function<void(std::vector<TextChar>&)>& f) {
    int first, last;
    if (!TextRange(&doc, settings, first, last)) return;
    PageFunctionSink sink(f);
    CPdfText extractor;
    extractor.extractPages(&doc, first, last, sink);
}

void CreatePhase(CPdfDocument& doc, LinkSettings& settings, std::vector<FoundLink>& foundLinks,
                 std::vector<std::string>& matchedTexts) {
    const size_t foundLimit = LinkSearch::FoundLinkLimit(FileSize(&doc));
    if (settings.text.empty()) {
        LinkSearch::WebAddressScanner scanner(settings.text, settings.link, foundLinks);
        ForEachRangePage(doc, settings, [&](std::vector<TextChar>& page) {
            scanner.add(page.data(), page.size());
            LinkSearch::CheckFoundLinks(foundLinks, foundLimit);
        });
        scanner.finish();
        return;
    }
    if (settings.text != "[TEXTFILE]" && settings.text != "[LINKFILE]") {
        const std::string text = Platform::Utf8ToWinAnsi(settings.text);
        LinkSearch::StreamingWindowSearch search(text, [&](const LinkSearch::WindowFind& f) {
            LinkSearch::TextSearchStep(f, settings.text, settings.link, foundLinks);
            LinkSearch::CheckFoundLinks(foundLinks, foundLimit);
            return true;
        });
        ForEachRangePage(doc, settings, [&](std::vector<TextChar>& page) { search.add(page.data(), page.size()); });
        search.finish();
        return;
    }

    // Each line searches the whole range again: keep the range's characters, page by
    // page (no copies from the growth of one large list).
    LinkSearch::CharPages pages;
    pages.limit = LinkSearch::KeptCharLimit(FileSize(&doc));
    ForEachRangePage(doc, settings, [&](std::vector<TextChar>& page) { pages.take(page); });
    LinkSearch::MatchedTexts matched(matchedTexts);

    const bool isTextFile = settings.text == "[TEXTFILE]";
    const std::string fileName = isTextFile ? settings.textFileName : settings.linkFileName;
    std::printf("\nReading text file: %s\n", fileName.c_str());
    FILE* f = Platform::OpenFile(fileName, "r");
    if (!f) {
        std::printf("Error! Unable to read text file: %s\n", fileName.c_str());
        return;
    }
    std::string line;
    bool firstLine = true;
    while (ReadLine(f, line)) {
        // Editors on Windows start UTF-8 files with a byte-order mark; it is not text.
        if (firstLine && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        firstLine = false;
        if (isTextFile) {
            const std::string cleaned = LinkSearch::CleanTextFileLine(line);
            settings.text = cleaned;
            // An empty line (or a single space) would match everything: skip it.
            const std::string text = Platform::Utf8ToWinAnsi(cleaned);
            if (text.empty()) continue;
            LinkSearch::SearchTextFileText(pages, text, cleaned, settings.link, matched, foundLinks, foundLimit);
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
        LinkSearch::SearchLinkFileText(pages, text, raw, settings.link, fields.bars >= 3, h, v, page, settings.debug,
                                       matched, foundLinks, foundLimit);
    }
    std::fclose(f);
}

namespace {

// Finds the text link on the pages of the range (a found link per find, with its
// progress line), then selects the existing links over any found text.
void SelectByTextLink(CPdfDocument& doc, const LinkSettings& settings, int occurrenceDots, int finalDots,
                      std::vector<FoundLink>& found, const std::vector<ExistingLink>& existing,
                      LinkSelection& selection) {
    const std::string text = Platform::Utf8ToWinAnsi(settings.textLink);
    const size_t foundLimit = LinkSearch::FoundLinkLimit(FileSize(&doc));
    LinkSearch::StreamingWindowSearch search(text, [&](const LinkSearch::WindowFind& f) {
        LinkSearch::TextLinkStep(f, text, settings.text, settings.link, occurrenceDots, finalDots, found);
        LinkSearch::CheckFoundLinks(found, foundLimit);
        return true;
    });
    ForEachRangePage(doc, settings, [&](std::vector<TextChar>& page) { search.add(page.data(), page.size()); });
    search.finish();
    LinkSearch::SelectCovering(found, existing, selection.annots, &selection.direct);
}

}  // namespace

void SelectForRemoval(CPdfDocument& doc, const LinkSettings& settings, std::vector<FoundLink>& found,
                      const std::vector<ExistingLink>& existing, LinkSelection& selection) {
    if (settings.textLink.empty()) return;
    SelectByTextLink(doc, settings, 8, 8, found, existing, selection);
}

void SelectForChange(CPdfDocument& doc, const LinkSettings& settings, std::vector<FoundLink>& found,
                     const std::vector<ExistingLink>& existing, LinkSelection& selection) {
    if (settings.textLink.empty()) return;
    SelectByTextLink(doc, settings, 9, 10, found, existing, selection);
}
