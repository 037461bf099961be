// Encrypted inputs through Process: what the writer puts into the output is encrypted
// with the key of the object it lands in (generation included), members of object
// streams get their own keys, and refusals name their reason.
#include <gtest/gtest.h>

#include <memory>

#include "links/CQuillmarkHandler.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfMemoryStream.h"
#include "tests/pdf/TestPdfBuilder.h"
#include "tests/writer/TestPdf.h"
#include "writer/OutputCrypt.h"

namespace {

using Cipher = CPdfSecurityHandler::Cipher;

// Encryption dictionaries written by qpdf for the empty user password (owner "owner")
// and the /ID they belong to: RC4 128 bits (revision 3) and AES-256 (revision 6, whose
// key does not depend on /P, so the tests change it).
const char* const kId = "<31415926535897932384626433832795>";
const char* const kRc4 =
    "<< /Filter /Standard /Length 128 /O <566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5> "
    "/P -4 /R 3 /U <e21cc3d13b0faa9934db7d20f11e333e0122456a91bae5134273a6db134c87c4> /V 2 >>";
const std::string kAes256Head =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 "
    "/O <ecf5f0f9fa584f69b403bf921a296a0e3a62f0b051214aed4d2d0417a25af140ea9e15f24a6edb155729edd710116a27> "
    "/OE <1d3962db1c6e2d636a96e29fc733f2d9195c3e13ae10fa17d1224832826d5c7e> /R 6 /StmF /StdCF /StrF /StdCF "
    "/U <0ca6c5e583f5d80d1bd1dc4324b45add6e9f56850b625d70efbedcfb54a175f8061ee882cd27b9a196945efa03ed3939> "
    "/UE <2f2d8c3777f1e42f28e0865b5029909fcc8c09351e314263ec29b147943d19e8> /V 5 /P ";

CPdfElement Parse(const std::string& text) {
    CPdfParser p(nullptr, new CPdfMemoryStream(text.data(), text.size(), CPdfElement()));
    return p.readObject();
}

std::string IdBytes() { return Parse(kId).getBytes(); }

// The handler a writer of the file would have used.
std::unique_ptr<CPdfSecurityHandler> Handler(const std::string& dict, CPdfElement& keep) {
    keep = Parse(dict);
    std::unique_ptr<CPdfSecurityHandler> h(new CPdfSecurityHandler(keep.getDictionary(), IdBytes()));
    EXPECT_TRUE(h->authenticate(""));
    return h;
}

std::string Str(const CPdfSecurityHandler& h, const std::string& s, int num, int gen) {
    return OutputCrypt::HexString(h.encryptString(s, num, gen));
}

std::string Stream(const CPdfSecurityHandler& h, const std::string& data, int num, int gen) {
    const std::string e = h.encryptData(data, h.streamCipher(), num, gen);
    return "<< /Length " + std::to_string(e.size()) + " >>\nstream\n" + e + "\nendstream";
}

// One page whose Annots holds an annotation of generation 1 and one written inline;
// object 7 is an object stream holding the annotation 8, whose action is object 9.
std::string EncryptedFile(const std::string& dict) {
    CPdfElement keep;
    std::unique_ptr<CPdfSecurityHandler> h = Handler(dict, keep);
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 300 300] >>");
    b.add(3,
          "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 4 0 R /Annots [5 1 R << /Subtype /Link "
          "/Rect [0 0 9 9] /A << /S /URI /URI " +
              Str(*h, "https://old.example/inline", 3, 0) + " >> >> 8 0 R] >>");
    b.add(4, Stream(*h, "BT /F1 12 Tf 20 20 Td (old text) Tj ET", 4, 0));
    b.add(5,
          "<< /Subtype /Link /Rect [10 10 50 50] /A << /S /URI /URI " + Str(*h, "https://old.example/gen", 5, 1) +
              " >> >>",
          1);
    b.add(6, dict);
    std::string header;
    const std::string members = TestPdfBuilder::objStm(
        {{8, "<< /Subtype /Link /Rect [60 60 90 90] /A 9 0 R /Contents (plain in the stream) >>"},
         {9, "<< /S /URI /URI (https://old.example/member) >>"}},
        &header);
    const std::string e = h->encryptData(members, h->streamCipher(), 7, 0);
    b.add(7, "<< /Type /ObjStm /N 2 /First " + std::to_string(header.size()) + " /Length " + std::to_string(e.size()) +
                 " >>\nstream\n" + e + "\nendstream");
    b.inObjStm(8, 7, 0);
    b.inObjStm(9, 7, 1);
    b.trailerExtra = std::string("/Encrypt 6 0 R /ID [") + kId + kId + "]";
    return b.buildWithXRefStream();
}

struct Opened {
    CPdfDocument doc;
    std::string error;
    explicit Opened(const std::string& path) {
        try {
            doc.open(path.c_str());
        } catch (const CPdfException& e) {
            error = e.getMessage();
        }
    }
    CPdfXRef* x() { return doc.getXRef(); }
    // The URI of the action of object num (its own A, or A held by reference).
    std::string Uri(int num, int gen) {
        CPdfElement a = x()->fetch(num, gen);
        if (!a.isDictionary()) return "<none>";
        CPdfElement action = a.getDictionary()->lookup("A");
        CPdfDictionary* d = action.isDictionary() ? action.getDictionary() : a.getDictionary();
        CPdfElement uri = d->lookup("URI");
        return uri.isString() ? uri.getBytes() : "<no uri>";
    }
};

std::string RunQm(const std::vector<std::string>& args, std::string* stdoutText = nullptr) {
    CQuillmarkHandler::fontNameSeedForTesting = 7;
    CQuillmarkHandler h;
    std::vector<std::string> all = {"quillmark"};
    all.insert(all.end(), args.begin(), args.end());
    testing::internal::CaptureStdout();
    std::string error = testpdf::Run(h, all);
    std::string text = testing::internal::GetCapturedStdout();
    if (stdoutText) *stdoutText = text;
    return error;
}

class EncryptedPipeline : public ::testing::TestWithParam<const char*> {};

std::string DictOf(const char* which) { return std::string(which) == "rc4" ? kRc4 : kAes256Head + "-4 >>"; }

TEST_P(EncryptedPipeline, ChangedTargetsAreEncryptedForTheObjectThatHoldsThem) {
    const std::string in = testpdf::TempPath("enc.pdf"), out = testpdf::TempPath("enc.out.pdf");
    testpdf::WriteFile(in, EncryptedFile(DictOf(GetParam())));
    ASSERT_EQ(RunQm({in, out, "-changepart", "-link", "old", "-newlink", "new"}), "");

    Opened o(out);
    ASSERT_EQ(o.error, "");
    ASSERT_NE(o.x()->getSecurityHandler(), nullptr);
    EXPECT_EQ(o.x()->getEncryptNum(), 6);
    // Generation 1 stays generation 1, and its string was encrypted with that key.
    EXPECT_EQ(o.x()->getEntry(5).gen, 1);
    EXPECT_EQ(o.Uri(5, 1), "https://new.example/gen");
    // The inline annotation's string lives in the page (object 3).
    CPdfElement page = o.x()->fetch(3, 0);
    CPdfElement annots = page.getDictionary()->lookup("Annots");
    CPdfElement inline1 = annots.getArray()->get(1);
    EXPECT_EQ(inline1.getDictionary()->lookup("A").getDictionary()->lookup("URI").getBytes(),
              "https://new.example/inline");
    // Members of the object stream are objects of their own now, with their own keys.
    EXPECT_EQ(o.x()->getEntry(8).kind, XRefKind::InFile);
    EXPECT_EQ(o.x()->getEntry(9).kind, XRefKind::InFile);
    EXPECT_EQ(o.Uri(9, 0), "https://new.example/member");
    EXPECT_EQ(o.x()->fetch(8, 0).getDictionary()->lookup("Contents").getBytes(), "plain in the stream");
    const std::string bytes = testpdf::ReadFile(out);
    EXPECT_EQ(bytes.find("plain in the stream"), std::string::npos);
    EXPECT_EQ(bytes.find("example"), std::string::npos) << "no string of the file is left in clear";
}

TEST_P(EncryptedPipeline, StampObjectsAreEncrypted) {
    const std::string in = testpdf::TempPath("stamp.pdf"), out = testpdf::TempPath("stamp.out.pdf");
    testpdf::WriteFile(in, EncryptedFile(DictOf(GetParam())));
    ASSERT_EQ(RunQm({in, out, "-text", "Stamped words", "-link", "https://stamp.example/"}), "");
    const std::string bytes = testpdf::ReadFile(out);
    EXPECT_EQ(bytes.find("Stamped"), std::string::npos);
    EXPECT_EQ(bytes.find("stamp.example"), std::string::npos);
    EXPECT_NE(bytes.find("/Encrypt 6 0 R"), std::string::npos);
    EXPECT_NE(bytes.find("/ID [<31415926535897932384626433832795> <31415926535897932384626433832795>]"),
              std::string::npos);

    Opened o(out);
    ASSERT_EQ(o.error, "");
    CPdfElement page = o.x()->fetch(3, 0);
    CPdfElement annots = page.getDictionary()->lookup("Annots");
    ASSERT_TRUE(annots.isArray());
    CPdfArray* a = annots.getArray();
    const CPdfElement& last = a->at(a->getLength() - 1);
    ASSERT_TRUE(last.isReference());
    EXPECT_EQ(o.Uri(last.getRefNum(), 0), "https://stamp.example/");
    // The new content stream decrypts to the stamp's text.
    CPdfElement contents = page.getDictionary()->lookup("Contents");
    ASSERT_TRUE(contents.isArray());
    CPdfElement stamp = contents.getArray()->get(contents.getArray()->getLength() - 1);
    ASSERT_TRUE(stamp.isStream());
    std::string data;
    for (int c; (c = stamp.getStream()->getChar()) >= 0;)
        data.push_back(static_cast<char>(c));
    EXPECT_NE(data.find("(Stamped words) Tj"), std::string::npos) << data;
}

// A page written directly in its parent's Kids: its strings were encrypted with the
// key of the Pages node that holds it. The output makes it an object of its own, so
// they must be put under that object's key; a string the run changes and one it
// leaves alone must both read right in the output.
std::string DirectPageFile(const std::string& dict) {
    CPdfElement keep;
    std::unique_ptr<CPdfSecurityHandler> h = Handler(dict, keep);
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.add(2,
          "<< /Type /Pages /Count 2 /MediaBox [0 0 300 300] /Kids [3 0 R << /Type /Page /Parent 2 0 R "
          "/Resources << >> /Contents 4 0 R /PieceInfo << /Q << /Private " +
              Str(*h, "kept as it was", 2, 0) +
              " >> >> /Annots [<< /Subtype /Link /Rect [0 0 9 9] /A << /S /URI /URI " +
              Str(*h, "https://old.example/direct", 2, 0) + " >> >>] >>] >>");
    b.add(3, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 4 0 R >>");
    b.add(4, Stream(*h, "BT /F1 12 Tf 20 20 Td (text) Tj ET", 4, 0));
    b.add(6, dict);
    b.trailerExtra = std::string("/Encrypt 6 0 R /ID [") + kId + kId + "]";
    return b.build();
}

TEST_P(EncryptedPipeline, APageMovedOutOfKidsTakesItsOwnKey) {
    const std::string in = testpdf::TempPath("direct.pdf"), report = testpdf::TempPath("direct.txt");
    testpdf::WriteFile(in, DirectPageFile(DictOf(GetParam())));
    // Read through the input: the link's target decrypts.
    ASSERT_EQ(RunQm({in, testpdf::TempPath("direct.none.pdf"), "-report", report}), "");
    EXPECT_NE(testpdf::ReadFile(report).find("https://old.example/direct"), std::string::npos)
        << testpdf::ReadFile(report);

    for (const bool change : {true, false}) {
        SCOPED_TRACE(change ? "changepart" : "stamp");
        const std::string out = testpdf::TempPath("direct.out.pdf");
        if (change)
            ASSERT_EQ(RunQm({in, out, "-changepart", "-link", "old", "-newlink", "new"}), "");
        else
            ASSERT_EQ(RunQm({in, out, "-text", "Stamped", "-link", "https://stamp.example/"}), "");
        Opened o(out);
        ASSERT_EQ(o.error, "");
        ASSERT_EQ(o.doc.getNumPages(), 2);
        const CPdfPage& page = o.doc.getPage(1);
        ASSERT_GT(page.getObjNum(), 6) << "an object of its own";
        CPdfElement dict = o.x()->fetch(page.getObjNum(), page.getObjGen());
        ASSERT_TRUE(dict.isDictionary());
        CPdfElement piece = dict.getDictionary()->lookup("PieceInfo");
        ASSERT_TRUE(piece.isDictionary());
        EXPECT_EQ(piece.getDictionary()->lookup("Q").getDictionary()->lookup("Private").getBytes(), "kept as it was");
        CPdfElement annots = dict.getDictionary()->lookup("Annots");
        ASSERT_TRUE(annots.isArray());
        CPdfElement first = annots.getArray()->get(0);
        CPdfDictionary* link = first.getDictionary();
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->lookup("A").getDictionary()->lookup("URI").getBytes(),
                  change ? "https://new.example/direct" : "https://old.example/direct");
    }
}

// A damaged file whose only trailer (the cross-reference stream's dictionary) has a
// Root that is no reference: the repair opens the encryption with that trailer and
// makes one for the catalog it finds. The output keeps /Encrypt and /ID, and so it
// reads back with the same key.
TEST_P(EncryptedPipeline, ARepairedFileKeepsTheKeyOfItsEncryption) {
    const std::string in = testpdf::TempPath("repaired-enc.pdf"), out = testpdf::TempPath("repaired-enc.out.pdf");
    std::string file = EncryptedFile(DictOf(GetParam()));
    file.replace(file.find("/Root 1 0 R"), 11, "/Root 1 0 Q");
    testpdf::WriteFile(in, file);
    std::string printed;
    ASSERT_EQ(RunQm({in, out, "-changepart", "-link", "old", "-newlink", "new"}, &printed), "");
    EXPECT_NE(printed.find("The file was damaged and has been repaired"), std::string::npos);
    Opened o(out);
    ASSERT_EQ(o.error, "");
    EXPECT_FALSE(o.x()->wasRepaired());
    EXPECT_EQ(o.Uri(5, 1), "https://new.example/gen");
    EXPECT_EQ(o.Uri(9, 0), "https://new.example/member");
}

INSTANTIATE_TEST_SUITE_P(Ciphers, EncryptedPipeline, ::testing::Values("rc4", "aes256"));

TEST(EncryptedPipelineRefusal, ReasonFollowsDocumentError) {
    struct Case {
        const char* name;
        std::string p;  // /P of the AES-256 dictionary
        std::vector<std::string> mode;
        const char* expected;
    } cases[] = {
        {"stamp_no_modify",
         "-12",
         {"-text", "T", "-link", "L"},
         "Document error\nThe file's permissions do not allow changing its content\n"},
        {"remove_no_annotations",
         "-36",
         {"-remove"},
         "Document error\nThe file's permissions do not allow changing its annotations\n"},
        {"stamp_neither",
         "-44",
         {"-text", "T", "-link", "L"},
         "Document error\nThe file's permissions do not allow changing its content and annotations\n"},
        {"create_allowed_without_modify", "-12", {"-create", "-text", "old", "-link", "L"}, ""},
        {"report_reads_anyway", "-44", {"-report", "REPORT"}, ""},
    };
    for (const Case& c : cases) {
        const std::string in = testpdf::TempPath(std::string(c.name) + ".pdf");
        const std::string out = testpdf::TempPath(std::string(c.name) + ".out.pdf");
        const std::string report = testpdf::TempPath(std::string(c.name) + ".txt");
        std::remove(out.c_str());
        testpdf::WriteFile(in, EncryptedFile(kAes256Head + c.p + " >>"));
        std::vector<std::string> args = {in, out};
        for (const std::string& m : c.mode)
            args.push_back(m == "REPORT" ? report : m);
        EXPECT_EQ(RunQm(args), c.expected) << c.name;
        if (*c.expected) {
            EXPECT_FALSE(testpdf::FileExists(out)) << c.name;
        }
    }
    // A user password: refused before anything else is read.
    const std::string in = testpdf::TempPath("password.pdf");
    std::string file = EncryptedFile(kRc4);
    file.replace(file.find("/U <e21c"), 8, "/U <f21c");  // no longer the empty password's
    testpdf::WriteFile(in, file);
    std::string printed;
    EXPECT_EQ(RunQm({in, testpdf::TempPath("password.out.pdf"), "-report", testpdf::TempPath("p.txt")}, &printed),
              "Document error\nThe file is encrypted and needs a password to open\n");
}

}  // namespace
