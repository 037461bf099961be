#pragma once
// The small PostScript tokenizer that reads CMap text, and the reader of the
// bfchar / bfrange blocks of ToUnicode CMaps.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CPdfDictionary;
class UnicodeMapping;

class CMapTokenizer {
public:
    /// Longest token kept; longer tokens are consumed but cut to this length.
    static constexpr int kMaxToken = 255;

    /// Reads from a callback that returns the next byte 0..255, or -1 at the end.
    CMapTokenizer(int (*getChar)(void*), void* context);
    /// Reads text[0..len) as a NUL-terminated string: a NUL byte ends the input.
    CMapTokenizer(const char* text, size_t len);

    /// Next token into buf (NUL-terminated, at most 255 bytes) and its length into
    /// *len; false at the end of the input.
    bool nextToken(char buf[kMaxToken + 1], int* len);

private:
    int get() {
        int c = peek();
        look_ = -2;
        return c;
    }
    int peek() {
        if (look_ == -2) look_ = fetch();
        return look_;
    }
    int fetch() {
        if (text_) {
            if (pos_ >= len_) return -1;
            unsigned char c = static_cast<unsigned char>(text_[pos_++]);
            return c == 0 ? (pos_ = len_, -1) : c;
        }
        return getChar_(context_);
    }

    int (*getChar_)(void*) = nullptr;
    void* context_ = nullptr;
    const char* text_ = nullptr;
    size_t len_ = 0;
    size_t pos_ = 0;
    int look_ = -2;  // -2: nothing looked ahead
};

/// Parses ToUnicode CMap text into map. codeBits 8, 16, 24 or 32 accepts only source
/// codes of exactly that width; 0 accepts source codes of one to four bytes.
void parseCMapInto(UnicodeMapping* map, const char* text, size_t len, int codeBits);

/// Reads the ToUnicode stream of fontDict into map, or into a new map when map is
/// null (returned then). Anything but a stream leaves map alone and returns null.
std::unique_ptr<UnicodeMapping> loadToUnicode(CPdfDictionary* fontDict, int codeBits, UnicodeMapping* map);
