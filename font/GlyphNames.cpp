#include "font/GlyphNames.h"

#include <cstring>

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // glyph names write their hexadecimal digits in upper case
}

// Looks a whole name (len bytes) up in the glyph list.
bool listLookup(const char* name, size_t len, uint32_t* out) {
    int lo = 0, hi = kGlyphListSize - 1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const char* n = kGlyphList[mid].name;
        int c = std::strncmp(n, name, len);
        if (c == 0 && n[len] != '\0') c = 1;  // n is longer
        if (c == 0) {
            *out = kGlyphList[mid].unicode;
            return true;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return false;
}

bool isUnicodeScalar(uint32_t v) { return v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF); }

// One component of a name (no full stop, no underscore): its values.
int componentToUnicode(const char* name, size_t len, uint32_t* out, int capacity) {
    if (len == 0 || capacity <= 0) return 0;
    uint32_t v;
    if (listLookup(name, len, &v)) {
        out[0] = v;
        return 1;
    }
    if (len >= 7 && std::strncmp(name, "uni", 3) == 0 && (len - 3) % 4 == 0) {
        int n = 0;
        for (size_t i = 3; i < len; i += 4) {
            uint32_t u = 0;
            for (size_t k = 0; k < 4; ++k) {
                const int d = hexDigit(name[i + k]);
                if (d < 0) return 0;
                u = u << 4 | static_cast<uint32_t>(d);
            }
            if (!isUnicodeScalar(u)) return 0;
            if (n < capacity) out[n++] = u;
        }
        return n;
    }
    if (len >= 5 && len <= 7 && name[0] == 'u') {
        uint32_t u = 0;
        for (size_t i = 1; i < len; ++i) {
            const int d = hexDigit(name[i]);
            if (d < 0) return 0;
            u = u << 4 | static_cast<uint32_t>(d);
        }
        if (!isUnicodeScalar(u)) return 0;
        out[0] = u;
        return 1;
    }
    return 0;
}

}  // namespace

int glyphNameToUnicode(const char* name, uint32_t* out, int capacity) {
    if (!name || capacity <= 0) return 0;
    size_t len = std::strlen(name);
    const char* dot = static_cast<const char*>(std::memchr(name, '.', len));
    if (dot == name) return 0;  // ".notdef", ".null"
    if (dot) len = static_cast<size_t>(dot - name);
    if (!std::memchr(name, '_', len)) return componentToUnicode(name, len, out, capacity);
    // A ligature: the values of its components in order; nothing when one is unknown.
    int n = 0;
    size_t start = 0;
    while (start <= len) {
        size_t end = start;
        while (end < len && name[end] != '_')
            ++end;
        const int k = componentToUnicode(name + start, end - start, out + n, capacity - n);
        if (k == 0) return 0;
        n += k;
        if (n >= capacity) return n;
        start = end + 1;
    }
    return n;
}

int unicodeToWindows1252(uint32_t u) {
    if ((u >= 0x20 && u < 0x7F) || (u >= 0xA0 && u <= 0xFF)) return static_cast<int>(u);
    switch (u) {
        case 0x20AC:
            return 0x80;
        case 0x201A:
            return 0x82;
        case 0x0192:
            return 0x83;
        case 0x201E:
            return 0x84;
        case 0x2026:
            return 0x85;
        case 0x2020:
            return 0x86;
        case 0x2021:
            return 0x87;
        case 0x02C6:
            return 0x88;
        case 0x2030:
            return 0x89;
        case 0x0160:
            return 0x8A;
        case 0x2039:
            return 0x8B;
        case 0x0152:
            return 0x8C;
        case 0x017D:
            return 0x8E;
        case 0x2018:
            return 0x91;
        case 0x2019:
            return 0x92;
        case 0x201C:
            return 0x93;
        case 0x201D:
            return 0x94;
        case 0x2022:
            return 0x95;
        case 0x2013:
            return 0x96;
        case 0x2014:
            return 0x97;
        case 0x02DC:
            return 0x98;
        case 0x2122:
            return 0x99;
        case 0x0161:
            return 0x9A;
        case 0x203A:
            return 0x9B;
        case 0x0153:
            return 0x9C;
        case 0x017E:
            return 0x9E;
        case 0x0178:
            return 0x9F;
        default:
            return -1;
    }
}
