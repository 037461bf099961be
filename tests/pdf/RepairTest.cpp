// Damaged files: the table rebuilt from the objects the file holds, entries that do
// not lead to their objects, and objects given whole text, as readers repair them.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "tests/pdf/PdfTestUtil.h"
#include "tests/pdf/TestPdfBuilder.h"

using pdftest::describe;

namespace {

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    const size_t at = s.rfind(from);
    if (at == std::string::npos)
        ADD_FAILURE() << "no " << from;
    else
        s.replace(at, from.size(), to);
    return s;
}

std::string Cut(const std::string& s, const std::string& before) { return s.substr(0, s.rfind(before)); }

std::string Obj(int num, const std::string& body, int gen = 0) {
    return std::to_string(num) + " " + std::to_string(gen) + " obj\n" + body + "\nendobj\n";
}

std::string Stream(const std::string& dict, const std::string& data) {
    return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A classic table with one subsection per object found by its header in body (the
// last header of each number), and the trailer: a sound file for what body holds.
std::string WithTable(const std::string& body, const std::string& trailer) {
    std::map<int, size_t> at;
    for (size_t p = body.find(" obj"); p != std::string::npos; p = body.find(" obj", p + 1)) {
        size_t s = p;
        while (s > 0 && body[s - 1] != '\n')
            --s;
        int num, gen;
        if (std::sscanf(body.c_str() + s, "%d %d obj", &num, &gen) == 2) at[num] = s;
    }
    std::string t = "xref\n0 1\n0000000000 65535 f \n";
    for (auto& e : at) {
        char line[64];
        std::snprintf(line, sizeof line, "%d 1\n%010zu 00000 n \n", e.first, e.second);
        t += line;
    }
    return body + t + "trailer\n" + trailer + "\nstartxref\n" + std::to_string(body.size()) + "\n%%EOF\n";
}

const std::string kHead = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
const std::string kCatalog = Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
const std::string kPages = Obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
const std::string kPage1 = Obj(3, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 5 0 R >>");
const std::string kPage2 = Obj(4, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 6 0 R >>");
const std::string kOne = Obj(5, Stream("", "BT (one) Tj ET"));
const std::string kTwo = Obj(6, Stream("", "BT (two) Tj ET"));
const std::string kBody = kHead + kCatalog + kPages + kPage1 + kPage2 + kOne + kTwo;
const std::string kTrailer = "<< /Size 7 /Root 1 0 R >>";
const std::string kSound = WithTable(kBody, kTrailer);

// An object stream (uncompressed) holding members.
std::string ObjStm(int num, const std::vector<std::pair<int, std::string>>& members) {
    std::string header;
    const std::string data = TestPdfBuilder::objStm(members, &header);
    return Obj(num, "<< /Type /ObjStm /N " + std::to_string(members.size()) + " /First " +
                        std::to_string(header.size()) + " /Length " + std::to_string(data.size()) + " >>\nstream\n" +
                        data + "\nendstream");
}

struct Opened {
    std::string path;
    CPdfDocument doc;
    std::string error, reason;
    Opened(const std::string& data, const std::string& name) {
        path = TestPdfBuilder::writeTemp(data, name);
        try {
            doc.open(path.c_str());
        } catch (const CPdfException& e) {
            error = e.getMessage();
            reason = e.getReason();
        }
    }
    ~Opened() {
        doc.close();
        std::remove(path.c_str());
    }
    // The decoded bytes of each page's content stream.
    std::vector<std::string> contents() {
        std::vector<std::string> out;
        for (int i = 0; i < doc.getNumPages(); ++i) {
            CPdfElement c = doc.getPage(i).getContents().fetch(doc.getXRef());
            out.push_back(c.isStream() ? pdftest::readAllBytes(c.getStream()) : describe(c));
        }
        return out;
    }
};

struct DocCase {
    const char* name;
    std::function<std::string()> file;
    std::vector<std::string> contents;  ///< per page; empty: refused
    bool repaired;
    const char* reason;  ///< of a refusal
};

class Repair : public ::testing::TestWithParam<DocCase> {};

TEST_P(Repair, OpensAsReadersRepairIt) {
    const DocCase& c = GetParam();
    Opened f(c.file(), std::string("repair_") + c.name + ".pdf");
    if (c.contents.empty()) {
        EXPECT_EQ(f.error, "Problem with input file");
        EXPECT_EQ(f.reason, c.reason);
        EXPECT_FALSE(f.doc.isOpen());
        return;
    }
    ASSERT_EQ(f.error, "") << f.reason;
    EXPECT_EQ(f.contents(), c.contents);
    EXPECT_EQ(f.doc.getXRef()->wasRepaired(), c.repaired);
    // Every object the rebuilt table lists has raw text that parses as what fetch gives.
    CPdfXRef* x = f.doc.getXRef();
    for (int n = 1; n < x->getNumEntries() && n < 200; ++n) {
        const XRefEntry& e = x->getEntry(n);
        if (e.kind != XRefKind::InFile && e.kind != XRefKind::InObjectStream) continue;
        std::string raw;
        if (!x->getRawObjectText(n, raw)) {
            EXPECT_TRUE(x->isMissing(n)) << n;
            continue;
        }
        CPdfParser p(x, new CPdfMemoryStream(raw.data(), raw.size(), CPdfElement()));
        for (int k = 0; k < 3; ++k)
            p.readObject();
        EXPECT_EQ(describe(p.readObject()), describe(x->fetch(n, e.kind == XRefKind::InFile ? e.gen : 0))) << n;
        EXPECT_EQ(describe(p.readObject()), "C:endobj") << n;
    }
}

const std::vector<std::string> kBoth = {"BT (one) Tj ET", "BT (two) Tj ET"};

const DocCase kDocCases[] = {
    {"sound", [] { return kSound; }, kBoth, false, ""},
    {"no_startxref", [] { return Cut(kSound, "startxref") + "%%EOF\n"; }, kBoth, true, ""},
    {"startxref_off",
     [] {
         return Replace(kSound, "startxref\n" + std::to_string(kBody.size()),
                        "startxref\n" + std::to_string(kBody.size() + 3));
     },
     kBoth, true, ""},
    {"startxref_beyond_eof",
     [] { return Replace(kSound, "startxref\n" + std::to_string(kBody.size()), "startxref\n99999999"); }, kBoth, true,
     ""},
    {"section_garbage", [] { return Replace(kSound, "xref\n0 1", "xzef\n0 1"); }, kBoth, true, ""},
    {"cut_before_the_table", [] { return Cut(kSound, "xref\n0 1"); }, kBoth, true, ""},
    {"cut_inside_a_stream", [] { return Cut(kSound, "two) Tj ET"); }, {"BT (one) Tj ET", "BT ("}, true, ""},
    {"crlf",
     [] {
         std::string s = kSound, out;
         for (char ch : s) {
             if (ch == '\n') out += '\r';
             out += ch;
         }
         return out;
     },
     {"BT (one) Tj ET", "BT (two) Tj ET"},
     true,
     ""},
    {"offsets_shifted", [] { return Replace(kSound, kHead, kHead + "%% moved\n\n"); }, kBoth, true, ""},
    {"prev_pointing_nowhere",
     [] {
         // An update whose Prev names no section: its own objects count, the older
         // ones are found in the file.
         const std::string update = Obj(6, Stream("", "BT (TWO) Tj ET"));
         char entry[32];
         std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", kSound.size());
         return kSound + update + "xref\n6 1\n" + entry + "trailer\n<< /Size 7 /Root 1 0 R /Prev 4444 >>\nstartxref\n" +
                std::to_string(kSound.size() + update.size()) + "\n%%EOF\n";
     },
     {"BT (one) Tj ET", "BT (TWO) Tj ET"},
     true,
     ""},
    {"last_section_damaged",
     [] {
         // The update is sound but its section is not: the update's objects count.
         const std::string update = Obj(5, Stream("", "BT (ONE) Tj ET"));
         return kSound + update + "xref\n5 x\ngarbage\ntrailer\n<< /Size 7 /Root 1 0 R /Prev " +
                std::to_string(kBody.size()) + " >>\nstartxref\n" + std::to_string(kSound.size() + update.size()) +
                "\n%%EOF\n";
     },
     {"BT (ONE) Tj ET", "BT (two) Tj ET"},
     true,
     ""},
    {"later_definition_wins",
     [] { return Cut(WithTable(kBody + Obj(6, Stream("", "BT (2) Tj ET")), kTrailer), "startxref"); },
     {"BT (one) Tj ET", "BT (2) Tj ET"},
     true,
     ""},
    {"later_generation_wins",
     // References to the older generation lead nowhere, as readers take them.
     [] { return Cut(WithTable(kBody + Obj(6, Stream("", "BT (2) Tj ET"), 1), kTrailer), "startxref"); },
     {"BT (one) Tj ET", "Null"},
     true,
     ""},
    {"members_of_an_object_stream",
     [] {
         const std::string body = kHead + kCatalog + kPages + kOne + kTwo +
                                  ObjStm(8, {{3, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 5 0 R >>"},
                                             {4, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 6 0 R >>"}});
         return body + "startxref\n0\n%%EOF\n";  // no table at all
     },
     kBoth, true, ""},
    {"plain_object_after_the_object_stream_wins",
     [] {
         const std::string body = kHead + kCatalog + kPages + kOne + kTwo +
                                  ObjStm(8, {{3, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 6 0 R >>"},
                                             {4, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 6 0 R >>"}}) +
                                  kPage1 + "trailer\n" + kTrailer + "\n";
         return body;
     },
     kBoth, true, ""},
    {"member_of_a_later_object_stream_wins",
     [] {
         const std::string body = kHead + kCatalog + kPages + kPage1 + kOne + kTwo +
                                  ObjStm(8, {{4, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 5 0 R >>"}}) +
                                  ObjStm(9, {{4, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 6 0 R >>"}}) +
                                  "trailer\n" + kTrailer + "\n";
         return body;
     },
     kBoth, true, ""},
    {"member_cut_by_the_end_of_its_stream",
     [] {
         // The decoded data of an object stream ends inside its last member: that
         // member has no whole value (nothing stands there); the one before it counts.
         return kBody + ObjStm(8, {{9, "(nine)"}, {7, "<< /A [1 2"}}) + "trailer\n<< /Size 10 /Root 1 0 R >>\n";
     },
     kBoth, true, ""},
    {"member_followed_by_the_rest_of_damaged_data",
     [] {
         // Bytes that are no value follow the last member: its text ends with its value.
         return kBody + ObjStm(8, {{9, "(nine)"}, {7, "<< /A 1 >>\nstr%PDF-1.5 (x"}}) +
                "trailer\n<< /Size 10 /Root 1 0 R >>\n";
     },
     kBoth, true, ""},
    {"last_trailer_whose_root_is_a_catalog",
     [] {
         // The last trailer's Root leads nowhere; the one before it counts.
         return Cut(kSound, "startxref") + "trailer\n<< /Size 7 /Root 9 0 R >>\n%%EOF\n";
     },
     kBoth, true, ""},
    {"catalog_without_trailer", [] { return kBody; }, kBoth, true, ""},
    {"catalog_in_an_object_stream_without_trailer",
     [] {
         return kHead + kPages + kPage1 + kPage2 + kOne + kTwo + ObjStm(8, {{1, "<< /Type /Catalog /Pages 2 0 R >>"}});
     },
     kBoth, true, ""},
    {"headers_inside_stream_data_are_not_objects",
     [] {
         // An uncompressed stream holding the text of another object 6: the data
         // is skipped by its Length, and the real object 6 (before it) counts.
         const std::string fake = Obj(6, Stream("", "BT (fake) Tj ET"));
         return Cut(WithTable(kBody + Obj(7, Stream("", fake)), kTrailer), "startxref");
     },
     kBoth, true, ""},
    {"object_numbered_past_the_tables_cap",
     [] {
         // A small sound file whose page 2's contents are object 150000: its table
         // holds more entries than a file of its size may list, so it is rebuilt.
         std::string body = Replace(kBody, "/Contents 6 0 R", "/Contents 150000 0 R");
         body = Replace(body, "6 0 obj", "150000 0 obj");
         return WithTable(body, "<< /Size 150001 /Root 1 0 R >>");
     },
     kBoth, true, ""},
    {"page_without_resources",
     [] { return WithTable(Replace(kBody, "/Resources << >> /Contents 5", "/Contents 5"), kTrailer); }, kBoth, false,
     ""},
    {"encryption_dictionary_no_trailer_names",
     [] { return kBody + Obj(9, "<< /Filter /Standard /V 1 /R 2 /O <00> /U <00> /P -4 >>"); },
     {},
     false,
     CPdfReason::kDamaged},
    {"flate_streams_that_are_not_flate_without_trailer",
     // Without a trailer, streams whose data is not what their filter says: the file
     // was encrypted (its trailer lost), and cannot be read.
     [] {
         return Replace(kBody, "<<  /Length 14 >>\nstream\nBT (one)",
                        "<< /Filter /FlateDecode /Length 14 >>\nstream\nBT (one)");
     },
     {},
     false,
     CPdfReason::kDamaged},
    {"page_tree_loop",
     [] { return WithTable(Replace(kBody, "[3 0 R 4 0 R]", "[3 0 R 2 0 R]"), kTrailer); },
     {},
     false,
     CPdfReason::kDamaged},
    {"header_only", [] { return std::string("%PDF-1.4\n%%EOF\n"); }, {}, false, CPdfReason::kDamaged},
    {"not_a_pdf", [] { return std::string("Dear reader,\nthis is a letter.\n"); }, {}, false, CPdfReason::kNotPdf},
    {"empty", [] { return std::string(); }, {}, false, CPdfReason::kNotPdf},
};

INSTANTIATE_TEST_SUITE_P(Files, Repair, ::testing::ValuesIn(kDocCases),
                         [](const ::testing::TestParamInfo<DocCase>& i) { return std::string(i.param.name); });

TEST(Repair, AFileThatCannotBeOpenedCannotBeRead) {
    CPdfDocument doc;
    try {
        doc.open("/no/such/folder/file.pdf");
        FAIL() << "opened";
    } catch (const CPdfException& e) {
        EXPECT_EQ(e.getReason(), CPdfReason::kUnreadable);
    }
}

// ---- objects given whole text, in a file whose table is sound --------------------

struct TextCase {
    const char* name;
    std::string object5;  ///< what stands between "5 0 obj\n" and the next object
    std::string raw5;     ///< its raw text ("" when missing)
    std::string data5;    ///< its decoded data, or describe() of what fetch gives
};

class WholeText : public ::testing::TestWithParam<TextCase> {};

TEST_P(WholeText, IsWhatTheParserReads) {
    const TextCase& c = GetParam();
    const std::string body = kHead + kCatalog + "5 0 obj\n" + c.object5 + Obj(6, "(six)");
    const std::string path = TestPdfBuilder::writeTemp(WithTable(body, kTrailer), std::string("whole_") + c.name);
    FILE* fp = std::fopen(path.c_str(), "rb");
    CPdfFileStream* s = new CPdfFileStream(fp, 0, 0, CPdfElement());
    {
        CPdfXRef x(s);
        x.open();
        // Fetched first: the same as when the text is asked for first (below).
        CPdfElement o = x.fetch(5, 0);
        const std::string got = o.isStream() ? pdftest::readAllBytes(o.getStream()) : describe(o);
        EXPECT_EQ(got, c.data5);
        std::string raw;
        if (c.raw5.empty()) {
            EXPECT_FALSE(x.getRawObjectText(5, raw));
            EXPECT_TRUE(x.isMissing(5));
        } else {
            EXPECT_TRUE(x.getRawObjectText(5, raw));
            EXPECT_EQ(raw, c.raw5);
        }
        EXPECT_TRUE(x.wasRepaired());
        // The next object is untouched.
        EXPECT_TRUE(x.getRawObjectText(6, raw));
        EXPECT_EQ(raw, Obj(6, "(six)"));
    }
    s->release();
    std::fclose(fp);
    {
        // Asked for its text first.
        FILE* fq = std::fopen(path.c_str(), "rb");
        CPdfFileStream* t = new CPdfFileStream(fq, 0, 0, CPdfElement());
        {
            CPdfXRef x(t);
            x.open();
            std::string raw;
            EXPECT_EQ(x.getRawObjectText(5, raw), !c.raw5.empty());
            EXPECT_EQ(raw, c.raw5);
        }
        t->release();
        std::fclose(fq);
    }
    std::remove(path.c_str());
}

const TextCase kTextCases[] = {
    {"length_short", "<< /Length 3 >>\nstream\nabcdef\nendstream\nendobj\n",
     "5 0 obj\n<< /Length 6 >>\nstream\nabcdef\nendstream\nendobj\n", "abcdef"},
    {"length_long", "<< /Length 60 >>\nstream\nabcdef\nendstream\nendobj\n",
     "5 0 obj\n<< /Length 6 >>\nstream\nabcdef\nendstream\nendobj\n", "abcdef"},
    {"length_missing", "<< /Type /X >>\nstream\nabcdef\r\nendstream\nendobj\n",
     "5 0 obj\n<< /Length 6 /Type /X >>\nstream\nabcdef\nendstream\nendobj\n", "abcdef"},
    {"length_of_a_missing_object", "<< /Length 9 0 R >>\nstream\nabcdef\nendstream\nendobj\n",
     "5 0 obj\n<< /Length 6 >>\nstream\nabcdef\nendstream\nendobj\n", "abcdef"},
    {"endstream_missing", "<< /Length 6 >>\nstream\nabcdef\nendobj\n",
     "5 0 obj\n<< /Length 6 >>\nstream\nabcdef\nendstream\nendobj\n", "abcdef"},
    {"endstream_missing_and_length_wrong", "<< /Length 2 >>\nstream\nabcdef\nendobj\n",
     "5 0 obj\n<< /Length 6 >>\nstream\nabcdef\nendstream\nendobj\n", "abcdef"},
    {"endstream_and_endobj_missing", "<< /Length 2 >>\nstream\nabcdef\n",
     "5 0 obj\n<< /Length 6 >>\nstream\nabcdef\nendstream\nendobj\n", "abcdef"},
    {"endobj_missing", "(five)\n", "5 0 obj\n(five)\nendobj\n", "S:five"},
    {"endobj_missing_after_a_stream", "<< /Length 6 >>\nstream\nabcdef\nendstream\n",
     "5 0 obj\n<< /Length 6 >>\nstream\nabcdef\nendstream\nendobj\n", "abcdef"},
    {"no_value", "", "", "Null"},
    {"value_left_open", "<< /A [1 2\n", "", "Null"},
};

INSTANTIATE_TEST_SUITE_P(Objects, WholeText, ::testing::ValuesIn(kTextCases),
                         [](const ::testing::TestParamInfo<TextCase>& i) { return std::string(i.param.name); });

TEST(Repair, AStreamCutByTheEndOfTheFileRunsToIt) {
    const std::string body = kHead + kCatalog + "5 0 obj\n<< /Length 99 >>\nstream\nabc";
    Opened f(body, "cutstream.pdf");
    // No page tree: the file is refused, but the table found the stream.
    EXPECT_EQ(f.reason, CPdfReason::kDamaged);
    const std::string path =
        TestPdfBuilder::writeTemp(WithTable(body + "\n", kTrailer).substr(0, body.size()), "cutstream2.pdf");
    FILE* fp = std::fopen(path.c_str(), "rb");
    CPdfFileStream* s = new CPdfFileStream(fp, 0, 0, CPdfElement());
    {
        CPdfXRef x(s);
        EXPECT_THROW(x.open(), CPdfException);
        x.rebuild();
        CPdfElement o = x.fetch(5, 0);
        ASSERT_TRUE(o.isStream());
        EXPECT_EQ(pdftest::readAllBytes(o.getStream()), "abc");
    }
    s->release();
    std::fclose(fp);
    std::remove(path.c_str());
}

}  // namespace
