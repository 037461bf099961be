#pragma once
// Reader of the clear-text header of an embedded Type 1 font program: the font's
// name and its built-in encoding.
#include <memory>
#include <string>

#include "font/CFoFiBase.h"

class CFoFiType1 : public CFoFiBase {
public:
    CFoFiType1(const unsigned char* data, int len);
    ~CFoFiType1() override;

    /// The /FontName, or nullptr when the header has none.
    const char* getName();
    /// 256 glyph names (nullptr where undefined), StandardEncodingMarker for a font that
    /// uses the standard encoding, or nullptr when the header gives no encoding.
    const char* const* getEncoding();

private:
    void parse();
    void readEncodingBlock(int64_t* pos);

    std::unique_ptr<std::string> fontName_;
    const char* const* encoding_ = nullptr;
    // Owned names of a built-in encoding block, and the table pointing at them.
    std::unique_ptr<std::string[]> names_;
    std::unique_ptr<const char*[]> table_;
    bool parsed_ = false;
};
