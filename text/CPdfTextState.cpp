#include "text/CPdfTextState.h"

namespace {
const double kMatrixLimit = 1e10;

double clampComponent(double v) {
    if (v > kMatrixLimit) return kMatrixLimit;
    if (v < -kMatrixLimit) return -kMatrixLimit;
    return v;  // NaN stays NaN; it only ever reaches doubles
}
}  // namespace

void CPdfGraphicsState::concat(const double m[6]) {
    const double a = ctm[0], b = ctm[1], c = ctm[2], d = ctm[3], e = ctm[4], f = ctm[5];
    ctm[0] = clampComponent(m[0] * a + m[1] * c);
    ctm[1] = clampComponent(m[0] * b + m[1] * d);
    ctm[2] = clampComponent(m[2] * a + m[3] * c);
    ctm[3] = clampComponent(m[2] * b + m[3] * d);
    ctm[4] = clampComponent(m[4] * a + m[5] * c + e);
    ctm[5] = clampComponent(m[4] * b + m[5] * d + f);
}

void CPdfTextObject::begin() {
    static const double kIdentity[6] = {1, 0, 0, 1, 0, 0};
    set(kIdentity);
}

void CPdfTextObject::moveLine(double tx, double ty) {
    tlm[4] = clampComponent(tx * tlm[0] + ty * tlm[2] + tlm[4]);
    tlm[5] = clampComponent(tx * tlm[1] + ty * tlm[3] + tlm[5]);
    for (int i = 0; i < 6; ++i)
        tm[i] = tlm[i];
}

void CPdfTextObject::set(const double m[6]) {
    for (int i = 0; i < 6; ++i)
        tm[i] = tlm[i] = clampComponent(m[i]);
}
