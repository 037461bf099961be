#pragma once
// Lexer and object parser: turns the bytes of one stream, or of several streams
// read back to back (page contents split over an array), into CPdfElement values.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pdf/CPdfElement.h"

class CPdfSecurityHandler;
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

    /// When set, a stream object is not built: readObject returns the stream's
    /// Dictionary and stops right after the end of line that follows "stream";
    /// stoppedAtStream() is then true and getStreamDataPos() gives the file position
    /// of the first data byte. Used to find where an object's bytes end without
    /// decoding anything.
    void setStopAtStream(bool on) { stopAtStream_ = on; }
    bool stoppedAtStream() const { return stoppedAtStream_; }
    int64_t getStreamDataPos() const { return streamDataPos_; }
    /// The bytes being read are those of object (num, gen) of an encrypted file: its
    /// strings and stream data are decrypted with that object's key as they are read
    /// (from the tokens already read ahead on).
    void setDecryption(const CPdfSecurityHandler* handler, int32_t num, int32_t gen);
    /// Position (as the current stream counts it) of the next byte the lexer reads.
    int64_t getPos() const;
    /// True when the token after the last object read is the keyword "endobj".
    bool nextIsEndobj() const { return tok_[cur_].isCommandOf("endobj", 6); }
    /// True once a stream object was met whose Length is not a usable integer or does
    /// not lead to "endstream" (the object then came out as an Error element or the
    /// read threw "Missing 'endstream'"): the caller may find where its data ends.
    bool streamLengthFailed() const { return lengthFailed_; }
    /// True once a container being read took in the "obj" of the next object's
    /// "N G obj": it did not end where its object ends, so what was read holds
    /// another object's entries, whatever follows it. ("endobj" ends a container.)
    bool ranPastObjectEnd() const { return ranPastEnd_; }
    /// True once the input ended inside something left open: a string, a comment, an
    /// array or a dictionary.
    bool endedOpen() const { return endedOpen_; }

    /// Arrays and dictionaries nested deeper than this become Error elements.
    static constexpr int kMaxDepth = 256;
    /// At most this many items are kept in the containers of one readObject call;
    /// further items are read and dropped (bounds memory on decompression bombs).
    static constexpr size_t kMaxItems = size_t(1) << 21;

private:
    CPdfElement readObjectAt(int depth);
    CPdfElement readArray(int depth);
    CPdfElement readDictionary(int depth);
    void lex(CPdfElement& tok);
    // One reader per kind of token, called by lex after the token's first byte.
    int skipSpaceAndComments();
    void lexLiteralString(CPdfElement& tok, std::string& s);
    bool lexEscape(std::string& s);
    void lexAngleOpen(CPdfElement& tok, std::string& s);
    void lexAngleClose(CPdfElement& tok);
    void lexName(CPdfElement& tok, std::string& s);
    void lexNumber(CPdfElement& tok, std::string& s, int c);
    void lexKeyword(CPdfElement& tok, std::string& s, int c);
    /// Appends to s (up to cap bytes) the regular characters from the read position on
    /// (stopping before '#' when stopAtHash), reading on across blocks.
    void appendRun(std::string& s, size_t cap, bool stopAtHash);
    CPdfElement& current() { return tok_[cur_]; }
    CPdfElement& ahead() { return tok_[cur_ ^ 1]; }
    CPdfElement readStreamObject(CPdfElement& dict);
    void decryptToken(CPdfElement& tok);
    void skipNested();
    bool refill();
    void dropBuffer() { bufRead_ = bufEnd_ = 0; }

    CPdfXRef* xref_;
    // The current token and the one after it (two-token lookahead for "n g R").
    CPdfElement tok_[2];
    unsigned cur_ = 0;
    std::string scratch_;
    std::vector<CPdfStream*> streams_;
    size_t index_ = 0;

    // Bytes read ahead from the current stream; the lexer works from here so that
    // it does not make a virtual call per byte.
    static constexpr size_t kBufSize = 2048;
    unsigned char buf_[kBufSize];
    size_t bufRead_ = 0;
    size_t bufEnd_ = 0;
    size_t refillSize_ = 512;
    size_t budget_ = kMaxItems;
    const CPdfSecurityHandler* crypt_ = nullptr;
    int32_t cryptNum_ = 0;
    int32_t cryptGen_ = 0;
    bool stopAtStream_ = false;
    bool stoppedAtStream_ = false;
    bool lengthFailed_ = false;
    bool ranPastEnd_ = false;
    bool endedOpen_ = false;
    int64_t streamDataPos_ = -1;
};
