#pragma once
// Fonts for the text-extraction tests that do not need a font dictionary: every
// code's width, glyph name and Unicode value is set directly.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "font/CPdfBuiltinTables.h"
#include "font/CPdfFont.h"
#include "text/CPdfText.h"

namespace texttest {

/// A simple font: one byte per character, code = byte.
class SimpleTestFont : public CPdfFont {
public:
    explicit SimpleTestFont(const std::string& t, double defaultWidth = 0.5) {
        tag = t;
        for (int i = 0; i < 256; ++i) {
            widths[i] = defaultWidth;
            names[i] = nullptr;
            unicode[i] = 0;
        }
        ok = true;
    }
    /// Glyph names from a built-in encoding table.
    void useEncoding(const char* const* table) {
        for (int i = 0; i < 256; ++i)
            names[i] = table[i];
    }
    double getWidth(uint32_t code) const override { return code < 256 ? widths[code] : 0; }
    const char* getGlyphName(uint32_t code) const override { return code < 256 ? names[code] : nullptr; }
    int decodeChar(const unsigned char* bytes, int remaining, uint32_t* code, uint32_t* uni, int capacity, int* ucount,
                   double* dx, double* dy, double* ox, double* oy) const override {
        *code = bytes[0];
        *ucount = 0;
        if (unicode[bytes[0]] && capacity > 0) {
            uni[0] = unicode[bytes[0]];
            *ucount = 1;
        }
        *dx = widths[bytes[0]];
        *dy = *ox = *oy = 0;
        return 1;
    }

    double widths[256];
    const char* names[256];
    uint32_t unicode[256];
};

/// A composite font reading two-byte codes (the CID is the code) when twoByte is set,
/// else one byte giving code 0 without Unicode values (a Type 0 font whose CMap is
/// not read).
class CompositeTestFont : public CPdfFont {
public:
    CompositeTestFont(const std::string& t, bool twoByte) : twoByte_(twoByte) {
        tag = t;
        type = CIDType2Font;
        ok = true;
    }
    bool isComposite() const override { return true; }
    double getWidth(uint32_t) const override { return 1.0; }
    const char* getGlyphName(uint32_t) const override { return nullptr; }
    int decodeChar(const unsigned char* bytes, int remaining, uint32_t* code, uint32_t* uni, int capacity, int* ucount,
                   double* dx, double* dy, double* ox, double* oy) const override {
        *dx = 1.0;
        *dy = *ox = *oy = 0;
        *ucount = 0;
        if (!twoByte_) {
            *code = 0;
            return 1;
        }
        if (remaining < 2) {
            *code = bytes[0];
            return 1;
        }
        *code = static_cast<uint32_t>(bytes[0] << 8 | bytes[1]);
        for (const auto& m : map)
            if (m.first == *code && capacity > 0) {
                uni[0] = m.second;
                *ucount = 1;
            }
        return 2;
    }
    std::vector<std::pair<uint32_t, uint32_t>> map;  ///< code -> Unicode value

private:
    bool twoByte_;
};

/// Helvetica-like font F1: H 0.722, i 0.222, everything else 0.5.
inline SimpleTestFont* addHelvetica(PageFonts& fonts, const std::string& tag = "F1") {
    auto* f = new SimpleTestFont(tag);
    f->widths[static_cast<unsigned char>('H')] = 0.722;
    f->widths[static_cast<unsigned char>('i')] = 0.222;
    f->useEncoding(StandardEncoding);
    fonts.addSlot(std::unique_ptr<CPdfFont>(f));
    return f;
}

inline std::string textOf(const std::vector<TextChar>& chars) {
    std::string s;
    for (const auto& c : chars)
        s += c.text;
    return s;
}

/// Runs content with fonts as the content of page `page`: every record.
inline std::vector<TextChar> runAll(const std::string& content, const PageFonts* fonts, int page = 1) {
    std::vector<TextChar> chars;
    CPdfText text;
    text.interpretContentForTesting(reinterpret_cast<const unsigned char*>(content.data()), content.size(), fonts, page,
                                    chars);
    return chars;
}

/// The same without the space that starts the page (tests of what follows it).
inline std::vector<TextChar> run(const std::string& content, const PageFonts* fonts, int page = 1) {
    std::vector<TextChar> chars = runAll(content, fonts, page);
    if (!chars.empty() && (chars[0].flags & kCharGenerated)) chars.erase(chars.begin());
    return chars;
}

}  // namespace texttest
