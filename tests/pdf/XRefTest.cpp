#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"
#include "tests/pdf/PdfTestUtil.h"
#include "tests/pdf/TestPdfBuilder.h"

using pdftest::describe;

namespace {

// A table over a file written from data; the file stream starts at the header
// when there are bytes before it.
struct XRefFile {
    std::string path;
    FILE* f = nullptr;
    CPdfFileStream* s = nullptr;
    std::unique_ptr<CPdfXRef> x;

    XRefFile(const std::string& data, const std::string& name) {
        path = TestPdfBuilder::writeTemp(data, name);
        f = std::fopen(path.c_str(), "rb");
        s = new CPdfFileStream(f, 0, 0, CPdfElement());
        size_t h = data.find("%PDF-");
        if (h != std::string::npos && h > 0) s->shiftStart(static_cast<int64_t>(h));
        x.reset(new CPdfXRef(s));
    }
    ~XRefFile() {
        x.reset();
        s->release();
        std::fclose(f);
        std::remove(path.c_str());
    }
    /// Opens the table; returns "" or the exception message.
    std::string open() {
        try {
            x->open();
            return "";
        } catch (const CPdfException& e) {
            return e.getMessage();
        }
    }
    /// Rebuilds the table from the objects the file holds; "" or the message.
    std::string rebuild() {
        try {
            x->rebuild();
            return "";
        } catch (const CPdfException& e) {
            return e.getMessage();
        }
    }
    std::string raw(int num) {
        std::string out;
        if (!x->getRawObjectText(num, out)) return "<none>";
        return out;
    }
};

const char* kHeader = "%PDF-1.4\n";
const char* kCatalog = "1 0 obj\n<< /Type /Catalog >>\nendobj\n";

// A file whose last section is the given text, placed after one object.
std::string withSection(const std::string& section) {
    std::string s = std::string(kHeader) + kCatalog;
    size_t pos = s.size();
    return s + section + "\nstartxref\n" + std::to_string(pos) + "\n%%EOF\n";
}

std::string classicSection(const std::string& entries, const std::string& trailer) {
    return "xref\n" + entries + "trailer\n" + trailer;
}

// An unfiltered cross-reference stream object with the given dictionary entries.
std::string xrefStream(const std::string& dictEntries, const std::string& data) {
    return "2 0 obj\n<< /Type /XRef " + dictEntries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" +
           data + "\nendstream\nendobj";
}

struct ErrCase {
    const char* name;
    std::string file;
    const char* message;
};

class XRefError : public ::testing::TestWithParam<ErrCase> {};

TEST_P(XRefError, Message) {
    const ErrCase& c = GetParam();
    XRefFile f(c.file, std::string("err_") + c.name + ".pdf");
    EXPECT_EQ(f.open(), c.message) << c.name;
}

const std::string kOkEntries = "0 2\n0000000000 65535 f \n0000000009 00000 n \n";
const std::string kOkTrailer = "<< /Size 2 /Root 1 0 R >>";
const std::string k2 = std::string("\x01\x00\x09", 3) + std::string("\x01\x00\x09", 3);

const ErrCase kErrors[] = {
    {"no_startxref", std::string(kHeader) + kCatalog + "%%EOF\n", "PDF file was damaged"},
    {"startxref_zero", std::string(kHeader) + kCatalog + "startxref\n0\n%%EOF\n", "PDF file was damaged"},
    {"startxref_no_digits", std::string(kHeader) + kCatalog + "startxref\nabc\n%%EOF\n", "PDF file was damaged"},
    {"startxref_beyond_eof", std::string(kHeader) + kCatalog + "startxref\n99999999\n%%EOF\n",
     "Couldn't parse an xref"},
    {"startxref_too_far_from_end", withSection(classicSection(kOkEntries, kOkTrailer)) + std::string(1100, ' '),
     "PDF file was damaged"},
    {"garbage_section", withSection("garbage"), "Couldn't parse an xref"},
    {"reference_section", withSection("1 0 R"), "Couldn't parse an xref"},
    {"stream_header_not_stream", withSection("2 0 obj 5 endobj"), "Couldn't parse an xref stream"},
    {"stream_header_no_obj", withSection("2 0 foo"), "Couldn't parse an xref stream"},
    {"stream_header_one_int", withSection("2 obj"), "Couldn't parse an xref stream"},
    {"table_bad_keyword", withSection("xref\n" + kOkEntries + "foo " + kOkTrailer), "Couldn't parse an xref table"},
    {"table_bad_count", withSection("xref\n0 x\n"), "Couldn't parse an xref table"},
    {"table_bad_first", withSection("xref\n(0) 1\n"), "Couldn't parse an xref table"},
    {"table_bad_kind", withSection(classicSection("0 1\n0000000000 65535 x \n", kOkTrailer)),
     "Couldn't parse an xref table"},
    {"table_bad_offset", withSection(classicSection("0 1\n/a 65535 f \n", kOkTrailer)), "Couldn't parse an xref table"},
    {"table_short", withSection("xref\n0 3\n0000000000 65535 f \n"), "Couldn't parse an xref table"},
    {"table_negative_first", withSection(classicSection("-1 1\n0000000000 65535 f \n", kOkTrailer)),
     "Couldn't parse an xref table"},
    {"table_negative_count", withSection(classicSection("0 -1\n", kOkTrailer)), "Couldn't parse an xref table"},
    {"table_absurd_count", withSection(classicSection("0 2000000000\n", kOkTrailer)), "Couldn't parse an xref table"},
    {"table_absurd_first", withSection(classicSection("2000000000 1\n0000000009 00000 n \n", kOkTrailer)),
     "Couldn't parse an xref table"},
    {"table_overflowing_sum", withSection(classicSection("2147483647 2147483647\n", kOkTrailer)),
     "Couldn't parse an xref table"},
    {"trailer_not_dict", withSection(classicSection(kOkEntries, "5")), "Trailer dictionary is wrong type"},
    {"no_root", withSection(classicSection(kOkEntries, "<< /Size 2 >>")), "PDF file was damaged"},
    {"direct_root", withSection(classicSection(kOkEntries, "<< /Size 2 /Root << >> >>")), "PDF file was damaged"},
    {"encrypted_ref", withSection(classicSection(kOkEntries, "<< /Size 2 /Root 1 0 R /Encrypt 5 0 R >>")),
     "PDF file is encrypted"},
    {"encrypted_direct",
     withSection(classicSection(kOkEntries, "<< /Size 2 /Root 1 0 R /Encrypt << /Filter /Standard >> >>")),
     "PDF file is encrypted"},
    {"xs_no_size", withSection(xrefStream("/W [1 1 1] /Root 1 0 R", k2)), "Size of xref Stream is wrong type"},
    {"xs_real_size", withSection(xrefStream("/Size 2.0 /W [1 1 1] /Root 1 0 R", k2)),
     "Size of xref Stream is wrong type"},
    {"xs_negative_size", withSection(xrefStream("/Size -2 /W [1 1 1] /Root 1 0 R", k2)),
     "Size of xref Stream is wrong type"},
    {"xs_absurd_size", withSection(xrefStream("/Size 2000000000 /W [1 1 1] /Root 1 0 R", k2)),
     "Size of xref Stream is wrong type"},
    {"xs_no_w", withSection(xrefStream("/Size 2 /Root 1 0 R", k2)), "W item of xref Stream is wrong type"},
    {"xs_w_not_array", withSection(xrefStream("/Size 2 /W 3 /Root 1 0 R", k2)), "W item of xref Stream is wrong type"},
    {"xs_w_short", withSection(xrefStream("/Size 2 /W [1 1] /Root 1 0 R", k2)),
     "W item of xref Stream is wrong length"},
    {"xs_w_item", withSection(xrefStream("/Size 2 /W [1 /a 1] /Root 1 0 R", k2)),
     "W item of xref Stream is wrong type"},
    {"xs_w_too_wide", withSection(xrefStream("/Size 2 /W [1 9 1] /Root 1 0 R", k2)),
     "W item of xref Stream is wrong type"},
    {"xs_w_negative_field", withSection(xrefStream("/Size 2 /W [1 -1 1] /Root 1 0 R", k2)),
     "W item of xref Stream is wrong type"},
    {"xs_index_item", withSection(xrefStream("/Size 2 /W [1 1 1] /Index [0 /a] /Root 1 0 R", k2)),
     "Index item of xref Stream is wrong type"},
    {"xs_index_negative", withSection(xrefStream("/Size 2 /W [1 1 1] /Index [-1 2] /Root 1 0 R", k2)),
     "Index item of xref Stream is wrong type"},
    {"xs_index_absurd", withSection(xrefStream("/Size 2 /W [1 1 1] /Index [0 2000000000] /Root 1 0 R", k2)),
     "Index item of xref Stream is wrong type"},
    {"xs_eof", withSection(xrefStream("/Size 3 /W [1 1 1] /Root 1 0 R", k2)),
     "Unexpected EOF while reading xref stream section"},
    {"xs_eof_in_entry", withSection(xrefStream("/Size 2 /W [1 1 1] /Root 1 0 R", k2.substr(0, 5))),
     "Unexpected EOF while reading xref stream section"},
    {"xs_bad_kind",
     withSection(xrefStream("/Size 2 /W [1 1 1] /Root 1 0 R", std::string("\x01\x00\x09\x03\x00\x09", 6))),
     "Wrong type of xref entry while reading xref stream section"},
    {"xs_indirect_length",
     withSection("2 0 obj\n<< /Size 2 /W [1 1 1] /Root 1 0 R /Length 1 0 R >>\nstream\n" + k2 + "\nendstream\nendobj"),
     "Couldn't parse an xref stream"},
    {"xs_missing_endstream",
     withSection("2 0 obj\n<< /Size 2 /W [1 1 1] /Root 1 0 R /Length 2 >>\nstream\n" + k2 + "\nendstream\nendobj"),
     "Missing 'endstream'"},
};

INSTANTIATE_TEST_SUITE_P(Sections, XRefError, ::testing::ValuesIn(kErrors),
                         [](const ::testing::TestParamInfo<ErrCase>& i) { return std::string(i.param.name); });

TEST(XRef, ClassicTableAndFetch) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.add(3, "(three)", 2);
    b.trailerExtra = "/Info 3 2 R";
    XRefFile f(b.build(), "classic.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(f.x->getNumEntries(), 4);
    EXPECT_EQ(f.x->getRootNum(), 1);
    EXPECT_EQ(f.x->getRootGen(), 0);
    EXPECT_EQ(f.x->getInfoNum(), 3);
    EXPECT_EQ(f.x->getInfoGen(), 2);
    EXPECT_EQ(f.x->getEntry(0).kind, XRefKind::Free);
    EXPECT_EQ(f.x->getEntry(3).kind, XRefKind::InFile);
    EXPECT_EQ(f.x->getEntry(3).gen, 2);
    EXPECT_EQ(static_cast<long>(f.x->getEntry(2).offset), b.offsetOf(2));
    EXPECT_EQ(describe(f.x->fetch(1, 0)), "{Pages:Ref:2,0 Type:N:Catalog}");
    EXPECT_EQ(describe(f.x->fetch(3, 2)), "S:three");
    // A generation below the object's (a freed earlier object) and free entries give
    // Null, and so do numbers outside the table (which tell that the table is short:
    // a repair). One above it is miswritten and finds the object.
    EXPECT_EQ(describe(f.x->fetch(3, 0)), "Null");
    EXPECT_EQ(describe(f.x->fetch(3, 1)), "Null");
    EXPECT_EQ(describe(f.x->fetch(3, 9)), "S:three");
    EXPECT_EQ(describe(f.x->fetch(0, 65535)), "Null");
    EXPECT_FALSE(f.x->wasRepaired());
    EXPECT_EQ(describe(f.x->fetch(4, 0)), "Null");
    EXPECT_EQ(describe(f.x->fetch(-1, 0)), "Null");
    EXPECT_TRUE(f.x->wasRepaired());
    // The trailer resolves references once the table is read.
    ASSERT_NE(f.x->getTrailerDict(), nullptr);
    EXPECT_EQ(describe(f.x->getTrailerDict()->lookup("Info")), "S:three");
    EXPECT_EQ(describe(f.x->getTrailerDict()->lookupRaw("Info")), "Ref:3,2");
}

TEST(XRef, RawObjectTextOfPlainObject) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "[1 2 3]");
    XRefFile f(b.build(), "raw.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(f.raw(2), "2 0 obj\n[1 2 3]\nendobj\n");
    EXPECT_EQ(f.raw(0), "<none>");
    std::string out;
    EXPECT_THROW(f.x->getRawObjectText(3, out), CPdfException);
}

TEST(XRef, JunkBeforeHeaderCountsFromHeader) {
    TestPdfBuilder b;
    b.junk = std::string(100, 'J');
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "(two)");
    XRefFile f(b.build(), "junk.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "S:two");
    // Raw text is read from the same base as fetch.
    EXPECT_EQ(f.raw(2), "2 0 obj\n(two)\nendobj\n");
}

TEST(XRef, RawTextOfStreamSkipsDataHoldingEndobj) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    std::string data = "BT (endobj) Tj ET endobj endstream";
    b.addStream(2, "", data);
    b.add(3, "<< /Length 4 0 R >>\nstream\n" + data + "\nendstream");
    b.add(4, std::to_string(data.size()));
    b.add(5, "(after)");
    XRefFile f(b.build(), "rawstream.pdf");
    ASSERT_EQ(f.open(), "");
    std::string expect2 =
        "2 0 obj\n<<  /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj\n";
    EXPECT_EQ(f.raw(2), expect2);
    std::string r3 = f.raw(3);
    EXPECT_EQ(r3.substr(r3.size() - 18), "\nendstream\nendobj\n");
    EXPECT_NE(r3.find(data), std::string::npos);
    EXPECT_EQ(f.raw(5), "5 0 obj\n(after)\nendobj\n");
}

TEST(XRef, LargeStreamsAndNeighboursReadWhole) {
    // Stream data larger than any block the table reads at once, with objects
    // before and after it, fetched in both orders.
    std::string data;
    for (int i = 0; data.size() < 700000; ++i)
        data += "BT (line " + std::to_string(i) + " endobj) Tj ET\n";
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "(before)");
    b.add(3, "<< /Length 4 0 R >>\nstream\n" + data + "\nendstream");
    b.add(4, std::to_string(data.size()));
    b.add(5, "(after)");
    XRefFile f(b.build(), "large.pdf");
    ASSERT_EQ(f.open(), "");
    for (int order = 0; order < 2; ++order) {
        if (order == 1) {
            EXPECT_EQ(describe(f.x->fetch(5, 0)), "S:after");
        }
        CPdfElement s = f.x->fetch(3, 0);
        ASSERT_TRUE(s.isStream());
        EXPECT_EQ(pdftest::readAllBytes(s.getStream()), data);
        EXPECT_EQ(describe(f.x->fetch(2, 0)), "S:before");
        EXPECT_EQ(describe(f.x->fetch(5, 0)), "S:after");
        EXPECT_TRUE(f.raw(3) == "3 0 obj\n<< /Length 4 0 R >>\nstream\n" + data + "\nendstream\nendobj\n");
        EXPECT_EQ(f.raw(5), "5 0 obj\n(after)\nendobj\n");
        EXPECT_EQ(f.raw(2), "2 0 obj\n(before)\nendobj\n");
    }
}

class XRefLookups : public ::testing::TestWithParam<bool> {};

TEST_P(XRefLookups, AcrossGapsOfEverySizeReadTheRightBytes) {
    // Objects of growing size separated by stream data of growing size (a few bytes
    // to far beyond one read-ahead block), fetched forward, backward and skipping;
    // every object's raw text and every byte read through the blocks must match
    // the file, whatever the block holding them was filled for before, with small
    // lookup blocks (objects larger than one of them included) or growing ones.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    std::vector<std::string> names;
    const size_t gaps[] = {10, 900, 1100, 3000, 5000, 9000, 17000, 70000, 300000, 40, 60000};
    int num = 2;
    for (size_t gap : gaps) {
        std::string name(gap / 7 + 1, 'n');
        names.push_back(name);
        b.add(num, "(" + name + ")");
        b.add(num + 1, "<< /Length " + std::to_string(gap) + " >>\nstream\n" + std::string(gap, 'x') + "\nendstream");
        num += 2;
    }
    const std::string file = b.build();
    XRefFile f(file, GetParam() ? "gaps-lookup.pdf" : "gaps.pdf");
    ASSERT_EQ(f.open(), "");
    CPdfLookupScope scope(GetParam() ? f.x.get() : nullptr);
    const int count = static_cast<int>(names.size());
    std::vector<int> order;
    for (int i = 0; i < count; ++i)
        order.push_back(i);
    for (int i = count - 1; i >= 0; --i)
        order.push_back(i);
    for (int i = 0; i < count; i += 3)
        order.push_back(i);
    for (int i = 1; i < count; i += 2)
        order.push_back(i);
    for (int i : order) {
        const int n = 2 + 2 * i;
        SCOPED_TRACE(n);
        EXPECT_EQ(f.raw(n), std::to_string(n) + " 0 obj\n(" + names[static_cast<size_t>(i)] + ")\nendobj\n");
        EXPECT_EQ(describe(f.x->fetch(n, 0)), "S:" + names[static_cast<size_t>(i)]);
        const XRefEntry& e = f.x->getEntry(n);
        unsigned char buf[4096];
        size_t want = std::min(sizeof buf, file.size() - static_cast<size_t>(e.offset));
        ASSERT_EQ(f.x->readCached(static_cast<int64_t>(e.offset), buf, want), want);
        EXPECT_EQ(std::memcmp(buf, file.data() + e.offset, want), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, XRefLookups, ::testing::Values(false, true));

TEST(XRef, RawTextFindsKeywordsAcrossTheSearchPieces) {
    // Objects whose "endobj", or whose "stream" keyword, falls on and around the
    // borders of the growing pieces the search looks at (512, 2048, 8192 bytes), in
    // a file read through small and growing blocks alike.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    std::vector<std::string> bodies;
    int num = 10;  // two-digit numbers throughout
    // Plain objects one after another (a later stream must not hide a missed
    // "endobj"), then stream objects whose data holds "endobj". With two-digit object
    // numbers the keyword starts 7 bytes before the border and moves across it.
    for (bool stream : {false, true}) {
        for (size_t border : {512u, 2048u, 8192u}) {
            for (size_t shift = 0; shift < 14; ++shift) {
                if (stream) {
                    bodies.push_back("<< /Pad (" + std::string(border - 40 + shift, 'q') +
                                     ") /Length 9 >>\nstream\nendobj 12\nendstream");
                } else {
                    bodies.push_back("<< /Pad (" + std::string(border - 30 + shift, 'p') + ") >>");
                }
                b.add(num++, bodies.back());
            }
        }
    }
    const std::string file = b.build();
    for (bool lookup : {false, true}) {
        XRefFile f(file, lookup ? "pieces-lookup.pdf" : "pieces.pdf");
        ASSERT_EQ(f.open(), "");
        CPdfLookupScope scope(lookup ? f.x.get() : nullptr);
        for (int n = 10; n < num; ++n) {
            SCOPED_TRACE(n);
            EXPECT_EQ(f.raw(n), std::to_string(n) + " 0 obj\n" + bodies[static_cast<size_t>(n - 10)] + "\nendobj\n");
        }
    }
}

TEST(XRef, WrongLengthGivesWholeTextWithTheDataLength) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "<< /Length 3 >>\nstream\nabcdef\nendstream");
    XRefFile f(b.build(), "rawbadlen.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_FALSE(f.x->wasRepaired());
    // Fetched first or asked for its text first: the same object either way.
    CPdfElement s2 = f.x->fetch(2, 0);
    ASSERT_TRUE(s2.isStream());
    EXPECT_EQ(pdftest::readAllBytes(s2.getStream()), "abcdef");
    EXPECT_EQ(f.raw(2), "2 0 obj\n<< /Length 6 >>\nstream\nabcdef\nendstream\nendobj\n");
    EXPECT_TRUE(f.x->wasRepaired());
    int64_t pos;
    size_t len;
    EXPECT_FALSE(f.x->getRawObjectSpan(2, pos, len));  // held in memory, not copied from the file
}

TEST(XRef, LengthReferringToItsOwnObjectEndsAtEndstream) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "<< /Length 2 0 R >>\nstream\nabc\nendstream");
    b.add(3, "<< /Length 4 0 R >>\nstream\nabc\nendstream");
    b.add(4, "<< /Length 3 0 R >>\nstream\nabc\nendstream");
    b.add(5, "<< /Length 6 0 R >>\nstream\nabc\nendstream");
    b.add(6, "3");
    XRefFile f(b.build(), "selflen.pdf");
    ASSERT_EQ(f.open(), "");
    // A Length that cannot be had: the data ends at "endstream", and the object's
    // text says so.
    CPdfElement own = f.x->fetch(2, 0);
    ASSERT_TRUE(own.isStream());
    EXPECT_EQ(pdftest::readAllBytes(own.getStream()), "abc");
    EXPECT_EQ(describe(f.x->fetch(3, 0)), "Stream");
    CPdfElement ok = f.x->fetch(5, 0);
    ASSERT_TRUE(ok.isStream());
    EXPECT_EQ(pdftest::readAllBytes(ok.getStream()), "abc");
    EXPECT_EQ(f.raw(2), "2 0 obj\n<< /Length 3 >>\nstream\nabc\nendstream\nendobj\n");
    EXPECT_EQ(f.raw(5), "5 0 obj\n<< /Length 6 0 R >>\nstream\nabc\nendstream\nendobj\n");
}

TEST(XRef, ChainOfDeeplyNestedStreamsWithIndirectLengths) {
    // Each object nests a stream close to the depth limit, and its Length is
    // the next object of the same kind: nested fetches stop at a fixed depth,
    // well within the stack.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    const int n = 60;
    const int depth = CPdfParser::kMaxDepth - 1;
    for (int i = 2; i < 2 + n; ++i)
        b.add(i, std::string(depth, '[') + "<< /Length " + std::to_string(i + 1) + " 0 R >>\nstream\nx\nendstream" +
                     std::string(depth, ']'));
    b.add(2 + n, "1");
    XRefFile f(b.build(), "deepchain.pdf");
    ASSERT_EQ(f.open(), "");
    CPdfElement last = f.x->fetch(n + 1, 0);
    EXPECT_TRUE(last.isArray());
    CPdfElement first = f.x->fetch(2, 0);
    EXPECT_TRUE(first.isArray());
    std::string raw;
    EXPECT_TRUE(f.x->getRawObjectText(2, raw));
}

TEST(XRef, OffsetNotAtObjectHeaderIsLookedForInTheFile) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(3, "(" + std::string(3000, 'f') + ")");  // keeps object 2 far from object 1
    b.add(2, "(two)");
    std::string pdf = b.build();
    // Point entry 2 at object 1.
    std::string e2 =
        "\n" + std::string(10 - std::to_string(b.offsetOf(2)).size(), '0') + std::to_string(b.offsetOf(2)) + " 00000 n";
    std::string e1 =
        "\n" + std::string(10 - std::to_string(b.offsetOf(1)).size(), '0') + std::to_string(b.offsetOf(1)) + " 00000 n";
    size_t at = pdf.rfind(e2);
    ASSERT_NE(at, std::string::npos);
    pdf.replace(at, e2.size(), e1);
    XRefFile f(pdf, "badoffset.pdf");
    ASSERT_EQ(f.open(), "");
    // The bytes there belong to object 1: object 2 is looked for in the whole file.
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "S:two");
    EXPECT_EQ(f.raw(2), "2 0 obj\n(two)\nendobj\n");
    EXPECT_EQ(f.raw(1), "1 0 obj\n<< /Type /Catalog >>\nendobj\n");
    EXPECT_TRUE(f.x->wasRepaired());
}

TEST(XRef, OffsetJustBeforeTheHeader) {
    // The entry points at the line end before the header: fetch skips it, and
    // the raw text starts at the header.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "(two)");
    std::string pdf = b.build();
    char from[32], to[32];
    std::snprintf(from, sizeof from, "%010ld 00000 n", b.offsetOf(2));
    std::snprintf(to, sizeof to, "%010ld 00000 n", b.offsetOf(2) - 1);
    pdf.replace(pdf.rfind(from), std::strlen(from), to);
    XRefFile f(pdf, "offbyone.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "S:two");
    EXPECT_EQ(f.raw(2), "2 0 obj\n(two)\nendobj\n");
}

// A base file plus an incremental update appended with its own section.
std::string withUpdate(const std::string& base, const std::string& objects, const std::string& entries,
                       const std::string& prev) {
    std::string s = base + objects;
    size_t pos = s.size();
    s += "xref\n" + entries + "trailer\n<< /Size 4 /Root 1 0 R /Prev " + prev + " >>\nstartxref\n" +
         std::to_string(pos) + "\n%%EOF\n";
    return s;
}

long lastStartXRef(const std::string& pdf) {
    size_t p = pdf.rfind("startxref");
    return std::strtol(pdf.c_str() + p + 9, nullptr, 10);
}

TEST(XRef, IncrementalUpdateFreeEntryHidesOlderObject) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "(old two)");
    b.add(3, "(three)");
    std::string base = b.build();
    long baseXRef = lastStartXRef(base);
    std::string upd = "2 1 obj\n(new two)\nendobj\n";
    size_t objPos = base.size();
    char e[64];
    std::snprintf(e, sizeof e, "2 1\n%010zu 00001 n \n3 1\n0000000000 00001 f \n", objPos);
    XRefFile f(withUpdate(base, upd, e, std::to_string(baseXRef)), "update.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(describe(f.x->fetch(2, 1)), "S:new two");
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "Null");
    EXPECT_EQ(describe(f.x->fetch(2, 3)), "S:new two");
    EXPECT_EQ(describe(f.x->fetch(3, 0)), "Null");
    EXPECT_EQ(describe(f.x->fetch(3, 2)), "Null");  // free
    EXPECT_EQ(describe(f.x->fetch(1, 0)), "{Type:N:Catalog}");
}

TEST(XRef, PrevAsReferenceIsFollowedByItsNumber) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "(two)");
    std::string base = b.build();
    long baseXRef = lastStartXRef(base);
    XRefFile f(withUpdate(base, "", "3 1\n0000000000 00000 f \n", std::to_string(baseXRef) + " 0 R"), "prevref.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "S:two");
}

TEST(XRef, PrevLoopIsRefusedAndRebuilt) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "(two)");
    std::string base = b.build();
    // The update's Prev names the update itself; the base section is never read.
    std::string pdf = base;
    size_t pos = pdf.size();
    pdf += "xref\n3 1\n0000000000 00000 f \ntrailer\n<< /Size 4 /Root 1 0 R /Prev " + std::to_string(pos) +
           " >>\nstartxref\n" + std::to_string(pos) + "\n%%EOF\n";
    XRefFile f(pdf, "prevloop.pdf");
    // The chain leads back to a section read already: a section may be lost, so the
    // table is refused, and rebuilt from the objects the file holds.
    EXPECT_EQ(f.open(), "Couldn't parse an xref");
    ASSERT_EQ(f.rebuild(), "");
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "S:two");
    EXPECT_TRUE(f.x->wasRepaired());
}

TEST(XRef, TwoSectionPrevLoop) {
    // Build: base section whose Prev points to the update section, and the update
    // whose Prev points to the base: both read once, no hang.
    std::string s = std::string(kHeader) + kCatalog + "2 0 obj\n(two)\nendobj\n";
    size_t o1 = std::string(kHeader).size();
    size_t o2 = o1 + std::string(kCatalog).size();
    size_t basePos = s.size();
    char tbl[200];
    std::snprintf(tbl, sizeof tbl, "xref\n0 3\n0000000000 65535 f \n%010zu 00000 n \n%010zu 00000 n \n", o1, o2);
    std::string baseSec = tbl;
    // The base trailer's Prev gets the update position, which we know only after
    // the base is written; use a fixed-width number.
    std::string baseTrailer = "trailer\n<< /Size 3 /Root 1 0 R /Prev XXXXXXXXXX >>\n";
    s += baseSec + baseTrailer;
    size_t updPos = s.size();
    s += "xref\n3 1\n0000000000 00000 f \ntrailer\n<< /Size 4 /Root 1 0 R /Prev " + std::to_string(basePos) +
         " >>\nstartxref\n" + std::to_string(updPos) + "\n%%EOF\n";
    char num[16];
    std::snprintf(num, sizeof num, "%010zu", updPos);
    s.replace(s.find("XXXXXXXXXX"), 10, num);
    XRefFile f(s, "prevloop2.pdf");
    EXPECT_EQ(f.open(), "Couldn't parse an xref");
    ASSERT_EQ(f.rebuild(), "");
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "S:two");
}

TEST(XRef, XRefStreamWithKindOneDefault) {
    // W [0 4 2]: no kind field, every entry is kind 1.
    std::string s = std::string(kHeader) + kCatalog;
    size_t o1 = std::string(kHeader).size();
    size_t pos = s.size();
    std::string data;
    auto put = [&](unsigned long off, int gen) {
        for (int sh = 24; sh >= 0; sh -= 8)
            data += static_cast<char>((off >> sh) & 0xFF);
        data += static_cast<char>(gen >> 8);
        data += static_cast<char>(gen & 0xFF);
    };
    put(0, 0);
    put(o1, 0);
    put(pos, 0);
    s += "2 0 obj\n<< /Type /XRef /Size 3 /W [0 4 2] /Root 1 0 R /Length " + std::to_string(data.size()) +
         " >>\nstream\n" + data + "\nendstream\nendobj\nstartxref\n" + std::to_string(pos) + "\n%%EOF\n";
    XRefFile f(s, "w042.pdf");
    ASSERT_EQ(f.open(), "");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(f.x->getEntry(i).kind, XRefKind::InFile) << i;
    EXPECT_EQ(describe(f.x->fetch(1, 0)), "{Type:N:Catalog}");
    EXPECT_TRUE(f.x->fetch(2, 0).isStream());
    // The trailer is the stream's dictionary.
    ASSERT_NE(f.x->getTrailerDict(), nullptr);
    EXPECT_TRUE(f.x->getTrailerDict()->isType("XRef"));
}

TEST(XRef, XRefStreamIndexPairs) {
    std::string s = std::string(kHeader) + kCatalog;
    size_t o1 = std::string(kHeader).size();
    size_t pos = s.size();
    // Index [1 1 5 1 9]: object 1, object 5 (free), odd last item ignored.
    std::string data;
    data += std::string("\x01", 1) + static_cast<char>(o1) + std::string("\x00", 1);
    data += std::string("\x00\x00\x00", 3);
    s += "2 0 obj\n<< /Type /XRef /Size 6 /W [1 1 1] /Index [1 1 5 1 9] /Root 1 0 R /Length " +
         std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj\nstartxref\n" +
         std::to_string(pos) + "\n%%EOF\n";
    XRefFile f(s, "index.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(f.x->getNumEntries(), 6);
    EXPECT_EQ(f.x->getEntry(1).kind, XRefKind::InFile);
    EXPECT_EQ(f.x->getEntry(5).kind, XRefKind::Free);
    EXPECT_EQ(describe(f.x->fetch(1, 0)), "{Type:N:Catalog}");
}

// Members whose bytes leave something open (a string, a hexadecimal string, a comment,
// arrays and dictionaries) are read as closed where their bytes end. That is a repair;
// the text of such a member gets the closers before its "endobj", so that the text
// reads as the member did and the member after it stays itself.
TEST(XRef, OpenMembersGetTheirClosers) {
    // The member's bytes, what the text writes of them, and the closers after them
    // (objStm ends each member with a line end).
    struct Case {
        std::string bytes, written, closers;
    };
    const std::vector<Case> cases = {
        {"<< /A (abc", "", ")>>"},         {"[1 (a(b(c) d", "[1 (a\\(b(c) d", ")]"},  // the "(" left open is escaped
        {"<< /K [<41", "", ">]>>"},        {"[1 % note", "", "]"},
        {"<< /D << /E [1 2", "", "]>>>>"}, {"(end\\", "", ")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        TestPdfBuilder b;
        b.add(1, "<< /Type /Catalog >>");
        std::string head;
        const std::string body = TestPdfBuilder::objStm({{3, c.bytes}, {4, "(next)"}}, &head);
        b.addStream(2, "/Type /ObjStm /N 2 /First " + std::to_string(head.size()), body);
        b.inObjStm(3, 2, 0);
        b.inObjStm(4, 2, 1);
        XRefFile f(b.buildWithXRefStream(), "openmember.pdf");
        ASSERT_EQ(f.open(), "");
        const std::string fetched = describe(f.x->fetch(3, 0));
        EXPECT_TRUE(f.x->wasRepaired());
        std::string text;
        ASSERT_TRUE(f.x->getRawObjectText(3, text));
        EXPECT_EQ(text, "3 0 obj\r" + (c.written.empty() ? c.bytes : c.written) + "\n" + c.closers + " endobj\r");
        CPdfParser p(f.x.get(), new CPdfMemoryStream(text.data(), text.size(), CPdfElement()));
        for (int k = 0; k < 3; ++k)
            p.readObject();
        EXPECT_EQ(describe(p.readObject()), fetched);
        EXPECT_TRUE(p.nextIsEndobj());
        EXPECT_EQ(describe(f.x->fetch(4, 0)), "S:next");
    }
}

TEST(XRef, ObjectStreamMembers) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 3 0 R >>");
    std::string head;
    std::string body = TestPdfBuilder::objStm(
        {{3, "<< /Type /Pages /Kids [] /Count 0 >>"}, {4, "(four)"}, {5, "[5 0 R endobj]"}}, &head);
    b.addStream(2, "/Type /ObjStm /N 3 /First " + std::to_string(head.size()), body.substr(0));
    b.inObjStm(3, 2, 0);
    b.inObjStm(4, 2, 1);
    b.inObjStm(5, 2, 2);
    b.inObjStm(6, 2, 7);  // index beyond N
    b.inObjStm(7, 2, 0);  // the member at index 0 is object 3
    XRefFile f(b.buildWithXRefStream(8), "objstm.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(f.x->getEntry(4).kind, XRefKind::InObjectStream);
    EXPECT_EQ(describe(f.x->fetch(3, 0)), "{Count:I:0 Kids:[] Type:N:Pages}");
    EXPECT_EQ(describe(f.x->fetch(4, 0)), "S:four");
    EXPECT_EQ(describe(f.x->fetch(4, 7)), "S:four");     // any generation finds a member
    EXPECT_EQ(describe(f.x->fetch(5, 0)), "[Ref:5,0]");  // "endobj" ends the array, as in an output
    EXPECT_EQ(describe(f.x->fetch(6, 0)), "Null");
    EXPECT_EQ(describe(f.x->fetch(7, 0)), "Null");
    EXPECT_EQ(f.raw(4), "4 0 obj\r(four)\n endobj\r");
    EXPECT_EQ(f.raw(3), "3 0 obj\r<< /Type /Pages /Kids [] /Count 0 >>\n endobj\r");
    EXPECT_EQ(f.raw(6), "<none>");
    EXPECT_EQ(f.raw(7), "<none>");
    EXPECT_TRUE(f.x->isObjectStream(2));
    EXPECT_FALSE(f.x->isObjectStream(1));
    EXPECT_FALSE(f.x->isObjectStream(4));
    EXPECT_FALSE(f.x->isObjectStream(8));   // the cross-reference stream
    EXPECT_FALSE(f.x->isObjectStream(99));  // outside the table
    // Alternating between members and plain objects keeps working.
    EXPECT_EQ(describe(f.x->fetch(1, 0)), "{Pages:Ref:3,0 Type:N:Catalog}");
    EXPECT_EQ(describe(f.x->fetch(4, 0)), "S:four");
}

TEST(XRef, ObjectStreamCompressed) {
    // The members of a Flate-compressed object stream.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    // zlib.compress(b"3 0 (x)")
    const unsigned char z[] = {0x78, 0x9c, 0x33, 0x56, 0x30, 0x50, 0xd0, 0xa8,
                               0xd0, 0x04, 0x00, 0x05, 0x2b, 0x01, 0x8a};
    std::string zs(reinterpret_cast<const char*>(z), sizeof z);
    b.addStream(2, "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", zs);
    b.inObjStm(3, 2, 0);
    XRefFile f(b.buildWithXRefStream(4), "objstmz.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(describe(f.x->fetch(3, 0)), "S:x");
    EXPECT_EQ(f.raw(3), "3 0 obj\r(x) endobj\r");
    EXPECT_TRUE(f.x->isObjectStream(2));
}

TEST(XRef, MalformedObjectStreamHeaderGivesNullMembers) {
    struct {
        const char* dict;
        std::string body;
    } cases[] = {
        {"/N 2 /First 8", "3 0 /x 6 (a) (b)"}, {"/N 2 /First 8", "3 0"},      {"/N 0 /First 4", "3 0 (a)"},
        {"/N /x /First 4", "3 0 (a)"},         {"/N 1", "3 0 (a)"},           {"/N 1 /First -4", "3 0 (a)"},
        {"/N 100000000 /First 4", "3 0 (a)"},  {"/N -1 /First 4", "3 0 (a)"},
    };
    int k = 0;
    for (auto& c : cases) {
        TestPdfBuilder b;
        b.add(1, "<< /Type /Catalog >>");
        b.addStream(2, std::string("/Type /ObjStm ") + c.dict, c.body);
        b.inObjStm(3, 2, 0);
        XRefFile f(b.buildWithXRefStream(4), "badobjstm" + std::to_string(k++) + ".pdf");
        ASSERT_EQ(f.open(), "");
        EXPECT_EQ(describe(f.x->fetch(3, 0)), "Null") << c.dict << " " << c.body;
        EXPECT_EQ(f.raw(3), "<none>") << c.dict;
    }
}

TEST(XRef, ObjectStreamHoldingItsOwnLength) {
    // The object stream's Length is a member of the object stream itself.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    std::string body = "3 0 4 4 (a) 10";
    b.add(2, "<< /Type /ObjStm /N 2 /First 8 /Length 4 0 R >>\nstream\n" + body + "\nendstream");
    b.inObjStm(3, 2, 0);
    b.inObjStm(4, 2, 1);
    XRefFile f(b.buildWithXRefStream(5), "objstmself.pdf");
    ASSERT_EQ(f.open(), "");
    // The Length cannot be had while the stream is read: its data ends at
    // "endstream", and the members read from there.
    EXPECT_EQ(describe(f.x->fetch(3, 0)), "S:a");
    EXPECT_EQ(describe(f.x->fetch(4, 0)), "I:10");
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "Stream");
}

TEST(XRef, ObjectStreamInsideObjectStream) {
    // Entry 2 says the object stream is itself in object stream 2: no recursion.
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.inObjStm(2, 2, 0);
    b.inObjStm(3, 2, 1);
    XRefFile f(b.buildWithXRefStream(4), "objstmloop.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(describe(f.x->fetch(3, 0)), "Null");
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "Null");
    EXPECT_EQ(f.raw(3), "<none>");
}

TEST(XRef, HybridFileReadsTheHiddenStream) {
    // The classic table lists objects 1 and 2; object 3 lives in object stream 2
    // and only the cross-reference stream named by XRefStm knows it.
    std::string s = kHeader;
    size_t o1 = s.size();
    s += kCatalog;
    size_t o2 = s.size();
    s += "2 0 obj\n<< /Type /ObjStm /N 1 /First 4 /Length 12 >>\nstream\n3 0 (hidden)\nendstream\nendobj\n";
    size_t o4 = s.size();
    auto put = [](std::string& d, int kind, unsigned long f2, int f3) {
        d += static_cast<char>(kind);
        for (int sh = 24; sh >= 0; sh -= 8)
            d += static_cast<char>((f2 >> sh) & 0xFF);
        d += static_cast<char>(f3 >> 8);
        d += static_cast<char>(f3 & 0xFF);
    };
    std::string data;
    put(data, 0, 0, 65535);
    put(data, 1, o1, 0);
    put(data, 1, o2, 0);
    put(data, 2, 2, 0);
    put(data, 1, o4, 0);
    s += "4 0 obj\n<< /Type /XRef /Size 5 /W [1 4 2] /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
         "\nendstream\nendobj\n";
    size_t x = s.size();
    char tbl[200];
    std::snprintf(tbl, sizeof tbl, "xref\n0 3\n0000000000 65535 f \n%010zu 00000 n \n%010zu 00000 n \n", o1, o2);
    s += std::string(tbl) + "trailer\n<< /Size 5 /Root 1 0 R /XRefStm " + std::to_string(o4) + " >>\nstartxref\n" +
         std::to_string(x) + "\n%%EOF\n";
    XRefFile f(s, "hybrid.pdf");
    ASSERT_EQ(f.open(), "");
    EXPECT_EQ(f.x->getNumEntries(), 5);
    EXPECT_EQ(describe(f.x->fetch(3, 0)), "S:hidden");
    // The trailer stays the table's.
    EXPECT_FALSE(f.x->getTrailerDict()->isType("XRef"));
}

TEST(XRef, EntriesListedOverAndOverAreRefused) {
    // Zero-width entries cost no bytes: Index pairs that list the same numbers
    // thousands of times would otherwise keep the reader busy for minutes.
    std::string index;
    for (int i = 0; i < 20000; ++i)
        index += "0 60000 ";
    XRefFile f(withSection(xrefStream("/Size 60000 /W [0 0 0] /Index [" + index + "] /Root 1 0 R", "")),
               "zerowidth.pdf");
    EXPECT_EQ(f.open(), "Index item of xref Stream is wrong type");
}

TEST(XRef, HeadersWithoutEndobjAreReadOnce) {
    // Thousands of object headers in a row, then one long run before the only
    // "endobj": each search would cover the whole run again. After many times
    // the file's size has been searched, no more raw text is handed out.
    const int n = 3000;
    std::string run(200000, 'x');
    std::string s = std::string(kHeader) + kCatalog;
    std::vector<size_t> offs(n, 0);
    offs[1] = std::string(kHeader).size();
    for (int i = 2; i < n; ++i) {
        offs[i] = s.size();
        s += std::to_string(i) + " 0 obj\n";
    }
    s += "(" + run + ")\nendobj\n";
    size_t x = s.size();
    s += "xref\n0 " + std::to_string(n) + "\n0000000000 65535 f \n";
    char line[32];
    for (int i = 1; i < n; ++i) {
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offs[i]);
        s += line;
    }
    s += "trailer\n<< /Size " + std::to_string(n) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(x) + "\n%%EOF\n";
    XRefFile f(s, "scanbudget.pdf");
    ASSERT_EQ(f.open(), "");
    std::string out;
    EXPECT_TRUE(f.x->getRawObjectText(n - 1, out));
    EXPECT_EQ(out.substr(0, 13), std::to_string(n - 1) + " 0 obj\n(x");
    // Each header before it is followed by the next header: an object without a
    // value, which readers take as missing. That is found by one reading of the file,
    // not by searches over the whole run again and again.
    for (int i = 2; i < n - 1; ++i) {
        ASSERT_FALSE(f.x->getRawObjectText(i, out)) << i;
        ASSERT_TRUE(f.x->isMissing(i)) << i;
        ASSERT_EQ(describe(f.x->fetch(i, 0)), "Null") << i;
    }
    EXPECT_TRUE(f.x->wasRepaired());
}

TEST(XRef, MembersOfTwoObjectStreamsUsedAlternately) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    std::string h1, h2;
    std::string s1 = TestPdfBuilder::objStm({{4, "(four)"}, {5, "(five)"}}, &h1);
    std::string s2 = TestPdfBuilder::objStm({{6, "(six)"}, {7, "(seven)"}}, &h2);
    b.addStream(2, "/Type /ObjStm /N 2 /First " + std::to_string(h1.size()), s1);
    b.addStream(3, "/Type /ObjStm /N 2 /First " + std::to_string(h2.size()), s2);
    b.inObjStm(4, 2, 0);
    b.inObjStm(5, 2, 1);
    b.inObjStm(6, 3, 0);
    b.inObjStm(7, 3, 1);
    XRefFile f(b.buildWithXRefStream(8), "twoobjstm.pdf");
    ASSERT_EQ(f.open(), "");
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(describe(f.x->fetch(4, 0)), "S:four");
        EXPECT_EQ(describe(f.x->fetch(6, 0)), "S:six");
        EXPECT_EQ(f.raw(5), "5 0 obj\r(five)\n endobj\r");
        EXPECT_EQ(f.raw(7), "7 0 obj\r(seven)\n endobj\r");
    }
}

TEST(XRef, FindInBufferAndReadNumberAfter) {
    const char* buf = "<< /Type /Page /Parent 12 0 R /Rotate 90 >>";
    long len = static_cast<long>(std::strlen(buf));
    EXPECT_EQ(CPdfXRef::findInBuffer(buf, 0, len, "/Type", 5), 7);
    EXPECT_EQ(CPdfXRef::findInBuffer(buf, 0, len, "/Nothing", 8), 0);
    EXPECT_EQ(CPdfXRef::findInBuffer(buf, 8, len, "/Type", 5), 0);
    EXPECT_EQ(CPdfXRef::findInBuffer(buf, 0, 7, "/Type", 5), 0);  // the match must fit before end
    EXPECT_EQ(CPdfXRef::findInBuffer(buf, 0, 8, "/Type", 5), 7);
    bool isRef = false;
    EXPECT_EQ(CPdfXRef::readNumberAfter(buf, len, "/Parent", &isRef), 12);
    EXPECT_TRUE(isRef);
    EXPECT_EQ(CPdfXRef::readNumberAfter(buf, len, "/Rotate", &isRef), 90);
    EXPECT_FALSE(isRef);
    EXPECT_EQ(CPdfXRef::readNumberAfter(buf, len, "/Annots", &isRef), 0);
    EXPECT_FALSE(isRef);
    const char* big = "/Length 99999999999999999999999 0 R";
    EXPECT_EQ(CPdfXRef::readNumberAfter(big, static_cast<long>(std::strlen(big)), "/Length", &isRef), LONG_MAX);
    EXPECT_TRUE(isRef);
    const char* cut = "/Parent 12 0";
    EXPECT_EQ(CPdfXRef::readNumberAfter(cut, static_cast<long>(std::strlen(cut)), "/Parent", &isRef), 12);
    EXPECT_FALSE(isRef);
}

TEST(XRef, MarkFree) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    b.add(2, "(two)");
    XRefFile f(b.build(), "markfree.pdf");
    ASSERT_EQ(f.open(), "");
    f.x->markFree(2);
    EXPECT_EQ(f.x->getEntry(2).kind, XRefKind::Free);
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "Null");
    f.x->markFree(99);  // ignored
}

}  // namespace
