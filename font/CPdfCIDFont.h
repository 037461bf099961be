#pragma once
// Composite (Type 0) fonts: a descendant CIDFont with its widths by CID, an
// encoding CMap that splits shown strings into codes and CIDs, and a ToUnicode map.
#include <memory>
#include <string>
#include <vector>

#include "font/CPdfCMap.h"
#include "font/CPdfFont.h"
#include "font/UnicodeMapping.h"

struct CIDWidthRange {
    int32_t first;
    int32_t last;
    double width;
};

struct CIDVerticalRange {
    int32_t first;
    int32_t last;
    double height;
    double vx;
    double vy;
};

class CPdfCIDFont : public CPdfFont {
public:
    CPdfCIDFont(const std::string& tag, PdfObjRef id);
    ~CPdfCIDFont() override;

    /// Builds the font from its Type 0 dictionary; sets ok at the end. Throws
    /// CPdfException with the composite-font messages.
    void load(CPdfDocument* doc, CPdfDictionary* type0Dict);

    double getWidth(uint32_t cid) const override;
    const char* getGlyphName(uint32_t) const override { return nullptr; }
    int decodeChar(const unsigned char* bytes, int remaining, uint32_t* code, uint32_t* unicode, int capacity,
                   int* ucount, double* dx, double* dy, double* ox, double* oy) const override;
    bool isComposite() const override { return true; }

    /// The encoding CMap (null when the font's Encoding is not supported) and the
    /// ToUnicode map (null when there is none or no CMap).
    std::unique_ptr<CPdfCMap> cmap;
    std::unique_ptr<UnicodeMapping> toUnicode;
    double defaultWidth = 1.0;
    double defaultHeight = -1.0;
    double defaultVY = 0.88;
    std::vector<CIDWidthRange> widthRanges;
    std::vector<CIDVerticalRange> verticalRanges;
};
