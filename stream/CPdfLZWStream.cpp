#include "stream/CPdfLZWStream.h"

CPdfLZWStream::CPdfLZWStream(CPdfStream* base, int earlyChange, int predictor, int columns, int colors,
                             int bitsPerComponent)
    : CPdfFilterStream(base), early_(earlyChange == 0 ? 0 : 1) {
    for (int i = 0; i < 256; ++i) {
        prefix_[i] = 0;
        length_[i] = 1;
        suffix_[i] = static_cast<unsigned char>(i);
        first_[i] = static_cast<unsigned char>(i);
    }
    clearTable();
    setPredictor(predictor, columns, colors, bitsPerComponent);
}

void CPdfLZWStream::clearTable() {
    width_ = 9;
    next_ = 258;
    prevCode_ = -1;
}

int CPdfLZWStream::readCode() {
    while (bitCount_ < width_) {
        int c = inByte();
        if (c < 0) return -1;
        bitBuf_ = (bitBuf_ << 8) | uint32_t(c);
        bitCount_ += 8;
    }
    bitCount_ -= width_;
    return int((bitBuf_ >> bitCount_) & ((1u << width_) - 1));
}

size_t CPdfLZWStream::decode(unsigned char* out, size_t cap) {
    size_t n = 0;
    // One code per round; the longest string (kTableSize bytes) always fits.
    while (!done_ && n + kTableSize <= cap) {
        int code = readCode();
        if (code < 0 || code == 257) {
            done_ = true;
            break;
        }
        if (code == 256) {
            clearTable();
            continue;
        }
        if (prevCode_ < 0) {
            if (code > 255) {  // only a literal may follow a clear
                done_ = true;
                break;
            }
            out[n++] = static_cast<unsigned char>(code);
            prevCode_ = code;
            continue;
        }
        if (code > next_ || (code == next_ && next_ >= kTableSize)) {
            done_ = true;  // a code the table cannot have yet
            break;
        }
        if (next_ < kTableSize) {
            // The new entry: the previous string plus the first byte of this one
            // (which, for the code being defined right now, is the previous
            // string's first byte).
            unsigned char f = code == next_ ? first_[prevCode_] : first_[code];
            prefix_[next_] = static_cast<uint16_t>(prevCode_);
            suffix_[next_] = f;
            length_[next_] = static_cast<uint16_t>(length_[prevCode_] + 1);
            first_[next_] = first_[prevCode_];
            ++next_;
            if (next_ + early_ >= (1 << width_) && width_ < 12) ++width_;
        }
        // Write the string of code backwards from its last byte.
        size_t len = length_[code];
        int c = code;
        for (size_t i = len; i-- > 0;) {
            out[n + i] = suffix_[c];
            c = prefix_[c];
        }
        n += len;
        prevCode_ = code;
    }
    return n;
}
