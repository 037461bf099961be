// Text extraction of every page of a document made of arbitrary bytes: page tree,
// font resources, encodings, ToUnicode maps and content streams together.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "text/CPdfText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteFuzzInputFile("text_document", data, size);
    if (path.empty()) return 0;

    CPdfDocument doc;
    try {
        doc.open(path.c_str());
    } catch (const CPdfException&) {
        return 0;
    }
    const int pages = doc.getNumPages();
    if (pages > 0) {
        std::vector<TextChar> chars;
        CPdfText text;
        text.setCharLimitForTesting(1 << 20);
        try {
            text.extractPages(&doc, 1, pages < 64 ? pages : 64, chars);
        } catch (const CPdfException& e) {
            (void)e.getMessage();
        }
        for (const TextChar& c : chars)
            if (c.page < 1 || c.page > pages) __builtin_trap();
    }
    doc.close();
    return 0;
}
