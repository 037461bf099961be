#include "stream/CPdfPredictor.h"

#include <algorithm>
#include <cstdlib>

#include "stream/CPdfFilterStream.h"

bool CPdfPredictor::validParams(int columns, int colors, int bitsPerComponent) {
    if (columns < 1 || colors < 1 || bitsPerComponent < 1 || bitsPerComponent > 16) return false;
    // Each factor is bounded first so that the product cannot overflow.
    if (columns > kMaxRowBytes * 8 || colors > kMaxRowBytes * 8) return false;
    int64_t bits = int64_t(columns) * colors * bitsPerComponent;
    return (bits + 7) / 8 <= kMaxRowBytes;
}

CPdfPredictor::CPdfPredictor(CPdfFilterStream* src, int predictor, int columns, int colors, int bitsPerComponent)
    : src_(src), predictor_(predictor), colors_(colors), bitsPerComponent_(bitsPerComponent) {
    valuesPerRow_ = size_t(columns) * size_t(colors);
    bytesPerPixel_ = (size_t(colors) * size_t(bitsPerComponent) + 7) / 8;
    rowBytes_ = bytesPerPixel_ + (valuesPerRow_ * size_t(bitsPerComponent) + 7) / 8;
    // Two spare bytes at the end let the bit-field code of the TIFF predictor
    // read three bytes at any value position.
    row_.assign(rowBytes_ + 2, 0);
    prev_.assign(rowBytes_ + 2, 0);
    readIndex_ = rowBytes_;
}

bool CPdfPredictor::nextRow() {
    if (ended_) return false;
    int method = predictor_;
    if (predictor_ >= 10) {
        int tag = src_->nextRaw();
        if (tag < 0) {
            ended_ = true;
            return false;
        }
        method = tag + 10;
    }
    // The current row becomes the previous one; the first bytesPerPixel bytes of
    // both are never written and stay 0 (the pixel left of the first).
    row_.swap(prev_);
    const size_t bpp = bytesPerPixel_;
    const size_t end = rowBytes_;
    size_t need = end - bpp;
    if (src_->readRaw(row_.data() + bpp, need) < need) {
        // A row cut off by the end of the data is dropped.
        ended_ = true;
        return false;
    }
    unsigned char* r = row_.data();
    const unsigned char* up = prev_.data();
    switch (method) {
        case 11:  // Sub
            for (size_t i = bpp; i < end; ++i)
                r[i] = static_cast<unsigned char>(r[i] + r[i - bpp]);
            break;
        case 12:  // Up
            for (size_t i = bpp; i < end; ++i)
                r[i] = static_cast<unsigned char>(r[i] + up[i]);
            break;
        case 13:  // Average
            for (size_t i = bpp; i < end; ++i)
                r[i] = static_cast<unsigned char>(r[i] + ((r[i - bpp] + up[i]) >> 1));
            break;
        case 14:  // Paeth
            for (size_t i = bpp; i < end; ++i) {
                int a = r[i - bpp], b = up[i], c = up[i - bpp];
                int p = a + b - c;
                int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                r[i] = static_cast<unsigned char>(r[i] + pred);
            }
            break;
        default:  // None, unknown tags, predictor numbers without a method
            break;
    }
    if (predictor_ == 2) undoTiff();
    readIndex_ = bpp;
    return true;
}

void CPdfPredictor::undoTiff() {
    unsigned char* r = row_.data();
    const size_t bpp = bytesPerPixel_;
    if (bitsPerComponent_ == 8) {
        for (size_t i = bpp + size_t(colors_); i < rowBytes_; ++i)
            r[i] = static_cast<unsigned char>(r[i] + r[i - size_t(colors_)]);
        return;
    }
    // Values of bitsPerComponent bits, most significant bit first, starting at
    // byte bpp; each becomes its sum with the decoded value Colors earlier.
    unsigned char* d = r + bpp;
    const unsigned bits = unsigned(bitsPerComponent_);
    const uint32_t mask = (uint32_t(1) << bits) - 1;
    auto get = [&](size_t k) -> uint32_t {
        size_t bit = k * bits;
        size_t byte = bit >> 3;
        unsigned shift = unsigned(bit & 7);
        uint32_t w = (uint32_t(d[byte]) << 16) | (uint32_t(d[byte + 1]) << 8) | d[byte + 2];
        return (w >> (24 - shift - bits)) & mask;
    };
    auto put = [&](size_t k, uint32_t v) {
        size_t bit = k * bits;
        size_t byte = bit >> 3;
        unsigned shift = unsigned(bit & 7);
        uint32_t w = (uint32_t(d[byte]) << 16) | (uint32_t(d[byte + 1]) << 8) | d[byte + 2];
        unsigned at = 24 - shift - bits;
        w = (w & ~(mask << at)) | ((v & mask) << at);
        d[byte] = static_cast<unsigned char>(w >> 16);
        d[byte + 1] = static_cast<unsigned char>(w >> 8);
        d[byte + 2] = static_cast<unsigned char>(w);
    };
    for (size_t k = size_t(colors_); k < valuesPerRow_; ++k)
        put(k, get(k) + get(k - size_t(colors_)));
}

size_t CPdfPredictor::readBlock(unsigned char* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        if (readIndex_ == rowBytes_ && !nextRow()) break;
        size_t k = std::min(n - got, rowBytes_ - readIndex_);
        std::copy(row_.data() + readIndex_, row_.data() + readIndex_ + k, buf + got);
        readIndex_ += k;
        got += k;
    }
    return got;
}
