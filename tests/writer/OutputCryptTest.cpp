#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "stream/CPdfMemoryStream.h"
#include "writer/OutputCrypt.h"

namespace {

CPdfElement parse(const std::string& text) {
    CPdfParser p(nullptr, new CPdfMemoryStream(text.data(), text.size(), CPdfElement()));
    return p.readObject();
}

// Every string as "[bytes]", so a test sees exactly what the rewriter handed over.
std::string Bracketed(std::string text, size_t from = 0, size_t to = std::string::npos) {
    OutputCrypt::RewriteStrings(text, from, to, [](const std::string& s) { return "[" + s + "]"; });
    return text;
}

TEST(OutputCrypt, RewriteStringsFindsEveryStringToken) {
    struct Case {
        const char* name;
        std::string in, out;
    } cases[] = {
        {"literal_and_hex", "<< /A (x y) /B <41 42> >>", "<< /A [x y] /B [AB] >>"},
        {"escapes_decoded", "(a\\)b\\053\\n)", "[a)b+\n]"},
        {"nested_parentheses", "[(a(b)c) (d)]", "[[a(b)c] [d]]"},
        {"name_then_string", "/N(x)/M<43>", "/N[x]/M[C]"},
        {"dictionary_brackets_are_not_strings", "<</A<</B(z)>>>>", "<</A<</B[z]>>>>"},
        {"comment_skipped", "% (not) <this>\n(yes)", "% (not) <this>\n[yes]"},
        {"stops_at_stream_data", "<< /L (a) >>\nstream\n(b)\nendstream", "<< /L [a] >>\nstream\n(b)\nendstream"},
        {"name_called_stream_goes_on", "/stream (a)", "/stream [a]"},
        {"endstream_goes_on", "endstream (a)", "endstream [a]"},
        {"unterminated_literal_left", "(a) (bc", "[a] (bc"},
        {"unterminated_hex_left", "(a) <4142", "[a] <4142"},
        {"binary_bytes", std::string("(\x01\xff\x00)", 5), std::string("[\x01\xff\x00]", 5)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Bracketed(c.in), c.out) << c.name;

    // Only the range given is touched, and the new end of the range is returned.
    std::string t = "(a) (b) (c)";
    size_t end = OutputCrypt::RewriteStrings(t, 4, 7, [](const std::string& s) { return "<<" + s + s + ">>"; });
    EXPECT_EQ(t, "(a) <<bb>> (c)");
    EXPECT_EQ(end, 10u);
}

TEST(OutputCrypt, HexStringHoldsAnyByte) {
    EXPECT_EQ(OutputCrypt::HexString(""), "<>");
    EXPECT_EQ(OutputCrypt::HexString(std::string("\x00\x7f\xff)", 4)), "<007fff29>");
}

// Handlers opened with the empty password: RC4 (revision 3) and AES-256 (revision 6).
struct HandlerCase {
    const char* name;
    const char* dict;
};
const HandlerCase kHandlers[] = {
    {"rc4_128",
     "<< /Filter /Standard /Length 128 /O <566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5> "
     "/P -4 /R 3 /U <e21cc3d13b0faa9934db7d20f11e333e0122456a91bae5134273a6db134c87c4> /V 2 >>"},
    {"aes_256",
     "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 "
     "/O <ecf5f0f9fa584f69b403bf921a296a0e3a62f0b051214aed4d2d0417a25af140ea9e15f24a6edb155729edd710116a27> "
     "/OE <1d3962db1c6e2d636a96e29fc733f2d9195c3e13ae10fa17d1224832826d5c7e> /P -4 /R 6 /StmF /StdCF "
     "/StrF /StdCF /U "
     "<0ca6c5e583f5d80d1bd1dc4324b45add6e9f56850b625d70efbedcfb54a175f8061ee882cd27b9a196945efa03ed3939> "
     "/UE <2f2d8c3777f1e42f28e0865b5029909fcc8c09351e314263ec29b147943d19e8> /V 5 >>"},
};

std::string Id() {
    std::string id;
    const char* h = "31415926535897932384626433832795";
    for (int i = 0; i < 32; i += 2)
        id.push_back(static_cast<char>(std::strtol(std::string(h + i, 2).c_str(), nullptr, 16)));
    return id;
}

class NewObjects : public ::testing::TestWithParam<HandlerCase> {
protected:
    void SetUp() override {
        dict_ = parse(GetParam().dict);
        h_.reset(new CPdfSecurityHandler(dict_.getDictionary(), Id()));
        ASSERT_TRUE(h_->authenticate(""));
    }
    CPdfElement dict_;
    std::unique_ptr<CPdfSecurityHandler> h_;
};

TEST_P(NewObjects, StreamAndStringsEncryptedWithLengthSet) {
    const std::string data = "\nBT\n/F1 11 Tf\n(Visit) Tj\nET\n";
    const std::string body =
        " 0 obj\n<<\n/Length " + std::to_string(data.size()) + " \n>>\nstream\n" + data + "\nendstream\nendobj\n";
    const std::string enc = OutputCrypt::EncryptNewObject(*h_, body, 23);
    EXPECT_EQ(enc.find("Visit"), std::string::npos);
    // Parsed back: the Length is the length of the encrypted data, which decrypts to the data.
    const size_t open = enc.find("<<");
    const size_t stream = enc.find("stream\n");
    ASSERT_NE(stream, std::string::npos);
    CPdfElement d = parse(enc.substr(open, stream - open));
    ASSERT_TRUE(d.isDictionary());
    const int32_t len = d.getDictionary()->lookup("Length").getInteger();
    const std::string cipherText = enc.substr(stream + 7, static_cast<size_t>(len));
    EXPECT_EQ(enc.compare(stream + 7 + static_cast<size_t>(len), 18, "\nendstream\nendobj\n"), 0);
    EXPECT_EQ(h_->decryptData(cipherText, h_->streamCipher(), 23, 0), data);

    const std::string annot =
        " 0 obj\n<<\n/A<</URI(https://e.example/\\(x\\))/S/URI>>\n/F <</F(notes.txt)>> >>\nendobj\n";
    const std::string a = OutputCrypt::EncryptNewObject(*h_, annot, 24);
    CPdfElement ad = parse(a.substr(a.find("<<")));
    ASSERT_TRUE(ad.isDictionary());
    const std::string uri = ad.getDictionary()->lookup("A").getDictionary()->lookup("URI").getBytes();
    EXPECT_EQ(h_->decryptString(uri, 24, 0), "https://e.example/(x)");
    const std::string file = ad.getDictionary()->lookup("F").getDictionary()->lookup("F").getBytes();
    EXPECT_EQ(h_->decryptString(file, 24, 0), "notes.txt");
    EXPECT_EQ(a.compare(a.size() - 7, 7, "endobj\n"), 0);
}

TEST_P(NewObjects, DecryptThenEncryptMovesStringsBetweenObjects) {
    // A piece of object 7's text put into object 9: its strings follow the new key.
    std::string piece = "<< /T " + OutputCrypt::HexString(h_->encryptString("title", 7, 0)) + " >>";
    size_t end = OutputCrypt::DecryptStrings(*h_, piece, 0, piece.size(), 7, 0);
    EXPECT_EQ(piece, "<< /T " + OutputCrypt::HexString("title") + " >>");
    EXPECT_EQ(end, piece.size());
    OutputCrypt::EncryptStrings(*h_, piece, 0, piece.size(), 9, 0);
    CPdfElement d = parse(piece);
    EXPECT_EQ(h_->decryptString(d.getDictionary()->lookup("T").getBytes(), 9, 0), "title");
}

INSTANTIATE_TEST_SUITE_P(Handlers, NewObjects, ::testing::ValuesIn(kHandlers),
                         [](const ::testing::TestParamInfo<HandlerCase>& i) { return std::string(i.param.name); });

TEST(OutputCrypt, SerializeWritesDirectValuesBack) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"[<0102> (a)]", "[<0102> <61>]"},
        {"<< /V 2 /R 3 /Length 128 /P -1084 >>", "<</Length 128 /P -1084 /R 3 /V 2>>"},
        {"<< /CF << /StdCF << /CFM /AESV2 /AuthEvent /DocOpen >> >> /EncryptMetadata false >>",
         "<</CF <</StdCF <</AuthEvent /DocOpen /CFM /AESV2>>>> /EncryptMetadata false>>"},
        {"[/A#20B 1 0 R null true 0.5]", "[/A#20B 1 0 R null true 0.500000]"},
    };
    for (const Case& c : cases) {
        CPdfElement v = parse(c.in);
        EXPECT_EQ(OutputCrypt::Serialize(v), c.out) << c.in;
        // What is written reads back as the same value.
        EXPECT_EQ(OutputCrypt::Serialize(parse(OutputCrypt::Serialize(v))), c.out) << c.in;
    }
}

}  // namespace
