#pragma once
// Lexer and object parser: turns the bytes of one stream, or of several streams
// read back to back (page contents split over an array), into CPdfElement values.
#include <cstdint>
#include <vector>

#include "pdf/CPdfElement.h"

class CPdfStream;
class CPdfXRef;

class CPdfParser {
public:
    /// Over one stream; takes over the caller's reference of stream.
    CPdfParser(CPdfXRef* xref, CPdfStream* stream);
    /// Over a content element: a Stream, or an Array whose items resolving to streams
    /// are read in order; anything else gives an empty input.
    CPdfParser(CPdfXRef* xref, const CPdfElement& content);
    CPdfParser(const CPdfParser&) = delete;
    CPdfParser& operator=(const CPdfParser&) = delete;
    virtual ~CPdfParser();

    /// The next object (EndOfInput at the end). Throws CPdfException
    /// "Missing 'endstream'" for a stream body not followed by endstream.
    CPdfElement readObject();

    // Lexer operations.
    int readChar();
    int peekChar();
    CPdfElement nextToken();
    void shift();
    void skipToLineEnd();

private:
    CPdfElement readObjectAt(int depth);

    CPdfXRef* xref_;
    CPdfElement current_;
    CPdfElement next_;
    std::vector<CPdfStream*> streams_;
    size_t index_ = 0;
};
