#pragma once
// The searches over one whole character list, as the tests give them: each runs the
// program's page-by-page search with the list as its only page.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "links/LinkSearch.h"
#include "platform/Platform.h"

namespace LinkSearch {

/// The bytes of the characters, one per record.
inline std::string CharBytes(const std::vector<TextChar>& chars) {
    std::string bytes(chars.size(), '\0');
    for (size_t i = 0; i < chars.size(); ++i)
        bytes[i] = chars[i].text;
    return bytes;
}

/// The window search with bytes (one per character) read instead of the records.
inline void WindowSearch(const std::vector<TextChar>& chars, const std::string& bytes, const std::string& text,
                         const WindowStep& step) {
    StreamingWindowSearch search(text, step);
    search.add(chars.data(), std::min(chars.size(), bytes.size()), bytes.data());
    search.finish();
}

/// Text search of -create -text: one found link with the link setting per find.
inline void SearchText(const std::vector<TextChar>& chars, const std::string& bytes, const std::string& text,
                       const std::string& link, std::vector<FoundLink>& found) {
    WindowSearch(chars, bytes, text, [&](const WindowFind& f) {
        TextSearchStep(f, Platform::WinAnsiToUtf8(text), link, found);
        return true;
    });
}

inline CharPages OnePage(const std::vector<TextChar>& chars) {
    CharPages pages;
    std::vector<TextChar> copy(chars);
    pages.take(copy);
    return pages;
}

inline void SearchTextFileText(const std::vector<TextChar>& chars, const std::string&, const std::string& text,
                               const std::string& fileMatchText, const std::string& link,
                               std::vector<std::string>& matched, std::vector<FoundLink>& found) {
    MatchedTexts list(matched);
    SearchTextFileText(OnePage(chars), text, fileMatchText, link, list, found);
}

inline void SearchLinkFileText(const std::vector<TextChar>& chars, const std::string&, const std::string& text,
                               const std::string& fileMatchText, const std::string& link, bool usePosition, int32_t h,
                               int32_t v, int32_t page, bool debug, std::vector<std::string>& matched,
                               std::vector<FoundLink>& found) {
    MatchedTexts list(matched);
    SearchLinkFileText(OnePage(chars), text, fileMatchText, link, usePosition, h, v, page, debug, list, found);
}

inline void ScanWebAddresses(const std::vector<TextChar>& chars, const std::string& textSetting,
                             const std::string& linkSetting, std::vector<FoundLink>& found) {
    WebAddressScanner scanner(textSetting, linkSetting, found);
    scanner.add(chars.data(), chars.size());
    scanner.finish();
}

inline void SearchTextLink(const std::vector<TextChar>& chars, const std::string& text, const std::string& textSetting,
                           const std::string& linkSetting, int occurrenceDots, int finalDots,
                           std::vector<FoundLink>& found) {
    WindowSearch(chars, CharBytes(chars), text, [&](const WindowFind& f) {
        TextLinkStep(f, text, textSetting, linkSetting, occurrenceDots, finalDots, found);
        return true;
    });
}

/// Fills the text of every existing link from chars[begin, end), each from the
/// characters of its own page. Returns true when at least one link got text.
inline bool FillLinkTexts(std::vector<ExistingLink>& links, const std::vector<TextChar>& chars, size_t begin,
                          size_t end) {
    if (end > chars.size()) end = chars.size();
    if (begin > end) begin = end;
    std::unordered_map<int32_t, std::vector<std::pair<size_t, size_t>>> runs;
    for (size_t i = begin; i < end;) {
        size_t j = i + 1;
        while (j < end && chars[j].page == chars[i].page)
            ++j;
        runs[chars[i].page].emplace_back(i, j);
        i = j;
    }
    bool anyText = false;
    for (ExistingLink& link : links) {
        link.text.clear();
        auto it = runs.find(link.page);
        if (it == runs.end()) continue;
        for (const auto& run : it->second)
            TextUnderLink(link, chars.data() + run.first, chars.data() + run.second, link.text);
        if (!link.text.empty()) anyText = true;
    }
    return anyText;
}

}  // namespace LinkSearch
