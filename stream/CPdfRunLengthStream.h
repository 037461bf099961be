#pragma once
// RunLengthDecode: a length byte L of 0..127 is followed by L+1 literal bytes,
// L of 129..255 by one byte repeated 257-L times, and 128 ends the data. A run
// cut off by the end of the input delivers what it has.
#include "stream/CPdfFilterStream.h"

class CPdfRunLengthStream : public CPdfFilterStream {
public:
    /// Takes over one reference of base.
    explicit CPdfRunLengthStream(CPdfStream* base) : CPdfFilterStream(base) {}

protected:
    size_t decode(unsigned char* out, size_t cap) override;

private:
    bool done_ = false;
};
