#pragma once
// The state that content operators change and that text placement reads: the
// graphics state parts (transformation matrix, font and the text-state parameters,
// which q and Q save and restore) and the text object (text matrix and line matrix,
// which BT starts and the positioning and showing operators move).
#include <cstdint>

struct PdfFontEntry;

/// The saved part: q pushes a copy, Q restores it.
struct CPdfGraphicsState {
    double ctm[6] = {1, 0, 0, 1, 0, 0};
    PdfFontEntry* font = nullptr;  ///< not owned; null before Tf
    double fontSize = 0;
    double charSpace = 0;  ///< Tc, text space units
    double wordSpace = 0;  ///< Tw, added after byte 32 of one-byte codes
    double hScale = 1;     ///< Tz / 100
    double leading = 0;    ///< TL
    double rise = 0;       ///< Ts

    /// ctm = m x ctm, every component then clamped to -1e10..1e10.
    void concat(const double m[6]);
};

/// The text object.
struct CPdfTextObject {
    double tm[6] = {1, 0, 0, 1, 0, 0};   ///< text matrix
    double tlm[6] = {1, 0, 0, 1, 0, 0};  ///< text line matrix

    void begin();
    /// Td: the line matrix moved by (tx, ty) in its own space; the text matrix follows.
    void moveLine(double tx, double ty);
    /// Tm.
    void set(const double m[6]);
    /// After a glyph or a TJ number: the text matrix moved by tx along its x axis.
    void advance(double tx) {
        tm[4] += tx * tm[0];
        tm[5] += tx * tm[1];
    }
};
