#pragma once
// Lexical scanning of raw PDF bytes by the lexer's own rules (white space, comments,
// literal and hexadecimal strings, names with number-sign escapes, numbers, keywords)
// without building any element: where the text of an object ends, and where a value
// inside an object's text lies. The parser stays the judge of what the bytes mean;
// this only tells where its tokens begin and end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

/// Bytes read forward from some source, one chunk at a time.
class CPdfByteCursor {
public:
    virtual ~CPdfByteCursor() = default;
    int peek() { return cur_ < end_ || more() ? *cur_ : -1; }
    int get() { return cur_ < end_ || more() ? *cur_++ : -1; }
    /// Position of the next byte, counted as the source counts it.
    int64_t pos() const { return base_ + (cur_ - chunk_); }

protected:
    /// Makes the next chunk current (base_, chunk_, cur_, end_); false at the end.
    virtual bool more() = 0;
    int64_t base_ = 0;
    const unsigned char* chunk_ = nullptr;
    const unsigned char* cur_ = nullptr;
    const unsigned char* end_ = nullptr;
};

/// A cursor over bytes held in memory; positions count from their first byte.
class CPdfMemoryCursor : public CPdfByteCursor {
public:
    CPdfMemoryCursor(const void* data, size_t len, size_t at = 0);
    explicit CPdfMemoryCursor(const std::string& s, size_t at = 0) : CPdfMemoryCursor(s.data(), s.size(), at) {}
    /// Moves to position p (clamped to the data).
    void seek(int64_t p);

protected:
    bool more() override { return false; }
};

/// One step of a path from an object's body to a value inside it: the value of a key
/// of a dictionary, or item index of an array.
struct CPdfRawStep {
    std::string key;  ///< empty: an index step
    int index = 0;
    bool operator<(const CPdfRawStep& o) const { return key != o.key ? key < o.key : index < o.index; }
};

namespace CPdfRawScan {

enum Token {
    kEnd,         ///< the end of the input
    kString,      ///< a literal string "(...)"
    kHexString,   ///< a hexadecimal string "<...>"
    kDictOpen,    ///< "<<"
    kDictClose,   ///< ">>"
    kArrayOpen,   ///< "["
    kArrayClose,  ///< "]"
    kName,        ///< "/..."
    kNumber,      ///< a number; word holds its bytes
    kKeyword,     ///< any other run of regular bytes; word holds its bytes
    kOther        ///< a lone ")", ">", "{" or "}"
};

/// The class of every byte as the lexer sees it: 0 regular, 1 white space, 2 delimiter.
extern const unsigned char kClass[256];
/// True for the bytes the lexer treats as white space.
inline bool IsWhite(int c) { return c >= 0 && kClass[c] == 1; }
/// True for the bytes that are neither white space nor delimiters.
inline bool IsRegular(int c) { return c >= 0 && kClass[c] == 0; }

/// Skips white space and comments, then reads one token. *start (when given) receives
/// the position of its first byte; word (when given) the bytes of a number or keyword
/// (the first 32 of them); *unclosed (when given) whether a literal or hexadecimal
/// string ran into the end of the input.
Token Next(CPdfByteCursor& c, std::string* word = nullptr, int64_t* start = nullptr, bool* unclosed = nullptr);

/// How the text of an object ends, read from just after its "obj" keyword.
enum ObjectEnd {
    kNoEnd,     ///< the input ended first
    kAtEndobj,  ///< the cursor stands just after the keyword "endobj"
    kAtStream,  ///< the cursor stands just after a "stream" keyword that follows ">>"
    kAtObject   ///< an object header "n g obj" came first: the object lacks its "endobj"
};
/// Reads tokens up to the first "endobj" keyword, or up to a "stream" keyword right
/// after ">>" (the data of a stream object begins after that line), or up to the
/// header of another object.
ObjectEnd ScanObject(CPdfByteCursor& c);

/// Reads one value from c as the parser's readObject reads it (arrays up to "]",
/// dictionaries up to ">>", "n g R" references). False when the input ends inside it
/// (an array, dictionary or string left open) or when no value starts there (a
/// keyword other than true, false and null, a closing token, a stray ")").
bool ReadCompleteValue(CPdfMemoryCursor& c);

/// Moves c past the end of line that follows a "stream" keyword, as the parser does:
/// the rest of the line up to and including a line feed, or a carriage return and a
/// line feed right after it.
void SkipLineEnd(CPdfByteCursor& c);

/// In raw object text ("12 0 obj ... endobj"): the span [start, end) of the value that
/// path leads to from the object's value. False when the text does not hold it.
bool LocateValue(const std::string& text, const std::vector<CPdfRawStep>& path, size_t& start, size_t& end);

/// The spans of the values that several paths lead to, found in one reading of the
/// text: spans[i] for paths[i], {0, 0} where the text does not hold it.
std::vector<std::pair<size_t, size_t>> LocateValues(const std::string& text,
                                                    const std::vector<std::vector<CPdfRawStep>>& paths);

}  // namespace CPdfRawScan
