#pragma once
// Builds a one-page PDF whose page resources name the fonts under test, opens it
// with the real reading core and loads the page's fonts.
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "font/CPdfFont.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "tests/pdf/TestPdfBuilder.h"

namespace fonttest {

class FontDoc {
public:
    /// objects: (number, body) from 10 on; streams: (number, dict entries, data).
    /// fontRes is the page's Font resource text ("<< /F1 10 0 R >>" or "5 0 R").
    FontDoc(const std::vector<std::pair<int, std::string>>& objects,
            const std::vector<std::tuple<int, std::string, std::string>>& streams = {},
            const std::string& fontRes = "<< /F1 10 0 R >>", const std::string& fontResObj = "") {
        TestPdfBuilder b;
        b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font " + fontRes + " >> >>");
        if (!fontResObj.empty()) b.add(5, fontResObj);
        for (auto& o : objects)
            b.add(o.first, o.second);
        for (auto& s : streams)
            b.addStream(std::get<0>(s), std::get<1>(s), std::get<2>(s));
        static int counter = 0;
        path_ = TestPdfBuilder::writeTemp(b.build(), "font" + std::to_string(++counter) + ".pdf");
        doc_.open(path_.c_str());
    }
    ~FontDoc() {
        doc_.close();
        std::remove(path_.c_str());
    }

    CPdfDocument* doc() { return &doc_; }

    /// The page's PageFonts (a font that cannot be built leaves its slot empty).
    std::unique_ptr<PageFonts> load() {
        const CPdfPage& page = doc_.getPage(0);
        CPdfElement raw = page.getResources().getDictionary()->lookupRaw("Font");
        int32_t refNum = raw.isReference() ? raw.getRefNum() : -1;
        CPdfElement dict = raw.fetch(doc_.getXRef());
        return loadPageFonts(&doc_, dict, refNum);
    }

    /// The message building the page's first font that fails throws, or "" when
    /// every font is built.
    std::string loadError() {
        const CPdfPage& page = doc_.getPage(0);
        CPdfElement raw = page.getResources().getDictionary()->lookupRaw("Font");
        CPdfElement dict = raw.fetch(doc_.getXRef());
        CPdfDictionary* d = dict.getDictionary();
        for (int i = 0; d && i < d->getLength(); ++i) {
            try {
                createFont(&doc_, d->getKey(i), PdfObjRef{i, 0}, d->getValue(i).fetch(doc_.getXRef()));
            } catch (const CPdfException& e) {
                return e.getMessage();
            }
        }
        return "";
    }

private:
    std::string path_;
    CPdfDocument doc_;
};

}  // namespace fonttest
