// Opening a document from arbitrary bytes, then fetching every object, taking
// the raw text of every object and reading every page's contents.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteFuzzInputFile("document", data, size);
    if (path.empty()) return 0;

    CPdfDocument doc;
    try {
        doc.open(path.c_str());
    } catch (const CPdfException&) {
        return 0;
    }
    CPdfXRef* x = doc.getXRef();
    int n = x->getNumEntries();
    if (n > 4000) n = 4000;
    std::string raw;
    for (int i = 0; i < n; ++i) {
        const XRefEntry e = x->getEntry(i);
        try {
            CPdfElement obj = x->fetch(i, e.kind == XRefKind::InFile ? e.gen : 0);
            if (CPdfStream* s = obj.getStream()) {
                unsigned char buf[4096];
                size_t total = 0;
                while (total < (1u << 20)) {
                    size_t k = s->readBlock(buf, sizeof buf);
                    if (k == 0) break;
                    total += k;
                }
            }
        } catch (const CPdfException&) {
        }
        try {
            x->getRawObjectText(i, raw);
            x->isObjectStream(i);
        } catch (const CPdfException&) {
        }
    }
    for (int i = 0; i < doc.getNumPages() && i < 50; ++i) {
        try {
            CPdfParser p(x, doc.getPage(i).getContents().fetch(x));
            for (int k = 0; k < 20000; ++k)
                if (p.readObject().isEndOfInput()) break;
        } catch (const CPdfException&) {
        }
    }
    CPdfDictionary* t = x->getTrailerDict();
    if (t) {
        try {
            t->lookup("Info");
        } catch (const CPdfException&) {
        }
    }
    return 0;
}
