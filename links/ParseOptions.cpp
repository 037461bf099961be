// The option parser: turns the argument vector into LinkSettings.
#include "links/Options.h"

#include <cstdint>
#include <cstring>

#include "pdf/CPdfException.h"
#include "platform/Platform.h"

namespace {

const char kErrorParameter[] = "Error parameter";

bool IsScanfSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads a decimal number the way "%d" does: optional leading white space, an optional
// sign, then at least one digit. Values beyond 32 bits are clamped. On success p is
// moved past the number.
bool ScanDecimal(const char*& p, int32_t& value) {
    const char* s = p;
    while (IsScanfSpace(*s))
        ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') {
        negative = *s == '-';
        ++s;
    }
    if (*s < '0' || *s > '9') return false;
    int64_t v = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    while (*s >= '0' && *s <= '9') {
        if (v < limit) v = v * 10 + (*s - '0');
        if (v > limit) v = limit;
        ++s;
    }
    value = static_cast<int32_t>(negative ? -v : v);
    p = s;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads hexadecimal digits of either case (at least one); values beyond 32 bits are
// clamped to 0xFFFFFFFF.
bool ScanHex(const char*& p, uint32_t& value) {
    const char* s = p;
    if (HexDigit(*s) < 0) return false;
    uint64_t v = 0;
    for (int d; (d = HexDigit(*s)) >= 0; ++s) {
        v = v * 16 + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFu) v = 0xFFFFFFFFu;
    }
    value = static_cast<uint32_t>(v);
    p = s;
    return true;
}

// The literal part of a pattern must match from the first character.
bool StartsWith(const char* arg, const char* prefix, const char*& rest) {
    const size_t n = std::strlen(prefix);
    if (std::strncmp(arg, prefix, n) != 0) return false;
    rest = arg + n;
    return true;
}

// "<prefix>%d"; characters after the number are ignored.
bool MatchDecimal(const char* arg, const char* prefix, int32_t& out) {
    const char* p;
    int32_t v;
    if (!StartsWith(arg, prefix, p) || !ScanDecimal(p, v)) return false;
    out = v;
    return true;
}

// "<prefix>%X"; characters after the number are ignored.
bool MatchHex(const char* arg, const char* prefix, uint32_t& out) {
    const char* p;
    uint32_t v;
    if (!StartsWith(arg, prefix, p) || !ScanHex(p, v)) return false;
    out = v;
    return true;
}

// "-pos%d,%d": both numbers are required; with one number nothing is stored.
bool MatchPosition(const char* arg, int32_t& h, int32_t& v) {
    const char* p;
    int32_t a, b;
    if (!StartsWith(arg, "-pos", p) || !ScanDecimal(p, a)) return false;
    if (*p != ',') return false;
    ++p;
    if (!ScanDecimal(p, b)) return false;
    h = a;
    v = b;
    return true;
}

bool Contains(const std::string& text, const char* what) { return text.find(what) != std::string::npos; }

// "[FILETITLE]" and "[FILENAME]" in a -text value, resolved against the input name.
void ResolvePlaceholders(std::string& text, const std::string& inputName) {
    if (Contains(text, "[FILETITLE]")) text = FileTitle(inputName);
    // The name is stored as typed: the writer escapes backslashes (and parentheses)
    // when it puts the text into a PDF string, so doubling them here would show
    // every backslash twice on the page and make a search for the name fail.
    if (Contains(text, "[FILENAME]")) text = inputName;
}

}  // namespace

std::string FileTitle(const std::string& inputName) {
    std::string name = Platform::FileNamePart(inputName);
    if (name.size() <= 4) return std::string();
    name.resize(name.size() - 4);
    return name;
}

void ParseOptionsInto(LinkSettings& s, int argc, char** argv) {
    if (argc < 4) throw CPdfException(kErrorParameter);
    s.inputName = argv[1];
    s.outputName = argv[2];

    for (int i = 3; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') throw CPdfException(kErrorParameter);

        // The value of a "value" option: the next argument, whatever it looks like.
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw CPdfException(kErrorParameter);
            ++i;
            return argv[i];
        };
        auto is = [&](const char* name) { return std::strcmp(arg, name) == 0; };

        // The rows are tried in this order; the first that matches applies.
        if (MatchDecimal(arg, "-s", s.startPage)) {
        } else if (MatchDecimal(arg, "-e", s.endPage)) {
        } else if (is("-font")) {
            s.fontName = value();
        } else if (is("-fontfile")) {
            s.fontFileName = value();
        } else if (MatchHex(arg, "-color", s.textColor)) {
        } else if (MatchDecimal(arg, "-size", s.fontSize)) {
        } else if (MatchDecimal(arg, "-angle", s.angle)) {
        } else if (is("-force")) {
            s.force = true;
        } else if (MatchPosition(arg, s.posH, s.posV)) {
        } else if (is("-flipv")) {
            s.flipV = true;
        } else if (is("-fliph")) {
            s.flipH = true;
        } else if (is("-align")) {
            s.align = value();
        } else if (is("-text")) {
            s.text = value();
            ResolvePlaceholders(s.text, s.inputName);
        } else if (is("-link")) {
            s.link = value();
        } else if (is("-textlink")) {
            s.textLink = value();
        } else if (is("-remove")) {
            s.remove = true;
            s.stamp = false;
        } else if (is("-change")) {
            s.change = true;
            s.stamp = false;
        } else if (is("-newlink")) {
            s.newLink = value();
        } else if (is("-changepart")) {
            s.changePart = true;
            s.stamp = false;
        } else if (is("-create")) {
            s.create = true;
            s.stamp = false;
        } else if (is("-textfile")) {
            // A text file is only ever used to create links, so it implies -create;
            // without a mode the pages in range would be left out of the output.
            s.text = "[TEXTFILE]";
            s.textFileName = value();
            s.create = true;
            s.stamp = false;
        } else if (is("-linkfile")) {
            s.text = "[LINKFILE]";
            s.linkFileName = value();
            s.create = true;
            s.stamp = false;
        } else if (is("-debug")) {
            s.debug = true;
        } else if (is("-report")) {
            s.report = true;
            s.reportFileName = value();
            s.stamp = false;
        } else if (is("-reportpos")) {
            s.reportPositions = true;
        } else if (is("-reportappend")) {
            s.reportAppend = true;
        } else if (is("-linktype")) {
            s.linkType = value();
        } else if (is("-highlightstyle")) {
            s.highlightStyle = value();
        } else if (is("-linethickness")) {
            s.lineThickness = value();
        } else if (is("-linestyle")) {
            s.lineStyle = value();
        } else if (MatchHex(arg, "-linkcolor", s.linkColor)) {
        } else if (is("-linkaction")) {
            s.linkAction = value();
        } else if (MatchDecimal(arg, "-posHeight", s.posHeight)) {
        } else if (MatchDecimal(arg, "-posLength", s.posLength)) {
        } else if (MatchDecimal(arg, "-posLeft", s.posLeft)) {
        } else if (MatchDecimal(arg, "-posBottom", s.posBottom)) {
        }
        // An argument that matches no row is ignored.
    }
}
