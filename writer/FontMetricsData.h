#pragma once
// The built-in font records in their fixed table order, as static data
// (generated into writer/FontMetricsData.cpp by tools/gen_font_metrics.py).
#include <cstdint>

struct BuiltinFontData {
    const char* name;
    int32_t bbox[4];
    int16_t widths[256];
};

constexpr int kBuiltinFontDataCount = 161;
extern const BuiltinFontData kBuiltinFontData[kBuiltinFontDataCount];
