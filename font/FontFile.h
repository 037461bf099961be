#pragma once
// Reading whole streams for the font code: embedded font programs, ToUnicode and
// encoding CMaps.
#include <cstddef>
#include <string>
#include <vector>

class CPdfDocument;
class CPdfFont;
class CPdfStream;

/// Largest embedded font program read; a larger one is treated as unreadable.
constexpr size_t kMaxFontFileBytes = size_t{32} << 20;

/// Resets stream, reads it to its end (at most limit bytes; with stopAtNul up to its
/// first NUL byte) into out, and closes it. Returns false when the limit cut it short.
bool readWholeStream(CPdfStream* stream, size_t limit, bool stopAtNul, std::string& out);

/// Fetches font->embeddedFontRef through doc and reads the decoded font program into
/// out. Throws CPdfException "Embedded font file is not a stream" (clearing
/// embeddedFontRef) when the target is not a stream. Returns false when the program is
/// larger than kMaxFontFileBytes (out is then empty).
bool readFontFile(CPdfFont* font, CPdfDocument* doc, std::vector<unsigned char>& out);
