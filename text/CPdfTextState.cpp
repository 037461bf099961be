#include "text/CPdfTextState.h"

namespace {
const double kMatrixLimit = 1e10;

double clampComponent(double v) {
    if (v > kMatrixLimit) return kMatrixLimit;
    if (v < -kMatrixLimit) return -kMatrixLimit;
    return v;  // NaN stays NaN; it only ever reaches doubles
}
}  // namespace

CPdfTextState::CPdfTextState() = default;

CPdfTextState::CPdfTextState(const CPdfTextState& o)
    : x(o.x), y(o.y), lineX(o.lineX), lineY(o.lineY), font(o.font), fontSize(o.fontSize),
      leading(o.leading), saved(nullptr), depth_(0) {
    for (int i = 0; i < 6; ++i) {
        ctm[i] = o.ctm[i];
        textMatrix[i] = o.textMatrix[i];
    }
}

CPdfTextState::~CPdfTextState() {
    CPdfTextState* s = saved;
    saved = nullptr;
    while (s) {
        CPdfTextState* next = s->saved;
        s->saved = nullptr;
        delete s;
        s = next;
    }
}

void CPdfTextState::concat(const double m[6]) {
    const double a = ctm[0], b = ctm[1], c = ctm[2], d = ctm[3], e = ctm[4], f = ctm[5];
    ctm[0] = clampComponent(m[0] * a + m[1] * c);
    ctm[1] = clampComponent(m[0] * b + m[1] * d);
    ctm[2] = clampComponent(m[2] * a + m[3] * c);
    ctm[3] = clampComponent(m[2] * b + m[3] * d);
    ctm[4] = clampComponent(m[4] * a + m[5] * c + e);
    ctm[5] = clampComponent(m[4] * b + m[5] * d + f);
}

CPdfTextState* CPdfTextState::push(CPdfTextState* cur) {
    CPdfTextState* copy = new CPdfTextState(*cur);
    copy->saved = cur;
    copy->depth_ = cur->depth_ + 1;
    return copy;
}

CPdfTextState* CPdfTextState::pop(CPdfTextState* cur) {
    CPdfTextState* prev = cur->saved;
    if (!prev) return cur;
    prev->x = cur->x;
    prev->y = cur->y;
    prev->lineX = cur->lineX;
    prev->lineY = cur->lineY;
    cur->saved = nullptr;
    delete cur;
    return prev;
}
