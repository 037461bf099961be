#pragma once
// LZWDecode: variable-width codes of 9 to 12 bits, most significant bit first;
// 256 clears the table, 257 ends the data. With EarlyChange 1 (the default)
// the code width grows one code early. An impossible code ends the data there.
// The same predictors as Flate can follow.
#include <cstdint>

#include "stream/CPdfFilterStream.h"

class CPdfLZWStream : public CPdfFilterStream {
public:
    /// Takes over one reference of base. earlyChange is 0 or 1 (others count as 1).
    explicit CPdfLZWStream(CPdfStream* base, int earlyChange = 1, int predictor = 1, int columns = 1, int colors = 1,
                           int bitsPerComponent = 8);

protected:
    size_t decode(unsigned char* out, size_t cap) override;

private:
    int readCode();
    void clearTable();

    static const int kTableSize = 4096;

    int early_;
    int width_ = 9;
    int next_ = 258;
    int prevCode_ = -1;
    uint32_t bitBuf_ = 0;
    int bitCount_ = 0;
    bool done_ = false;
    uint16_t prefix_[kTableSize];
    uint16_t length_[kTableSize];
    unsigned char suffix_[kTableSize];
    unsigned char first_[kTableSize];
};
