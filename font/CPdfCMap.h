#pragma once
// The encoding CMap of a composite font: how the bytes of a shown string split into
// codes (codespace ranges of one to four bytes) and which CID each code selects.
// Supports the predefined Identity-H and Identity-V and CMaps embedded as streams
// (cidrange, cidchar, usecmap of an Identity CMap).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CMapTokenizer;
class CPdfElement;

struct CMapCodespace {
    int nBytes;
    unsigned char low[4];
    unsigned char high[4];
};

struct CMapCidRange {
    uint32_t low;
    uint32_t high;
    uint32_t cid;
};

class CPdfCMap {
public:
    /// Most codespace ranges kept; real CMaps have a handful.
    static constexpr size_t kMaxCodespaces = 256;

    /// Identity-H (vertical = false) or Identity-V.
    static std::unique_ptr<CPdfCMap> createIdentity(bool vertical);
    /// Parses an embedded CMap's text. Null when it defines no codespace at all.
    static std::unique_ptr<CPdfCMap> parse(const char* text, size_t len);
    /// From a font's Encoding value: the Identity names, or an embedded CMap stream
    /// (whose UseCMap may name an Identity CMap). Null when not supported.
    static std::unique_ptr<CPdfCMap> fromEncoding(const CPdfElement& encoding);

    /// Splits off the next code of bytes[0..remaining) (remaining > 0). Returns the
    /// bytes consumed (>= 1); *codeValue is the code's bytes as a big-endian number and
    /// *cid its CID. false in *matched when no codespace range holds the bytes (a
    /// trailing incomplete code included): then *cid is 0.
    int decode(const unsigned char* bytes, int remaining, uint32_t* codeValue, uint32_t* cid, bool* matched) const;

    /// Code width in bits for reading the font's ToUnicode: 8, 16, 24, 32, or 0 when
    /// the codespace mixes widths.
    int codeBits() const;
    bool isIdentity() const { return identity_; }
    bool isVertical() const { return vertical_; }
    const std::vector<CMapCodespace>& codespaces() const { return codespaces_; }

private:
    CPdfCMap() = default;
    void parseText(const char* text, size_t len);
    // The blocks of CMap text, one function each.
    void useCMap(const char* name, int len);
    void readCodespaceRanges(CMapTokenizer& tok);
    void readCidRanges(CMapTokenizer& tok);
    void readCidChars(CMapTokenizer& tok);
    void addIdentityBase();
    bool lookupCid(int nBytes, uint32_t code, uint32_t* cid) const;
    void finish();

    bool identity_ = false;      // pure Identity-H/V: two bytes, CID = code
    bool identityBase_ = false;  // usecmap of an Identity CMap
    bool vertical_ = false;
    std::vector<CMapCodespace> codespaces_;
    // Per code width (index nBytes - 1): single codes and ranges, sorted by low code.
    std::vector<CMapCidRange> ranges_[4];
    std::vector<uint32_t> rangeMaxHigh_[4];  // running maximum of high, for overlaps
};
