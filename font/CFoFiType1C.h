#pragma once
// Reader of the structure of a CFF (Type 1C) font program: enough to give the
// font's name and its built-in encoding. Glyph outlines are never read.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "font/CFoFiBase.h"

struct CffIndex {
    int64_t pos;       ///< position of the INDEX
    int count;         ///< number of items
    int offSize;       ///< bytes per offset
    int64_t startPos;  ///< position of the first data byte minus one
    int64_t endPos;    ///< position after the last data byte
};

struct CffIndexVal {
    int64_t pos;
    int len;
};

struct CffTopDict {
    int firstOp = -1;
    int version = 0, notice = 0, copyright = 0, fullName = 0, familyName = 0, weight = 0;
    int isFixedPitch = 0;
    double italicAngle = 0;
    double underlinePosition = -100;
    double underlineThickness = 50;
    int paintType = 0;
    int charStringType = 2;
    double fontMatrix[6] = {0.001, 0, 0, 0.001, 0, 0};
    double fontBBox[4] = {0, 0, 0, 0};
    double strokeWidth = 0;
    int uniqueID = 0;
    int64_t charsetOffset = 0;
    int64_t encodingOffset = 0;
    int64_t charStringsOffset = 0;
    int64_t privateSize = 0;
    int64_t privateOffset = 0;
    int registrySID = 0, orderingSID = 0, supplement = 0;
    int64_t fdArrayOffset = 0;
    int64_t fdSelectOffset = 0;
};

struct CffPrivateDict {
    int64_t offset = 0;
    int64_t size = 0;
    int64_t subrsOffset = 0;
    double defaultWidthX = 0;
    double nominalWidthX = 0;
};

class CFoFiType1C : public CFoFiBase {
public:
    /// Parses data[0..len) (borrowed); nullptr when it is not a readable CFF font.
    static std::unique_ptr<CFoFiType1C> openCff(const unsigned char* data, int len);
    ~CFoFiType1C() override;

    /// The font's name from the Name INDEX (possibly empty).
    const char* getName() const { return name_.c_str(); }
    /// 256 glyph names (nullptr where undefined), or nullptr for a CID font.
    const char* const* getEncoding() const { return encoding_; }

    bool isCIDFont() const { return topDict_.firstOp == 0x0c1e; }
    int getGlyphCount() const { return glyphCount_; }
    /// String id (CID for a CID font) of glyph gid; 0 outside the font.
    int getCharsetId(int gid) const;
    const CffTopDict& getTopDict() const { return topDict_; }
    int getSubrBias() const { return gsubrBias_; }

private:
    CFoFiType1C(const unsigned char* data, int len);
    bool parse();
    void readIndex(int64_t pos, CffIndex* idx);
    void getIndexVal(const CffIndex& idx, int i, CffIndexVal* val);
    void readTopDict();
    void readPrivateDict(int64_t offset, int64_t size, CffPrivateDict* pd);
    void readFDs();
    void readFDSelect();
    void readCharset();
    void buildEncoding();
    /// Reads one DICT item at pos: an operand (pushed) or an operator (*op set).
    int64_t getOp(int64_t pos, int* op);
    std::string getString(int sid);

    bool ok_ = true;
    std::string name_;
    CffIndex nameIdx_{}, topDictIdx_{}, stringIdx_{}, gsubrIdx_{}, charStringsIdx_{};
    int gsubrBias_ = 0;
    CffTopDict topDict_;
    std::vector<CffPrivateDict> privateDicts_;
    int glyphCount_ = 0;
    const uint16_t* predefinedCharset_ = nullptr;
    int predefinedCharsetLength_ = 0;
    std::vector<uint16_t> charset_;
    std::vector<uint8_t> fdSelect_;
    const char* const* encoding_ = nullptr;
    std::vector<std::string> encodingNames_;
    std::vector<const char*> encodingTable_;

    // DICT operand stack.
    static constexpr int kMaxOperands = 48;
    double ops_[kMaxOperands];
    int nOps_ = 0;
};
