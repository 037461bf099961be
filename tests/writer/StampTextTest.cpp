// Font descriptor, font and the stamped-text content stream.
#include <gtest/gtest.h>

#include "pdf/CPdfException.h"
#include "writer/FontMetrics.h"
#include "writer/PdfString.h"
#include "writer/SharedObjects.h"
#include "writer/StampText.h"

namespace {

class StampText : public ::testing::Test {
protected:
    void SetUp() override {
        LoadFontTable("");
        PageListEntry p;
        p.objNum = 3;
        pages.Add(p);
    }
    LinkSettings settings;
    PageList pages;
    COutputWriter writer{nullptr, nullptr};
    SharedObjects shared;
    StampMode h{settings, writer, pages, shared, "F123"};
};

}  // namespace

TEST_F(StampText, ContentStreamBodyExample) {
    LinkSettings& s = settings;
    s.posH = 72;
    s.posV = 700;
    s.textColor = 0xFF0000;
    s.fontSize = 12;
    s.text = "Page";
    // Q restores the state saved in front of the page's own content; the text state
    // is set in full.
    const std::string body =
        "\nQ\nBT\n0 Tc 0 Tw 100 Tz 0 Ts 0 Tr\n1.000000 0.000000 -0.000000 1.000000 72.000000 700.000000 Tm\n"
        "1.000000 0.000000 0.000000 rg\n/F123 12 Tf\n(Page) Tj\nET\n";
    EXPECT_EQ(h.BuildTextStream(0), " 0 obj\n<<\n/Length " + std::to_string(body.size()) + " \n>>\nstream\n" + body +
                                        "\nendstream\nendobj\n");
}

TEST_F(StampText, AngleUsesThe314Constant) {
    settings.angle = 90;
    std::string t = h.BuildTextStream(0);
    EXPECT_NE(t.find("\n0.000796 1.000000 -1.000000 0.000796 "), std::string::npos) << t;
}

TEST_F(StampText, TextIsEscapedAndNotLimitedInLength) {
    settings.text = "a)b\\c(";
    std::string t = h.BuildTextStream(0);
    EXPECT_NE(t.find("(a\\)b\\\\c\\() Tj"), std::string::npos) << t;
    settings.text = std::string(5000, 'x');
    t = h.BuildTextStream(0);
    EXPECT_NE(t.find("(" + std::string(5000, 'x') + ") Tj\nET\n\nendstream"), std::string::npos);
    size_t len = t.find("/Length ") + 8;
    size_t body = t.find("stream\n") + 7;
    size_t end = t.find("\nendstream");
    EXPECT_EQ(std::stoul(t.substr(len)), end - body);
}

TEST_F(StampText, FontDescriptorAndFont) {
    EXPECT_THROW(h.BuildFontDescriptor("NoSuchFace"), CPdfException);
    const FontMetricsRecord* arial = FindFontMetrics("Arial");
    ASSERT_NE(arial, nullptr);
    // The name is written as given, as a name object; the metrics are found under
    // its letters-only key.
    EXPECT_NE(h.BuildFontDescriptor("Arial Bold").find("/FontName /Arial#20Bold\n"), std::string::npos);
    EXPECT_NE(h.BuildFont("Arial Bold", 20).find("/BaseFont /Arial#20Bold\n"), std::string::npos);
    EXPECT_EQ(h.BuildFontDescriptor("Arial"),
              " 0 obj\n<<\n/Type /FontDescriptor\n/FontName /Arial\n/FontBBox [-46 -210 1000 896]\n/Flags 34\n"
              "/ItalicAngle 0\n>>\nendobj\n");
    std::string f = h.BuildFont("Arial", 20);
    const std::string head =
        " 0 obj\n<<\n/Type /Font\n/Name /F123 \n/Subtype /TrueType\n/Encoding /WinAnsiEncoding\n/BaseFont /Arial\n"
        "/FontDescriptor 20 0 R\n/FirstChar 0\n/LastChar 255\n/Widths [\n";
    ASSERT_EQ(f.substr(0, head.size()), head);
    // 16 lines of 16 "%d " values.
    std::string rest = f.substr(head.size());
    size_t pos = 0;
    for (int line = 0; line < 16; ++line) {
        size_t nl = rest.find('\n', pos);
        ASSERT_NE(nl, std::string::npos);
        std::string l = rest.substr(pos, nl - pos);
        int count = 0;
        for (char c : l)
            count += c == ' ';
        EXPECT_EQ(count, 16) << l;
        if (line == 2) {
            EXPECT_EQ(l.substr(0, 4), "278 ");  // code 32
        }
        pos = nl + 1;
    }
    EXPECT_EQ(rest.substr(pos), " ]\n>>\nendobj\n");
    // Without metrics the widths are left out.
    std::string g = h.BuildFont("NoSuchFace", 20);
    EXPECT_EQ(g.find("/Widths"), std::string::npos);
    EXPECT_NE(g.find("/LastChar 255\n>>\nendobj\n"), std::string::npos);
}

TEST_F(StampText, Utf8TextIsDrawnInWindows1252) {
    // "café ’s" typed in UTF-8: the font is WinAnsiEncoding, so é is 0xE9 and ’ is 0x92,
    // and the width comes from those bytes too.
    settings.text = "caf\xC3\xA9 \xE2\x80\x99s";
    std::string t = h.BuildTextStream(0);
    EXPECT_NE(t.find("(caf\xE9 \x92s) Tj"), std::string::npos) << t;
    EXPECT_EQ(TextWidth("Arial", "caf\xE9 \x92s"), TextWidth("Arial", "cafe 's") - 191 + 222);
}

TEST_F(StampText, SaveStateStreamIsOneSave) {
    const std::string t = h.BuildSaveStateStream();
    EXPECT_EQ(t, " 0 obj\n<<\n/Length 2 \n>>\nstream\nq\n\nendstream\nendobj\n");
}

TEST(PdfName, BytesThatWouldEndOrBreakANameAreEscaped) {
    const struct {
        const char* name;
        const char* written;
    } cases[] = {
        {"Arial", "Arial"},
        {"Times-Roman", "Times-Roman"},
        {"Arial Bold", "Arial#20Bold"},
        {"My Face (Test) #2", "My#20Face#20#28Test#29#20#232"},
        {"a/b%c<d>e[f]g{h}", "a#2Fb#25c#3Cd#3Ee#5Bf#5Dg#7Bh#7D"},
        {"caf\xC3\xA9\t\r\n", "caf#C3#A9#09#0D#0A"},
        {"\x7F~!", "#7F~!"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapePdfName(c.name), c.written) << c.name;
}
