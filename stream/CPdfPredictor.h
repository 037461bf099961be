#pragma once
// Undoes the PNG (10..15) and TIFF (2) predictors on top of a decoder's raw
// output, row by row. Any predictor number other than 1 makes rows; numbers
// that name no method pass the row bytes through unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

class CPdfFilterStream;

class CPdfPredictor {
public:
    /// Largest row (in bytes, without the left padding) a predictor accepts.
    static const int64_t kMaxRowBytes = int64_t(1) << 20;

    /// True when the parameters give a usable row: Columns and Colors at least 1,
    /// BitsPerComponent 1..16, and a row no larger than kMaxRowBytes.
    static bool validParams(int columns, int colors, int bitsPerComponent);

    /// Reads raw bytes from src (not owned). The parameters must be valid.
    CPdfPredictor(CPdfFilterStream* src, int predictor, int columns, int colors, int bitsPerComponent);

    int getChar() {
        if (readIndex_ == rowBytes_ && !nextRow()) return -1;
        return row_[readIndex_++];
    }
    int peekChar() {
        if (readIndex_ == rowBytes_ && !nextRow()) return -1;
        return row_[readIndex_];
    }
    size_t readBlock(unsigned char* buf, size_t n);

private:
    bool nextRow();
    void undoTiff();

    CPdfFilterStream* src_;
    int predictor_;
    int colors_;
    int bitsPerComponent_;
    size_t valuesPerRow_;
    size_t bytesPerPixel_;
    size_t rowBytes_;  // bytes per pixel (the zero padding on the left) + data bytes
    std::vector<unsigned char> row_;
    std::vector<unsigned char> prev_;
    size_t readIndex_;
    bool ended_ = false;
};
