#include "writer/FontMetrics.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "writer/FontMetricsData.h"

namespace {

// A fonts-file line keeps at most this many bytes; the rest of a longer line is
// only counted. A record needs 12 fields plus 256 widths, far below this.
constexpr size_t kMaxKeptLineBytes = 1u << 20;
constexpr int kWidthCount = 256;
constexpr int kFirstWidthField = 13;   // fields are numbered from 1
constexpr size_t kSkipLineBytes = 20;  // lines this short (line feed included) are skipped

struct FontTable {
    std::vector<FontMetricsRecord> records;
    std::vector<std::string> keys;  // lookup key of each record, same order
    bool loaded = false;
};

FontTable& table() {
    static FontTable t;
    return t;
}

const std::vector<FontMetricsRecord>& builtinRecords() {
    static const std::vector<FontMetricsRecord> records = [] {
        std::vector<FontMetricsRecord> out(kBuiltinFontDataCount);
        for (int i = 0; i < kBuiltinFontDataCount; ++i) {
            const BuiltinFontData& d = kBuiltinFontData[i];
            FontMetricsRecord& r = out[i];
            r.name = d.name;
            for (int k = 0; k < 4; ++k)
                r.bbox[k] = d.bbox[k];
            for (int c = 0; c < kWidthCount; ++c)
                r.widths[c] = d.widths[c];
        }
        return out;
    }();
    return records;
}

void appendRecord(FontTable& t, FontMetricsRecord record) {
    t.keys.push_back(FontLookupKey(record.name));
    t.records.push_back(std::move(record));
}

void loadBuiltins(FontTable& t) {
    t.records.clear();
    t.keys.clear();
    t.records.reserve(kBuiltinFontDataCount);
    t.keys.reserve(kBuiltinFontDataCount);
    for (const FontMetricsRecord& r : builtinRecords())
        appendRecord(t, r);
    t.loaded = true;
}

FontTable& loadedTable() {
    FontTable& t = table();
    if (!t.loaded) loadBuiltins(t);
    return t;
}

// Decimal conversion in the manner of atoi, without its overflow hazard: optional
// blanks and sign, then digits up to the first non-digit; no digits gives 0; the
// value saturates at the 32-bit range.
int32_t parseDecimal(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\v' || s[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    return static_cast<int32_t>(value);
}

// Splits a line at '|' and line feeds; runs of separators count as one, so no
// field is empty.
void splitFields(const std::string& line, std::vector<std::string>& fields) {
    fields.clear();
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        while (i < n && (line[i] == '|' || line[i] == '\n'))
            ++i;
        if (i >= n) break;
        size_t start = i;
        while (i < n && line[i] != '|' && line[i] != '\n')
            ++i;
        fields.emplace_back(line, start, i - start);
        // Fields past the last width are never used; stop collecting them.
        if (fields.size() >= static_cast<size_t>(kFirstWidthField - 1 + kWidthCount)) break;
    }
}

// Reads one line of any length (its line feed included, if any). Keeps at most
// kMaxKeptLineBytes bytes in line; *length gets the full length. False at end of file.
bool readLine(FILE* f, std::string& line, size_t* length) {
    line.clear();
    size_t total = 0;
    int ch;
    while ((ch = std::fgetc(f)) != EOF) {
        ++total;
        if (line.size() < kMaxKeptLineBytes) line.push_back(static_cast<char>(ch));
        if (ch == '\n') break;
    }
    *length = total;
    return total > 0;
}

// A record line: the first field is the keyword FONT and a name field follows.
bool parseRecordLine(const std::string& line, std::vector<std::string>& fields, FontMetricsRecord& record) {
    splitFields(line, fields);
    if (fields.size() < 2 || fields[0] != "FONT") return false;
    record.name = fields[1];
    for (int k = 0; k < 4; ++k)
        record.bbox[k] = fields.size() > static_cast<size_t>(2 + k) ? parseDecimal(fields[2 + k]) : 0;
    for (int c = 0; c < kWidthCount; ++c) {
        size_t field = static_cast<size_t>(kFirstWidthField - 1 + c);
        record.widths[c] = field < fields.size() ? parseDecimal(fields[field]) : 0;
    }
    return true;
}

}  // namespace

int BuiltinFontCount() { return kBuiltinFontDataCount; }

const FontMetricsRecord& BuiltinFont(int i) {
    const std::vector<FontMetricsRecord>& records = builtinRecords();
    if (i < 0) i = 0;
    if (i >= kBuiltinFontDataCount) i = kBuiltinFontDataCount - 1;
    return records[i];
}

std::string FontLookupKey(const std::string& name) {
    std::string key;
    key.reserve(name.size());
    for (char ch : name) {
        if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')) key.push_back(ch);
    }
    return key;
}

void LoadFontTable(const std::string& fontsFilePath) {
    FontTable& t = table();
    loadBuiltins(t);
    if (fontsFilePath.empty()) return;
    FILE* f = std::fopen(fontsFilePath.c_str(), "rb");
    if (!f) return;
    std::printf("\nUsing fonts file: '%s'\n", fontsFilePath.c_str());

    // Every record line must be valid before any is added: a file that is not a
    // fonts file (or is damaged) adds nothing rather than a few stray fonts.
    std::vector<FontMetricsRecord> parsed;
    std::vector<std::string> fields;
    std::string line;
    size_t length = 0;
    bool first = true;
    bool valid = true;
    while (readLine(f, line, &length)) {
        if (first) {
            first = false;
            // A UTF-8 byte-order mark, as some editors write it, is not part of the line.
            if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
                line.erase(0, 3);
                length -= 3;
            }
        }
        if (length <= kSkipLineBytes) continue;
        FontMetricsRecord record;
        if (!parseRecordLine(line, fields, record)) {
            valid = false;
            break;
        }
        parsed.push_back(std::move(record));
    }
    if (!valid) {
        std::printf("Invalid font file.\n");
        std::fclose(f);
        return;
    }
    std::fclose(f);
    for (FontMetricsRecord& r : parsed)
        appendRecord(t, std::move(r));
}

const FontMetricsRecord* FindFontMetrics(const std::string& name) {
    FontTable& t = loadedTable();
    const std::string key = FontLookupKey(name);
    for (size_t i = 0; i < t.records.size(); ++i) {
        if (t.keys[i] == key) return &t.records[i];
    }
    return nullptr;
}

int32_t TextWidth(const std::string& fontName, const std::string& text) {
    if (text.empty()) return 0;
    const FontMetricsRecord* r = FindFontMetrics(fontName);
    if (!r) return 0;
    int64_t sum = 0;
    for (unsigned char ch : text)
        sum += r->widths[ch];
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(sum);
}
