#pragma once
// Page text extraction: interprets the text operators of page content streams and
// appends one positioned record per shown character.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CPdfDocument;
class CPdfParser;
class CPdfFont;
class CPdfElement;
class CPdfStream;
class CPdfXRef;

/// One extracted character. The origin (x, y) always equals (x0, y0).
struct TextChar {
    double x0, y0, x1, y1;
    int32_t page;   ///< 1-based
    char text;      ///< one byte, WinAnsiEncoding (Windows-1252)
    int8_t angle;   ///< 0 or 90
    double x() const { return x0; }
    double y() const { return y0; }
};

/// Character byte given to a character of a composite font whose Unicode value has no
/// Windows-1252 byte: 0x81 is unassigned in Windows-1252, so no search text converted
/// to Windows-1252 can contain it.
const unsigned char kUnmappedCharByte = 0x81;

class CPdfTextState;
class PageFonts;

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
    /// the last page) to chars. Throws CPdfException ("Weird page contents", "Document
    /// parse error\n", "Damage contents stream", font construction messages).
    void extractPages(CPdfDocument* doc, int firstPage, int lastPage, std::vector<TextChar>& chars);
    /// The same records, handed over one page at a time (identical results, bounded memory).
    void extractPages(CPdfDocument* doc, int firstPage, int lastPage, TextPageSink& sink);

    /// Interprets content bytes as the content of page `page` with the given fonts (may
    /// be null), appending to chars; errors are converted as for a page of a document.
    void interpretContentForTesting(const unsigned char* data, size_t len, const PageFonts* fonts,
                                    int page, std::vector<TextChar>& chars);

    /// Lowers the number of characters one run may produce (normally 2^26).
    void setCharLimitForTesting(size_t limit) { charLimit_ = limit; }

private:
    struct FontCache;
    void run(CPdfDocument* doc, int firstPage, int lastPage, std::vector<TextChar>& chars,
             TextPageSink* sink);
    void interpret(CPdfParser& parser);
    /// Parses content (or, when null, stream, whose reference is taken over) and
    /// interprets it with a fresh state, converting errors to the extractor's messages.
    void interpretContent(CPdfXRef* xref, const CPdfElement* content, CPdfStream* stream);
    void showString(const unsigned char* s, size_t len);
    void adjustAdvance(double thousandths);
    void reserveAhead(std::vector<TextChar>& chars, size_t startSize, int pagesDone, int pagesLeft);
    FontCache* cacheFor(CPdfFont* font);

    int page_ = 0;
    int firstPage_ = 0;
    int lastPage_ = 0;
    int rotation_ = 0;
    const PageFonts* fonts_ = nullptr;
    CPdfTextState* state_ = nullptr;
    std::vector<TextChar>* chars_ = nullptr;
    size_t runChars_ = 0;  // shown bytes of this run, at most charLimit_
    size_t charLimit_;
    // Per-page memo of the character byte and width of each code of simple fonts.
    std::vector<std::unique_ptr<FontCache>> caches_;
    size_t cachesUsed_ = 0;
    CPdfFont* lastFont_ = nullptr;
    FontCache* lastCache_ = nullptr;
    // Where the last shown string ended: the size of the record list after it, the line
    // origin it was placed from and the glyph height vector of its characters. A word
    // gap of a TJ array adds a space only right after a record of the same line.
    size_t lineEndCount_ = 0;
    const std::vector<TextChar>* lineEndList_ = nullptr;
    double lineEndX_ = 0, lineEndY_ = 0;
    double lineEndHx_ = 0, lineEndHy_ = 0;
};

/// Resets the process-wide line tracker (tests only).
void resetLineTrackerForTesting();
