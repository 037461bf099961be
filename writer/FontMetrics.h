#pragma once
// Metrics of the fonts that stamped text can be set in: 161 built-in records plus
// those of an optional fonts file. Units: 1/1000 of the text size.
#include <cstdint>
#include <string>

struct FontMetricsRecord {
    std::string name;
    int32_t bbox[4];      ///< lower-left x, lower-left y, upper-right x, upper-right y
    int32_t widths[256];  ///< per character code
};

/// Number of built-in records (161).
int BuiltinFontCount();
/// The i-th built-in record, in table order.
const FontMetricsRecord& BuiltinFont(int i);
/// The lookup key of a font name: its ASCII letters in order ("Arial-Bold" -> "ArialBold").
std::string FontLookupKey(const std::string& name);
/// Refills the process-wide table: the built-in records, then the records of the fonts
/// file at path (empty = none). Prints "\nUsing fonts file: '%s'\n" when the file opens.
void LoadFontTable(const std::string& fontsFilePath);
/// First record whose key equals the key of name; nullptr when none. Borrowed.
const FontMetricsRecord* FindFontMetrics(const std::string& name);
/// Sum of the widths of text's bytes in the font; 0 when the font is unknown.
int32_t TextWidth(const std::string& fontName, const std::string& text);
