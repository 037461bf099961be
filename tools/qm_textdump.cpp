// Prints the characters that the text extractor finds in a PDF file, one line each:
//   page x0 y0 x1 y1 angle byte
// (coordinates with three decimals, the byte as two hex digits). With -t only the
// text of each page is printed, one line per page as hex. Used by the corpus tests
// and for measuring the extraction speed.
// -q prints only the count (pages handed over one at a time), -v the count after
// collecting every record in one vector (as the link handler does).
//   qm_textdump [-t | -q | -v] file.pdf [firstPage [lastPage]]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "text/CPdfText.h"

namespace {

struct PrintSink : TextPageSink {
    int mode = 0;  // 0 records, 1 page text, 2 count only
    long long total = 0;
    void pageDone(int page, std::vector<TextChar>& chars) override {
        total += static_cast<long long>(chars.size());
        if (mode == 2) return;
        if (mode == 1) {
            std::printf("%d ", page);
            for (const TextChar& c : chars)
                std::printf("%02X", static_cast<unsigned char>(c.text));
            std::printf("\n");
            return;
        }
        for (const TextChar& c : chars)
            std::printf("%d %.3f %.3f %.3f %.3f %d %02X\n", c.page, c.x0, c.y0, c.x1, c.y1, c.angle,
                        static_cast<unsigned char>(c.text));
    }
};

}  // namespace

int main(int argc, char** argv) {
    PrintSink sink;
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "-t") == 0) {
        sink.mode = 1;
        ++i;
    } else if (i < argc && std::strcmp(argv[i], "-q") == 0) {
        sink.mode = 2;
        ++i;
    } else if (i < argc && std::strcmp(argv[i], "-v") == 0) {
        sink.mode = 3;
        ++i;
    }
    if (i >= argc) {
        std::printf("usage: qm_textdump [-t | -q | -v] file.pdf [firstPage [lastPage]]\n");
        return 2;
    }
    const char* path = argv[i++];
    int first = i < argc ? std::atoi(argv[i++]) : 1;
    int last = i < argc ? std::atoi(argv[i++]) : 99999;
    CPdfDocument doc;
    try {
        doc.open(path);
        if (first < 1) first = 1;
        if (last != 99999 && last > doc.getNumPages()) last = doc.getNumPages();
        CPdfText text;
        if (sink.mode == 3) {
            std::vector<TextChar> all;
            text.extractPages(&doc, first, last, all);
            sink.total = static_cast<long long>(all.size());
        } else {
            text.extractPages(&doc, first, last, sink);
        }
    } catch (const CPdfException& e) {
        std::printf("ERROR %s\n", e.getMessage());
        return 1;
    }
    if (sink.mode >= 2) std::printf("%lld characters\n", sink.total);
    return 0;
}
