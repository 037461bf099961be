#include "writer/FontMetrics.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string writeTempFile(const std::string& name, const std::string& content) {
    std::string path = testing::TempDir() + "qm_fontmetrics_" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f) {
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    return path;
}

// Loads a fonts file and returns what the loader printed.
std::string loadAndCapture(const std::string& path) {
    testing::internal::CaptureStdout();
    LoadFontTable(path);
    return testing::internal::GetCapturedStdout();
}

const char* const kExampleLine = "FONT|MyFace|-50|-200|1000|900|a|b|c|d|e|f|500|500";

class FontMetricsTest : public testing::Test {
protected:
    void SetUp() override { LoadFontTable(""); }
    void TearDown() override { LoadFontTable(""); }
};

}  // namespace

TEST_F(FontMetricsTest, EveryBuiltinFontIsFoundByItsName) {
    ASSERT_GT(BuiltinFontCount(), 0);
    // Every built-in font is found by its own name, except the two whose keys
    // reduce to that of an earlier record (Wingdings2 and Wingdings3 -> Wingdings).
    std::string shadowed;
    for (int i = 0; i < BuiltinFontCount(); ++i) {
        const FontMetricsRecord* found = FindFontMetrics(BuiltinFont(i).name);
        ASSERT_NE(found, nullptr) << BuiltinFont(i).name;
        if (found->name != BuiltinFont(i).name) shadowed += BuiltinFont(i).name + ">" + found->name + " ";
    }
    EXPECT_EQ(shadowed, "Wingdings2>Wingdings Wingdings3>Wingdings ");
}

TEST_F(FontMetricsTest, LookupKeys) {
    struct {
        const char* name;
        const char* key;
    } keys[] = {
        {"Arial-Bold", "ArialBold"},
        {"Arial Bold", "ArialBold"},
        {"ArialBold", "ArialBold"},
        {"Wingdings2", "Wingdings"},
        {"Bauhaus 93", "Bauhaus"},
        {"", ""},
        {"1-2 3", ""},
        {"Ä-Font", "Font"},
    };
    for (const auto& k : keys)
        EXPECT_EQ(FontLookupKey(k.name), k.key) << k.name;

    struct {
        const char* query;
        const char* found;  // nullptr: not found
    } rows[] = {
        {"Wingdings2", "Wingdings"},
        {"Wingdings3", "Wingdings"},
        {"Bauhaus 93", "Bauhaus93"},
        {"Bauhaus93", "Bauhaus93"},
        {"Arial Bold", "Arial-Bold"},
        {"Arial,Bold", "Arial-Bold"},
        {"Times New Roman", "TimesNewRoman"},
        {"Times-Roman", "Times-Roman"},
        {"arial", nullptr},
        {"ARIAL", nullptr},
        {"NoSuchFont", nullptr},
        {"", nullptr},
    };
    for (const auto& row : rows) {
        const FontMetricsRecord* r = FindFontMetrics(row.query);
        if (row.found) {
            ASSERT_NE(r, nullptr) << row.query;
            EXPECT_EQ(r->name, row.found) << row.query;
        } else {
            EXPECT_EQ(r, nullptr) << row.query;
        }
    }
}

TEST_F(FontMetricsTest, TextWidth) {
    EXPECT_EQ(TextWidth("Arial", "AAA"), 2001);
    EXPECT_EQ(TextWidth("Arial", ""), 0);
    EXPECT_EQ(TextWidth("arial", "AAA"), 0);
    EXPECT_EQ(TextWidth("Courier", "hello world"), 11 * 600);
    EXPECT_EQ(TextWidth("Helvetica", "Hi"), 722 + 222);
    // Bytes 128..255 index the upper half of the widths, never a negative index.
    const FontMetricsRecord* arial = FindFontMetrics("Arial");
    ASSERT_NE(arial, nullptr);
    std::string high = "\x80\xA0\xFF";
    EXPECT_EQ(TextWidth("Arial", high), arial->widths[128] + arial->widths[160] + arial->widths[255]);
    EXPECT_EQ(arial->widths[128], 556);  // Euro
    EXPECT_GT(arial->widths[255], 0);
    // A zero byte inside the text counts as code 0.
    EXPECT_EQ(TextWidth("Arial", std::string("A\0A", 3)), 2 * 667 + arial->widths[0]);
}

TEST_F(FontMetricsTest, FontsFileExampleLine) {
    std::string path = writeTempFile("example.txt", std::string(kExampleLine) + "\n");
    std::string out = loadAndCapture(path);
    EXPECT_EQ(out, "\nUsing fonts file: '" + path + "'\n");
    const FontMetricsRecord* r = FindFontMetrics("MyFace");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->name, "MyFace");
    EXPECT_EQ(r->bbox[0], -50);
    EXPECT_EQ(r->bbox[1], -200);
    EXPECT_EQ(r->bbox[2], 1000);
    EXPECT_EQ(r->bbox[3], 900);
    EXPECT_EQ(r->widths[0], 500);
    EXPECT_EQ(r->widths[1], 500);
    for (int c = 2; c < 256; ++c)
        EXPECT_EQ(r->widths[c], 0) << c;
    EXPECT_EQ(TextWidth("My Face", std::string("\x01\x01\x02", 3)), 1000);
    // Built-ins are still there, in front.
    EXPECT_NE(FindFontMetrics("Arial"), nullptr);
}

TEST_F(FontMetricsTest, FontsFileLineRules) {
    std::string widths300;
    for (int i = 0; i < 300; ++i)
        widths300 += "|" + std::to_string(i + 1);
    std::string content =
        "FONT|Short|1|2|3|\n"  // 19 bytes: skipped
        "just a short note\n"  // 18 bytes: skipped
        "\n"
        "FONT||Sep||-1|-2|3|4|a|b|c|d|e|f|||7|8\n"  // runs of separators
        "FONT|Numbers|12abc|x|+7| -9|a|b|c|d|e|f|99999999999|-99999999999|3.9\r\n"
        "FONT|Many|0|0|0|0|a|b|c|d|e|f" +
        widths300 +
        "\n"
        "FONT|Arial|1|2|3|4|a|b|c|d|e|f|9|9\n"  // hidden behind the built-in
        "FONT|NoWidths|1|2|3|4|a|b|c|d|e\n"     // field 12 missing
        "FONT|Last|5|6|7|8|a|b|c|d|e|f|42";     // no line feed at the end
    std::string path = writeTempFile("rules.txt", content);
    std::string out = loadAndCapture(path);
    EXPECT_EQ(out.find("Invalid font file."), std::string::npos) << out;

    EXPECT_EQ(FindFontMetrics("Short"), nullptr);

    const FontMetricsRecord* sep = FindFontMetrics("Sep");
    ASSERT_NE(sep, nullptr);
    EXPECT_EQ(sep->bbox[0], -1);
    EXPECT_EQ(sep->bbox[3], 4);
    EXPECT_EQ(sep->widths[0], 7);
    EXPECT_EQ(sep->widths[1], 8);
    EXPECT_EQ(sep->widths[2], 0);

    const FontMetricsRecord* num = FindFontMetrics("Numbers");
    ASSERT_NE(num, nullptr);
    EXPECT_EQ(num->bbox[0], 12);
    EXPECT_EQ(num->bbox[1], 0);
    EXPECT_EQ(num->bbox[2], 7);
    EXPECT_EQ(num->bbox[3], -9);
    EXPECT_EQ(num->widths[0], INT32_MAX);  // saturates instead of overflowing
    EXPECT_EQ(num->widths[1], INT32_MIN);
    EXPECT_EQ(num->widths[2], 3);  // stops at the first non-digit

    const FontMetricsRecord* many = FindFontMetrics("Many");
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(many->widths[0], 1);
    EXPECT_EQ(many->widths[255], 256);  // at most 256 widths are taken

    const FontMetricsRecord* arial = FindFontMetrics("Arial");
    ASSERT_NE(arial, nullptr);
    EXPECT_EQ(arial->bbox[0], -46);

    const FontMetricsRecord* noWidths = FindFontMetrics("NoWidths");
    ASSERT_NE(noWidths, nullptr);
    EXPECT_EQ(noWidths->bbox[2], 3);
    EXPECT_EQ(noWidths->widths[0], 0);

    const FontMetricsRecord* last = FindFontMetrics("Last");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->widths[0], 42);
}

TEST_F(FontMetricsTest, InvalidFontsFileAddsNothing) {
    struct {
        const char* name;
        std::string content;
    } files[] = {
        {"notfonts.txt", "This is not a fonts file at all, just text.\n" + std::string(kExampleLine) + "\n"},
        {"latebad.txt", std::string(kExampleLine) + "\nFONTS|Other|1|2|3|4|a|b|c|d|e|f|1\n"},
        {"lower.txt", "font|MyFace|-50|-200|1000|900|a|b|c|d|e|f|500|500\n"},
        {"noname.txt", "FONT|||||||||||||||||||||||||\n"},
        {"pdf.txt", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"},
    };
    for (const auto& file : files) {
        std::string path = writeTempFile(file.name, file.content);
        std::string out = loadAndCapture(path);
        EXPECT_EQ(out, "\nUsing fonts file: '" + path + "'\nInvalid font file.\n") << file.name;
        EXPECT_EQ(FindFontMetrics("MyFace"), nullptr) << file.name;
        EXPECT_EQ(FindFontMetrics("Other"), nullptr) << file.name;
        EXPECT_NE(FindFontMetrics("Arial"), nullptr) << file.name;
    }
}

TEST_F(FontMetricsTest, MissingFontsFileIsSilentlyIgnored) {
    std::string out = loadAndCapture(testing::TempDir() + "qm_fontmetrics_does_not_exist.txt");
    EXPECT_EQ(out, "");
    EXPECT_NE(FindFontMetrics("Arial"), nullptr);
    EXPECT_EQ(loadAndCapture(""), "");
}

TEST_F(FontMetricsTest, ByteOrderMarkAndLongLines) {
    std::string longName(100000, 'Q');
    std::string content =
        "\xEF\xBB\xBF" + std::string(kExampleLine) + "\r\n" + "FONT|" + longName + "|1|2|3|4|a|b|c|d|e|f|77\n";
    std::string path = writeTempFile("bom.txt", content);
    std::string out = loadAndCapture(path);
    EXPECT_EQ(out.find("Invalid"), std::string::npos);
    const FontMetricsRecord* r = FindFontMetrics("MyFace");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->widths[1], 500);
    const FontMetricsRecord* big = FindFontMetrics(longName);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->widths[0], 77);
}

// Each call starts from the built-in records again: a batch run that loads the table
// once per input file does not pile up fonts-file records.
TEST_F(FontMetricsTest, ReloadReplacesFontsFileRecords) {
    std::string path = writeTempFile("reload.txt", std::string(kExampleLine) + "\n");
    loadAndCapture(path);
    ASSERT_NE(FindFontMetrics("MyFace"), nullptr);
    loadAndCapture(path);
    ASSERT_NE(FindFontMetrics("MyFace"), nullptr);
    LoadFontTable("");
    EXPECT_EQ(FindFontMetrics("MyFace"), nullptr);
    EXPECT_NE(FindFontMetrics("ZapfDingbats"), nullptr);
}
