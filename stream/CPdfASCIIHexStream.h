#pragma once
// ASCIIHexDecode: pairs of hex digits, white space ignored, '>' ends the data;
// an odd final digit is the high nibble of a last byte. Any other byte is
// invalid and ends the data there.
#include "stream/CPdfFilterStream.h"

class CPdfASCIIHexStream : public CPdfFilterStream {
public:
    /// Takes over one reference of base.
    explicit CPdfASCIIHexStream(CPdfStream* base) : CPdfFilterStream(base) {}

protected:
    size_t decode(unsigned char* out, size_t cap) override;

private:
    bool done_ = false;
};
