#pragma once
// Page text extraction: interprets the content of pages (and of the forms they draw)
// and hands out one positioned record per character the page shows.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CPdfDocument;
class PageFonts;

/// One extracted character. The origin (x, y) always equals (x0, y0).
struct TextChar {
    double x0, y0, x1, y1;
    int32_t page;   ///< 1-based
    char text;      ///< one byte, WinAnsiEncoding (Windows-1252); 0 when nothing is known
    int8_t angle;   ///< 0 or 90
    uint8_t flags;  ///< kCharLineStart, kCharGenerated
    double x() const { return x0; }
    double y() const { return y0; }
};

/// The record starts a line: the first of a page, and the first after the text went
/// to another line (a separating space when there is one).
const uint8_t kCharLineStart = 1;
/// A space the extractor adds: where two characters of a line stand a word space or
/// more apart, and between two lines.
const uint8_t kCharGenerated = 2;

/// Character byte of a character whose Unicode value has no Windows-1252 byte: 0x81 is
/// unassigned in Windows-1252, so no search text converted to Windows-1252 holds it.
const unsigned char kUnmappedCharByte = 0x81;

/// Receives the characters of one page at a time from the page-by-page extraction.
class TextPageSink {
public:
    virtual ~TextPageSink() = default;
    /// chars holds the records of page `page` in content order; the sink may take them
    /// (swap or move); the extractor clears the vector before the next page.
    virtual void pageDone(int page, std::vector<TextChar>& chars) = 0;
};

class CPdfText {
public:
    CPdfText();
    ~CPdfText();
    CPdfText(const CPdfText&) = delete;
    CPdfText& operator=(const CPdfText&) = delete;

    /// Appends the characters of pages firstPage..lastPage (1-based, inclusive; 99999 =
    /// the last page) to chars. Every page is read on its own: what it yields never
    /// depends on the pages, files or runs before it. Content that cannot be read and
    /// fonts that cannot be built give no text and take nothing else with them. Throws
    /// CPdfException only when a page would make more records than memory allows
    /// (2^21, 80 MB), or a run more records or more content reading than its time allows
    /// (see charLimitFor, contentLimitFor); the records made before stay. A caller that
    /// keeps the records of many pages bounds their number itself.
    void extractPages(CPdfDocument* doc, int firstPage, int lastPage, std::vector<TextChar>& chars);
    /// The same records, handed over one page at a time (identical results, bounded memory).
    void extractPages(CPdfDocument* doc, int firstPage, int lastPage, TextPageSink& sink);

    /// Interprets content bytes as the content of page `page` with the given fonts (may
    /// be null), appending to chars.
    void interpretContentForTesting(const unsigned char* data, size_t len, const PageFonts* fonts, int page,
                                    std::vector<TextChar>& chars);

    /// Lowers the number of characters one run may produce.
    void setCharLimitForTesting(size_t limit);
    /// Lowers the number of characters one page may produce.
    void setPageCharLimitForTesting(size_t limit);
    /// Lowers the number of content bytes one run may read.
    void setContentLimitForTesting(uint64_t limit);

    /// Characters a run over a file of fileSize bytes may produce: 64 per byte of the
    /// file, at least 2^22 and at most 2^30. Real files stay far below: plain text holds
    /// a few characters per byte, and pages drawing one form of text hundreds of times
    /// a few dozen; the limit ends runs of text repeated without end (forms drawing
    /// forms) in seconds.
    static size_t charLimitFor(int64_t fileSize);
    /// Content bytes a run may read (forms and shared content counting each time they
    /// are drawn, forms that show no text only the first time): 1024 per byte of the
    /// file, at least 256 MB. Compression packs at most about a thousand bytes into
    /// one.
    static uint64_t contentLimitFor(int64_t fileSize);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
