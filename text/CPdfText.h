#pragma once
// Page text extraction: interprets the text operators of page content streams and
// appends one positioned record per shown character.
#include <cstdint>
#include <vector>

class CPdfDocument;

/// One extracted character. The origin (x, y) always equals (x0, y0).
struct TextChar {
    double x0, y0, x1, y1;
    int32_t page;   ///< 1-based
    char text;      ///< one byte, WinAnsiEncoding (Windows-1252)
    int8_t angle;   ///< 0 or 90
    double x() const { return x0; }
    double y() const { return y0; }
};

class CPdfTextState;
class PageFonts;

class CPdfText {
public:
    CPdfText();
    ~CPdfText();
    /// Appends the characters of pages firstPage..lastPage (1-based, inclusive; 99999 =
    /// the last page) to chars. Throws CPdfException ("Weird page contents", "Document
    /// parse error\n", "Damage contents stream", font construction messages).
    void extractPages(CPdfDocument* doc, int firstPage, int lastPage, std::vector<TextChar>& chars);
};

/// Resets the process-wide line tracker (tests only).
void resetLineTrackerForTesting();
