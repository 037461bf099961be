// The content-stream interpreter of the text extractor over arbitrary bytes, with a
// fixed set of fonts: F1 a simple font with glyph names and Unicode values, F2 a
// composite font with two-byte codes, F3 a composite font without a CMap.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "font/CPdfBuiltinTables.h"
#include "pdf/CPdfException.h"
#include "tests/text/TextTestFonts.h"
#include "text/CPdfText.h"

namespace {

PageFonts* makeFonts() {
    auto* fonts = new PageFonts();
    auto* simple = new texttest::SimpleTestFont("F1", 0.5);
    simple->useEncoding(MacRomanEncoding);
    for (int i = 0; i < 256; ++i) {
        simple->widths[i] = (i % 7) * 0.11 - 0.1;
        simple->unicode[i] = (i % 3 == 0) ? 0x2000u + static_cast<uint32_t>(i) : 0;
    }
    fonts->addSlot(std::unique_ptr<CPdfFont>(simple));
    auto* two = new texttest::CompositeTestFont("F2", true);
    two->map = {{0x0041, 0x41}, {0x0102, 0x20AC}, {0x0000, 0x4E2D}, {0xFFFF, 0x00E9}};
    fonts->addSlot(std::unique_ptr<CPdfFont>(two));
    fonts->addSlot(std::unique_ptr<CPdfFont>(new texttest::CompositeTestFont("F3", false)));
    fonts->addSlot(nullptr);
    return fonts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PageFonts* fonts = makeFonts();
    std::vector<TextChar> chars;
    CPdfText text;
    try {
        text.interpretContentForTesting(data, size, fonts, 1, chars);
    } catch (const CPdfException& e) {
        (void)e.getMessage();
    }
    for (const TextChar& c : chars) {
        if (c.page != 1 || (c.angle != 0 && c.angle != 90)) __builtin_trap();
    }
    return 0;
}
