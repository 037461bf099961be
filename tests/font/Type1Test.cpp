// The Type 1 header reader: font name and built-in encoding.
#include <gtest/gtest.h>

#include <string>

#include "font/CFoFiType1.h"
#include "font/CPdfBuiltinTables.h"

namespace {

struct Reader {
    explicit Reader(const std::string& text)
        : data(text), t1(reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size())) {}
    std::string data;
    CFoFiType1 t1;
};

}  // namespace

TEST(Type1, EncodingBlockWithDupLines) {
    Reader r(
        "%!PS-AdobeFont-1.0: Test-Font 001.000\n"
        "/FontName /Test-Font def\n"
        "/Encoding 256 array\n"
        "0 1 255 {1 index exch /.notdef put} for\n"
        "dup 32 /space put\n"
        "  dup 65 /A put\n"
        "readonly def\n"
        "dup 66 /B put\n"
        "currentdict end\n");
    EXPECT_STREQ(r.t1.getName(), "Test-Font");
    const char* const* e = r.t1.getEncoding();
    ASSERT_NE(e, nullptr);
    int defined = 0;
    for (int i = 0; i < 256; ++i)
        defined += e[i] != nullptr;
    EXPECT_EQ(defined, 2);
    EXPECT_STREQ(e[32], "space");
    EXPECT_STREQ(e[65], "A");
}

TEST(Type1, StandardEncoding) {
    Reader r("%!FontType1\r/FontName /Std def\r/Encoding StandardEncoding def\r");
    EXPECT_STREQ(r.t1.getName(), "Std");
    EXPECT_EQ(r.t1.getEncoding(), StandardEncodingMarker);
}

TEST(Type1, FontNameOnLine50IsFoundButNotOnLine51) {
    for (int filler : {49, 50}) {
        std::string text;
        for (int i = 0; i < filler; ++i)
            text += "% filler\r\n";
        text += "/FontName /Late def\n";
        Reader r(text);
        if (filler == 49)
            EXPECT_STREQ(r.t1.getName(), "Late");
        else
            EXPECT_EQ(r.t1.getName(), nullptr);
    }
}

TEST(Type1, FontNameForms) {
    struct Case {
        const char* text;
        const char* name;
    } cases[] = {
        {"/FontName /ABCDEF+CMR10 def\n", "ABCDEF+CMR10"},
        {"/FontName/X\tdef\n", "X"},
        {"/FontName  /Y\n", "Y"},
        {"/FontName def\n", nullptr},
        {"/FontNameX /Z def\n", "Z"},
    };
    for (const Case& c : cases) {
        Reader r(c.text);
        if (c.name)
            EXPECT_STREQ(r.t1.getName(), c.name) << c.text;
        else
            EXPECT_EQ(r.t1.getName(), nullptr) << c.text;
    }
}

TEST(Type1, SeveralEntriesOnOneLineAndOddEntries) {
    Reader r(
        "/Encoding 256 array\n"
        "dup 97 /a put dup 98 /b put\tdup 99 /c put\n"
        "dup 300 /big put\n"
        "dup 100 notaname put\n"
        "dup /e put\n"
        "dup 99999999999999999999 /huge put\n"
        "dup 101 /e\n"
        "readonly def\n");
    const char* const* e = r.t1.getEncoding();
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e[97], "a");
    EXPECT_STREQ(e[98], "b");
    EXPECT_STREQ(e[99], "c");
    EXPECT_EQ(e[100], nullptr);
    EXPECT_STREQ(e[101], "e");
    EXPECT_EQ(r.t1.getName(), nullptr);
}

TEST(Type1, EncodingBlockReadsAtMost300Lines) {
    std::string text = "/Encoding 256 array\n";
    for (int i = 0; i < 300; ++i)
        text += "% nothing\n";
    text += "dup 65 /A put\n";
    Reader r(text);
    ASSERT_NE(r.t1.getEncoding(), nullptr);
    EXPECT_EQ(r.t1.getEncoding()[65], nullptr);
}

TEST(Type1, LongLinesAreCut) {
    std::string text = "/FontName /" + std::string(400, 'N') + " def\n";
    Reader r(text);
    ASSERT_NE(r.t1.getName(), nullptr);
    EXPECT_EQ(std::string(r.t1.getName()).size(), 255u - 11u);
}

TEST(Type1, BinaryAndEmptyInput) {
    Reader empty("");
    EXPECT_EQ(empty.t1.getName(), nullptr);
    EXPECT_EQ(empty.t1.getEncoding(), nullptr);
    std::string bin;
    for (int i = 0; i < 5000; ++i)
        bin += static_cast<char>((i * 7919) & 0xff);
    Reader r(bin);
    (void)r.t1.getName();
    (void)r.t1.getEncoding();
}
