// New link annotation objects, the placement of stamped text on a page, and the
// create mode's page writer.
#include "writer/LinkAnnotation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/Platform.h"
#include "writer/FontMetrics.h"
#include "writer/PageList.h"
#include "writer/PdfString.h"
#include "writer/StampText.h"

namespace {

std::string Format(const char* fmt, double a, double b, double c) {
    char buf[128];
    int n = std::snprintf(buf, sizeof(buf), fmt, a, b, c);
    return std::string(buf, static_cast<size_t>(n));
}

std::string FormatRect(double x1, double y1, double x2, double y2) {
    char buf[512];  // four "%f" of any double that fits a page, with room to spare
    int n = std::snprintf(buf, sizeof(buf), "/Rect[ %f %f %f %f ]\n", x1, y1, x2, y2);
    if (n < 0 || n >= static_cast<int>(sizeof(buf))) return "/Rect[ 0 0 0 0 ]\n";
    return std::string(buf, static_cast<size_t>(n));
}

// Everything of the annotation dictionary except the action's launch spelling, which
// differs between the stamp link and a found link.
std::string BuildAnnotation(const LinkSettings& s, double x1, double y1, double x2, double y2,
                            const std::string& target, const char* launchTail) {
    // A value outside the lists writes neither the key nor a value: a key without
    // its value would swallow the next key and break the dictionary.
    std::string t = " 0 obj\n<<\n";
    if (s.highlightStyle == "None")
        t += "/H/N\n";
    else if (s.highlightStyle == "Invert")
        t += "/H/I\n";
    else if (s.highlightStyle == "Outline")
        t += "/H/O\n";
    else if (s.highlightStyle == "Insert")
        t += "/H/P\n";
    t += "/Type/Annot\n";
    t += FormatRect(x1, y1, x2, y2);
    t += "/C ";
    t += Format("[ %f %f %f ]", ((s.linkColor >> 16) & 0xFF) / 255.0, ((s.linkColor >> 8) & 0xFF) / 255.0,
                (s.linkColor & 0xFF) / 255.0);
    t += "\n/BS<<";
    if (s.linkType == "Invisible Rectangle")
        t += "/W 0";
    else if (s.lineThickness == "Thin")
        t += "/W 1";
    else if (s.lineThickness == "Medium")
        t += "/W 3";
    else if (s.lineThickness == "Thick")
        t += "/W 5";
    t += "/Type/Border";
    if (s.lineStyle == "Solid")
        t += "/S/S";
    else if (s.lineStyle == "Dashed")
        t += "/S/D\n";
    else if (s.lineStyle == "Underline")
        t += "/S/U\n";
    t += ">>\n/Subtype/Link\n";
    // Targets are written into literal strings, so they are escaped here, in one place.
    if (s.linkAction == "Open a web page") {
        t += "/A<</URI(";
        t += EscapePdfString(target);
        t += ")/S/URI>>\n";
    } else if (s.linkAction == "Open a file") {
        t += "/A<</F <</F(";
        t += EscapePdfString(target);
        t += launchTail;
    }
    t += ">>\nendobj\n";
    return t;
}

int MarginOf(const std::string& thickness) {
    if (thickness == "Thin") return 1;
    if (thickness == "Medium") return 3;
    if (thickness == "Thick") return 5;
    return 0;
}

}  // namespace

StampPlacement PlaceStamp(const LinkSettings& s, const PageListEntry& page, bool withMargin) {
    const float bx1 = page.cropBox[0], by1 = page.cropBox[1], bx2 = page.cropBox[2], by2 = page.cropBox[3];
    const int t = withMargin ? MarginOf(s.lineThickness) : 0;
    // The position is measured on the page as it is displayed when -force asks to
    // follow its rotation, otherwise on the unrotated page. Only quarter turns turn a
    // page (the page list keeps nothing else, but an entry set by hand might).
    const int r = s.force && (page.rotate == 90 || page.rotate == 180 || page.rotate == 270) ? page.rotate : 0;
    // The displayed page's horizontal axis runs along the page's own y axis when the
    // page is turned by a quarter or three quarters.
    const bool sideways = r == 90 || r == 270;
    const float A = static_cast<float>(s.angle) + static_cast<float>(r);
    // Measured in the bytes that are drawn (see BuildTextStream).
    const int32_t w = TextWidth(s.fontName, Platform::Utf8ToWinAnsi(s.text));
    const float L = static_cast<float>(w / 72) * (static_cast<float>(s.fontSize) / 14.0f);
    const float px = static_cast<float>(s.posH), py = static_cast<float>(s.posV);
    const bool centreH = s.posH == -1, centreV = s.posV == -1;

    // The position, from the displayed page's lower-left corner, in the page's own
    // coordinates: the displayed lower-left corner is the page's lower-left, lower-right,
    // upper-right or upper-left corner for a turn of 0, 90, 180 or 270 degrees.
    float X = bx1, Y = by1;
    switch (r) {
        case 90:
            X = bx2 - py;
            Y = by1 + px;
            break;
        case 180:
            X = bx2 - px;
            Y = by2 - py;
            break;
        case 270:
            X = bx1 + py;
            Y = by2 - px;
            break;
        default:
            X += px;
            Y += py;
            break;
    }
    // -1 centres on the visible area (its middle, also when the box does not start at 0).
    if (centreH) {
        if (sideways)
            Y = (by1 + by2) * 0.5f;
        else
            X = (bx1 + bx2) * 0.5f;
    }
    if (centreV) {
        if (sideways)
            X = (bx1 + bx2) * 0.5f;
        else
            Y = (by1 + by2) * 0.5f;
    }
    // Alignment moves the origin back along the text's own direction, so that with
    // "center" the middle and with a right alignment the end of the text sits at the
    // position, whatever the angle.
    const double rad = static_cast<double>(A) * 3.14159265358979323846 / 180.0;
    double c = std::cos(rad), sn = std::sin(rad);
    if (std::fmod(static_cast<double>(A), 90.0) == 0.0) {  // exact on the axes
        c = std::round(c);
        sn = std::round(sn);
    }
    if (s.align != "left") {
        float d = L;
        if (s.align == "center") d *= 0.5f;
        const double shift = std::trunc(d);
        X = static_cast<float>(X - shift * c);
        Y = static_cast<float>(Y - shift * sn);
    }
    // The text's box: length L along its direction and height size across it, turned
    // by the text's angle about the origin. At angle 0 this is X..X+L by Y..Y+size.
    const double size = s.fontSize;
    const double xs[4] = {0, L * c, -size * sn, L * c - size * sn};
    const double ys[4] = {0, L * sn, size * c, L * sn + size * c};
    double minX = xs[0], maxX = xs[0], minY = ys[0], maxY = ys[0];
    for (int i = 1; i < 4; ++i) {
        minX = std::min(minX, xs[i]);
        maxX = std::max(maxX, xs[i]);
        minY = std::min(minY, ys[i]);
        maxY = std::max(maxY, ys[i]);
    }
    // The flips mirror the placement across the middle of the displayed page: the box
    // keeps from the right (top) edge the distance it would have kept from the left
    // (bottom) edge, so a position inside the page keeps the text inside it. Mirroring
    // across a middle line is the same on the page's own axes whatever the turn; an
    // axis centred with -1 stays centred.
    const bool mirrorX = sideways ? s.flipV && !centreV : s.flipH && !centreH;
    const bool mirrorY = sideways ? s.flipH && !centreH : s.flipV && !centreV;
    if (mirrorX) X = static_cast<float>(static_cast<double>(bx1) + bx2 - X - (minX + maxX));
    if (mirrorY) Y = static_cast<float>(static_cast<double>(by1) + by2 - Y - (minY + maxY));
    StampPlacement p;
    p.rectX1 = static_cast<float>(X + minX) - static_cast<float>(t);
    p.rectY1 = static_cast<float>(Y + minY) - static_cast<float>(t);
    p.rectX2 = static_cast<float>(X + maxX);
    p.rectY2 = static_cast<float>(Y + maxY);
    p.x = X;
    p.y = Y;
    p.angle = A;
    return p;
}

std::string StampMode::BuildStampLink(int pageIndex) const {
    StampPlacement p = PlaceStamp(settings_, Page(pageIndex), true);
    p.rectX1 += static_cast<float>(settings_.posLeft);
    p.rectY1 += static_cast<float>(settings_.posBottom);
    p.rectX2 += static_cast<float>(settings_.posLength);
    p.rectY2 += static_cast<float>(settings_.posHeight);
    return BuildAnnotation(settings_, p.rectX1, p.rectY1, p.rectX2, p.rectY2, settings_.link,
                           ")/Type/Filespec>>/S /Launch /NewWindow true>>\n");
}

std::string BuildFoundLink(const LinkSettings& settings, FoundLink& link) {
    link.x1 += settings.posLeft;
    link.y1 += settings.posBottom;
    link.x2 += settings.posLength;
    link.y2 += settings.posHeight;
    return BuildAnnotation(settings, link.x1, link.y1, link.x2, link.y2, link.target,
                           ")/Type/Filespec>> /S/Launch/NewWindow true>>\n");
}

CreateMode::CreateMode(const LinkSettings& settings, COutputWriter& writer, const PageList& pages,
                       const SharedObjects& shared, std::vector<FoundLink>& found)
    : settings_(settings), writer_(writer), found_(found), updater_(writer, shared) {
    foundByPage_.resize(pages.size() + 1);
    for (size_t k = 0; k < found_.size(); ++k) {
        const FoundLink& link = found_[k];
        if (link.target.empty() || link.page < 1 || static_cast<size_t>(link.page) > pages.size()) continue;
        foundByPage_[static_cast<size_t>(link.page)].push_back(k);
    }
}

void CreateMode::WritePage(int32_t pageObjNum, int32_t pageIndex, const std::string& pageText) {
    newAnnots_.clear();
    for (size_t k : foundByPage_[static_cast<size_t>(pageIndex) + 1])
        newAnnots_.push_back(writer_.AppendObject(BuildFoundLink(settings_, found_[k])));
    updater_.UpdateLinkedPage(pageObjNum, pageText, newAnnots_);
}
