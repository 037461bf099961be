#include "font/CPdfBuiltinTables.h"

#include <cstring>
#include <vector>

// The data arrays (encodings, widths, aliases, CFF tables) live in the generated
// font/BuiltinTablesData.cpp; this file holds the lookups over them.

const char* const kSubstituteFonts[12] = {
    "Courier",        "Courier-Oblique",       "Courier-Bold", "Courier-BoldOblique", "Helvetica",  "Helvetica-Oblique",
    "Helvetica-Bold", "Helvetica-BoldOblique", "Times-Roman",  "Times-Italic",        "Times-Bold", "Times-BoldItalic",
};

const StandardFontMetrics* findStandardFont(const char* name) {
    if (!name) return nullptr;
    for (const StandardFontMetrics& font : kStandardFonts) {
        if (std::strcmp(font.name, name) == 0) return &font;
    }
    return nullptr;
}

const char* lookupAlias(const char* name) {
    if (!name) return nullptr;
    int lo = 0;
    int hi = static_cast<int>(sizeof(kFontNameAliases) / sizeof(kFontNameAliases[0])) - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        // strcmp compares as unsigned char, which is the byte order the table is sorted in.
        int c = std::strcmp(name, kFontNameAliases[mid].alias);
        if (c == 0) return kFontNameAliases[mid].name;
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return nullptr;
}

namespace {

// One glyph-width hash table: as many buckets as entries, each bucket a chain of
// entry indexes (head insertion), -1 ending a chain.
struct WidthHash {
    std::vector<int> heads;
    std::vector<int> next;
};

constexpr int kFontCount = 14;
WidthHash gTables[kFontCount];
int gBuildDepth = 0;

uint32_t glyphHash(const char* name) {
    uint32_t h = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
        h = h * 17u + *p;
    return h;
}

int standardIndex(const StandardFontMetrics* font) {
    for (int i = 0; i < kFontCount; ++i) {
        if (font == &kStandardFonts[i]) return i;
    }
    return -1;
}

}  // namespace

void buildWidthTables() {
    if (gBuildDepth++ > 0) return;
    for (int f = 0; f < kFontCount; ++f) {
        const StandardFontMetrics& font = kStandardFonts[f];
        WidthHash& table = gTables[f];
        int count = font.widthCount;
        table.heads.assign(count > 0 ? count : 0, -1);
        table.next.assign(count > 0 ? count : 0, -1);
        for (int i = 0; i < count; ++i) {
            uint32_t bucket = glyphHash(font.widths[i].name) % static_cast<uint32_t>(count);
            table.next[i] = table.heads[bucket];
            table.heads[bucket] = i;
        }
    }
}

void releaseWidthTables() {
    if (gBuildDepth == 0) return;  // unbalanced release: nothing is built, nothing to free
    if (--gBuildDepth > 0) return;
    for (WidthHash& table : gTables) {
        std::vector<int>().swap(table.heads);
        std::vector<int>().swap(table.next);
    }
}

bool lookupWidth(const StandardFontMetrics* font, const char* glyph, int* width) {
    if (!font || !glyph || !font->widths) return false;
    int f = standardIndex(font);
    if (gBuildDepth > 0 && f >= 0 && !gTables[f].heads.empty()) {
        const WidthHash& table = gTables[f];
        uint32_t bucket = glyphHash(glyph) % static_cast<uint32_t>(table.heads.size());
        for (int i = table.heads[bucket]; i >= 0; i = table.next[i]) {
            if (std::strcmp(font->widths[i].name, glyph) == 0) {
                if (width) *width = font->widths[i].width;
                return true;
            }
        }
        return false;
    }
    for (int i = 0; i < font->widthCount; ++i) {
        if (std::strcmp(font->widths[i].name, glyph) == 0) {
            if (width) *width = font->widths[i].width;
            return true;
        }
    }
    return false;
}

int widthTableSize(const StandardFontMetrics* font) { return font ? font->widthCount : 0; }
