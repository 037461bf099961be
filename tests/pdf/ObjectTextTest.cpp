// The raw text of every object is found whole, where the parser finds the object: its
// end when keywords sit in strings, comments, names or stream dictionaries; its header
// when a comment splits it or the entry is a few bytes off; members of object streams
// whatever the order they are asked for in and whatever their header declares.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <zlib.h>

#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "tests/pdf/PdfTestUtil.h"
#include "tests/pdf/TestPdfBuilder.h"

using pdftest::describe;

namespace {

struct TableFile {
    std::string path;
    FILE* f = nullptr;
    CPdfFileStream* s = nullptr;
    std::unique_ptr<CPdfXRef> x;

    TableFile(const std::string& data, const std::string& name) {
        path = TestPdfBuilder::writeTemp(data, name);
        f = std::fopen(path.c_str(), "rb");
        s = new CPdfFileStream(f, 0, 0, CPdfElement());
        x.reset(new CPdfXRef(s));
        x->open();
    }
    ~TableFile() {
        x.reset();
        s->release();
        std::fclose(f);
        std::remove(path.c_str());
    }
    std::string raw(int num) {
        std::string out;
        return x->getRawObjectText(num, out) ? out : "<none>";
    }
};

// A file of whole object texts as given ("N G obj ... endobj\n"), each entry at the
// offset given by shift[i] bytes off the object's true position.
std::string FileOf(const std::vector<std::pair<int, std::string>>& objects, const std::vector<long>& shift = {}) {
    std::string s = "%PDF-1.4\n";
    std::vector<long> offs(objects.size());
    int size = 0;
    for (size_t i = 0; i < objects.size(); ++i) {
        offs[i] = static_cast<long>(s.size()) + (i < shift.size() ? shift[i] : 0);
        s += objects[i].second;
        size = std::max(size, objects[i].first + 1);
    }
    const size_t xref = s.size();
    s += "xref\n0 " + std::to_string(size) + "\n";
    for (int n = 0; n < size; ++n) {
        char line[32];
        std::snprintf(line, sizeof line, "0000000000 %05d f \n", n == 0 ? 65535 : 0);
        for (size_t i = 0; i < objects.size(); ++i)
            if (objects[i].first == n) std::snprintf(line, sizeof line, "%010ld 00000 n \n", offs[i]);
        s += line;
    }
    s += "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) +
         "\n%%EOF\n";
    return s;
}

const char* kCatalogText = "1 0 obj\n<< /Type /Catalog >>\nendobj\n";

}  // namespace

// Objects whose bytes hold "endobj" or "stream" where the lexer does not read those
// keywords: the raw text runs to the object's real end, as the parser reads it, and
// the object after it is untouched.
TEST(ObjectText, EndsWhereTheParserEnds) {
    struct Case {
        const char* name;
        std::string body;    // between "2 0 obj\n" and "\nendobj\n"
        std::string parsed;  // fetch of object 2, described ("" for a stream)
    };
    const std::vector<Case> cases = {
        {"string", "(a string holding endobj)", "S:a string holding endobj"},
        {"string in a dictionary", "<< /T (endobj) /U 1 >>", "{T:S:endobj U:I:1}"},
        {"nested and escaped parentheses", "[(a (endobj) b) (c \\) endobj) 7]", "[S:a (endobj) b S:c ) endobj I:7]"},
        {"comment", "[1 % endobj\n 2]", "[I:1 I:2]"},
        {"name", "<< /endobj /Xendobj >>", "{endobj:N:Xendobj}"},
        {"name escape taking a space", "<< /A#4 endobj 1 >>", "{A@endobj:I:1}"},
        {"hexadecimal string", "[<endobj> 1]", "[S:\\xE0\\xD0\\xB0 I:1]"},
        {"longer keyword", "[1] endobjx", "[I:1]"},
        {"stream keyword inside a name", "<< /Upstream 1 >>", "{Upstream:I:1}"},
        {"stream dictionary holding endobj", "<< /Length 4 /T (endobj) >>\nstream\nabcd\nendstream", ""},
        {"stream dictionary holding a comment", "<< /Length 4 % stream endobj\n>>\nstream\nabcd\nendstream", ""},
        {"stream data holding endstream and endobj", "<< /Length 21 >>\nstream\nxx endstream endobj y\nendstream", ""},
        {"stream with a comment after its data", "<< /Length 4 >>\nstream\nabcd % endobj\nendstream", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text2 = "2 0 obj\n" + c.body + "\nendobj\n";
        const std::string text3 = "3 0 obj\n(after)\nendobj\n";
        TableFile f(FileOf({{1, kCatalogText}, {2, text2}, {3, text3}}), "end.pdf");
        EXPECT_EQ(f.raw(2), text2);
        EXPECT_EQ(f.raw(3), text3);
        int64_t pos = 0;
        size_t len = 0;
        bool isStream = false;
        ASSERT_TRUE(f.x->getRawObjectSpan(2, pos, len, &isStream));
        EXPECT_EQ(len, text2.size());
        EXPECT_EQ(isStream, c.parsed.empty());
        CPdfElement obj = f.x->fetch(2, 0);
        if (c.parsed.empty())
            EXPECT_TRUE(obj.isStream());
        else
            EXPECT_EQ(describe(obj), c.parsed);
    }
}

TEST(ObjectText, KeywordsDirectlyAfterOtherTokens) {
    // "5endobj" is the number 5 and the keyword; ">>endobj" and ")endobj" end too.
    const std::vector<std::string> texts = {"2 0 obj 5endobj\n", "2 0 obj<</A 1>>endobj\n", "2 0 obj(x)endobj\n",
                                            "2 0 obj\n<< /Length 1 >>stream\nx\nendstream endobj\n"};
    for (const std::string& t : texts) {
        SCOPED_TRACE(t);
        TableFile f(FileOf({{1, kCatalogText}, {2, t}, {3, "3 0 obj (z) endobj\n"}}), "adjacent.pdf");
        EXPECT_EQ(f.raw(2), t);
        EXPECT_EQ(f.raw(3), "3 0 obj (z) endobj\n");
    }
}

TEST(ObjectText, AWrongLengthEndsTheDataAtEndstream) {
    // The Length is short and the data holds "endobj": the data runs to "endstream",
    // and the object's text gets the Length of that data, as the parser reads it.
    const std::string text2 = "2 0 obj\n<< /Length 3 >>\nstream\nab endobj cd\nendstream\nendobj\n";
    TableFile f(FileOf({{1, kCatalogText}, {2, text2}, {3, "3 0 obj (z) endobj\n"}}), "badlength.pdf");
    EXPECT_EQ(f.raw(2), "2 0 obj\n<< /Length 12 >>\nstream\nab endobj cd\nendstream\nendobj\n");
    CPdfElement s2 = f.x->fetch(2, 0);
    ASSERT_TRUE(s2.isStream());
    EXPECT_EQ(pdftest::readAllBytes(s2.getStream()), "ab endobj cd");
    EXPECT_EQ(f.raw(3), "3 0 obj (z) endobj\n");
}

TEST(ObjectText, WithoutAnEndThereIsNoText) {
    // The only "endobj" sits in a string that runs to the end of the file.
    const std::string s = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
    TableFile f(FileOf({{1, kCatalogText}, {2, "2 0 obj\n(never closed endobj\n"}}), "noend.pdf");
    EXPECT_EQ(f.raw(2), "<none>");
    EXPECT_EQ(f.raw(1), kCatalogText);
}

// A value whose closing is garbled: where a later object's closing ends it, past the
// next object's header, there is no whole object 2; where its "endobj" follows, that
// ends it. Object 3 stays itself; fetch gives what the output writes.
TEST(ObjectText, AValueRunningPastItsEndIsWhatItsTextHolds) {
    struct Case {
        std::string text2, text3, fetched, raw;
    };
    const std::vector<Case> cases = {
        {"2 0 obj\n<< /Type /Page >\xC2\xAF"
         "endobj\n",
         "3 0 obj\n<< /A 1 >>\nendobj\n", "Null", "<none>"},
        {"2 0 obj\n[1 2 ,endobj\n", "3 0 obj\n(x) ]\nendobj\n", "Null", "<none>"},
        {"2 0 obj\n<< /Type /Page /A x\nendobj\n", "3 0 obj\n<< /B 2 >>\nendobj\n", "{A:C:x Type:N:Page}", ""},
        {"2 0 obj\n[1 2\nendobj\n", "3 0 obj\n[3]]\nendobj\n", "[I:1 I:2]", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text2);
        TableFile f(FileOf({{1, kCatalogText}, {2, c.text2}, {3, c.text3}}), "runon.pdf");
        EXPECT_EQ(describe(f.x->fetch(2, 0)), c.fetched);
        EXPECT_EQ(f.raw(2), c.raw.empty() ? c.text2 : c.raw);
        EXPECT_EQ(f.raw(3), c.text3);
    }
}

// Object headers as the parser accepts them, and entries a few bytes off their header.
TEST(ObjectText, HeadersAreFoundAsTheParserFindsThem) {
    struct Case {
        const char* name;
        std::string text;  // object 2
        long shift;        // how far entry 2 is off
        bool found;
    };
    const std::string two = "2 0 obj\n(two)\nendobj\n";
    const std::vector<Case> cases = {
        {"comment between number and generation", "2 % note\n0 obj\n(two)\nendobj\n", 0, true},
        {"comment between generation and obj", "2 0 % a comment\r\nobj\n(two)\nendobj\n", 0, true},
        {"comment before the header", "% lead\n2 0 obj\n(two)\nendobj\n", 0, true},
        {"entry a few bytes early", two, -5, true},
        {"entry a few bytes late", two, 3, true},
        {"entry inside the object", two, 9, true},
        {"entry far off", "2 0 obj\n(two)\nendobj\n" + std::string(2000, ' '), 1500, true},
        {"another generation near by", "2 1 obj\n(two)\nendobj\n", 2, false},
        {"obj running on", "2 0 objx\n(two)\nendobj\n", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A padding object keeps "far off" far from anything; for a shift beyond the
        // object, the entry lands in the padding.
        const std::string pad = "4 0 obj\n(" + std::string(2000, 'p') + ")\nendobj\n";
        TableFile f(
            FileOf({{1, kCatalogText}, {2, c.text}, {4, pad}, {3, "3 0 obj\n(three)\nendobj\n"}}, {0, c.shift, 0, 0}),
            "header.pdf");
        if (c.found) {
            const size_t at = c.text.find("2 ");
            EXPECT_EQ(f.raw(2), c.text.substr(at, c.text.find("endobj") + 7 - at));
            EXPECT_EQ(describe(f.x->fetch(2, 0)), "S:two");
        } else {
            EXPECT_EQ(f.raw(2), "<none>");
            EXPECT_EQ(describe(f.x->fetch(2, 0)), "Null");
            EXPECT_EQ(f.raw(2), "<none>");  // asked again: still none
        }
        EXPECT_EQ(f.raw(3), "3 0 obj\n(three)\nendobj\n");
    }
}

TEST(ObjectText, AnEntryOffPrefersTheNearestHeader) {
    // An incremental update's object 2 lies a few bytes before where its entry points;
    // the older object 2 lies further back. The nearer one is the entry's object.
    const std::string old2 = "2 0 obj\n(old)\nendobj\n";
    const std::string new2 = "2 0 obj\n(new)\nendobj\n";
    std::string s = "%PDF-1.4\n" + std::string(kCatalogText) + old2;
    const long at = static_cast<long>(s.size());
    s += new2;
    const size_t xref = s.size();
    char line[64];
    std::snprintf(line, sizeof line, "%010ld 00000 n \n", at + 4);
    s += "xref\n0 3\n0000000000 65535 f \n0000000009 00000 n \n" + std::string(line) +
         "trailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    TableFile f(s, "nearest.pdf");
    EXPECT_EQ(describe(f.x->fetch(2, 0)), "S:new");
    EXPECT_EQ(f.raw(2), new2);
}

namespace {

std::string Deflate(const std::string& data) {
    uLongf n = compressBound(static_cast<uLong>(data.size()));
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), 9);
    out.resize(n);
    return out;
}

}  // namespace

TEST(ObjectText, MembersOfManyLargeObjectStreamsUsedInTurn) {
    // Six object streams of about 2.5 MB each (their members padded with white space),
    // members numbered so that each next one sits in the next stream: a reader that
    // keeps too few decoded streams decodes one on every request, and one that counts
    // such decoding again against its limit on decoded bytes loses the later members.
    const int streams = 6, perStream = 80;
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog >>");
    const std::string pad(30000, ' ');
    for (int s = 0; s < streams; ++s) {
        std::vector<std::pair<int, std::string>> members;
        for (int k = 0; k < perStream; ++k)
            members.push_back({100 + k * streams + s, "(m" + std::to_string(k * streams + s) + ")" + pad});
        std::string head;
        const std::string body = TestPdfBuilder::objStm(members, &head);
        b.addStream(2 + s,
                    "/Type /ObjStm /N " + std::to_string(perStream) + " /First " + std::to_string(head.size()) +
                        " /Filter /FlateDecode",
                    Deflate(body));
        for (int k = 0; k < perStream; ++k)
            b.inObjStm(100 + k * streams + s, 2 + s, k);
    }
    TableFile f(b.buildWithXRefStream(99), "manyobjstm.pdf");
    for (int round = 0; round < 3; ++round) {
        for (int m = 0; m < streams * perStream; ++m) {
            const std::string want = "(m" + std::to_string(m) + ")";
            const std::string raw = f.raw(100 + m);
            ASSERT_EQ(raw.compare(0, raw.find('\r') + 1 + want.size(), std::to_string(100 + m) + " 0 obj\r" + want), 0)
                << "member " << m << " round " << round;
            ASSERT_EQ(describe(f.x->fetch(100 + m, 0)), "S:m" + std::to_string(m));
        }
    }
}

TEST(ObjectText, ObjectStreamHeadersAreReadAsFarAsTheEntriesNeed) {
    struct Case {
        const char* dict;
        std::string body;
        std::string member3;  // fetch of object 3 (index 0)
    };
    const std::vector<Case> cases = {
        // Millions of members declared, two pairs written: the first member is there.
        {"/N 100000000 /First 8", "3 0 4 4 (a) (b)", "S:a"},
        // Pairs after the ones the entries name are not read.
        {"/N 3 /First 12", "3 0 4 4 /x 9 (a) (b)", "S:a"},
        // The pair after the last member named must be sound: it ends that member.
        {"/N 2 /First 8", "3 0 /x 9 (a) (b)", "Null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dict + std::string(" ") + c.body);
        TestPdfBuilder b;
        b.add(1, "<< /Type /Catalog >>");
        b.addStream(2, std::string("/Type /ObjStm ") + c.dict, c.body);
        b.inObjStm(3, 2, 0);
        TableFile f(b.buildWithXRefStream(5), "objstmhead.pdf");
        EXPECT_EQ(describe(f.x->fetch(3, 0)), c.member3);
        EXPECT_EQ(f.raw(3) == "<none>", c.member3 == "Null");
    }
}
