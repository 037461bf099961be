// Link annotation text and stamp placement.
#include <gtest/gtest.h>

#include "writer/FontMetrics.h"
#include "writer/LinkAnnotation.h"
#include "writer/SharedObjects.h"
#include "writer/StampText.h"

namespace {

class Annotation : public ::testing::Test {
protected:
    void SetUp() override {
        LoadFontTable("");
        page.objNum = 3;
        pages.Add(page);
    }
    void placeStamp(bool withMargin) { place = PlaceStamp(settings, page, withMargin); }

    LinkSettings settings;
    PageListEntry page;
    PageList pages;
    COutputWriter writer{nullptr, nullptr};
    SharedObjects shared;
    StampMode stamp{settings, writer, pages, shared, "F123"};
    StampPlacement place;
};

}  // namespace

TEST_F(Annotation, StampLinkExampleIsExact) {
    LinkSettings& s = settings;
    s.highlightStyle = "Invert";
    s.linkType = "Visible Rectangle";
    s.lineThickness = "Thin";
    s.lineStyle = "Solid";
    s.linkColor = 0x0000FF;
    s.linkAction = "Open a file";
    s.link = "report.pdf";
    // The rectangle 71 691 171 712 through the adjustments alone (empty text: L = 0).
    s.text = "";
    s.fontSize = 20;
    s.posH = 72;
    s.posV = 692;
    s.posLength = 99;
    EXPECT_EQ(stamp.BuildStampLink(0),
              " 0 obj\n<<\n/H/I\n/Type/Annot\n/Rect[ 71.000000 691.000000 171.000000 712.000000 ]\n"
              "/C [ 0.000000 0.000000 1.000000 ]\n/BS<</W 1/Type/Border/S/S>>\n/Subtype/Link\n"
              "/A<</F <</F(report.pdf)/Type/Filespec>>/S /Launch /NewWindow true>>\n>>\nendobj\n");
}

TEST_F(Annotation, OptionValuesWriteTheirPieces) {
    struct Case {
        const char* highlight;
        const char* type;
        const char* thickness;
        const char* style;
        const char* expect;
    } cases[] = {
        {"Invert", "Visible", "Medium", "Dashed", "/H/I\n"},
        {"Invert", "Visible", "Medium", "Dashed", "/BS<</W 3/Type/Border/S/D\n>>\n"},
        {"None", "Visible", "Thick", "Underline", "/H/N\n"},
        {"None", "Visible", "Thick", "Underline", "/BS<</W 5/Type/Border/S/U\n>>\n"},
        {"Outline", "Invisible Rectangle", "Thick", "Solid", "/H/O\n"},
        {"Outline", "Invisible Rectangle", "Thick", "Solid", "/BS<</W 0/Type/Border/S/S>>\n"},
        {"Insert", "Visible", "Huge", "Wavy", "/H/P\n"},
        {"Insert", "Visible", "Huge", "Wavy", "/BS<</Type/Border>>\n"},
    };
    for (const Case& c : cases) {
        settings.highlightStyle = c.highlight;
        settings.linkType = c.type;
        settings.lineThickness = c.thickness;
        settings.lineStyle = c.style;
        std::string t = stamp.BuildStampLink(0);
        EXPECT_NE(t.find(c.expect), std::string::npos) << t;
    }
}

TEST_F(Annotation, UnknownHighlightAndActionLeaveNoDanglingKey) {
    settings.highlightStyle = "Sparkle";
    settings.linkAction = "Play a tune";
    std::string t = stamp.BuildStampLink(0);
    EXPECT_EQ(t.find("/H"), std::string::npos);
    EXPECT_EQ(t.find("/A<<"), std::string::npos);
    EXPECT_NE(t.find("/Subtype/Link\n>>\nendobj\n"), std::string::npos);
}

TEST_F(Annotation, ColourAndWebTargetAreEscaped) {
    settings.linkColor = 0x808080;
    settings.link = "c:\\test.txt";
    std::string t = stamp.BuildStampLink(0);
    EXPECT_NE(t.find("/C [ 0.501961 0.501961 0.501961 ]"), std::string::npos);
    EXPECT_NE(t.find("/A<</URI(c:\\\\test.txt)/S/URI>>\n"), std::string::npos);
    settings.link = "https://example.com/a(b)c)";
    t = stamp.BuildStampLink(0);
    EXPECT_NE(t.find("(https://example.com/a(b)c\\))"), std::string::npos);
}

TEST_F(Annotation, FoundLinkTakesAdjustmentsAndItsOwnLaunchSpelling) {
    settings.linkAction = "Open a file";
    settings.posLeft = -1;
    settings.posBottom = -2;
    settings.posLength = 3;
    settings.posHeight = 4;
    settings.fontSize = 50;  // no influence on a found link
    FoundLink l;
    l.page = 1;
    l.x1 = 10.5;
    l.y1 = 20;
    l.x2 = 30;
    l.y2 = 40;
    l.target = "a.pdf";
    std::string t = BuildFoundLink(settings, l);
    EXPECT_NE(t.find("/Rect[ 9.500000 18.000000 33.000000 44.000000 ]\n"), std::string::npos) << t;
    EXPECT_NE(t.find("/A<</F <</F(a.pdf)/Type/Filespec>> /S/Launch/NewWindow true>>\n"), std::string::npos);
    EXPECT_EQ(l.x1, 9.5);  // stored back
    EXPECT_EQ(l.y2, 44);
}

namespace {

struct PlaceCase {
    const char* name;
    float box[4];
    int rotate;
    bool force, flipV, flipH;
    int px, py;
    const char* align;
    float x, y, angle;  // expected origin and angle
};

// Empty text (L = 0), size 10, no margin unless stated. With -flipv the text's top
// (its baseline plus the size) is measured from the top of the page as displayed; on
// a page turned by 90 or 270 the displayed vertical runs along the page's x axis.
const PlaceCase kPlaceCases[] = {
    {"plain", {0, 0, 612, 792}, 0, false, false, false, 72, 72, "left", 72, 72, 0},
    {"plain offset box", {10, 20, 612, 792}, 0, false, false, false, 72, 72, "left", 82, 92, 0},
    {"flipv", {0, 0, 612, 792}, 0, false, true, false, 72, 72, "left", 72, 710, 0},
    {"flipv offset box", {10, 20, 612, 792}, 0, false, true, false, 72, 72, "left", 82, 710, 0},
    {"fliph", {0, 0, 612, 792}, 0, false, false, true, 72, 72, "left", 540, 72, 0},
    {"both flips", {0, 0, 612, 792}, 0, false, true, true, 72, 72, "left", 540, 710, 0},
    {"rotate 90 without force", {0, 0, 612, 792}, 90, false, false, false, 72, 72, "left", 72, 72, 0},
    {"rotate 90 flipv without force", {0, 0, 612, 792}, 90, false, true, false, 72, 72, "left", 72, 710, 0},
    {"rotate 90", {0, 0, 612, 792}, 90, true, false, false, 50, 72, "left", 540, 50, 90},
    {"rotate 180", {0, 0, 612, 792}, 180, true, false, false, 50, 72, "left", 562, 720, 180},
    {"rotate 270", {0, 0, 612, 792}, 270, true, false, false, 50, 72, "left", 72, 742, 270},
    // The glyphs stand left of a baseline running up: x 72..82 is 72 below the top.
    {"rotate 90 flipv", {0, 0, 612, 792}, 90, true, true, false, 50, 72, "left", 82, 50, 90},
    {"rotate 180 flipv", {0, 0, 612, 792}, 180, true, true, false, 50, 72, "left", 562, 82, 180},
    {"rotate 270 flipv", {0, 0, 612, 792}, 270, true, true, false, 50, 72, "left", 530, 742, 270},
    {"rotate 90 fliph", {0, 0, 612, 792}, 90, true, false, true, 50, 72, "left", 540, 742, 90},
    {"rotate 180 fliph", {0, 0, 612, 792}, 180, true, false, true, 50, 72, "left", 50, 720, 180},
    {"rotate 270 fliph", {0, 0, 612, 792}, 270, true, false, true, 50, 72, "left", 72, 50, 270},
    {"rotate 90 both flips", {0, 0, 612, 792}, 90, true, true, true, 50, 72, "left", 82, 742, 90},
    {"rotate 180 both flips", {0, 0, 612, 792}, 180, true, true, true, 50, 72, "left", 50, 82, 180},
    {"rotate 270 both flips offset box", {100, 200, 500, 700}, 270, true, true, true, 50, 72, "left", 418, 250, 270},
    {"rotate 45 turns nothing", {0, 0, 612, 792}, 45, true, false, false, 50, 72, "left", 50, 72, 0},
    {"centre", {0, 0, 612, 792}, 0, false, false, false, -1, -1, "left", 306, 396, 0},
    {"centre of an offset box", {100, 100, 500, 700}, 0, false, false, false, -1, -1, "left", 300, 400, 0},
    {"centre with both flips", {100, 100, 500, 700}, 0, false, true, true, -1, -1, "left", 300, 400, 0},
    {"centre rotated", {0, 0, 612, 792}, 90, true, false, false, -1, -1, "left", 306, 396, 90},
    {"centre across on 180", {0, 0, 612, 792}, 180, true, false, false, -1, 72, "left", 306, 720, 180},
    {"centre up on 180", {0, 0, 612, 792}, 180, true, false, false, 50, -1, "left", 562, 396, 180},
    {"centre across on 90 flipv", {0, 0, 612, 792}, 90, true, true, false, -1, 72, "left", 82, 396, 90},
    {"centre up on 270 fliph", {0, 0, 612, 792}, 270, true, false, true, 50, -1, "left", 306, 50, 270},
};

}  // namespace

TEST_F(Annotation, PlacementTable) {
    for (const PlaceCase& c : kPlaceCases) {
        PageListEntry& p = page;
        for (int i = 0; i < 4; ++i)
            p.cropBox[i] = c.box[i];
        p.rotate = c.rotate;
        LinkSettings& s = settings;
        s.text = "";
        s.fontSize = 10;
        s.force = c.force;
        s.flipV = c.flipV;
        s.flipH = c.flipH;
        s.posH = c.px;
        s.posV = c.py;
        s.align = c.align;
        s.angle = 0;
        placeStamp(false);
        EXPECT_FLOAT_EQ(place.x, c.x) << c.name;
        EXPECT_FLOAT_EQ(place.y, c.y) << c.name;
        EXPECT_FLOAT_EQ(place.angle, c.angle) << c.name;
    }
}

TEST_F(Annotation, AlignmentAndRectangleFollowTheTextLength) {
    LinkSettings& s = settings;
    s.fontName = "Arial";
    s.text = "AAA";  // 2001 units: L = (2001 div 72) * 14 / 14 = 27
    s.fontSize = 14;
    s.posH = 100;
    s.posV = 200;
    s.lineThickness = "Medium";
    s.align = "left";
    placeStamp(true);
    EXPECT_FLOAT_EQ(place.x, 100);
    EXPECT_FLOAT_EQ(place.rectX1, 97);  // margin 3 at the lower-left corner only
    EXPECT_FLOAT_EQ(place.rectY1, 197);
    EXPECT_FLOAT_EQ(place.rectX2, 127);
    EXPECT_FLOAT_EQ(place.rectY2, 214);
    s.align = "center";
    placeStamp(false);
    EXPECT_FLOAT_EQ(place.x, 87);  // trunc(13.5) = 13
    EXPECT_FLOAT_EQ(place.rectX2, 114);
    s.align = "right";
    placeStamp(false);
    EXPECT_FLOAT_EQ(place.x, 73);
    EXPECT_FLOAT_EQ(place.rectX2, 100);  // the text ends at the position
    // Page rotated by 90 and followed: the text runs up, the shift and the length go
    // along y and the glyphs stand to the left of the baseline.
    page.rotate = 90;
    s.force = true;
    placeStamp(false);
    EXPECT_FLOAT_EQ(place.x, 412);
    EXPECT_FLOAT_EQ(place.y, 100 - 27);
    EXPECT_FLOAT_EQ(place.rectX1, 412 - 14);
    EXPECT_FLOAT_EQ(place.rectX2, 412);
    EXPECT_FLOAT_EQ(place.rectY1, 73);
    EXPECT_FLOAT_EQ(place.rectY2, 100);
}

TEST_F(Annotation, RectangleCoversTextAtAnyAngle) {
    LinkSettings& s = settings;
    s.fontName = "Arial";
    s.text = "AAA";  // L = 27 at size 14
    s.fontSize = 14;
    s.posH = 100;
    s.posV = 200;
    struct Case {
        int angle;
        const char* align;
        float x, y, x1, y1, x2, y2;
    } cases[] = {
        {0, "left", 100, 200, 100, 200, 127, 214},
        {180, "left", 100, 200, 73, 186, 100, 200},    // runs left, glyphs below
        {270, "left", 100, 200, 100, 173, 114, 200},   // runs down, glyphs to the right
        {180, "right", 127, 200, 100, 186, 127, 200},  // ends at the position
        {90, "center", 100, 187, 86, 187, 100, 214},
    };
    for (const Case& c : cases) {
        s.angle = c.angle;
        s.align = c.align;
        placeStamp(false);
        EXPECT_FLOAT_EQ(place.x, c.x) << c.angle << c.align;
        EXPECT_FLOAT_EQ(place.y, c.y) << c.angle << c.align;
        EXPECT_NEAR(place.rectX1, c.x1, 1e-3) << c.angle << c.align;
        EXPECT_NEAR(place.rectY1, c.y1, 1e-3) << c.angle << c.align;
        EXPECT_NEAR(place.rectX2, c.x2, 1e-3) << c.angle << c.align;
        EXPECT_NEAR(place.rectY2, c.y2, 1e-3) << c.angle << c.align;
    }
}

TEST_F(Annotation, FlipsMirrorTheTextBoxAcrossThePage) {
    // The box the text and its link take without flips, mirrored across the page's
    // middle: from the right edge with -fliph, from the top with -flipv.
    LinkSettings& s = settings;
    s.fontName = "Arial";
    s.text = "AAA";  // L = 27 at size 14
    s.fontSize = 14;
    s.posH = 100;
    s.posV = 200;
    struct Case {
        bool flipV, flipH;
        int angle;
        const char* align;
        float x1, y1, x2, y2;  // the rectangle, without margin
    } cases[] = {
        {false, true, 0, "left", 485, 200, 512, 214},  // ends 100 from the right edge
        {false, true, 0, "center", 498, 200, 525, 214},
        {false, true, 0, "right", 512, 200, 539, 214},  // the mirror of ending at 100
        {true, false, 0, "left", 100, 578, 127, 592},   // its top 200 below the top
        {true, true, 0, "left", 485, 578, 512, 592},
        {false, true, 90, "left", 512, 200, 526, 227},  // runs up, glyphs left of x = 526
        {true, false, 90, "right", 86, 592, 100, 619},
        {true, true, 180, "left", 512, 592, 539, 606},  // runs left, glyphs below
    };
    for (const Case& c : cases) {
        s.flipV = c.flipV;
        s.flipH = c.flipH;
        s.angle = c.angle;
        s.align = c.align;
        placeStamp(false);
        const std::string what = std::to_string(c.angle) + c.align + (c.flipV ? " v" : "") + (c.flipH ? " h" : "");
        EXPECT_NEAR(place.rectX1, c.x1, 1e-3) << what;
        EXPECT_NEAR(place.rectY1, c.y1, 1e-3) << what;
        EXPECT_NEAR(place.rectX2, c.x2, 1e-3) << what;
        EXPECT_NEAR(place.rectY2, c.y2, 1e-3) << what;
    }
}
