#pragma once
// What a glyph stands for in Unicode, from its name, and the Windows-1252 byte of a
// Unicode value: the two steps from a font's encoding to the one-byte characters that
// page text is searched in.
#include <cstdint>

struct GlyphListEntry {
    const char* name;
    uint32_t unicode;
};
/// The Adobe Glyph List, sorted by name (byte order).
extern const GlyphListEntry kGlyphList[];
extern const int kGlyphListSize;

/// Unicode values of a glyph name, written to out (at most capacity); returns how many
/// (0 when the name says nothing). Understood: the names of the Adobe Glyph List,
/// "uni" followed by groups of four hexadecimal digits, "u" followed by four to six,
/// a name with a suffix after a full stop (the part before it counts: "a.sc" is "a"),
/// and names of ligatures joined by underscores ("f_f_i").
int glyphNameToUnicode(const char* name, uint32_t* out, int capacity);

/// The Windows-1252 byte of a Unicode value, or -1 when it has none. The C0 and C1
/// control codes have none either (a character never becomes a control byte).
int unicodeToWindows1252(uint32_t u);
