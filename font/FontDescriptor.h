#pragma once
// Reading of a font descriptor into the fields every font class shares.
class CPdfFont;
class CPdfDictionary;

/// Reads the FontDescriptor of fontDict (the font, or for a composite font its
/// descendant) into font: flags, name, embedded font program, widths and metrics.
/// Throws CPdfException "Mismatch between font type and embedded font file" or
/// "Unknown embedded font type".
void readFontDescriptor(CPdfFont* font, CPdfDictionary* fontDict);
