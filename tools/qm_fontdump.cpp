// Prints the fonts that loadPageFonts builds for every page of a PDF file, one JSON
// object per line:
//   {"page":1,"tag":"F1","id":[10,0],"type":1,"composite":false,"name":"Helvetica",
//    "given":"Helvetica","embedded":"","encoding":"WinAnsiEncoding","flags":32,"file":-1,
//    "codes":[[code,"glyph"|null,width,[unicode...]],...]}
// For a composite font "codes" lists [code, cid, width, [unicode...]] for the one- or
// two-byte codes that have Unicode values. A page whose fonts cannot be built gives
// {"page":N,"error":"message"}. Used by the corpus test of the font layer.
//   qm_fontdump file.pdf
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "font/CPdf8BitFont.h"
#include "font/CPdfCIDFont.h"
#include "font/CPdfFont.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"

namespace {

std::string json(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void printUnicode(const uint32_t* u, int n) {
    std::printf("[");
    for (int i = 0; i < n; ++i)
        std::printf(i ? ",%u" : "%u", u[i]);
    std::printf("]");
}

void dumpFont(int page, const CPdfFont* f) {
    std::printf(
        "{\"page\":%d,\"tag\":%s,\"id\":[%d,%d],\"type\":%d,\"composite\":%s,\"name\":%s,\"given\":%s,"
        "\"embedded\":%s,\"encoding\":%s,\"flags\":%d,\"file\":%d,\"codes\":[",
        page, json(f->tag).c_str(), f->id.num, f->id.gen, static_cast<int>(f->type),
        f->isComposite() ? "true" : "false", json(f->name).c_str(), json(f->givenName).c_str(),
        json(f->embeddedFontName).c_str(), json(f->encodingName).c_str(), f->flags, f->embeddedFontRef.num);
    uint32_t u[8];
    int n;
    double dx, dy, ox, oy;
    uint32_t code;
    bool first = true;
    if (!f->isComposite()) {
        for (int c = 0; c < 256; ++c) {
            unsigned char b = static_cast<unsigned char>(c);
            f->decodeChar(&b, 1, &code, u, 8, &n, &dx, &dy, &ox, &oy);
            const char* g = f->getGlyphName(code);
            std::printf("%s[%d,%s,%.6f,", first ? "" : ",", c, g ? json(g).c_str() : "null", f->getWidth(code));
            printUnicode(u, n);
            std::printf("]");
            first = false;
        }
    } else {
        const CPdfCIDFont* cf = static_cast<const CPdfCIDFont*>(f);
        int bits = cf->cmap ? cf->cmap->codeBits() : -1;
        for (int width = 1; width <= 2; ++width) {
            if (bits != 0 && bits != width * 8) continue;
            for (uint32_t v = 0; v < (width == 1 ? 256u : 65536u); ++v) {
                unsigned char b[2] = {static_cast<unsigned char>(width == 1 ? v : v >> 8),
                                      static_cast<unsigned char>(v & 0xff)};
                int used = f->decodeChar(b, width, &code, u, 8, &n, &dx, &dy, &ox, &oy);
                if (used != width || n == 0) continue;
                std::printf("%s[%u,%u,%.6f,", first ? "" : ",", v, code, f->getWidth(code));
                printUnicode(u, n);
                std::printf("]");
                first = false;
            }
        }
    }
    std::printf("]}\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: qm_fontdump file.pdf\n");
        return 2;
    }
    CPdfDocument doc;
    try {
        doc.open(argv[1]);
    } catch (const CPdfException& e) {
        std::printf("{\"open\":%s}\n", json(e.getMessage()).c_str());
        return 1;
    }
    for (int i = 0; i < doc.getNumPages(); ++i) {
        const CPdfPage& page = doc.getPage(i);
        try {
            const CPdfElement& res = page.getResources();
            if (!res.isDictionary()) continue;
            CPdfElement raw = res.getDictionary()->lookupRaw("Font");
            int32_t refNum = raw.isReference() ? raw.getRefNum() : -1;
            CPdfElement dict = raw.fetch(doc.getXRef());
            std::unique_ptr<PageFonts> fonts = loadPageFonts(&doc, dict, refNum);
            for (int k = 0; k < fonts->getCount(); ++k)
                if (const CPdfFont* f = fonts->getFont(k)) dumpFont(i + 1, f);
        } catch (const CPdfException& e) {
            std::printf("{\"page\":%d,\"error\":%s}\n", i + 1, json(e.getMessage()).c_str());
        }
    }
    doc.close();
    return 0;
}
