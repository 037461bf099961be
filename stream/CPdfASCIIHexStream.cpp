#include "stream/CPdfASCIIHexStream.h"

namespace {

int hexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

size_t CPdfASCIIHexStream::decode(unsigned char* out, size_t cap) {
    size_t n = 0;
    int high = -1;
    while (!done_ && n < cap) {
        int c = inByte();
        if (c < 0 || c == '>') {
            done_ = true;
            break;
        }
        if (pdfIsWhite(c)) continue;
        int v = hexValue(c);
        if (v < 0) {
            done_ = true;
            break;
        }
        if (high < 0) {
            high = v;
        } else {
            out[n++] = static_cast<unsigned char>((high << 4) | v);
            high = -1;
        }
    }
    // A pair never spans two calls: the loop stops only on a full pair or at
    // the end, so a pending digit here is the odd final one.
    if (high >= 0) out[n++] = static_cast<unsigned char>(high << 4);
    return n;
}
