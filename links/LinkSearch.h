#pragma once
// The searches behind link creation, the text-link selections and the report, kept
// apart from the handler so that they run on hand-made character lists:
//
//  - the window search finds every position where a text's bytes stand in the
//    character list (overlapping finds, across page ends), in list order;
//  - the text, text-file and link-file searches turn finds into found links and print
//    one progress line per find (the dots of each line tell which search printed it);
//  - the web-address scan builds words from characters that sit close together and
//    links the words that hold a web-address prefix;
//  - the selections pick the existing links whose rectangle covers a found text;
//  - the report fills the text under each existing link and formats its line.
//
// Texts compared with page text are single-byte WinAnsiEncoding, like TextChar::text.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "text/CPdfText.h"
#include "writer/ExistingLinks.h"
#include "writer/LinkAnnotation.h"

namespace LinkSearch {

/// One position where the searched text stands: characters first..last of the list
/// (copies of both ends), the page the window search assigns to it (the first
/// character's page for the first window tested, the page of the window's last
/// character afterwards) and whether it is the final window (the one ending at the
/// last character).
struct WindowFind {
    size_t first = 0;
    size_t last = 0;
    int32_t page = 0;
    bool isFinal = false;
    TextChar firstChar{};
    TextChar lastChar{};
    /// The find line by line (a find that wraps to the next line or page has several):
    /// the first and last character of each part, spaces at its ends left out. Empty
    /// when the find is nothing but spaces.
    std::vector<std::pair<TextChar, TextChar>> pieces;
};

using WindowStep = std::function<bool(const WindowFind&)>;

/// The window search over characters that arrive a page at a time: calls step for
/// every position p (increasing) where the text's bytes stand in the character list
/// (overlapping finds, finds that start on one page and end on a later one); the find
/// ending at the last character is flagged final. step returns false to end the
/// search. An empty text finds nothing; a character whose byte is 0 (no text) never
/// matches, because the text is cut at a 0 byte. Linear in the characters plus the
/// length of the text; memory stays within one page plus the length of the text.
class StreamingWindowSearch {
public:
    StreamingWindowSearch(std::string text, WindowStep step);
    /// The next characters of the list; bytes, when given, holds their text bytes
    /// (read instead of the records, which is faster).
    void add(const TextChar* chars, size_t count, const char* bytes = nullptr);
    /// The end of the list: the find held back for the final flag is reported.
    void finish();

private:
    const TextChar& at(size_t i, const TextChar* chars) const;

    std::string text_;
    std::vector<size_t> fail_;
    WindowStep step_;
    size_t matched_ = 0;  // KMP state: bytes of text matched so far
    size_t total_ = 0;    // characters seen
    bool stopped_ = false;
    std::vector<TextChar> tail_;  // the last |text| - 1 characters seen
    bool deferred_ = false;       // a find ends at the last character seen so far
    WindowFind held_;
};

/// The characters of a page range kept page by page, each page with its text bytes:
/// no copies from the growth of one large list, and a byte array to search.
struct CharPages {
    std::vector<std::vector<TextChar>> chars;
    std::vector<std::string> bytes;
    size_t count = 0;         ///< characters kept
    size_t limit = SIZE_MAX;  ///< characters that may be kept (see KeptCharLimit)
    /// Takes over the characters of the next page (page is left empty). Throws
    /// CPdfException when more than limit characters would be kept.
    void take(std::vector<TextChar>& page);
};

/// Characters the searches that keep every page of a range (text file, link file) may
/// keep for an input of fileSize bytes. Each takes 41 bytes, and memory stays below
/// 512 MB for inputs up to 1 MiB: 6 * 2^20 characters (250 MB, beside one page being
/// read or the found links), and 32 more per byte of the input beyond 1 MiB (real files
/// hold a few per byte, a few dozen where pages draw one form of text again and again),
/// at most 2^28.
size_t KeptCharLimit(int64_t fileSize);

/// Found links a run may make for an input of fileSize bytes: each takes 72 bytes and
/// more while their list grows, so 2^20 of them for inputs up to 1 MiB, and 16 more per
/// byte of the input beyond (a real file's finds are far fewer than its characters, and
/// each becomes an annotation of the output), at most 2^27.
size_t FoundLinkLimit(int64_t fileSize);
/// Throws CPdfException when found holds more than limit links.
void CheckFoundLinks(const std::vector<FoundLink>& found, size_t limit);

/// The window search over the pages together.
void WindowSearch(const CharPages& pages, const std::string& text, const WindowStep& step);

/// The found link of a find: page of its first character, x1 y1 from the first
/// character's x0 y0, x2 y2 from the last character's x1 y1.
FoundLink MakeFoundLink(const WindowFind& f, const std::string& target);
/// The found links of a find: one per line piece (see WindowFind::pieces), each from
/// its first character's x0 y0 to its last character's x1 y1 on that character's page.
void AppendFoundLinks(const WindowFind& f, const std::string& target, std::vector<FoundLink>& found);

/// Replaces every "[FILEMATCH]" of target by text, left to right.
std::string ReplaceFileMatch(const std::string& target, const std::string& text);

/// One find of the text search: its found link and its progress line, which shows the
/// text setting as the user wrote it (shownText).
void TextSearchStep(const WindowFind& f, const std::string& shownText, const std::string& link,
                    std::vector<FoundLink>& found);

/// The matched-text list of the text-file and link-file searches (every accepted text,
/// with repetitions), with an index of its distinct texts in first-acceptance order so
/// that the longer-match rule costs the number of distinct texts, not of finds.
class MatchedTexts {
public:
    explicit MatchedTexts(std::vector<std::string>& all);
    /// The first accepted text (in acceptance order) that contains text and is longer.
    const std::string* longerMatch(const std::string& text) const;
    void add(const std::string& text);

private:
    std::vector<std::string>& all_;
    std::vector<std::string> distinct_;
    std::unordered_set<std::string> seen_;
};

/// A text-file line made ready for searching: one leading space dropped, then up to
/// two trailing CR/LF characters.
std::string CleanTextFileLine(std::string line);

/// Searches one text-file text with the longer-match rule and "[FILEMATCH]".
/// fileMatchText is the line as the user wrote it: it is put in place of "[FILEMATCH]"
/// and shown in the messages.
void SearchTextFileText(const CharPages& pages, const std::string& text, const std::string& fileMatchText,
                        const std::string& link, MatchedTexts& matched, std::vector<FoundLink>& found,
                        size_t foundLimit = SIZE_MAX);
/// A link-file line split into its fields.
struct LinkFileLine {
    bool valid = false;  ///< false when the line holds no "|"
    bool startsWithSpace = false;
    int bars = 0;  ///< number of "|"
    std::string field[5];
};
LinkFileLine SplitLinkFileLine(std::string line);

/// The decimal value of a field as atoi reads it (leading blanks, sign, digits; 0 when
/// there are none), clamped to the int range.
int32_t FieldNumber(const std::string& field);

/// Searches for text (field 1, already converted for matching) with the link-file rules:
/// longer-match rule, optional debug line, the position filter when usePosition is set.
void SearchLinkFileText(const CharPages& pages, const std::string& text, const std::string& fileMatchText,
                        const std::string& link, bool usePosition, int32_t h, int32_t v, int32_t page, bool debug,
                        MatchedTexts& matched, std::vector<FoundLink>& found, size_t foundLimit = SIZE_MAX);
/// Web-address scan: appends one found link per word holding a web address and prints
/// "1Matched text: %s - link: '%s'.\n" with textSetting and linkSetting for each.
/// Words end at spaces, at the start of a line and at the end of a page. An address
/// starts with a prefix (http:, https:, www., ftp:, file:, mailto:, in any letter case)
/// at the start of a word or after a character that is no letter or digit; see
/// WebTarget for its end. Characters arrive in list order, a page at a time or all at
/// once.
class WebAddressScanner {
public:
    WebAddressScanner(const std::string& textSetting, const std::string& linkSetting, std::vector<FoundLink>& found);
    void add(const TextChar* chars, size_t count);
    /// Examines the word that runs to the last character.
    void finish();

private:
    void examine();

    std::string textSetting_;
    std::string linkSetting_;
    std::vector<FoundLink>& found_;
    std::string word_;             // the bytes of the word being read
    std::vector<TextChar> chars_;  // its characters
};

/// Where the web address of a word (Windows-1252 bytes) stands: *start and *end delimit
/// it, from its prefix to its last character, without the sentence punctuation and the
/// closing brackets it did not open that follow it. False when the word holds none, or
/// one with a character that has no Windows-1252 byte.
bool FindWebAddress(const std::string& word, size_t* start, size_t* end);
/// The link target of a word: its address as FindWebAddress delimits it, "http://"
/// put before an address that starts with "www"; empty when the word holds none.
std::string WebTarget(const std::string& word);

/// Text-link search of the selections: a found link with target text per find and
/// one progress line with occurrenceDots / finalDots dots (textSetting shown as given).
void TextLinkStep(const WindowFind& f, const std::string& text, const std::string& textSetting,
                  const std::string& linkSetting, int occurrenceDots, int finalDots, std::vector<FoundLink>& found);
/// Appends to selected the annotation number of every existing link on the same page
/// as a found link whose rectangle, widened by 5 on every side, holds that found link's
/// rectangle (once per pair, in found-link order then existing-link order).
/// Annotations written directly in Annots (no number) go to direct as (page, place).
void SelectCovering(const std::vector<FoundLink>& found, const std::vector<ExistingLink>& existing,
                    std::vector<int32_t>& selected, std::vector<std::pair<int32_t, int32_t>>* direct = nullptr);

/// Appends to text the text under a link from the characters [begin, end): those of its
/// page whose starting corner lies in its rectangle (3 units of slack left and bottom,
/// 1 right and top), in list order, leading spaces (while text is empty) and empty (0)
/// bytes left out.
void TextUnderLink(const ExistingLink& link, const TextChar* begin, const TextChar* end, std::string& text);

/// One report line (with "\r\n"); the text is converted for people, the target is kept.
std::string FormatReportLine(const ExistingLink& link, bool withPositions);

}  // namespace LinkSearch
