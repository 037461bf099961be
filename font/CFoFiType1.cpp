#include "font/CFoFiType1.h"

#include <cstring>

#include "font/CPdfBuiltinTables.h"

namespace {

constexpr int kMaxLines = 50;
constexpr int kMaxEncodingLines = 300;
constexpr int kLineCut = 255;

bool startsWith(const char* s, int n, const char* prefix) {
    int m = static_cast<int>(std::strlen(prefix));
    return n >= m && std::memcmp(s, prefix, static_cast<size_t>(m)) == 0;
}

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

CFoFiType1::CFoFiType1(const unsigned char* data, int len) : CFoFiBase(data, len) {}

CFoFiType1::~CFoFiType1() = default;

const char* CFoFiType1::getName() {
    if (!parsed_) parse();
    return fontName_ ? fontName_->c_str() : nullptr;
}

const char* const* CFoFiType1::getEncoding() {
    if (!parsed_) parse();
    return encoding_;
}

// Line walking: a line ends at CR, LF or CR LF. nextLine gives the start and the
// length of the line at *pos (cut to kLineCut characters) and moves *pos past it.
static bool nextLine(const unsigned char* data, int64_t len, int64_t* pos, const char** line, int* n) {
    if (*pos >= len) return false;
    int64_t start = *pos;
    int64_t p = start;
    while (p < len && data[p] != '\r' && data[p] != '\n')
        ++p;
    int64_t full = p - start;
    *line = reinterpret_cast<const char*>(data + start);
    *n = static_cast<int>(full < kLineCut ? full : kLineCut);
    if (p < len) {
        if (data[p] == '\r') {
            ++p;
            if (p < len && data[p] == '\n') ++p;
        } else {
            ++p;
        }
    }
    *pos = p;
    return true;
}

void CFoFiType1::parse() {
    parsed_ = true;
    int64_t pos = 0;
    const char* line;
    int n;
    for (int count = 0; count < kMaxLines && !(fontName_ && encoding_); ++count) {
        if (!nextLine(data_, len_, &pos, &line, &n)) break;
        if (!fontName_ && startsWith(line, n, "/FontName")) {
            const char* slash =
                static_cast<const char*>(n > 9 ? std::memchr(line + 9, '/', static_cast<size_t>(n - 9)) : nullptr);
            if (slash) {
                const char* s = slash + 1;
                const char* e = s;
                const char* end = line + n;
                while (e < end && *e != ' ' && *e != '\t' && *e != '\r' && *e != '\n')
                    ++e;
                fontName_.reset(new std::string(s, static_cast<size_t>(e - s)));
            }
        } else if (!encoding_ && startsWith(line, n, "/Encoding StandardEncoding def")) {
            encoding_ = StandardEncodingMarker;
        } else if (!encoding_ && startsWith(line, n, "/Encoding 256 array")) {
            readEncodingBlock(&pos);
        }
    }
}

void CFoFiType1::readEncodingBlock(int64_t* pos) {
    names_.reset(new std::string[256]);
    table_.reset(new const char*[256]);
    for (int i = 0; i < 256; ++i)
        table_[i] = nullptr;
    encoding_ = table_.get();
    const char* line;
    int n;
    for (int count = 0; count < kMaxEncodingLines; ++count) {
        if (!nextLine(data_, len_, pos, &line, &n)) break;
        const char* p = line;
        const char* end = line + n;
        while (p < end && isBlank(*p))
            ++p;
        if (end - p >= 3 && std::memcmp(p, "dup", 3) == 0) {
            // One or more "dup <code> /<name> put" entries on this line.
            while (end - p >= 3 && std::memcmp(p, "dup", 3) == 0) {
                p += 3;
                while (p < end && isBlank(*p))
                    ++p;
                int code = 0;
                bool digits = false;
                while (p < end && *p >= '0' && *p <= '9') {
                    if (code < 100000) code = code * 10 + (*p - '0');
                    digits = true;
                    ++p;
                }
                while (p < end && isBlank(*p))
                    ++p;
                if (digits && code < 256 && p < end && *p == '/') {
                    const char* s = ++p;
                    while (p < end && !isBlank(*p))
                        ++p;
                    names_[code].assign(s, static_cast<size_t>(p - s));
                    table_[code] = names_[code].c_str();
                }
                // Look for a further entry on the same line.
                const char* next = p;
                while (next + 3 <= end && std::memcmp(next, "dup", 3) != 0)
                    ++next;
                if (next + 3 > end) break;
                p = next;
            }
            continue;
        }
        // Otherwise the block ends at a line whose second word is "def".
        const char* w = p;
        while (w < end && !isBlank(*w))
            ++w;
        while (w < end && isBlank(*w))
            ++w;
        const char* we = w;
        while (we < end && !isBlank(*we))
            ++we;
        if (we - w == 3 && std::memcmp(w, "def", 3) == 0) break;
    }
}
