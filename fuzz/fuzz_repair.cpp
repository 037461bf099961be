// Damaged files through the repair path. The object table is rebuilt from a reading
// of the whole input (whatever its cross-reference data says), and every object it
// lists must read the same from its raw text as through the table: the object pass
// copies that text, so a disagreement is an output that says something else than the
// input was read as. Then the whole program stamps the input; an output it writes
// must open with the input's pages, and without repair when the input needed none.
// (A repaired input's objects are copied as they stand; where their text is garbled,
// as in inputs that qpdf and MuPDF do not open, the output may need the repair
// again, but it keeps every page.)
// Seeds: damaged variants of small files (tests/e2e/damaged_variants.py), and hostile
// inputs (a run of object headers, deeply nested containers). With QM_FUZZ_DEBUG set,
// a finding prints what disagreed before it stops.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "fuzz/FuzzSupport.h"
#include "links/CQuillmarkHandler.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"
#include "tests/pdf/PdfTestUtil.h"

namespace {

// What an element reads as: its text form, and for a stream its dictionary and the
// first bytes of its data.
std::string Read(const CPdfElement& e) {
    if (!e.isStream()) return pdftest::describe(e);
    CPdfStream* s = e.getStream();
    std::string out = "Stream{";
    if (CPdfDictionary* d = e.getDictionary())
        for (int i = 0; i < d->getLength(); ++i)
            out += pdftest::bytesOf(d->getKey(i)) + ":" + pdftest::describe(d->getValue(i)) + " ";
    out += "}";
    unsigned char buf[4096];
    s->reset();
    const size_t k = s->readBlock(buf, sizeof buf);
    out.append(reinterpret_cast<const char*>(buf), k);
    return out;
}

// The table rebuilt from the file: each object's raw text parses as what fetch gives,
// followed by "endobj".
void CheckRebuiltTable(const std::string& path) {
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) return;
    CPdfFileStream* s = new CPdfFileStream(fp, 0, 0, CPdfElement());
    {
        CPdfXRef x(s);
        bool rebuilt = true;
        try {
            x.rebuild();
        } catch (const CPdfException&) {
            rebuilt = false;
        }
        const int n = rebuilt ? (x.getNumEntries() < 2000 ? x.getNumEntries() : 2000) : 0;
        std::string raw;
        for (int i = 1; i < n; ++i) {
            const XRefEntry e = x.getEntry(i);
            if (e.kind != XRefKind::InFile && e.kind != XRefKind::InObjectStream) continue;
            std::string viaTable, viaText, after;
            try {
                if (!x.getRawObjectText(i, raw)) continue;
                viaTable = Read(x.fetch(i, e.kind == XRefKind::InFile ? e.gen : 0));
            } catch (const CPdfException&) {
                continue;
            }
            try {
                CPdfParser p(&x, new CPdfMemoryStream(raw.data(), raw.size(), CPdfElement()));
                for (int k = 0; k < 3; ++k)
                    p.readObject();
                // The text keeps the strings as the file holds them: encrypted with the
                // object's key, except in an object stream's member.
                if (x.getSecurityHandler() && e.kind == XRefKind::InFile && i != x.getEncryptNum())
                    p.setDecryption(x.getSecurityHandler(), i, e.gen);
                viaText = Read(p.readObject());
                // What follows the value is read apart: a malformed rest (a stream
                // with no data) is no disagreement about the value.
                try {
                    after = pdftest::describe(p.readObject());
                } catch (const CPdfException&) {
                    after = "exception";
                }
            } catch (const CPdfException&) {
                viaText = "exception";
            }
            // Only values that end before "endobj" are compared: where the parser reads
            // a malformed dictionary past its end ("/Key>>" takes ">>" as a value, a
            // dictionary takes "endobj" as a key), it does so in the file and in the
            // text alike, a leniency of the parser and not of the repair.
            if (after != "EOI" && viaText != viaTable) {
                if (getenv("QM_FUZZ_DEBUG"))
                    fprintf(stderr, "obj %d\n table: %s\n text: %s\n after: %s\n raw: %s\n", i, viaTable.c_str(),
                            viaText.c_str(), after.c_str(), raw.c_str());
                __builtin_trap();
            }
        }
    }
    s->release();
    std::fclose(fp);
}

int PageCount(const std::string& path, bool* repaired) {
    CPdfDocument doc;
    try {
        doc.open(path.c_str());
    } catch (const CPdfException&) {
        return -1;
    }
    *repaired = doc.getXRef()->wasRepaired();
    return doc.getNumPages();
}

// The whole program stamps the input (its messages kept off standard output).
bool Stamp(const std::string& in, const std::string& out) {
    std::vector<std::string> args = {"quillmark", in, out, "-text", "Fuzz", "-link", "https://fuzz.example/"};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, 1);
        close(null);
    }
    bool ok = true;
    try {
        CQuillmarkHandler h;
        h.Process(static_cast<int>(argv.size()), argv.data());
    } catch (const CPdfException&) {
        ok = false;
    }
    std::fflush(stdout);
    if (saved >= 0) {
        dup2(saved, 1);
        close(saved);
    }
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const std::string path = WriteFuzzInputFile("repair", data, size);
    if (path.empty()) return 0;
    CheckRebuiltTable(path);

    bool inRepaired = false;
    const int pages = PageCount(path, &inRepaired);
    const std::string out = path + ".out.pdf";
    std::remove(out.c_str());
    if (Stamp(path, out)) {
        bool outRepaired = true;
        const int outPages = PageCount(out, &outRepaired);
        if (outPages != pages || (outRepaired && !inRepaired)) {
            if (getenv("QM_FUZZ_DEBUG")) fprintf(stderr, "pages %d %d repaired %d\n", pages, outPages, outRepaired);
            __builtin_trap();
        }
    }
    std::remove(out.c_str());
    return 0;
}
