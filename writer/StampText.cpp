// The objects that carry stamped text: one font descriptor, one font and one stream
// that saves the graphics state for the whole file, and one content stream per
// stamped page. The font is declared, not embedded: its widths come from the
// built-in metrics.
#include "writer/StampText.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "pdf/CPdfException.h"
#include "platform/Platform.h"
#include "writer/FontMetrics.h"
#include "writer/PdfString.h"

StampMode::StampMode(const LinkSettings& settings, COutputWriter& writer, const PageList& pages,
                     const SharedObjects& shared, const std::string& fontResourceName)
    : settings_(settings),
      writer_(writer),
      pages_(pages),
      updater_(writer, shared),
      fontResourceName_(fontResourceName) {}

PageListEntry StampMode::Page(int pageIndex) const {
    if (pageIndex >= 0 && static_cast<size_t>(pageIndex) < pages_.size()) return pages_[static_cast<size_t>(pageIndex)];
    return PageListEntry();
}

void StampMode::Prepare() {
    LoadFontTable(settings_.fontFileName);
    const int32_t descriptor = writer_.AppendObject(BuildFontDescriptor(settings_.fontName));
    updater_.SetStampFont(fontResourceName_, writer_.AppendObject(BuildFont(settings_.fontName, descriptor)));
    saveNum_ = writer_.AppendObject(BuildSaveStateStream());
    std::printf("\nUsing font: %s\n", settings_.fontName.c_str());
}

void StampMode::WritePage(int32_t pageObjNum, int32_t pageIndex, const std::string& pageText) {
    const PageListEntry& shape = pages_[static_cast<size_t>(pageIndex)];
    if (!shapeSet_ || std::memcmp(shape.cropBox, shape_.cropBox, sizeof shape.cropBox) != 0 ||
        shape.rotate != shape_.rotate) {
        linkText_ = BuildStampLink(pageIndex);
        streamText_ = BuildTextStream(pageIndex);
        shape_ = shape;
        shapeSet_ = true;
    }
    const int32_t annotNum = writer_.AppendObject(linkText_);
    const int32_t streamNum = writer_.AppendObject(streamText_);
    updater_.UpdateStampedPage(pageObjNum, pageText, streamNum, saveNum_, annotNum);
}

std::string StampMode::BuildFontDescriptor(const std::string& fontName) const {
    const FontMetricsRecord* m = FindFontMetrics(fontName);
    if (!m) throw CPdfException("Unknown font name", "The font of the stamp is not known: '" + fontName + "'");
    char box[96];
    std::snprintf(box, sizeof(box), "%d %d %d %d", m->bbox[0], m->bbox[1], m->bbox[2], m->bbox[3]);
    std::string t = " 0 obj\n<<\n/Type /FontDescriptor\n/FontName /";
    // The name as given, written as a name object: "Arial Bold" is "/Arial#20Bold".
    t += EscapePdfName(fontName);
    t += "\n/FontBBox [";
    t += box;
    t += "]\n/Flags 34\n/ItalicAngle 0\n>>\nendobj\n";
    return t;
}

std::string StampMode::BuildFont(const std::string& fontName, int32_t descriptorNum) const {
    std::string t = " 0 obj\n<<\n/Type /Font\n/Name /";
    t += fontResourceName_;
    t += " \n/Subtype /TrueType\n/Encoding /WinAnsiEncoding\n/BaseFont /";
    t += EscapePdfName(fontName);
    t += "\n/FontDescriptor ";
    t += std::to_string(descriptorNum);
    t += " 0 R\n/FirstChar 0\n/LastChar 255\n";
    if (const FontMetricsRecord* m = FindFontMetrics(fontName)) {
        t += "/Widths [\n";
        char num[16];
        for (int i = 0; i < 256; ++i) {
            int n = std::snprintf(num, sizeof(num), "%d ", m->widths[i]);
            t.append(num, static_cast<size_t>(n));
            if (i % 16 == 15) t += '\n';
        }
        t += " ]\n";
    }
    t += ">>\nendobj\n";
    return t;
}

std::string StampMode::BuildTextStream(int pageIndex) const {
    const StampPlacement place = PlaceStamp(settings_, Page(pageIndex), false);
    // 3.14 rather than pi: stamps made by earlier versions keep their exact matrix.
    const float theta = static_cast<float>(place.angle * 3.14 / 180.0);
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    char head[1024];
    // The page's own content ran after the stream that saved the graphics state: Q
    // restores it, so no matrix, clip or colour the page left behind applies here.
    // The text state is set in full all the same (character and word spacing,
    // scaling, rise, render mode), for content that leaves more saves than restores.
    std::snprintf(head, sizeof(head),
                  "\nQ\nBT\n0 Tc 0 Tw 100 Tz 0 Ts 0 Tr\n%f %f %f %f %f %f Tm\n%f %f %f rg\n/%s %d Tf\n(", c, s, -s, c,
                  place.x, place.y, ((settings_.textColor >> 16) & 0xFF) / 255.0,
                  ((settings_.textColor >> 8) & 0xFF) / 255.0, (settings_.textColor & 0xFF) / 255.0,
                  fontResourceName_.c_str(), settings_.fontSize);
    // The body is assembled without a size limit: any text length works.
    std::string body = head;
    // The font is declared with WinAnsiEncoding: the text typed in UTF-8 is drawn in
    // Windows-1252 whenever it has such a form.
    body += EscapePdfString(Platform::Utf8ToWinAnsi(settings_.text));
    body += ") Tj\nET\n";
    std::string t = " 0 obj\n<<\n/Length ";
    t += std::to_string(body.size());
    t += " \n>>\nstream\n";
    t += body;
    t += "\nendstream\nendobj\n";
    return t;
}

std::string StampMode::BuildSaveStateStream() { return " 0 obj\n<<\n/Length 2 \n>>\nstream\nq\n\nendstream\nendobj\n"; }
