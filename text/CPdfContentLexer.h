#pragma once
// Tokens of content streams: numbers, strings, names, operators and the brackets of
// arrays and dictionaries, read from one stream or from the streams of a page's
// Contents array back to back (each stream ending a token, as if white space
// followed it).
//
// Content syntax needs no look-ahead (no indirect references), so the lexer reads
// exactly the bytes of the tokens handed out: after the operator ID of an inline image
// the image data can be read byte by byte from where the operator ended.
//
// A stream whose data cannot be read (a broken filter, a failed fetch) ends where the
// reading failed; the next stream of the sequence goes on. Nothing here throws.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CPdfStream;

class CPdfContentLexer {
public:
    enum Kind : uint8_t { kEnd, kNumber, kString, kName, kOperator, kArrayOpen, kArrayClose, kDictOpen, kDictClose };

    /// Longest string kept from one literal or hexadecimal string (longer ones are read
    /// to their end and cut), and longest name or operator.
    static constexpr size_t kMaxStringBytes = size_t(1) << 20;
    static constexpr size_t kMaxWordBytes = 256;

    /// Takes over one reference of each stream.
    explicit CPdfContentLexer(std::vector<CPdfStream*> streams);
    ~CPdfContentLexer();
    CPdfContentLexer(const CPdfContentLexer&) = delete;
    CPdfContentLexer& operator=(const CPdfContentLexer&) = delete;

    /// The next token: its kind, and for numbers number(), for strings, names and
    /// operators bytes() (valid until the next call).
    Kind next();
    double number() const { return number_; }
    const std::string& bytes() const { return bytes_; }

    /// Raw access for inline image data: the next byte (-1 at the end of the current
    /// stream's data and of every stream after it) and a look at it.
    int readByte();
    int peekByte();
    /// Passes over n bytes; returns how many there were.
    size_t skipBytes(size_t n);

    /// Passes over the data of an inline image whose operator ID was just read: the
    /// length bytes when length >= 0 and "EI" follows them, else up to the first "EI"
    /// between white space that the next bytes show to be followed by content again
    /// rather than more binary data. The EI itself is consumed.
    void skipInlineImage(int64_t length);

    /// Bytes read so far from all streams.
    uint64_t bytesRead() const { return consumed_ + bufRead_; }

private:
    bool refill();
    void readLiteral();
    void readHex();
    void readName();
    void readWord(int first);

    std::vector<CPdfStream*> streams_;
    size_t index_ = 0;
    static constexpr size_t kBufSize = 16384;
    unsigned char buf_[kBufSize];
    size_t bufRead_ = 0;
    size_t bufEnd_ = 0;
    uint64_t consumed_ = 0;     // bytes of the blocks before the current one
    bool streamEnded_ = false;  // the current stream just ended: a token boundary
    double number_ = 0;
    std::string bytes_;
};
