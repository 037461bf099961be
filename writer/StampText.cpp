// The objects that carry stamped text: one font descriptor, one font and one stream
// that saves the graphics state for the whole file, and one content stream per
// stamped page. The font is declared, not embedded: its widths come from the
// built-in metrics.
#include "links/CQuillmarkHandler.h"

#include <cmath>
#include <cstdio>

#include "pdf/CPdfException.h"
#include "writer/FontMetrics.h"
#include "cli/Platform.h"
#include "writer/PdfString.h"

std::string CQuillmarkHandler::BuildFontDescriptor(const std::string& fontName) {
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

std::string CQuillmarkHandler::BuildFont(const std::string& fontName, int32_t descriptorNum) {
    std::string t = " 0 obj\n<<\n/Type /Font\n/Name /";
    t += fontResourceName;
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

std::string CQuillmarkHandler::BuildTextStream(int pageIndex) {
    PlaceStamp(pageIndex, false);
    // 3.14 rather than pi: stamps made by earlier versions keep their exact matrix.
    const float theta = static_cast<float>(placeAngle * 3.14 / 180.0);
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    char head[1024];
    // The page's own content ran after the stream that saved the graphics state: Q
    // restores it, so no matrix, clip or colour the page left behind applies here.
    // The text state is set in full all the same (character and word spacing,
    // scaling, rise, render mode), for content that leaves more saves than restores.
    std::snprintf(head, sizeof(head),
                  "\nQ\nBT\n0 Tc 0 Tw 100 Tz 0 Ts 0 Tr\n%f %f %f %f %f %f Tm\n%f %f %f rg\n/%s %d Tf\n(",
                  c, s, -s, c, placeX, placeY, ((settings.textColor >> 16) & 0xFF) / 255.0,
                  ((settings.textColor >> 8) & 0xFF) / 255.0, (settings.textColor & 0xFF) / 255.0,
                  fontResourceName.c_str(), settings.fontSize);
    // The body is assembled without a size limit: any text length works.
    std::string body = head;
    // The font is declared with WinAnsiEncoding: the text typed in UTF-8 is drawn in
    // Windows-1252 whenever it has such a form.
    body += EscapePdfString(Platform::Utf8ToWinAnsi(settings.text));
    body += ") Tj\nET\n";
    std::string t = " 0 obj\n<<\n/Length ";
    t += std::to_string(body.size());
    t += " \n>>\nstream\n";
    t += body;
    t += "\nendstream\nendobj\n";
    return t;
}

std::string CQuillmarkHandler::BuildSaveStateStream() {
    return " 0 obj\n<<\n/Length 2 \n>>\nstream\nq\n\nendstream\nendobj\n";
}
