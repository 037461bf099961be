#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "stream/CPdfMemoryStream.h"
#include "tests/pdf/TestPdfBuilder.h"

namespace {

using Cipher = CPdfSecurityHandler::Cipher;

std::string unhex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return out;
}

std::string hex(const std::string& s) {
    static const char d[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out.push_back(d[c >> 4]);
        out.push_back(d[c & 15]);
    }
    return out;
}

CPdfElement parse(const std::string& text) {
    CPdfParser p(nullptr, new CPdfMemoryStream(text.data(), text.size(), CPdfElement()));
    return p.readObject();
}

std::string readAll(CPdfStream* s) {
    std::string out;
    unsigned char buf[7];  // small reads cross the cipher's blocks at odd places
    size_t n;
    while ((n = s->readBlock(buf, sizeof buf)) > 0)
        out.append(reinterpret_cast<const char*>(buf), n);
    return out;
}

const char* const kId = "31415926535897932384626433832795";
const char* const kPlainString = "https://example.com/a(b)c";
const char* const kPlainStream = "BT /F1 12 Tf 72 720 Td (Hello stream) Tj ET";

// A one-page file encrypted by qpdf (static /ID and AES vectors) with the user
// password "user" and the owner password "owner": its encryption dictionary, the
// file key qpdf shows, and the bytes qpdf wrote for the URI string of object 4 and
// the content stream of object 5 (kPlainString and kPlainStream before encryption).
struct QpdfCase {
    const char* name;
    const char* dict;
    const char* key;
    const char* string4;
    const char* stream5;
};

const QpdfCase kQpdf[] = {
    {"rc4_40_r2",
     "<< /Filter /Standard /Length 40 /O <94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f> /P -4 "
     "/R 2 /U <2aa12f26bcf1a217c0f1ee491745f646671475ae85bddf3e3c1a45a8457391cb> /V 1 >>",
     "ee4fd3a223", "00b50a38a8012c4f64a3ec1915c578541bf3bbdb925740a04f",
     "0c094c8bc76c6b44cdb95b4d33bf1f2f913f94f75e034226f025799c215c587d882618271bf193e954a906"},
    {"rc4_128_r3",
     "<< /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> "
     "/P -4 /R 3 /U <763f954d16622015ee88b60b3eb8f7590122456a91bae5134273a6db134c87c4> /V 2 >>",
     "55831911f0f2b9a08ac3cbcc766166db", "d28096a3d73171df12865074f7a7745960e5422eee98c32a1b",
     "ec55ee87d55ab9f2419271bf30de26104c69d1ffb0fb09b075e106517cda60063aee98fa1cd29696ce9682"},
    {"rc4_128_crypt_filters_r4",
     "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /V2 /Length 16 >> >> /Filter /Standard /Length 128 "
     "/O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 /StmF /StdCF /StrF "
     "/StdCF /U <763f954d16622015ee88b60b3eb8f7590122456a91bae5134273a6db134c87c4> /V 4 >>",
     "55831911f0f2b9a08ac3cbcc766166db", "d28096a3d73171df12865074f7a7745960e5422eee98c32a1b",
     "ec55ee87d55ab9f2419271bf30de26104c69d1ffb0fb09b075e106517cda60063aee98fa1cd29696ce9682"},
    {"aes_128_clear_metadata_r4",
     "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /EncryptMetadata false /Filter "
     "/Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 "
     "/StmF /StdCF /StrF /StdCF /U <fb8f3661d99bba02de37f0c770ae4d2a0122456a91bae5134273a6db134c87c4> /V 4 >>",
     "ca7f4da6a3bdc51a30f25e233d3cb9fc",
     "0e1c2a38465462707e8c9aa8b6c4d2e0e539035ebf328aab673a746d431fd628b984acf8ad9d87ee40a0958cbe297aba",
     "0e1c2a38465462707e8c9aa8b6c4d2e00c509830c2b963d1596f49b8fa698c76cc8b4d9e9b614c8c9b32ee48ec9ea7e5364d8c"
     "01c5be4e6ec5ee3ff63a8258d7"},
    {"aes_256_r5",
     "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 "
     "/O <065f403f7f497ad407c6646241643498ab354b7e79d7b03d5e10716b529a6892c4045c5f7225774a304647c1938805a6> "
     "/OE <aea5c0238ade4ad57ea5893acc5a634c85d5f4c879179143ff223d3d695ecc48> /P -4 /R 5 /StmF /StdCF /StrF "
     "/StdCF /U <41347e522bd08ae3ef12fe6a6da4f923f9c61bcb3d3ea4ad371fd873fa1218e3682cb07a2d12cfb80fdc8228830aa41f> "
     "/UE <67483fb6105cf3093dfd2e22cc70a542882d7f2a1a7ebf3d37402bba178ee8c0> /V 5 >>",
     "76a250f98b1cd8bbf56ae36a4f35e83fcccf0690b6a67cfe11253e1f54562987",
     "0e1c2a38465462707e8c9aa8b6c4d2e08939248353ec71493f27e51aba367fee8d9c14e98d0323239c037f7e7916050a",
     "0e1c2a38465462707e8c9aa8b6c4d2e0a8f48190af8343ec34ed8533f2390007551fa6701e6047e03be1ab07230484a9b73054eb"
     "a9829ad6293c1a6667af406c"},
    {"aes_256_r6",
     "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 "
     "/O <d4259a35dc9b34baf65bc8e79b8c4f12914d2335040cce993222e92a7fb12114d7cfe40f5fc5cc0f4c200a138d90197d> "
     "/OE <359ce4f0b1d149df9c243b58a5e9b5ad162138cbc4783e5d224c3e6c694f56cd> /P -4 /R 6 /StmF /StdCF /StrF "
     "/StdCF /U <6612b1305f1f3362fc2214e75bdbf44a77b17a7dc6a3f4e08ebb8a7cf662ee1f0c2f8f950d30c48535425e376496e286> "
     "/UE <91bc9a372cf1e5a3848c7ef156ff539454e7696228067803b8688e8a42710952> /V 5 >>",
     "45cb141f0735820dac840cd5131388b9ea97f21ebbf5c71b8a672d3c104b0f73",
     "0e1c2a38465462707e8c9aa8b6c4d2e0c94488a5dee9198d75f2fc4a0dc8f9792588e77c97b0e901f9ff6970a1019e36",
     "0e1c2a38465462707e8c9aa8b6c4d2e0bb2152a532bc0d6dc0b550d59dbd807d388835528a071c55e139fa30e4657d70af4de705"
     "2719392e1bd5807b371b8505"},
};

class QpdfEncrypted : public ::testing::TestWithParam<QpdfCase> {
protected:
    void SetUp() override {
        dict_ = parse(GetParam().dict);
        ASSERT_TRUE(dict_.isDictionary());
        h_.reset(new CPdfSecurityHandler(dict_.getDictionary(), unhex(kId)));
    }
    CPdfElement dict_;
    std::unique_ptr<CPdfSecurityHandler> h_;
};

TEST_P(QpdfEncrypted, PasswordsGiveTheFileKeyQpdfShows) {
    const QpdfCase& c = GetParam();
    EXPECT_FALSE(h_->authenticate("")) << "the user password is not empty";
    EXPECT_FALSE(h_->authenticate("wrong"));
    EXPECT_FALSE(h_->allows(0)) << "nothing is allowed before a password fits";
    ASSERT_TRUE(h_->authenticate("user"));
    EXPECT_FALSE(h_->ownerAccess());
    EXPECT_EQ(hex(h_->fileKey()), c.key);
    ASSERT_TRUE(h_->authenticate("owner"));
    EXPECT_TRUE(h_->ownerAccess());
    EXPECT_EQ(hex(h_->fileKey()), c.key);
}

TEST_P(QpdfEncrypted, DecryptsWhatQpdfEncrypted) {
    const QpdfCase& c = GetParam();
    ASSERT_TRUE(h_->authenticate("user"));
    EXPECT_EQ(h_->decryptString(unhex(c.string4), 4, 0), kPlainString);
    // Below AES-256 each object has its own key: under another number the same bytes
    // are another cipher text.
    if (h_->getVersion() < 5) {
        EXPECT_NE(h_->decryptString(unhex(c.string4), 5, 0), kPlainString);
    }

    CPdfElement streamDict = parse("<< /Length 99 >>");
    const Cipher cipher = h_->cipherForStream(streamDict.getDictionary());
    EXPECT_EQ(h_->decryptData(unhex(c.stream5), cipher, 5, 0), kPlainStream);
    const std::string raw = unhex(c.stream5);
    CPdfStream* s = h_->decryptStream(new CPdfMemoryStream(raw.data(), raw.size(), CPdfElement()), cipher, 5, 0);
    EXPECT_EQ(readAll(s), kPlainStream);
    s->release();
}

TEST_P(QpdfEncrypted, WhatItEncryptsDecryptsAgain) {
    const QpdfCase& c = GetParam();
    ASSERT_TRUE(h_->authenticate("user"));
    const std::string texts[] = {"", "a", std::string(15, 'x'), std::string(16, 'y'), std::string("\0\xff()\\", 5)};
    for (const std::string& t : texts) {
        const std::string e = h_->encryptString(t, 4, 0);
        EXPECT_EQ(h_->decryptString(e, 4, 0), t);
        EXPECT_EQ(h_->encryptString(t, 4, 0), e) << "the same run gives the same bytes";
        if (h_->stringCipher() == Cipher::RC4) {
            EXPECT_EQ(e.size(), t.size());
        } else {
            EXPECT_EQ(e.size(), 16 + (t.size() / 16 + 1) * 16) << "vector and padded blocks";
        }
    }
    // RC4 has no vector: the bytes are those qpdf wrote.
    if (h_->stringCipher() == Cipher::RC4) {
        EXPECT_EQ(hex(h_->encryptString(kPlainString, 4, 0)), c.string4);
    }
    const std::string data(5000, 'z');
    const Cipher cipher = h_->streamCipher();
    const std::string e = h_->encryptData(data, cipher, 9, 2);
    CPdfStream* s = h_->decryptStream(new CPdfMemoryStream(e.data(), e.size(), CPdfElement()), cipher, 9, 2);
    EXPECT_EQ(readAll(s), data);
    s->release();
}

INSTANTIATE_TEST_SUITE_P(Handlers, QpdfEncrypted, ::testing::ValuesIn(kQpdf),
                         [](const ::testing::TestParamInfo<QpdfCase>& i) { return std::string(i.param.name); });

// Encryption dictionaries of qpdf with an empty user password (owner "owner").
const char* const kEmptyR3 =
    "<< /Filter /Standard /Length 128 /O <566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5> "
    "/P -4 /R 3 /U <e21cc3d13b0faa9934db7d20f11e333e0122456a91bae5134273a6db134c87c4> /V 2 >>";
// Revision 6 does not bind /P into the key (only into /Perms, which is not checked),
// so the tests vary it. %s stands for the /P value and further entries.
const char* const kEmptyR6 =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 "
    "/O <ecf5f0f9fa584f69b403bf921a296a0e3a62f0b051214aed4d2d0417a25af140ea9e15f24a6edb155729edd710116a27> "
    "/OE <1d3962db1c6e2d636a96e29fc733f2d9195c3e13ae10fa17d1224832826d5c7e> /P %s /R 6 /StmF /StdCF "
    "/StrF /StdCF /U "
    "<0ca6c5e583f5d80d1bd1dc4324b45add6e9f56850b625d70efbedcfb54a175f8061ee882cd27b9a196945efa03ed3939> "
    "/UE <2f2d8c3777f1e42f28e0865b5029909fcc8c09351e314263ec29b147943d19e8> /V 5 >>";

std::string r6With(const std::string& p) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, kEmptyR6, p.c_str());
    return buf;
}

TEST(SecurityHandler, EmptyUserPasswordOpensWithTheFileKey) {
    struct Case {
        std::string dict, key;
    } cases[] = {
        {kEmptyR3, "abe32231c5baae9679dc306bb3a7427d"},
        {r6With("-4"), "5c67efe54df44d0266594722c36acb613c8c3bfaf1222fa66d980ffe3b6f810f"},
    };
    for (const Case& c : cases) {
        CPdfElement d = parse(c.dict);
        CPdfSecurityHandler h(d.getDictionary(), unhex(kId));
        ASSERT_TRUE(h.authenticate(""));
        EXPECT_FALSE(h.ownerAccess());
        EXPECT_EQ(hex(h.fileKey()), c.key);
    }
}

TEST(SecurityHandler, PermissionsAsked) {
    const uint32_t kBoth = CPdfSecurityHandler::kPermModify | CPdfSecurityHandler::kPermAnnotate;
    struct Case {
        const char* p;
        bool modify, annotate;
    } cases[] = {
        {"-4", true, true},
        {"-12", false, true},  // bit 4 cleared: no changes to the content
        {"-36", true, false},  // bit 6 cleared: no changes to annotations
        {"-44", false, false},
        {"4294967292.0", true, true},  // -4 written as an unsigned number
        {"4294967252.0", false, false},
        {"4294967292", false, false},  // clamped by the lexer: not known, nothing granted
    };
    for (const Case& c : cases) {
        CPdfElement d = parse(r6With(c.p));
        CPdfSecurityHandler h(d.getDictionary(), unhex(kId));
        ASSERT_TRUE(h.authenticate("")) << c.p;
        EXPECT_EQ(h.allows(CPdfSecurityHandler::kPermModify), c.modify) << c.p;
        EXPECT_EQ(h.allows(CPdfSecurityHandler::kPermAnnotate), c.annotate) << c.p;
        EXPECT_EQ(h.allows(kBoth), c.modify && c.annotate) << c.p;
        EXPECT_TRUE(h.allows(0)) << c.p;
    }
}

TEST(SecurityHandler, StreamCipherFollowsTypeMetadataAndCryptFilters) {
    struct Case {
        const char* streamDict;
        bool clearMetadata;
        Cipher expected;
    } cases[] = {
        {"<< /Length 5 >>", false, Cipher::AESV3},
        {"<< /Type /XRef /W [1 2 1] >>", false, Cipher::Identity},
        {"<< /Type /Metadata /Subtype /XML >>", false, Cipher::AESV3},
        {"<< /Type /Metadata /Subtype /XML >>", true, Cipher::Identity},
        {"<< /Type /ObjStm /N 3 >>", true, Cipher::AESV3},
        {"<< /Filter /Crypt >>", false, Cipher::Identity},
        {"<< /Filter /Crypt /DecodeParms << /Name /Identity >> >>", false, Cipher::Identity},
        {"<< /Filter /Crypt /DecodeParms << /Name /StdCF >> >>", false, Cipher::AESV3},
        {"<< /Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /Identity >> null] >>", false, Cipher::Identity},
        {"<< /Filter [/FlateDecode] >>", false, Cipher::AESV3},
    };
    for (const Case& c : cases) {
        CPdfElement d = parse(r6With(c.clearMetadata ? "-4 /EncryptMetadata false" : "-4"));
        CPdfSecurityHandler h(d.getDictionary(), unhex(kId));
        ASSERT_TRUE(h.authenticate(""));
        CPdfElement s = parse(c.streamDict);
        EXPECT_EQ(h.cipherForStream(s.getDictionary()), c.expected) << c.streamDict;
    }
    // Identity as the default filters: nothing is encrypted.
    CPdfElement d = parse(
        "<< /CF << /StdCF << /CFM /AESV2 >> >> /Filter /Standard /V 4 /R 4 /Length 128 /P -4 /StmF /Identity "
        "/StrF /StdCF /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> "
        "/U <fb8f3661d99bba02de37f0c770ae4d2a0122456a91bae5134273a6db134c87c4> >>");
    CPdfSecurityHandler h(d.getDictionary(), unhex(kId));
    EXPECT_EQ(h.streamCipher(), Cipher::Identity);
    EXPECT_EQ(h.stringCipher(), Cipher::AESV2);
    CPdfElement s = parse("<< /Length 5 >>");
    EXPECT_EQ(h.cipherForStream(s.getDictionary()), Cipher::Identity);
}

TEST(SecurityHandler, UnsupportedMethodsAreRefusedWithAReason) {
    const std::string ou = " /O <" + std::string(64, 'a') + "> /U <" + std::string(64, 'b') + ">";
    const std::string cases[] = {
        "<< /Filter /Adobe.PubSec /V 4 /R 4 /P -4" + ou + " >>",
        "<< /Filter /Standard /V 3 /R 3 /P -4" + ou + " >>",
        "<< /Filter /Standard /V 2 /R 7 /P -4" + ou + " >>",
        "<< /Filter /Standard /V 2 /R 3 /P -4 /O <00> /U <00> >>",
        "<< /Filter /Standard /V 2 /R 3 /Length 20 /P -4" + ou + " >>",
        "<< /Filter /Standard /V 2 /R 3" + ou + " >>",
        "<< /Filter /Standard /V 4 /R 4 /P -4 /StmF /StdCF" + ou + " >>",
        "<< /Filter /Standard /V 4 /R 4 /P -4 /CF << /StdCF << /CFM /Foo >> >> /StmF /StdCF" + ou + " >>",
        "<< /Filter /Standard /V 5 /R 6 /P -4" + ou + " >>",
    };
    for (const std::string& text : cases) {
        CPdfElement d = parse(text);
        try {
            CPdfSecurityHandler h(d.getDictionary(), unhex(kId));
            ADD_FAILURE() << "accepted: " << text;
        } catch (const CPdfException& e) {
            EXPECT_STREQ(e.getMessage(), "PDF file is encrypted") << text;
            EXPECT_FALSE(e.getReason().empty()) << text;
        }
    }
}

TEST(SecurityHandler, KeyLengthFollowsLengthWith40BitsByDefault) {
    const std::string ou = " /O <" + std::string(64, 'a') + "> /U <" + std::string(64, 'b') + ">";
    struct Case {
        std::string dict;
        size_t bytes;
    } cases[] = {
        {"<< /Filter /Standard /V 1 /R 2 /P -4 /Length 128" + ou + " >>", 5},  // V 1 is always 40 bits
        {"<< /Filter /Standard /V 2 /R 3 /P -4" + ou + " >>", 5},
        {"<< /Filter /Standard /V 2 /R 3 /P -4 /Length 56" + ou + " >>", 7},
        {"<< /Filter /Standard /V 2 /R 3 /P -4 /Length 128" + ou + " >>", 16},
        {"<< /Filter /Standard /V 4 /R 4 /P -4 /CF << /StdCF << /CFM /V2 >> >> /StmF /StdCF /StrF /StdCF" + ou + " >>",
         16},
    };
    for (const Case& c : cases) {
        CPdfElement d = parse(c.dict);
        CPdfSecurityHandler h(d.getDictionary(), unhex(kId));
        EXPECT_EQ(h.computeKeyR2to4("").size(), c.bytes) << c.dict;
    }
}

TEST(SecurityHandler, DamagedAesDataIsCutNotOverrun) {
    CPdfElement d = parse(r6With("-4"));
    CPdfSecurityHandler h(d.getDictionary(), unhex(kId));
    ASSERT_TRUE(h.authenticate(""));
    const std::string good = h.encryptString("sixteen bytes!!!", 3, 0);  // IV + 2 blocks
    struct Case {
        std::string data;
        std::string expected;
    } cases[] = {
        {"", ""},
        {std::string(10, 'x'), ""},  // shorter than the vector
        {good.substr(0, 16), ""},    // the vector alone
        {good, "sixteen bytes!!!"},
        {good + "xyz", "sixteen bytes!!!"},  // a partial block at the end is dropped
    };
    for (const Case& c : cases) {
        EXPECT_EQ(h.decryptString(c.data, 3, 0), c.expected) << c.data.size();
        CPdfStream* s =
            h.decryptStream(new CPdfMemoryStream(c.data.data(), c.data.size(), CPdfElement()), h.streamCipher(), 3, 0);
        EXPECT_EQ(readAll(s), c.expected) << c.data.size();
        s->release();
    }
    // Without valid padding the last block is kept whole rather than guessed at.
    const std::string unpadded = h.decryptString(good.substr(0, 32), 3, 0);
    EXPECT_EQ(unpadded, "sixteen bytes!!!");
}

// A file encrypted with the empty user password (revision 6), its strings and streams
// encrypted by the handler the way a writer would, read through the table.
class EncryptedTable : public ::testing::Test {
protected:
    void SetUp() override {
        CPdfElement d = parse(r6With("-4 /EncryptMetadata false"));
        h_.reset(new CPdfSecurityHandler(d.getDictionary(), unhex(kId)));
        ASSERT_TRUE(h_->authenticate(""));
    }
    std::string hexString(const std::string& s, int num) { return "<" + hex(h_->encryptString(s, num, 0)) + ">"; }
    std::string stream(int num, const std::string& entries, const std::string& data) {
        const std::string e = h_->encryptData(data, Cipher::AESV3, num, 0);
        return "<< " + entries + " /Length " + std::to_string(e.size()) + " >>\nstream\n" + e + "\nendstream";
    }
    std::unique_ptr<CPdfSecurityHandler> h_;
};

TEST_F(EncryptedTable, FetchDecryptsStringsAndStreamsOfEachObjectOnce) {
    TestPdfBuilder b;
    b.add(1, "<< /Type /Catalog /Pages 2 0 R /Metadata 9 0 R >>");
    b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.add(3, "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 5 0 R /Annots [4 0 R] >>");
    b.add(4, "<< /Subtype /Link /A << /S /URI /URI " + hexString("https://a.example/", 4) + " >> /T [" +
                 hexString("in array", 4) + "] >>");
    b.add(5, stream(5, "", "BT (Hi) Tj ET"));
    b.add(6, r6With("-4 /EncryptMetadata false").c_str());
    // Object stream 7 holds object 8, whose string is only encrypted as part of 7.
    const std::string member = "<< /Note (member text) >>";
    b.add(7, stream(7, "/Type /ObjStm /N 1 /First 5", "8 0  " + member));
    b.inObjStm(8, 7, 0);
    b.add(9, "<< /Type /Metadata /Subtype /XML /Length 9 >>\nstream\n<x:meta/>\nendstream");
    b.trailerExtra = "/Encrypt 6 0 R /ID [<" + std::string(kId) + "> <" + std::string(kId) + ">]";
    const std::string path = TestPdfBuilder::writeTemp(b.buildWithXRefStream(), "enc_table.pdf");

    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(f);
    CPdfFileStream* fs = new CPdfFileStream(f, 0, 0, CPdfElement());
    {
        CPdfXRef x(fs);
        ASSERT_NO_THROW(x.open());
        ASSERT_NE(x.getSecurityHandler(), nullptr);
        EXPECT_EQ(x.getEncryptNum(), 6);

        CPdfElement annot = x.fetch(4, 0);
        ASSERT_TRUE(annot.isDictionary());
        CPdfElement action = annot.getDictionary()->lookup("A");
        EXPECT_EQ(action.getDictionary()->lookup("URI").getBytes(), "https://a.example/");
        EXPECT_EQ(annot.getDictionary()->lookup("T").getArray()->get(0).getBytes(), "in array");

        CPdfElement content = x.fetch(5, 0);
        ASSERT_TRUE(content.isStream());
        EXPECT_EQ(readAll(content.getStream()), "BT (Hi) Tj ET");

        CPdfElement memberObj = x.fetch(8, 0);
        ASSERT_TRUE(memberObj.isDictionary());
        EXPECT_EQ(memberObj.getDictionary()->lookup("Note").getBytes(), "member text");

        // The encryption dictionary is read as it stands.
        CPdfElement enc = x.fetch(6, 0);
        EXPECT_EQ(hex(enc.getDictionary()->lookup("OE").getBytes()),
                  "1d3962db1c6e2d636a96e29fc733f2d9195c3e13ae10fa17d1224832826d5c7e");
        // Metadata left clear stays as it is.
        CPdfElement meta = x.fetch(9, 0);
        ASSERT_TRUE(meta.isStream());
        EXPECT_EQ(readAll(meta.getStream()), "<x:meta/>");

        // Raw object text is what the file holds: still encrypted.
        std::string raw;
        ASSERT_TRUE(x.getRawObjectText(4, raw));
        EXPECT_EQ(raw.find("https://a.example/"), std::string::npos);
        EXPECT_NE(raw.find(hexString("https://a.example/", 4)), std::string::npos);
        ASSERT_TRUE(x.getRawObjectText(8, raw));
        EXPECT_NE(raw.find("(member text)"), std::string::npos);
    }
    fs->release();
    std::fclose(f);
    std::remove(path.c_str());
}

TEST_F(EncryptedTable, PasswordOrMissingDictionaryRefusesWithAReason) {
    struct Case {
        const char* name;
        std::string encrypt;
        bool addDict;
    } cases[] = {
        {"needs_password", "/Encrypt 6 0 R", true},
        {"missing_dictionary", "/Encrypt 60 0 R", false},
        {"not_a_dictionary", "/Encrypt 1 0 R", false},
    };
    for (const Case& c : cases) {
        TestPdfBuilder b;
        b.add(1, "(not a dictionary)");
        b.add(2, "<< /Type /Catalog >>");
        if (c.addDict) b.add(6, kQpdf[5].dict);  // user password "user"
        b.rootNum = 2;
        b.trailerExtra = c.encrypt + " /ID [<" + std::string(kId) + "> <" + std::string(kId) + ">]";
        const std::string path = TestPdfBuilder::writeTemp(b.build(), std::string("enc_") + c.name + ".pdf");
        FILE* f = std::fopen(path.c_str(), "rb");
        CPdfFileStream* fs = new CPdfFileStream(f, 0, 0, CPdfElement());
        {
            CPdfXRef x(fs);
            try {
                x.open();
                ADD_FAILURE() << c.name << " opened";
            } catch (const CPdfException& e) {
                EXPECT_STREQ(e.getMessage(), "PDF file is encrypted") << c.name;
                EXPECT_FALSE(e.getReason().empty()) << c.name;
                if (c.addDict) {
                    EXPECT_NE(e.getReason().find("password"), std::string::npos) << e.getReason();
                }
            }
        }
        fs->release();
        std::fclose(f);
        std::remove(path.c_str());
    }
}

}  // namespace
