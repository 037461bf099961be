// Composite fonts: descendant checks, widths by CID, encoding CMaps and ToUnicode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "font/CPdfCIDFont.h"
#include "tests/font/FontTestUtil.h"

using fonttest::FontDoc;

namespace {

const char* kDescendant =
    "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /ABCDEF+DejaVuSans "
    "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> ";

std::string type0(const std::string& encoding, const std::string& extra = "") {
    return "<< /Type /Font /Subtype /Type0 /BaseFont /ABCDEF+DejaVuSans /Encoding " + encoding +
           " /DescendantFonts [11 0 R] " + extra + " >>";
}

CPdfCIDFont* cid(PageFonts& fonts) {
    CPdfFont* f = fonts.findFont("F1");
    EXPECT_NE(f, nullptr);
    EXPECT_TRUE(f && f->isComposite());
    return static_cast<CPdfCIDFont*>(f);
}

struct Decoded {
    int consumed;
    uint32_t code;
    std::vector<uint32_t> unicode;
    double dx;
};

std::vector<Decoded> decodeAll(const CPdfFont& f, const std::string& s) {
    std::vector<Decoded> out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    int left = static_cast<int>(s.size());
    while (left > 0) {
        Decoded d{};
        uint32_t u[8];
        int n = 0;
        double dy, ox, oy;
        d.consumed = f.decodeChar(p, left, &d.code, u, 8, &n, &d.dx, &dy, &ox, &oy);
        if (d.consumed < 1) {
            ADD_FAILURE() << "no progress";
            break;
        }
        d.unicode.assign(u, u + n);
        out.push_back(d);
        p += d.consumed;
        left -= d.consumed;
    }
    return out;
}

}  // namespace

TEST(CIDFont, WidthsFromW) {
    FontDoc d({{10, type0("/Identity-H")}, {11, std::string(kDescendant) + "/DW 400 /W [1 [500 600] 10 20 700] >>"}});
    auto fonts = d.load();
    CPdfCIDFont* f = cid(*fonts);
    ASSERT_EQ(f->widthRanges.size(), 3u);
    EXPECT_EQ(f->widthRanges[0].first, 1);
    EXPECT_EQ(f->widthRanges[1].first, 2);
    EXPECT_DOUBLE_EQ(f->widthRanges[1].width, 0.6);
    EXPECT_EQ(f->widthRanges[2].first, 10);
    EXPECT_EQ(f->widthRanges[2].last, 20);
    struct {
        uint32_t cid;
        double w;
    } cases[] = {{0, 0.4},  {1, 0.5},  {2, 0.6},  {3, 0.4},  {5, 0.4},
                 {10, 0.7}, {15, 0.7}, {20, 0.7}, {21, 0.4}, {0xFFFFFFFFu, 0.4}};
    for (auto& c : cases)
        EXPECT_DOUBLE_EQ(f->getWidth(c.cid), c.w) << c.cid;
    EXPECT_EQ(f->getGlyphName(1), nullptr);
    EXPECT_EQ(f->type, CIDType2Font);
    EXPECT_EQ(f->name, "ABCDEF+DejaVuSans");
}

TEST(CIDFont, UnsortedAndHugeWRanges) {
    FontDoc d({{10, type0("/Identity-H")},
               {11, std::string(kDescendant) + "/W [100 [300] 200 2000000000 250 5 [10 20]] >>"}});
    auto fonts = d.load();
    CPdfCIDFont* f = cid(*fonts);
    EXPECT_EQ(f->widthRanges.size(), 4u);
    EXPECT_DOUBLE_EQ(f->getWidth(100), 0.3);  // the last range starting at or before 100
    EXPECT_DOUBLE_EQ(f->getWidth(1999999999), 0.25);
    EXPECT_DOUBLE_EQ(f->getWidth(6), 0.02);
    EXPECT_DOUBLE_EQ(f->getWidth(150), 1.0);
    EXPECT_DOUBLE_EQ(f->getWidth(2000000001), 1.0);
}

TEST(CIDFont, DefaultsAndVerticalMetrics) {
    FontDoc d(
        {{10, type0("/Identity-V")},
         {11, std::string(kDescendant) + "/DW2 [900 -1100] /W2 [1 [-1000 500 880 -900 400 800] 5 8 -500 250 700] >>"}});
    auto fonts = d.load();
    CPdfCIDFont* f = cid(*fonts);
    EXPECT_DOUBLE_EQ(f->defaultWidth, 1.0);
    EXPECT_DOUBLE_EQ(f->defaultVY, 0.9);
    EXPECT_DOUBLE_EQ(f->defaultHeight, -1.1);
    ASSERT_EQ(f->verticalRanges.size(), 3u);
    EXPECT_EQ(f->verticalRanges[1].first, 2);
    EXPECT_DOUBLE_EQ(f->verticalRanges[1].vy, 0.8);
    EXPECT_EQ(f->verticalRanges[2].last, 8);
    EXPECT_NEAR(f->ascent, 0.95, 1e-12);
    EXPECT_TRUE(f->cmap && f->cmap->isVertical());
}

// A damaged descendant font never fails the font: what can still be read is used (the
// encoding CMap, the widths before a bad entry), everything else keeps its default.
TEST(CIDFont, DamagedDescendantKeepsWhatCanBeRead) {
    const std::string sysinfo = "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) >> ";
    struct Case {
        std::string font;
        std::string descendant;
        FontType type;
        double width5;  // width of CID 5
        bool cmap;      // the Identity-H CMap is read
    } cases[] = {
        {"<< /Subtype /Type0 /Encoding /Identity-H >>", "", UnknownFont, 1.0, true},
        {"<< /Subtype /Type0 /DescendantFonts 11 0 R >>", "<< /Subtype /CIDFontType2 >>", UnknownFont, 1.0, false},
        {"<< /Subtype /Type0 /DescendantFonts [] /Encoding /Identity-H >>", "", UnknownFont, 1.0, true},
        {"<< /Subtype /Type0 /DescendantFonts [12 0 R] /Encoding /Identity-H >>", "", UnknownFont, 1.0, true},
        {type0("/Identity-H"), "<< /Type /Font /DW 500 >>", UnknownFont, 0.5, true},
        {type0("/Identity-H"), "<< /Subtype /CIDFontType1 " + sysinfo + ">>", UnknownFont, 1.0, true},
        {type0("/Identity-H"), "<< /Subtype /CIDFontType0 /W [5 [600]] >>", CIDType0Font, 0.6, true},
        {type0("/Identity-H"), "<< /Subtype /CIDFontType0 /CIDSystemInfo << /Registry /Adobe >> /W [5 [600]] >>",
         CIDType0Font, 0.6, true},
        {type0("/Identity-H"), "<< /Subtype /CIDFontType0 " + sysinfo + "/W [5 [600] 1 2] >>", CIDType0Font, 0.6, true},
        {type0("/Identity-H"), "<< /Subtype /CIDFontType0 " + sysinfo + "/W [5 [600] 1.5 [500]] >>", CIDType0Font, 0.6,
         true},
        {type0("/Identity-H"), "<< /Subtype /CIDFontType0 " + sysinfo + "/W [1 [500 /x]] >>", CIDType0Font, 1.0, true},
        {type0("/Identity-H"), "<< /Subtype /CIDFontType0 " + sysinfo + "/W [1 9 (x)] >>", CIDType0Font, 1.0, true},
        {type0("/Identity-H"), "<< /Subtype /CIDFontType0 " + sysinfo + "/W2 [1 2 3 4] /W [5 5 700] >>", CIDType0Font,
         0.7, true},
        {type0("/Identity-H"), "<< /Subtype /CIDFontType2 " + sysinfo + "/FontDescriptor << /FontFile 12 0 R >> >>",
         CIDType2Font, 1.0, true},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<int, std::string>> objs = {{10, c.font}};
        if (!c.descendant.empty()) objs.push_back({11, c.descendant});
        objs.push_back({12, "(not a dictionary)"});
        FontDoc d(objs);
        SCOPED_TRACE(c.font + " / " + c.descendant);
        EXPECT_EQ(d.loadError(), "");
        auto fonts = d.load();
        CPdfCIDFont* f = cid(*fonts);
        if (!f) continue;
        EXPECT_EQ(f->type, c.type);
        EXPECT_DOUBLE_EQ(f->getWidth(5), c.width5);
        EXPECT_EQ(f->cmap != nullptr, c.cmap);
        EXPECT_EQ(f->embeddedFontRef.num, -1);
    }
}

TEST(CIDFont, IdentityHWithToUnicode) {
    const std::string tu =
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
        "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
        "2 beginbfchar <0003> <0020> <0024> <0041> endbfchar\n"
        "1 beginbfrange <0044> <0046> <0061> endbfrange\n"
        "1 beginbfchar <01F1> <00660069> endbfchar\n"
        "1 beginbfchar <47> <0047> endbfchar\n"
        "endcmap end end\n";
    FontDoc d({{10, type0("/Identity-H", "/ToUnicode 12 0 R")},
               {11, std::string(kDescendant) + "/W [3 [278] 36 [684] 68 70 613] >>"}},
              {std::make_tuple(12, std::string(), tu)});
    auto fonts = d.load();
    CPdfCIDFont* f = cid(*fonts);
    ASSERT_TRUE(f->cmap);
    EXPECT_TRUE(f->cmap->isIdentity());
    auto got = decodeAll(*f, std::string("\x00\x24\x00\x03\x00\x45\x01\xF1\x00\x47\x05", 11));
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0].code, 0x24u);
    EXPECT_EQ(got[0].unicode, std::vector<uint32_t>{0x41});
    EXPECT_DOUBLE_EQ(got[0].dx, 0.684);
    EXPECT_EQ(got[1].unicode, std::vector<uint32_t>{0x20});
    EXPECT_DOUBLE_EQ(got[1].dx, 0.278);
    EXPECT_EQ(got[2].code, 0x45u);
    EXPECT_EQ(got[2].unicode, std::vector<uint32_t>{0x62});
    EXPECT_DOUBLE_EQ(got[2].dx, 0.613);
    EXPECT_EQ(got[3].unicode, (std::vector<uint32_t>{0x66, 0x69}));
    EXPECT_DOUBLE_EQ(got[3].dx, 1.0);                    // DW
    EXPECT_EQ(got[4].unicode, std::vector<uint32_t>{});  // one-byte source ignored
    // The odd trailing byte: consumed alone, code 0, no Unicode.
    EXPECT_EQ(got[5].consumed, 1);
    EXPECT_EQ(got[5].code, 0u);
    EXPECT_TRUE(got[5].unicode.empty());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(got[static_cast<size_t>(i)].consumed, 2);
}

TEST(CIDFont, EmbeddedCMapWithMixedCodespaces) {
    const std::string cmap =
        "%!PS-Adobe-3.0 Resource-CMap\n"
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
        "/CMapName /Test-Mixed def\n"
        "2 begincodespacerange <00> <80> <8140> <FEFE> endcodespacerange\n"
        "2 begincidrange <20> <7e> 1 <8140> <817e> 633 endcidrange\n"
        "endcmap CMapName currentdict /CMap defineresource pop end end\n";
    const std::string tu = "2 beginbfchar <41> <0041> <8141> <3001> endbfchar\n";
    FontDoc d(
        {{10, type0("12 0 R", "/ToUnicode 13 0 R")}, {11, std::string(kDescendant) + "/W [34 [500] 634 [1000]] >>"}},
        {std::make_tuple(12, std::string("/Type /CMap /CMapName /Test-Mixed"), cmap),
         std::make_tuple(13, std::string(), tu)});
    auto fonts = d.load();
    CPdfCIDFont* f = cid(*fonts);
    ASSERT_TRUE(f->cmap);
    auto got = decodeAll(*f,
                         "A\x81\x41"
                         "B\x81");
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].consumed, 1);
    EXPECT_EQ(got[0].code, 34u);
    EXPECT_EQ(got[0].unicode, std::vector<uint32_t>{0x41});
    EXPECT_DOUBLE_EQ(got[0].dx, 0.5);
    EXPECT_EQ(got[1].consumed, 2);
    EXPECT_EQ(got[1].code, 634u);
    EXPECT_EQ(got[1].unicode, std::vector<uint32_t>{0x3001});
    EXPECT_DOUBLE_EQ(got[1].dx, 1.0);
    EXPECT_EQ(got[2].code, 35u);
    EXPECT_TRUE(got[2].unicode.empty());
    EXPECT_EQ(got[3].consumed, 1);
    EXPECT_EQ(got[3].code, 0u);
}

TEST(CIDFont, EmbeddedCMapUsingIdentity) {
    FontDoc d({{10, type0("12 0 R")}, {11, std::string(kDescendant) + ">>"}},
              {std::make_tuple(12, std::string("/Type /CMap /UseCMap /Identity-H"),
                               std::string("1 begincidchar <0041> 5 endcidchar"))});
    auto fonts = d.load();
    CPdfCIDFont* f = cid(*fonts);
    auto got = decodeAll(*f, std::string("\x00\x41\x00\x42", 4));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].code, 5u);
    EXPECT_EQ(got[1].code, 0x42u);
}

TEST(CIDFont, UnsupportedCMapBehavesAsOneByteCodeZero) {
    for (const char* enc : {"/UniGB-UCS2-H", "/90ms-RKSJ-H", "42", "12 0 R"}) {
        FontDoc d({{10, type0(enc, "/ToUnicode 13 0 R")}, {11, std::string(kDescendant) + "/DW 500 >>"}},
                  {std::make_tuple(12, std::string(), std::string("no codespace here")),
                   std::make_tuple(13, std::string(), std::string("1 beginbfchar <0041> <0041> endbfchar"))});
        auto fonts = d.load();
        CPdfCIDFont* f = cid(*fonts);
        EXPECT_FALSE(f->cmap) << enc;
        auto got = decodeAll(*f, std::string("\x00\x41", 2));
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].consumed, 1);
        EXPECT_EQ(got[0].code, 0u);
        EXPECT_TRUE(got[0].unicode.empty());
        EXPECT_EQ(got[0].dx, 0.0);
        EXPECT_DOUBLE_EQ(f->getWidth(0), 0.5);
    }
}

TEST(CIDFont, DecodeCharWithNoBytes) {
    FontDoc d({{10, type0("/Identity-H")}, {11, std::string(kDescendant) + ">>"}});
    auto fonts = d.load();
    CPdfCIDFont* f = cid(*fonts);
    uint32_t code = 7, u[8];
    int n = 3;
    double dx, dy, ox, oy;
    EXPECT_EQ(f->decodeChar(nullptr, 0, &code, u, 8, &n, &dx, &dy, &ox, &oy), 0);
    EXPECT_EQ(n, 0);
}
