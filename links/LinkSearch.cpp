#include "links/LinkSearch.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "pdf/CPdfException.h"
#include "platform/Platform.h"

namespace LinkSearch {

namespace {

// printf into a std::string of any length.
std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(&out[0], out.size(), fmt, args);
        out.resize(static_cast<size_t>(n));
    }
    va_end(args);
    return out;
}

// Page text echoed in messages goes out in the encoding people read.
std::string Shown(const std::string& winAnsi) { return Platform::WinAnsiToUtf8(winAnsi); }

// The progress line of a find; textSetting is given as the user wrote it.
void PrintMatched(const std::string& textSetting, const std::string& link, int dots) {
    std::printf("1Matched text: %s - link: '%s'%s\n", textSetting.c_str(), link.c_str(),
                std::string(static_cast<size_t>(dots), '.').c_str());
}

bool IsWordByte(char c) { return c != '\0' && c != ' '; }

}  // namespace

namespace {

// Knuth-Morris-Pratt failure function of text.
std::vector<size_t> FailureTable(const std::string& text) {
    std::vector<size_t> fail(text.size(), 0);
    for (size_t i = 1, k = 0; i < text.size(); ++i) {
        while (k > 0 && text[i] != text[k])
            k = fail[k - 1];
        if (text[i] == text[k]) ++k;
        fail[i] = k;
    }
    return fail;
}

// A text is a C string for the matching rules: it ends at its first 0 byte, so a
// character without text (byte 0) can never be part of a find.
void CutAtNul(std::string& text) {
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
}

// The window's page: the first window tested carries the page of its first character,
// every later window the page of the character appended last.
int32_t WindowPage(const WindowFind& f) { return f.first == 0 ? f.firstChar.page : f.lastChar.page; }

// The line pieces of a find of n characters, at(j) giving its j-th character: a new
// piece starts where a line starts or the page changes; spaces at the ends of a piece
// are left out.
template <class At>
void FindPieces(size_t n, const At& at, std::vector<std::pair<TextChar, TextChar>>& pieces) {
    pieces.clear();
    bool open = false;
    TextChar first{}, last{};
    int32_t page = 0;
    for (size_t j = 0; j < n; ++j) {
        const TextChar& c = at(j);
        if (open && ((c.flags & kCharLineStart) || c.page != page)) {
            pieces.emplace_back(first, last);
            open = false;
        }
        page = c.page;
        if (c.text == ' ') continue;
        if (!open) {
            first = c;
            open = true;
        }
        last = c;
    }
    if (open) pieces.emplace_back(first, last);
}

}  // namespace

StreamingWindowSearch::StreamingWindowSearch(std::string text, WindowStep step) : step_(std::move(step)) {
    CutAtNul(text);
    text_ = std::move(text);
    fail_ = FailureTable(text_);
    if (text_.empty()) stopped_ = true;
}

const TextChar& StreamingWindowSearch::at(size_t i, const TextChar* chars) const {
    return i < tail_.size() ? tail_[i] : chars[i - tail_.size()];
}

void StreamingWindowSearch::add(const TextChar* chars, size_t count, const char* bytes) {
    if (stopped_ || count == 0) return;
    // More characters follow the held find: it is not the final window.
    if (deferred_) {
        deferred_ = false;
        if (!step_(held_)) {
            stopped_ = true;
            return;
        }
    }
    const size_t n = text_.size();
    // Index i runs over the tail followed by the new characters; global = base + i.
    const size_t base = total_ - tail_.size();
    const size_t length = tail_.size() + count;
    for (size_t i = tail_.size(); i < length; ++i) {
        const char c = bytes ? bytes[i - tail_.size()] : chars[i - tail_.size()].text;
        while (matched_ > 0 && c != text_[matched_])
            matched_ = fail_[matched_ - 1];
        if (c == text_[matched_]) ++matched_;
        if (matched_ < n) continue;
        matched_ = fail_[matched_ - 1];
        WindowFind f;
        f.first = base + i + 1 - n;
        f.last = base + i;
        f.firstChar = at(i + 1 - n, chars);
        f.lastChar = at(i, chars);
        f.page = WindowPage(f);
        const size_t from = i + 1 - n;
        FindPieces(
            n, [&](size_t j) -> const TextChar& { return at(from + j, chars); }, f.pieces);
        if (i + 1 == length) {
            // Whether this is the final window depends on what comes next.
            held_ = f;
            deferred_ = true;
            break;
        }
        if (!step_(f)) {
            stopped_ = true;
            return;
        }
    }
    total_ += count;
    // Keep the last n - 1 characters: a later find may start among them.
    const size_t keep = std::min(n - 1, length);
    std::vector<TextChar> tail;
    tail.reserve(keep);
    for (size_t i = length - keep; i < length; ++i)
        tail.push_back(at(i, chars));
    tail_.swap(tail);
}

void StreamingWindowSearch::finish() {
    if (stopped_ || !deferred_) return;
    deferred_ = false;
    held_.isFinal = true;
    step_(held_);
    stopped_ = true;
}

void CharPages::take(std::vector<TextChar>& page) {
    if (page.empty()) return;
    if (page.size() > limit - std::min(limit, count)) throw CPdfException("Page text beyond what can be kept\n");
    count += page.size();
    std::vector<TextChar> own;
    own.swap(page);
    own.shrink_to_fit();
    std::string b(own.size(), '\0');
    for (size_t i = 0; i < own.size(); ++i)
        b[i] = own[i].text;
    chars.push_back(std::move(own));
    bytes.push_back(std::move(b));
}

size_t KeptCharLimit(int64_t fileSize) {
    const uint64_t base = uint64_t(6) << 20, most = uint64_t(1) << 28, perByte = 32, free = uint64_t(1) << 20;
    if (fileSize <= static_cast<int64_t>(free)) return static_cast<size_t>(base);
    const uint64_t beyond = static_cast<uint64_t>(fileSize) - free;
    if (beyond >= (most - base) / perByte) return static_cast<size_t>(most);
    return static_cast<size_t>(base + beyond * perByte);
}

size_t FoundLinkLimit(int64_t fileSize) {
    const uint64_t base = uint64_t(1) << 20, most = uint64_t(1) << 27, perByte = 16, free = uint64_t(1) << 20;
    if (fileSize <= static_cast<int64_t>(free)) return static_cast<size_t>(base);
    const uint64_t beyond = static_cast<uint64_t>(fileSize) - free;
    if (beyond >= (most - base) / perByte) return static_cast<size_t>(most);
    return static_cast<size_t>(base + beyond * perByte);
}

void CheckFoundLinks(const std::vector<FoundLink>& found, size_t limit) {
    if (found.size() > limit) throw CPdfException("Found links beyond what can be kept\n");
}

void WindowSearch(const CharPages& pages, const std::string& text, const WindowStep& step) {
    StreamingWindowSearch search(text, step);
    for (size_t i = 0; i < pages.chars.size(); ++i)
        search.add(pages.chars[i].data(), pages.chars[i].size(), pages.bytes[i].data());
    search.finish();
}

FoundLink MakeFoundLink(const WindowFind& f, const std::string& target) {
    FoundLink link;
    link.page = f.firstChar.page;
    link.x1 = f.firstChar.x0;
    link.y1 = f.firstChar.y0;
    link.x2 = f.lastChar.x1;
    link.y2 = f.lastChar.y1;
    link.target = target;
    return link;
}

void AppendFoundLinks(const WindowFind& f, const std::string& target, std::vector<FoundLink>& found) {
    for (const auto& piece : f.pieces) {
        FoundLink link;
        link.page = piece.first.page;
        link.x1 = piece.first.x0;
        link.y1 = piece.first.y0;
        link.x2 = piece.second.x1;
        link.y2 = piece.second.y1;
        link.target = target;
        found.push_back(std::move(link));
    }
}

std::string ReplaceFileMatch(const std::string& target, const std::string& text) {
    static const std::string kKey = "[FILEMATCH]";
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = target.find(kKey, pos);
        if (hit == std::string::npos) break;
        out.append(target, pos, hit - pos);
        out.append(text);
        pos = hit + kKey.size();
    }
    out.append(target, pos, std::string::npos);
    return out;
}

void TextSearchStep(const WindowFind& f, const std::string& shownText, const std::string& link,
                    std::vector<FoundLink>& found) {
    AppendFoundLinks(f, link, found);
    PrintMatched(shownText, link, f.isFinal ? 3 : 2);
}

MatchedTexts::MatchedTexts(std::vector<std::string>& all) : all_(all) {
    for (const std::string& t : all_) {
        if (seen_.insert(t).second) distinct_.push_back(t);
    }
}

const std::string* MatchedTexts::longerMatch(const std::string& text) const {
    for (const std::string& m : distinct_) {
        if (m.size() > text.size() && m.find(text) != std::string::npos) return &m;
    }
    return nullptr;
}

void MatchedTexts::add(const std::string& text) {
    all_.push_back(text);
    if (seen_.insert(text).second) distinct_.push_back(text);
}

std::string CleanTextFileLine(std::string line) {
    if (!line.empty() && line[0] == ' ') line.erase(0, 1);
    for (int i = 0; i < 2; ++i) {
        if (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    }
    return line;
}

namespace {

// The longer-match rule: a text already accepted as part of a longer text of the same
// file is not linked again. Prints the message and returns true when it applies.
bool AlreadyMatchedLonger(const MatchedTexts& matched, const std::string& text) {
    const std::string* m = matched.longerMatch(text);
    if (!m) return false;
    std::printf("Already matched longer: '%s' to '%s'\n", Shown(*m).c_str(), Shown(text).c_str());
    return true;
}

}  // namespace

void SearchTextFileText(const CharPages& pages, const std::string& text, const std::string& fileMatchText,
                        const std::string& link, MatchedTexts& matched, std::vector<FoundLink>& found,
                        size_t foundLimit) {
    WindowSearch(pages, text, [&](const WindowFind& f) {
        if (!f.isFinal) {
            if (AlreadyMatchedLonger(matched, text)) return false;
            matched.add(text);
        }
        std::printf("Matched text: %s - link: '%s'\n", fileMatchText.c_str(), link.c_str());
        std::string target = link;
        if (link.find("[FILEMATCH]") != std::string::npos) {
            target = ReplaceFileMatch(link, fileMatchText);
            std::printf("Matched text: %s - link: '%s'\n", fileMatchText.c_str(), target.c_str());
        }
        AppendFoundLinks(f, target, found);
        CheckFoundLinks(found, foundLimit);
        PrintMatched(fileMatchText, link, f.isFinal ? 5 : 4);
        return true;
    });
}

LinkFileLine SplitLinkFileLine(std::string line) {
    LinkFileLine out;
    out.startsWithSpace = !line.empty() && line[0] == ' ';
    for (int i = 0; i < 2; ++i) {
        if (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    }
    std::vector<size_t> bars;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '|') bars.push_back(i);
    }
    out.bars = static_cast<int>(bars.size());
    if (bars.empty()) return out;
    out.valid = true;
    out.field[0] = line.substr(0, bars[0]);
    auto between = [&](size_t a, size_t b) { return line.substr(bars[a] + 1, bars[b] - bars[a] - 1); };
    if (bars.size() == 1) {
        out.field[1] = line.substr(bars[0] + 1);
        return out;
    }
    out.field[1] = between(0, 1);
    if (bars.size() >= 3) out.field[2] = between(1, 2);
    if (bars.size() >= 4) out.field[3] = between(2, 3);
    // Exactly four bars: the page is the rest of the line. With five or more the page
    // field stays empty.
    if (bars.size() == 4) out.field[4] = line.substr(bars[3] + 1);
    return out;
}

int32_t FieldNumber(const std::string& field) {
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    long long value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int32_t>(value);
}

void SearchLinkFileText(const CharPages& pages, const std::string& text, const std::string& fileMatchText,
                        const std::string& link, bool usePosition, int32_t h, int32_t v, int32_t page, bool debug,
                        MatchedTexts& matched, std::vector<FoundLink>& found, size_t foundLimit) {
    WindowSearch(pages, text, [&](const WindowFind& f) {
        if (!f.isFinal) {
            if (AlreadyMatchedLonger(matched, text)) return false;
            matched.add(text);
        }
        // The place of the find is that of its first line (the whole find when it
        // stays on one line).
        FoundLink fl = MakeFoundLink(f, link);
        if (!f.pieces.empty()) {
            fl.x1 = f.pieces.front().first.x0;
            fl.y1 = f.pieces.front().first.y0;
            fl.x2 = f.pieces.front().second.x1;
            fl.y2 = f.pieces.front().second.y1;
        }
        if (debug) {
            // The window holds exactly the text.
            std::printf("%s, %.2lf, %.2lf, %.2lf, %.2lf\n", fileMatchText.c_str(), fl.x1, fl.y1, fl.x2, fl.y2);
        }
        if (usePosition) {
            // The link goes only where the line says: first character's corner truncated
            // toward zero, and the page of the window.
            if (!(std::trunc(fl.x1) == static_cast<double>(h) && std::trunc(fl.y1) == static_cast<double>(v) &&
                  f.page == page)) {
                return true;
            }
        }
        std::printf("Matched text: %s - link: '%s', page: %d\n", fileMatchText.c_str(), link.c_str(), f.page);
        std::string target = link;
        if (link.find("[FILEMATCH]") != std::string::npos) {
            target = ReplaceFileMatch(link, fileMatchText);
            std::printf("Matched text: %s - link: '%s', page: %d\n", fileMatchText.c_str(), target.c_str(), f.page);
        }
        AppendFoundLinks(f, target, found);
        CheckFoundLinks(found, foundLimit);
        return true;
    });
}

namespace {

// A letter or digit of Windows-1252: a web-address prefix right after one is inside a
// word ("awwwards", "shttp:"), not at its start.
bool IsWordLetter(unsigned char b) {
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) return true;
    if (b >= 0xC0) return b != 0xD7 && b != 0xF7;
    switch (b) {
        case 0x83:
        case 0x8A:
        case 0x8C:
        case 0x8E:
        case 0x9A:
        case 0x9C:
        case 0x9E:
        case 0x9F:
        case 0xAA:
        case 0xB5:
        case 0xBA:
            return true;
        default:
            return false;
    }
}

bool StartsWithNoCase(const std::string& s, size_t at, const char* prefix) {
    for (size_t k = 0; prefix[k]; ++k) {
        if (at + k >= s.size()) return false;
        char c = s[at + k];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[k]) return false;
    }
    return true;
}

// The prefixes as addresses start: "www" and "mailto" with what always follows them.
const char* const kAddressStarts[] = {"http:", "https:", "www.", "ftp:", "file:", "mailto:"};

// Punctuation that ends a sentence or a quotation after an address rather than
// belonging to it: . , ; : ! ? ' " and the typographic closing quotes, the ellipsis.
bool IsTrailingPunctuation(unsigned char b) {
    switch (b) {
        case '.':
        case ',':
        case ';':
        case ':':
        case '!':
        case '?':
        case '\'':
        case '"':
        case 0x85:
        case 0x92:
        case 0x94:
        case 0x9B:
        case 0xBB:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool FindWebAddress(const std::string& word, size_t* startOut, size_t* endOut) {
    size_t start = std::string::npos, prefixLength = 0;
    for (size_t i = 0; i < word.size() && start == std::string::npos; ++i) {
        if (i > 0 && IsWordLetter(static_cast<unsigned char>(word[i - 1]))) continue;
        for (const char* p : kAddressStarts) {
            if (StartsWithNoCase(word, i, p)) {
                start = i;
                prefixLength = std::strlen(p);
                break;
            }
        }
    }
    if (start == std::string::npos) return false;
    size_t end = word.size();
    for (;;) {
        if (end <= start) return false;
        const unsigned char b = static_cast<unsigned char>(word[end - 1]);
        if (IsTrailingPunctuation(b) || b == '>') {
            --end;
            continue;
        }
        // A closing bracket stays when the address opened it (".../Foo_(bar)").
        const char open = b == ')' ? '(' : b == ']' ? '[' : b == '}' ? '{' : 0;
        if (open) {
            const std::string part = word.substr(start, end - start);
            if (std::count(part.begin(), part.end(), open) <
                std::count(part.begin(), part.end(), static_cast<char>(b))) {
                --end;
                continue;
            }
        }
        break;
    }
    // Something must follow the prefix ("file:" or "http://" alone is no address).
    bool content = false;
    for (size_t i = start + prefixLength; i < end; ++i) {
        if (IsWordLetter(static_cast<unsigned char>(word[i]))) content = true;
    }
    if (!content) return false;
    // An address is written as it stands: a character without a Windows-1252 byte (or
    // without any known text) cannot be.
    for (size_t i = start; i < end; ++i) {
        const unsigned char b = static_cast<unsigned char>(word[i]);
        if (b == kUnmappedCharByte || b < 0x20) return false;
    }
    *startOut = start;
    *endOut = end;
    return true;
}

std::string WebTarget(const std::string& word) {
    size_t start, end;
    if (!FindWebAddress(word, &start, &end)) return std::string();
    std::string target = word.substr(start, end - start);
    if (StartsWithNoCase(target, 0, "www.")) target.insert(0, "http://");
    return target;
}

WebAddressScanner::WebAddressScanner(const std::string& textSetting, const std::string& linkSetting,
                                     std::vector<FoundLink>& found)
    : textSetting_(textSetting), linkSetting_(linkSetting), found_(found) {}

void WebAddressScanner::examine() {
    size_t start, end;
    if (word_.empty() || !FindWebAddress(word_, &start, &end)) return;
    FoundLink link;
    const TextChar& first = chars_[start];
    const TextChar& last = chars_[end - 1];
    link.page = first.page;
    link.x1 = first.x0;
    link.y1 = first.y0;
    link.x2 = last.x1;
    link.y2 = last.y1;
    link.target = word_.substr(start, end - start);
    if (StartsWithNoCase(link.target, 0, "www.")) link.target.insert(0, "http://");
    found_.push_back(std::move(link));
    PrintMatched(textSetting_, linkSetting_, 1);
}

void WebAddressScanner::add(const TextChar* chars, size_t count) {
    for (size_t j = 0; j < count; ++j) {
        const TextChar& c = chars[j];
        // A word ends at a space, where a line starts and where the page changes.
        if (!word_.empty() && (!IsWordByte(c.text) || (c.flags & kCharLineStart) || c.page != chars_.back().page)) {
            examine();
            word_.clear();
            chars_.clear();
        }
        if (!IsWordByte(c.text)) continue;
        word_.push_back(c.text);
        chars_.push_back(c);
    }
}

void WebAddressScanner::finish() {
    // The word that runs to the last character has no follower to end it.
    examine();
    word_.clear();
    chars_.clear();
}

void TextLinkStep(const WindowFind& f, const std::string& text, const std::string& textSetting,
                  const std::string& linkSetting, int occurrenceDots, int finalDots, std::vector<FoundLink>& found) {
    AppendFoundLinks(f, text, found);
    PrintMatched(textSetting, linkSetting, f.isFinal ? finalDots : occurrenceDots);
}

void SelectCovering(const std::vector<FoundLink>& found, const std::vector<ExistingLink>& existing,
                    std::vector<int32_t>& selected, std::vector<std::pair<int32_t, int32_t>>* direct) {
    // Existing links by page (list order kept), so that each find looks only at the
    // links of its own page.
    std::unordered_map<int32_t, std::vector<const ExistingLink*>> byPage;
    for (const ExistingLink& e : existing)
        byPage[e.page].push_back(&e);
    for (const FoundLink& f : found) {
        auto it = byPage.find(f.page);
        if (it == byPage.end()) continue;
        for (const ExistingLink* link : it->second) {
            const ExistingLink& e = *link;
            // The slack is applied to the link's single-precision values.
            const float ex1 = e.rect[0] - 5.0f, ey1 = e.rect[1] - 5.0f;
            const float ex2 = e.rect[2] + 5.0f, ey2 = e.rect[3] + 5.0f;
            if (!(ex1 <= f.x1 && ey1 <= f.y1 && ex2 >= f.x2 && ey2 >= f.y2)) continue;
            if (e.annotNum == 0 && e.annotIndex >= 0) {
                if (direct) direct->emplace_back(e.page, e.annotIndex);
            } else {
                selected.push_back(e.annotNum);
            }
        }
    }
}

void TextUnderLink(const ExistingLink& link, const TextChar* begin, const TextChar* end, std::string& text) {
    float ylo = link.rect[1], yhi = link.rect[3];
    if (ylo > yhi) std::swap(ylo, yhi);
    const double x1 = link.rect[0], x2 = link.rect[2];
    size_t generatedTail = 0;
    for (const TextChar* c = begin; c != end; ++c) {
        if (c->page != link.page) continue;
        if (!(x1 <= c->x0 + 3 && x2 + 1 >= c->x0 && ylo <= c->y0 + 3 && yhi + 1 >= c->y0)) continue;
        if (c->text == '\0') continue;                 // a character without text
        if (c->text == ' ' && text.empty()) continue;  // leading spaces are dropped
        text.push_back(c->text);
        // A space the extractor added between words is no part of the page's text
        // when nothing under the link follows it.
        generatedTail = (c->flags & kCharGenerated) ? generatedTail + 1 : 0;
    }
    text.resize(text.size() - std::min(generatedTail, text.size()));
}

namespace {

// A report line is one line: line breaks (and 0 bytes, which would cut the field) that
// a file puts into a target or page text become spaces, so no file can add lines.
std::string OneLine(std::string s) {
    for (char& c : s) {
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    }
    return s;
}

}  // namespace

std::string FormatReportLine(const ExistingLink& link, bool withPositions) {
    const std::string text = OneLine(Shown(link.text));
    const std::string target = OneLine(link.target);
    if (!withPositions) return Format("%d | %s | %s \r\n", link.page, text.c_str(), target.c_str());
    return Format("%d | %s | %s | %.2lf | %s%.2lf | %.2lf | %s%.2lf\r\n", link.page, text.c_str(), target.c_str(),
                  static_cast<double>(link.rect[0]), "", static_cast<double>(link.rect[1]),
                  static_cast<double>(link.rect[2]), "", static_cast<double>(link.rect[3]));
}

}  // namespace LinkSearch
